#include "tests/hidlib_win32/scripted_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "hidlib/win32/win32_backend.h"

namespace win32test {
namespace {

ScriptedSystem* current = nullptr;
ScriptedSystem& S() {
  return *current;
}

constexpr unsigned long kHidClass = 0x4D1E55B2;  // first field of the HID class GUID

BOOL Fail(DWORD error) {
  S().lastError = error;
  return FALSE;
}

// Ends the pending read with this error (0: a report arrived).
BOOL FinishRead(DWORD error) {
  S().pendingBuffer = nullptr;
  S().readError = error;
  return TRUE;
}

const Device& OfPreparsed(PHIDP_PREPARSED_DATA data) {
  return S().devices.at(reinterpret_cast<uintptr_t>(data) - 1);
}

BOOLEAN Answer(PVOID buffer, ULONG length) {
  std::memcpy(buffer, S().reply.data(), std::min<size_t>(length, S().reply.size()));
  return !S().refuseTransfers;
}

}  // namespace

ScriptedSystem::ScriptedSystem() {
  current = this;
}

ScriptedSystem::~ScriptedSystem() {
  current = nullptr;
}

HANDLE ScriptedSystem::NewHandle(std::string what) {
  static uintptr_t next = 0x100;
  HANDLE handle = reinterpret_cast<HANDLE>(next += 4);
  open[handle] = std::move(what);
  return handle;
}

void ScriptedSystem::Log(const char* format, ...) {
  char line[160];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof(line), format, args);
  va_end(args);
  log.emplace_back(line);
}

int ScriptedSystem::DeviceOf(HANDLE handle) const {
  const std::string& what = open.at(handle);
  return std::stoi(what.substr(what.find('#') + 1));
}

std::vector<std::string> ScriptedSystem::Lines(std::initializer_list<std::string> calls) const {
  std::vector<std::string> lines;
  for (const std::string& line : log) {
    if (std::count(calls.begin(), calls.end(), line.substr(0, line.find(' ')))) {
      lines.push_back(line);
    }
  }
  return lines;
}

std::unique_ptr<VLMHIDInterface> ScriptedSystem::NewInterface() const {
  return std::make_unique<VLMHIDInterface>(std::make_unique<vlmhid::win32::Win32Backend>(Calls()));
}

