#include "hidlib/win32/win32_backend.h"

#include <cstddef>
#include <cwchar>
#include <new>

#include "hidlib/win32/device_handle.h"

namespace vlmhid::win32 {
namespace {

using DetailData = SP_DEVICE_INTERFACE_DETAIL_DATA_W;

// The size field of a detail block holds the block's fixed size: 8 in a
// 64-bit build (6 in a 32-bit one), whatever the path's length.
constexpr DWORD kDetailFixedSize = sizeof(DetailData);
static_assert(sizeof(void*) != 8 || kDetailFixedSize == 8);

constexpr size_t kPathOffset = offsetof(DetailData, DevicePath);
// Room for the longest path Windows knows (32767 characters) and its
// terminator; a detail block reported larger is not believed.
constexpr DWORD kMaxDetailSize = kPathOffset + 32768 * sizeof(WCHAR);

}  // namespace

Win32Backend::Win32Backend(const SystemCalls& calls) : calls_(calls) {}

std::vector<std::wstring> Win32Backend::ListInterfaces() {
  std::vector<std::wstring> paths;
  GUID hidClass{};
  calls_.HidD_GetHidGuid(&hidClass);
  HDEVINFO set = calls_.SetupDiGetClassDevsW(&hidClass, nullptr, nullptr,
                                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return paths;
  // The set is destroyed however the walk ends, also when an allocation
  // throws.
  struct SetCloser {
    const SystemCalls& calls;
    HDEVINFO set;
    ~SetCloser() { calls.SetupDiDestroyDeviceInfoList(set); }
  } closer{calls_, set};
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    if (!calls_.SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, index, &data)) break;
    std::wstring path;
    if (ReadDevicePath(set, data, path)) paths.push_back(std::move(path));
  }
  return paths;
}

bool Win32Backend::ReadDevicePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data,
                                  std::wstring& path) {
  DWORD size = 0;
  if (calls_.SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &size, nullptr) ||
      calls_.GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return false;
  }
  // The size must hold the fixed part (whose size field is written below)
  // and stay believable.
  if (size < kDetailFixedSize || size > kMaxDetailSize) return false;
  std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[size]());
  if (!block) return false;
  auto* detail = reinterpret_cast<DetailData*>(block.get());
  detail->cbSize = kDetailFixedSize;
  if (!calls_.SetupDiGetDeviceInterfaceDetailW(set, &data, detail, size, nullptr, nullptr)) {
    return false;
  }
  // The path ends at its terminator or at the end of the block, whichever
  // comes first.
  const size_t capacity = (size - kPathOffset) / sizeof(WCHAR);
  path.assign(detail->DevicePath, wcsnlen(detail->DevicePath, capacity));
  return true;
}

std::unique_ptr<HidHandle> Win32Backend::Open(const std::wstring& path, OpenAccess access) {
  DWORD desiredAccess = 0;
  DWORD flags = 0;
  if (access == OpenAccess::kRead) {
    desiredAccess = GENERIC_READ;
    flags = FILE_FLAG_OVERLAPPED;
  } else if (access == OpenAccess::kWrite) {
    desiredAccess = GENERIC_WRITE;
  }
  HANDLE handle =
      calls_.CreateFileW(path.c_str(), desiredAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE event = nullptr;
  if (access != OpenAccess::kNone) {
    // Unnamed, manual reset, initially signalled.
    event = calls_.CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (event == nullptr) {
      calls_.CloseHandle(handle);
      return nullptr;
    }
  }
  std::unique_ptr<HidHandle> device(new (std::nothrow) DeviceHandle(calls_, handle, event));
  if (!device) {
    calls_.CloseHandle(handle);
    if (event != nullptr) calls_.CloseHandle(event);
  }
  return device;
}

void Win32Backend::SleepMs(uint32_t ms) {
  calls_.Sleep(ms);
}

}  // namespace vlmhid::win32
