#include "hidlib/win32/device_handle.h"

#include <cstring>
#include <memory>
#include <new>

namespace vlmhid::win32 {
namespace {

// hid.dll and ReadFile / WriteFile take 32-bit lengths.
bool Fits(size_t length) {
  return length > 0 && length <= MAXDWORD;
}

ULONG ClampBytes(size_t bytes) {
  return bytes > MAXDWORD ? MAXDWORD : static_cast<ULONG>(bytes);
}

}  // namespace

DeviceHandle::DeviceHandle(const SystemCalls& calls, HANDLE handle, HANDLE event)
    : calls_(calls), handle_(handle), event_(event) {}

DeviceHandle::~DeviceHandle() {
  calls_.CloseHandle(handle_);
  if (event_ != nullptr) calls_.CloseHandle(event_);
  // A read the driver never ended may still write its block: it is left to
  // the system rather than freed under it.
  if (readPending_) static_cast<void>(read_.release());
}

bool DeviceHandle::GetAttributes(HidAttributes& attributes) {
  HIDD_ATTRIBUTES hid{};
  hid.Size = sizeof(hid);
  if (!calls_.HidD_GetAttributes(handle_, &hid)) return false;
  attributes.vendorId = hid.VendorID;
  attributes.productId = hid.ProductID;
  attributes.versionNumber = hid.VersionNumber;
  return true;
}

bool DeviceHandle::GetCaps(HidCaps& caps) {
  PHIDP_PREPARSED_DATA preparsed = nullptr;
  if (!calls_.HidD_GetPreparsedData(handle_, &preparsed)) return false;
  HIDP_CAPS hid{};
  const bool ok = calls_.HidP_GetCaps(preparsed, &hid) == HIDP_STATUS_SUCCESS;
  if (ok) {
    caps = {};
    caps.numberFeatureValueCaps = ReadFirstValueCaps(HidP_Feature, hid.NumberFeatureValueCaps,
                                                     preparsed, caps.firstFeatureReportId);
    caps.numberInputValueCaps = ReadFirstValueCaps(HidP_Input, hid.NumberInputValueCaps, preparsed,
                                                   caps.firstInputReportId);
    caps.numberOutputValueCaps = ReadFirstValueCaps(HidP_Output, hid.NumberOutputValueCaps,
                                                    preparsed, caps.firstOutputReportId);
  }
  calls_.HidD_FreePreparsedData(preparsed);
  return ok;
}

USHORT DeviceHandle::ReadFirstValueCaps(HIDP_REPORT_TYPE type, USHORT count,
                                        PHIDP_PREPARSED_DATA preparsed, uint8_t& reportId) {
  if (count == 0) return 0;
  // Any usage page, any link collection, any usage: all `count` entries.
  std::unique_ptr<HIDP_VALUE_CAPS[]> values(new (std::nothrow) HIDP_VALUE_CAPS[count]());
  if (!values) return 0;
  USHORT length = count;
  if (calls_.HidP_GetValueCaps(type, values.get(), &length, preparsed) != HIDP_STATUS_SUCCESS ||
      length == 0) {
    return 0;
  }
  reportId = values[0].ReportID;
  return count;
}

bool DeviceHandle::GetProductString(wchar_t* buffer, size_t bytes) {
  return calls_.HidD_GetProductString(handle_, buffer, ClampBytes(bytes)) != FALSE;
}

bool DeviceHandle::GetSerialNumberString(wchar_t* buffer, size_t bytes) {
  return calls_.HidD_GetSerialNumberString(handle_, buffer, ClampBytes(bytes)) != FALSE;
}

bool DeviceHandle::GetFeature(uint8_t* report, size_t length) {
  return Fits(length) &&
         calls_.HidD_GetFeature(handle_, report, static_cast<ULONG>(length)) != FALSE;
}

bool DeviceHandle::SetFeature(const uint8_t* report, size_t length) {
  return Fits(length) && calls_.HidD_SetFeature(handle_, const_cast<uint8_t*>(report),
                                                static_cast<ULONG>(length)) != FALSE;
}

bool DeviceHandle::GetInputReport(uint8_t* report, size_t length) {
  return Fits(length) &&
         calls_.HidD_GetInputReport(handle_, report, static_cast<ULONG>(length)) != FALSE;
}

bool DeviceHandle::SetOutputReport(const uint8_t* report, size_t length) {
  return Fits(length) && calls_.HidD_SetOutputReport(handle_, const_cast<uint8_t*>(report),
                                                     static_cast<ULONG>(length)) != FALSE;
}

bool DeviceHandle::StrandedReadEnded() {
  DWORD transferred = 0;
  if (calls_.GetOverlappedResult(handle_, &read_->overlapped, &transferred, FALSE) == FALSE &&
      calls_.GetLastError() == ERROR_IO_INCOMPLETE) {
    return false;
  }
  readPending_ = false;
  return true;
}

bool DeviceHandle::ReadInput(uint8_t* report, size_t length, int timeoutMs) {
  if (event_ == nullptr || !Fits(length)) return false;
  if (readPending_ && !StrandedReadEnded()) return false;
  if (!read_) {
    read_.reset(new (std::nothrow) ReadBlock);
    if (!read_) return false;
  }
  ReadBlock& block = *read_;
  try {
    block.data.resize(length);
  } catch (const std::bad_alloc&) {
    return false;
  }
  block.overlapped = {};
  block.overlapped.hEvent = event_;
  // The read re-arms the event when it starts. A read the system refuses at
  // once never starts, and the event may still be signalled from before (it
  // is created signalled): waiting on it would report a report that never came.
  if (!calls_.ReadFile(handle_, block.data.data(), static_cast<DWORD>(length), nullptr,
                       &block.overlapped) &&
      calls_.GetLastError() != ERROR_IO_PENDING) {
    calls_.ResetEvent(event_);
    return false;
  }
  DWORD wait = calls_.WaitForSingleObject(event_, static_cast<DWORD>(timeoutMs));
  if (wait != WAIT_OBJECT_0) {
    // Time-out (or a failed wait): the read is still pending and owns the
    // read block. Cancel it and give the driver a bounded time to end it; a
    // report that completed it before the cancellation took is kept.
    calls_.CancelIo(handle_);
    wait = calls_.WaitForSingleObject(event_, kCancelWaitMs);
  }
  bool received = false;
  if (wait == WAIT_OBJECT_0) {
    // Ended: the read's own result tells a report from an error (a device
    // unplugged while the read was pending also signals the event).
    DWORD transferred = 0;
    received = calls_.GetOverlappedResult(handle_, &block.overlapped, &transferred, TRUE) != FALSE;
    if (received) std::memcpy(report, block.data.data(), length);
  } else {
    readPending_ = true;
  }
  calls_.ResetEvent(event_);
  return received;
}

bool DeviceHandle::WriteOutput(const uint8_t* report, size_t length) {
  if (!Fits(length)) return false;
  DWORD written = 0;
  return calls_.WriteFile(handle_, report, static_cast<DWORD>(length), &written, nullptr) != FALSE;
}

void DeviceHandle::ClearErrors() {
  DWORD errors = 0;
  calls_.ClearCommError(handle_, &errors, nullptr);
}

}  // namespace vlmhid::win32
