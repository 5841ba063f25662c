// The Windows backend of VLMHID: the HID device interfaces that setupapi
// lists for the HID class, opened with CreateFileW and driven through hid.dll
// and kernel32 (device_handle.h).
//
// Walking the interfaces: HidD_GetHidGuid; SetupDiGetClassDevsW for the
// present device interfaces of the class; SetupDiEnumDeviceInterfaces at
// index 0, 1, ... until it reports no more; for each, the detail block with
// the device path, fetched only after the size query failed with
// ERROR_INSUFFICIENT_BUFFER (any other answer skips the interface); finally
// SetupDiDestroyDeviceInfoList.
//
// Opening: no access rights for attributes and feature reports; read access
// with the overlapped flag, plus a manual-reset event created signalled, for
// input reports; write access, plus the event, for output reports. Always
// shared read and write, open-existing.
//
// Every system call goes through the SystemCalls table it is given.
#pragma once

#include "hidlib/hid_backend.h"
#include "hidlib/win32/system_calls.h"

namespace vlmhid::win32 {

class Win32Backend final : public HidBackend {
 public:
  explicit Win32Backend(const SystemCalls& calls);

  std::vector<std::wstring> ListInterfaces() override;
  std::unique_ptr<HidHandle> Open(const std::wstring& path, OpenAccess access) override;
  void SleepMs(uint32_t ms) override;

 private:
  // The device path of one interface; false when the interface is skipped.
  bool ReadDevicePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data, std::wstring& path);

  SystemCalls calls_;
};

}  // namespace vlmhid::win32
