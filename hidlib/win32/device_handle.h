// One open HID device interface on Windows: a file handle from CreateFileW
// and, for input and output handles, the manual-reset event of their
// overlapped block. Attributes, capabilities and strings come from hid.dll;
// feature reports through HidD_GetFeature / HidD_SetFeature; input reports
// through an overlapped ReadFile or HidD_GetInputReport; output reports
// through WriteFile or HidD_SetOutputReport.
#pragma once

#include <memory>
#include <vector>

#include "hidlib/hid_backend.h"
#include "hidlib/win32/system_calls.h"

namespace vlmhid::win32 {

class DeviceHandle final : public HidHandle {
 public:
  // Owns `handle` and `event` (null for a handle opened without access
  // rights) and closes them when destroyed.
  DeviceHandle(const SystemCalls& calls, HANDLE handle, HANDLE event);
  ~DeviceHandle() override;
  DeviceHandle(const DeviceHandle&) = delete;
  DeviceHandle& operator=(const DeviceHandle&) = delete;

  bool GetAttributes(HidAttributes& attributes) override;
  // Kinds whose value capabilities cannot be read count as having none.
  bool GetCaps(HidCaps& caps) override;
  bool GetProductString(wchar_t* buffer, size_t bytes) override;
  bool GetSerialNumberString(wchar_t* buffer, size_t bytes) override;
  bool GetFeature(uint8_t* report, size_t length) override;
  bool SetFeature(const uint8_t* report, size_t length) override;
  bool GetInputReport(uint8_t* report, size_t length) override;
  bool SetOutputReport(const uint8_t* report, size_t length) override;
  // An overlapped read on the event into the handle's own read block.
  // Succeeds only when the read has really delivered a report, which is
  // then copied to `report`; a read that has not, within timeoutMs, is
  // cancelled and waited for up to kCancelWaitMs. A read the driver has not
  // ended by then keeps the read block, and no new read starts until it has
  // ended; `report` is never written once this returns.
  bool ReadInput(uint8_t* report, size_t length, int timeoutMs) override;

  // How long a cancelled read is waited for.
  static constexpr DWORD kCancelWaitMs = 1000;
  bool WriteOutput(const uint8_t* report, size_t length) override;
  void ClearErrors() override;

 private:
  // The number of value capabilities of one kind, 0 when they cannot be
  // read; `reportId` takes the first one's report ID.
  USHORT ReadFirstValueCaps(HIDP_REPORT_TYPE type, USHORT count, PHIDP_PREPARSED_DATA preparsed,
                            uint8_t& reportId);

  // The overlapped block and the buffer of one input read; both belong to
  // the system while the read is pending.
  struct ReadBlock {
    OVERLAPPED overlapped{};
    std::vector<uint8_t> data;
  };

  // Whether the read still pending from an earlier call has ended.
  bool StrandedReadEnded();

  SystemCalls calls_;
  HANDLE handle_;
  HANDLE event_;
  std::unique_ptr<ReadBlock> read_;
  bool readPending_ = false;  // a cancelled read the driver has not ended yet
};

}  // namespace vlmhid::win32