vlmhid::win32::SystemCalls ScriptedSystem::Calls() const {
  vlmhid::win32::SystemCalls c{};
  c.HidD_GetHidGuid = [](LPGUID guid) { *guid = GUID{kHidClass, 0, 0, {}}; };
  c.SetupDiGetClassDevsW = [](const GUID* guid, PCWSTR, HWND, DWORD flags) {
    S().Log("SetupDiGetClassDevsW 0x%lx", flags);
    S().openSets += guid->Data1 == kHidClass;
    return guid->Data1 == kHidClass ? HDEVINFO(0x5E7) : HDEVINFO(INVALID_HANDLE_VALUE);
  };
  c.SetupDiEnumDeviceInterfaces = [](HDEVINFO, auto, const GUID* guid, DWORD index, auto data) {
    if (data->cbSize != sizeof(*data) || guid->Data1 != kHidClass) return Fail(ERROR_INVALID_DATA);
    if (index >= S().devices.size()) return Fail(ERROR_NO_MORE_ITEMS);
    return data->Reserved = index, TRUE;
  };
  c.SetupDiGetDeviceInterfaceDetailW = [](HDEVINFO, auto data, auto detail, DWORD size,
                                          PDWORD required, auto) {
    const Device& d = S().devices.at(data->Reserved);
    const DWORD bytes = (d.path.size() + 1) * sizeof(WCHAR);
    const DWORD needed = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + bytes;
    if (detail == nullptr) {
      S().Log("DetailSize #%d", static_cast<int>(data->Reserved));
      if (required != nullptr) *required = needed;
      return d.sizeQueryError == 0 ? TRUE : Fail(d.sizeQueryError);
    }
    S().Log("DetailFetch #%d cbSize=%lu", static_cast<int>(data->Reserved), detail->cbSize);
    if (S().outOfMemory) throw std::bad_alloc();
    if (detail->cbSize != sizeof(*detail) || size < needed) return Fail(ERROR_INVALID_USER_BUFFER);
    std::memcpy(detail->DevicePath, d.path.c_str(), bytes);
    return TRUE;
  };
  c.SetupDiDestroyDeviceInfoList = [](HDEVINFO) { return --S().openSets, TRUE; };
  c.CreateFileW = [](LPCWSTR path, DWORD access, DWORD share, auto, DWORD disposition, DWORD flags,
                     HANDLE) {
    auto& s = S();
    auto found = std::find_if(s.devices.begin(), s.devices.end(),
                              [&](const Device& d) { return d.path == path; });
    const int i = found == s.devices.end() ? -1 : static_cast<int>(found - s.devices.begin());
    s.Log("CreateFileW #%d access=0x%lx share=%lu disposition=%lu flags=0x%lx", i, access, share,
          disposition, flags);
    if (i < 0 || (access == GENERIC_READ && s.refuseReadOpen)) {
      return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    }
    const char* role = access == GENERIC_READ    ? "read"
                       : access == GENERIC_WRITE ? "write"
                                                 : "device";
    return s.NewHandle(std::string(role) + " #" + std::to_string(i));
  };
  c.CloseHandle = [](HANDLE handle) {
    EXPECT_EQ(S().open.erase(handle), 1u) << "closed a handle that is not open";
    return TRUE;
  };
  c.CreateEventW = [](auto, BOOL manual, BOOL initial, LPCWSTR name) {
    S().Log("CreateEventW manual=%d initial=%d named=%d", manual, initial, name != nullptr);
    if (S().refuseEvents) return HANDLE(nullptr);
    HANDLE event = S().NewHandle("event");
    S().signalled[event] = initial;
    return event;
  };
  c.ResetEvent = [](HANDLE event) {
    S().Log("ResetEvent");
    return S().signalled[event] = false, TRUE;
  };
  c.GetLastError = []() { return S().lastError; };
  c.Sleep = [](DWORD ms) { S().Log("Sleep %lu", ms); };
  c.HidD_GetAttributes = [](HANDLE handle, PHIDD_ATTRIBUTES a) -> BOOLEAN {
    const Device& d = S().devices.at(S().DeviceOf(handle));
    *a = {a->Size, d.vendorId, d.productId, d.version};
    return a->Size == sizeof(*a);
  };
  c.HidD_GetPreparsedData = [](HANDLE handle, PHIDP_PREPARSED_DATA* data) -> BOOLEAN {
    *data = PHIDP_PREPARSED_DATA(static_cast<uintptr_t>(S().DeviceOf(handle) + 1));
    return ++S().preparsedOut, TRUE;
  };
  c.HidD_FreePreparsedData = [](auto) -> BOOLEAN { return --S().preparsedOut, TRUE; };
  c.HidP_GetCaps = [](PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
    *caps = {};
    caps->NumberInputValueCaps = OfPreparsed(data).reportIds[HidP_Input] != 0;
    caps->NumberOutputValueCaps = OfPreparsed(data).reportIds[HidP_Output] != 0;
    caps->NumberFeatureValueCaps = OfPreparsed(data).reportIds[HidP_Feature] != 0;
    return HIDP_STATUS_SUCCESS;
  };
  c.HidP_GetValueCaps = [](HIDP_REPORT_TYPE type, PHIDP_VALUE_CAPS caps, PUSHORT length,
                           PHIDP_PREPARSED_DATA data) {
    caps[0] = {};
    caps[0].ReportID = OfPreparsed(data).reportIds[type];
    *length = 1;
    return caps[0].ReportID != 0 ? HIDP_STATUS_SUCCESS : HIDP_STATUS_INVALID_REPORT_TYPE;
  };
  c.HidD_GetProductString = [](HANDLE handle, PVOID buffer, ULONG bytes) -> BOOLEAN {
    S().Log("HidD_GetProductString %lu", bytes);
    const wchar_t* product = S().devices.at(S().DeviceOf(handle)).product;
    if (product == nullptr) return FALSE;
    std::memcpy(buffer, product, std::min<size_t>(bytes, (wcslen(product) + 1) * sizeof(WCHAR)));
    return TRUE;
  };
  c.HidD_GetSerialNumberString = [](HANDLE, PVOID, ULONG) -> BOOLEAN { return FALSE; };
  c.HidD_GetFeature = [](HANDLE, PVOID buffer, ULONG length) {
    S().Log("HidD_GetFeature %lu id=%u", length, *static_cast<uint8_t*>(buffer));
    return Answer(buffer, length);
  };
  c.HidD_SetFeature = [](HANDLE, PVOID buffer, ULONG length) -> BOOLEAN {
    S().sent.emplace_back(static_cast<uint8_t*>(buffer), static_cast<uint8_t*>(buffer) + length);
    return !S().refuseTransfers;
  };
  c.ReadFile = [](HANDLE handle, LPVOID buffer, DWORD length, LPDWORD, LPOVERLAPPED ov) {
    auto& s = S();
    s.Log("ReadFile %lu on %s", length, s.open.at(handle).c_str());
    // Refused before it starts: the event stays as it was.
    if (s.read == Read::kRefused) return Fail(ERROR_DEVICE_NOT_CONNECTED);
    s.signalled[ov->hEvent] = s.read == Read::kAtOnce;
    if (s.read == Read::kAtOnce) return FinishRead(0), BOOL(Answer(buffer, length));
    s.pendingBuffer = static_cast<uint8_t*>(buffer);
    s.cancelled = false;
    return Fail(ERROR_IO_PENDING);
  };
  c.WaitForSingleObject = [](HANDLE event, DWORD ms) {
    S().Log("WaitForSingleObject %lu", ms);
    if (S().read == Read::kUnplugged && S().pendingBuffer != nullptr) {
      S().signalled[event] = FinishRead(ERROR_DEVICE_NOT_CONNECTED);
    }
    // The driver ends a cancelled read some time after CancelIo.
    if (S().cancelled && S().read != Read::kNeverEnds) {
      if (S().pendingBuffer != nullptr) FinishRead(ERROR_OPERATION_ABORTED);
      S().signalled[event] = true;
    }
    return S().signalled[event] ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  };
  c.CancelIo = [](HANDLE) {
    S().Log("CancelIo");
    if (S().read == Read::kArrivesAtCancel && S().pendingBuffer != nullptr) {
      Answer(S().pendingBuffer, static_cast<ULONG>(S().reply.size()));
      FinishRead(0);
    }
    return S().cancelled = true, TRUE;
  };
  c.GetOverlappedResult = [](HANDLE, LPOVERLAPPED, LPDWORD, BOOL wait) {
    auto& s = S();
    s.Log("GetOverlappedResult wait=%d", wait);
    if (s.pendingBuffer != nullptr) {
      EXPECT_FALSE(wait) << "waits for a read that never ends";
      return Fail(ERROR_IO_INCOMPLETE);
    }
    return s.readError != 0 ? Fail(s.readError) : TRUE;
  };
  c.ClearCommError = [](HANDLE handle, LPDWORD, LPCOMSTAT) {
    S().Log("ClearCommError %s", S().open.at(handle).c_str());
    return Fail(ERROR_INVALID_FUNCTION);
  };
  c.WriteFile = [](HANDLE, LPCVOID, DWORD length, LPDWORD, LPOVERLAPPED ov) {
    S().Log("WriteFile %lu overlapped=%d", length, ov != nullptr);
    return S().refuseTransfers ? Fail(ERROR_GEN_FAILURE) : TRUE;
  };
  return c;
}

}  // namespace win32test
