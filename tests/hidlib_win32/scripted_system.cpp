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

constexpr GUID kHidClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
const HDEVINFO kSet = reinterpret_cast<HDEVINFO>(0x5E7);

BOOL Fail(DWORD error) {
  S().lastError = error;
  return FALSE;
}

const Device& OfPreparsed(PHIDP_PREPARSED_DATA data) {
  return S().devices.at(reinterpret_cast<uintptr_t>(data) - 1);
}

BOOLEAN Received(PVOID buffer, ULONG length) {
  auto* bytes = static_cast<const uint8_t*>(buffer);
  S().sent.emplace_back(bytes, bytes + length);
  return S().refuseTransfers ? FALSE : TRUE;
}

BOOLEAN Answer(PVOID buffer, ULONG length) {
  std::memcpy(buffer, S().reply.data(), std::min<size_t>(length, S().reply.size()));
  return S().refuseTransfers ? FALSE : TRUE;
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

int ScriptedSystem::DeviceOf(HANDLE handle) {
  const std::string& what = open.at(handle);
  return std::stoi(what.substr(what.find('#') + 1));
}

void ScriptedSystem::FinishRead(DWORD error) {
  pendingBuffer = nullptr;
  readError = error;
}

std::vector<std::string> ScriptedSystem::Lines(std::initializer_list<std::string> calls) const {
  std::vector<std::string> lines;
  for (const std::string& line : log) {
    if (std::find(calls.begin(), calls.end(), line.substr(0, line.find(' '))) != calls.end()) {
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
  c.HidD_GetHidGuid = [](LPGUID guid) { *guid = kHidClass; };
  c.SetupDiGetClassDevsW = [](const GUID* guid, PCWSTR, HWND, DWORD flags) {
    S().Log("SetupDiGetClassDevsW 0x%lx", flags);
    if (!IsEqualGUID(*guid, kHidClass)) return static_cast<HDEVINFO>(INVALID_HANDLE_VALUE);
    ++S().openSets;
    return kSet;
  };
  c.SetupDiEnumDeviceInterfaces = [](HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD index,
                                     PSP_DEVICE_INTERFACE_DATA data) -> BOOL {
    if (data->cbSize != sizeof(*data)) return Fail(ERROR_INVALID_USER_BUFFER);
    if (index >= S().devices.size()) return Fail(ERROR_NO_MORE_ITEMS);
    data->Reserved = index;
    return TRUE;
  };
  c.SetupDiGetDeviceInterfaceDetailW = [](HDEVINFO, PSP_DEVICE_INTERFACE_DATA data,
                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                          PDWORD required, PSP_DEVINFO_DATA) -> BOOL {
    const int i = static_cast<int>(data->Reserved);
    const Device& d = S().devices.at(i);
    const DWORD bytes = (d.path.size() + 1) * sizeof(WCHAR);
    const DWORD needed = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + bytes;
    if (detail == nullptr) {
      S().Log("DetailSize #%d", i);
      if (required != nullptr) *required = needed;
      return d.sizeQueryError == 0 ? TRUE : Fail(d.sizeQueryError);
    }
    S().Log("DetailFetch #%d cbSize=%lu", i, detail->cbSize);
    if (detail->cbSize != sizeof(*detail)) return Fail(ERROR_INVALID_USER_BUFFER);
    if (size < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(detail->DevicePath, d.path.c_str(), bytes);
    return TRUE;
  };
  c.SetupDiDestroyDeviceInfoList = [](HDEVINFO) -> BOOL { return --S().openSets, TRUE; };
  c.CreateFileW = [](LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                     DWORD disposition, DWORD flags, HANDLE) {
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
  c.CloseHandle = [](HANDLE handle) -> BOOL {
    if (S().open.erase(handle) == 1) return TRUE;
    ADD_FAILURE() << "CloseHandle of a handle that is not open";
    return Fail(ERROR_INVALID_HANDLE);
  };
  c.CreateEventW = [](LPSECURITY_ATTRIBUTES, BOOL manual, BOOL initial, LPCWSTR name) -> HANDLE {
    S().Log("CreateEventW manual=%d initial=%d named=%d", manual, initial, name != nullptr);
    if (S().refuseEvents) return nullptr;
    HANDLE event = S().NewHandle("event");
    S().signalled[event] = initial;
    return event;
  };
  c.ResetEvent = [](HANDLE event) -> BOOL {
    S().Log("ResetEvent");
    return S().signalled[event] = false, TRUE;
  };
  c.GetLastError = []() { return S().lastError; };
  c.Sleep = [](DWORD ms) { S().Log("Sleep %lu", ms); };
  c.HidD_GetAttributes = [](HANDLE handle, PHIDD_ATTRIBUTES a) -> BOOLEAN {
    const Device& d = S().devices.at(S().DeviceOf(handle));
    if (a->Size != sizeof(*a)) return FALSE;
    a->VendorID = d.vendorId;
    a->ProductID = d.productId;
    a->VersionNumber = d.version;
    return TRUE;
  };
  c.HidD_GetPreparsedData = [](HANDLE handle, PHIDP_PREPARSED_DATA* data) -> BOOLEAN {
    ++S().preparsedOut;
    *data =
        reinterpret_cast<PHIDP_PREPARSED_DATA>(static_cast<uintptr_t>(S().DeviceOf(handle) + 1));
    return TRUE;
  };
  c.HidD_FreePreparsedData = [](PHIDP_PREPARSED_DATA) -> BOOLEAN {
    return --S().preparsedOut, TRUE;
  };
  c.HidP_GetCaps = [](PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) -> NTSTATUS {
    const Device& d = OfPreparsed(data);
    *caps = {};
    caps->NumberInputValueCaps = d.reportIds[HidP_Input] != 0;
    caps->NumberOutputValueCaps = d.reportIds[HidP_Output] != 0;
    caps->NumberFeatureValueCaps = d.reportIds[HidP_Feature] != 0;
    return HIDP_STATUS_SUCCESS;
  };
  c.HidP_GetValueCaps = [](HIDP_REPORT_TYPE type, PHIDP_VALUE_CAPS caps, PUSHORT length,
                           PHIDP_PREPARSED_DATA data) -> NTSTATUS {
    const UCHAR reportId = OfPreparsed(data).reportIds[type];
    if (reportId == 0 || *length < 1) return HIDP_STATUS_INVALID_REPORT_TYPE;
    caps[0] = {};
    caps[0].ReportID = reportId;
    *length = 1;
    return HIDP_STATUS_SUCCESS;
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
  c.HidD_SetFeature = [](HANDLE, PVOID buffer, ULONG length) { return Received(buffer, length); };
  c.HidD_GetInputReport = [](HANDLE, PVOID buffer, ULONG length) { return Answer(buffer, length); };
  c.HidD_SetOutputReport = [](HANDLE, PVOID buffer, ULONG length) {
    return Received(buffer, length);
  };
  c.ReadFile = [](HANDLE handle, LPVOID buffer, DWORD length, LPDWORD, LPOVERLAPPED ov) -> BOOL {
    auto& s = S();
    s.Log("ReadFile %lu on %s", length, s.open.at(handle).c_str());
    // Refused before it starts: the event stays as it was.
    if (s.read == Read::kRefused) return Fail(ERROR_DEVICE_NOT_CONNECTED);
    s.signalled[ov->hEvent] = s.read == Read::kAtOnce;
    if (s.read == Read::kAtOnce) return s.FinishRead(0), Answer(buffer, length);
    s.pendingBuffer = static_cast<uint8_t*>(buffer);
    s.cancelled = false;
    return Fail(ERROR_IO_PENDING);
  };
  c.WaitForSingleObject = [](HANDLE event, DWORD ms) -> DWORD {
    auto& s = S();
    s.Log("WaitForSingleObject %lu", ms);
    if (s.read == Read::kUnplugged && s.pendingBuffer != nullptr) {
      s.FinishRead(ERROR_DEVICE_NOT_CONNECTED);
      s.signalled[event] = true;
    }
    return s.signalled[event] ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  };
  c.CancelIo = [](HANDLE) -> BOOL {
    auto& s = S();
    s.Log("CancelIo");
    if (s.read == Read::kArrivesAtCancel && s.pendingBuffer != nullptr) {
      Answer(s.pendingBuffer, static_cast<ULONG>(s.reply.size()));
      s.FinishRead(0);
    }
    return s.cancelled = true, TRUE;
  };
  c.GetOverlappedResult = [](HANDLE, LPOVERLAPPED, LPDWORD, BOOL wait) -> BOOL {
    auto& s = S();
    s.Log("GetOverlappedResult wait=%d", wait);
    // The driver ends a cancelled read some time after CancelIo.
    if (s.pendingBuffer != nullptr && s.cancelled && wait) s.FinishRead(ERROR_OPERATION_ABORTED);
    if (s.pendingBuffer != nullptr) {
      if (wait) ADD_FAILURE() << "waits for a read that never ends";
      return Fail(ERROR_IO_INCOMPLETE);
    }
    return s.readError != 0 ? Fail(s.readError) : TRUE;
  };
  c.ClearCommError = [](HANDLE handle, LPDWORD, LPCOMSTAT) -> BOOL {
    S().Log("ClearCommError %s", S().open.at(handle).c_str());
    return Fail(ERROR_INVALID_FUNCTION);
  };
  c.WriteFile = [](HANDLE, LPCVOID buffer, DWORD length, LPDWORD, LPOVERLAPPED ov) -> BOOL {
    S().Log("WriteFile %lu overlapped=%d", length, ov != nullptr);
    return Received(const_cast<LPVOID>(buffer), length);
  };
  return c;
}

}  // namespace win32test
