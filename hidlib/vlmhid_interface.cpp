#include "hidlib/vlmhid_interface.h"

#include <climits>
#include <cstring>
#include <new>
#include <string_view>

using vlmhid::HidAttributes;
using vlmhid::HidCaps;
using vlmhid::HidHandle;
using vlmhid::OpenAccess;

namespace {

constexpr wchar_t kNoString[] = L"None";

// Copies at most capacity - 1 characters of `source` (up to its terminator
// or `sourceChars`, whichever comes first) and terminates the copy.
void CopyBounded(wchar_t* destination, size_t capacity, const wchar_t* source, size_t sourceChars) {
  if (destination == nullptr || capacity == 0) return;
  size_t n = 0;
  while (n + 1 < capacity && n < sourceChars && source[n] != L'\0') {
    destination[n] = source[n];
    ++n;
  }
  destination[n] = L'\0';
}

// Asks the device for one of its strings into a work buffer preset to
// "None" and copies the answer, bounded, into the caller's buffer of
// kVLMHIDStringChars characters. The device's answer need not be terminated.
void CopyDeviceString(bool (HidHandle::*query)(wchar_t*, size_t), HidHandle& handle,
                      wchar_t* destination) {
  wchar_t work[kVLMHIDStringChars] = {};
  std::memcpy(work, kNoString, sizeof(kNoString));
  if (!(handle.*query)(work, sizeof(work))) std::memcpy(work, kNoString, sizeof(kNoString));
  CopyBounded(destination, kVLMHIDStringChars, work, kVLMHIDStringChars);
}

// True when `token` occurs in `path` at or after character `offset`, which
// must lie inside the path.
bool TokenFrom(std::wstring_view path, const wchar_t* token, uint32_t offset) {
  if (offset >= path.size()) return false;
  return path.find(token, offset) != std::wstring_view::npos;
}

bool PathPasses(const std::wstring& fullPath, const wchar_t* token1, uint32_t offset1,
                const wchar_t* token2, uint32_t offset2) {
  if (token1 == nullptr) return true;
  const std::wstring_view path(fullPath.c_str());
  if (!TokenFrom(path, token1, offset1)) return false;
  return token2 == nullptr || TokenFrom(path, token2, offset2);
}

// A report buffer of length + 1 bytes with the report ID in byte 0; null
// when memory runs out.
std::unique_ptr<uint8_t[]> NewReport(uint8_t reportId, uint16_t length) {
  std::unique_ptr<uint8_t[]> report(new (std::nothrow) uint8_t[size_t{length} + 1]());
  if (report) report[0] = reportId;
  return report;
}

bool InList(const uint16_t* list, int listCount, uint16_t value) {
  if (list == nullptr || listCount <= 0) return true;
  for (int i = 0; i < listCount; ++i) {
    if (list[i] == value) return true;
  }
  return false;
}

}  // namespace

// EnumDevices: a filter matches when each field is 0 or equal; the first
// matching filter decides. No filters at all match every device.
class VLMHIDInterface::FilterMatcher final : public VLMHIDInterface::Matcher {
 public:
  FilterMatcher(const DeviceFilter* filters, int filterCount)
      : filters_(filters), filterCount_(filterCount) {}
  bool Matches(const HidAttributes& a) const override {
    if (filters_ == nullptr || filterCount_ == 0) return true;
    for (int i = 0; i < filterCount_; ++i) {
      const DeviceFilter& f = filters_[i];
      if ((f.vendorId == 0 || f.vendorId == a.vendorId) &&
          (f.productId == 0 || f.productId == a.productId) &&
          (f.versionNumber == 0 || f.versionNumber == a.versionNumber)) {
        return true;
      }
    }
    return false;
  }

 private:
  const DeviceFilter* filters_;
  int filterCount_;
};

// EnumDevicesEx: three independent lists; a null or empty list matches
// everything, and 0 is an ordinary value in them.
class VLMHIDInterface::ListMatcher final : public VLMHIDInterface::Matcher {
 public:
  ListMatcher(const uint16_t* vendorIds, int vendorCount, const uint16_t* productIds,
              int productCount, const uint16_t* versions, int versionCount)
      : vendorIds_(vendorIds),
        productIds_(productIds),
        versions_(versions),
        vendorCount_(vendorCount),
        productCount_(productCount),
        versionCount_(versionCount) {}
  bool Matches(const HidAttributes& a) const override {
    return InList(vendorIds_, vendorCount_, a.vendorId) &&
           InList(productIds_, productCount_, a.productId) &&
           InList(versions_, versionCount_, a.versionNumber);
  }

 private:
  const uint16_t* vendorIds_;
  const uint16_t* productIds_;
  const uint16_t* versions_;
  int vendorCount_;
  int productCount_;
  int versionCount_;
};

VLMHIDInterface::VLMHIDInterface(std::unique_ptr<vlmhid::HidBackend> backend)
    : backend(std::move(backend)) {}

VLMHIDInterface::~VLMHIDInterface() {
  DisconnectFromDevice();
}

int VLMHIDInterface::EnumDevices(const DeviceFilter* filters, int filterCount, DeviceEntry* entries,
                                 int* count, int* maxPathBytes) {
  return Enumerate(FilterMatcher(filters, filterCount), entries, count, maxPathBytes);
}

int VLMHIDInterface::EnumDevicesEx(const uint16_t* vendorIds, int vendorCount,
                                   const uint16_t* productIds, int productCount,
                                   const uint16_t* versions, int versionCount, DeviceEntry* entries,
                                   int* count, int* maxPathBytes) {
  return Enumerate(
      ListMatcher(vendorIds, vendorCount, productIds, productCount, versions, versionCount),
      entries, count, maxPathBytes);
}

int VLMHIDInterface::Enumerate(const Matcher& matcher, DeviceEntry* entries, int* count,
                               int* maxPathBytes) {
  if (count == nullptr || maxPathBytes == nullptr) return -1;
  const int capacity = entries != nullptr && *count > 0 ? *count : 0;
  // The caller's path buffers hold *maxPathBytes wide characters when it
  // passes that number in; otherwise what this object's counting pass told it.
  size_t pathCapacity = 0;
  if (*maxPathBytes > 0) {
    pathCapacity = static_cast<size_t>(*maxPathBytes);
  } else if (countedPathChars > 0) {
    pathCapacity = static_cast<size_t>(countedPathChars);
  }

  int matches = 0;
  if (backend) {
    for (const std::wstring& path : backend->ListInterfaces()) {
      std::unique_ptr<HidHandle> handle = backend->Open(path, OpenAccess::kNone);
      if (!handle) continue;
      HidAttributes attributes;
      if (!handle->GetAttributes(attributes) || !matcher.Matches(attributes)) continue;
      const size_t pathChars = std::wstring_view(path.c_str()).size();
      if (pathChars >= (INT_MAX - 1) / sizeof(wchar_t)) continue;
      const int pathBytes = static_cast<int>(pathChars * sizeof(wchar_t));

      if (matches < capacity) {
        FillEntry(entries[matches], attributes, path,
                  pathCapacity > 0 ? pathCapacity : pathChars + 1, *handle);
      }
      if (pathBytes >= *maxPathBytes) *maxPathBytes = pathBytes + 1;
      if (matches < INT_MAX) ++matches;
    }
  }
  *count = matches;
  if (entries == nullptr) countedPathChars = *maxPathBytes;
  return 0;
}

void VLMHIDInterface::FillEntry(DeviceEntry& entry, const HidAttributes& attributes,
                                const std::wstring& path, size_t pathCapacity, HidHandle& handle) {
  entry.vendorId = attributes.vendorId;
  entry.productId = attributes.productId;
  entry.versionNumber = attributes.versionNumber;
  CopyBounded(entry.devicePath, pathCapacity, path.c_str(), path.size());
  CopyDeviceString(&HidHandle::GetProductString, handle, entry.productString);
  CopyDeviceString(&HidHandle::GetSerialNumberString, handle, entry.serialNumberString);
}

int VLMHIDInterface::ConnectToDevice(uint16_t vendorId, uint16_t productId, uint8_t reportId,
                                     int mode) {
  return ConnectToDeviceEx(vendorId, productId, reportId, mode, nullptr, 0, nullptr, 0);
}

int VLMHIDInterface::ConnectToDeviceEx(uint16_t vendorId, uint16_t productId,
                                       uint8_t wantedReportId, int mode, const wchar_t* pathToken1,
                                       uint32_t offset1, const wchar_t* pathToken2,
                                       uint32_t offset2) {
  if (connected) return -1;
  if (backend) {
    for (const std::wstring& path : backend->ListInterfaces()) {
      if (!PathPasses(path, pathToken1, offset1, pathToken2, offset2)) continue;
      deviceHandle = backend->Open(path, OpenAccess::kNone);
      if (!deviceHandle) continue;
      HidAttributes attributes;
      HidCaps interfaceCaps;
      if (deviceHandle->GetAttributes(attributes) && attributes.vendorId == vendorId &&
          attributes.productId == productId && deviceHandle->GetCaps(interfaceCaps) &&
          TakeInterface(path, interfaceCaps, wantedReportId, mode)) {
        caps = interfaceCaps;
        reportId = wantedReportId;
        connected = 1;
        return 0;
      }
      deviceHandle.reset();
      readHandle.reset();
      writeHandle.reset();
    }
  }
  DisconnectFromDevice();
  return -1;
}

bool VLMHIDInterface::TakeInterface(const std::wstring& path, const HidCaps& interfaceCaps,
                                    uint8_t wantedReportId, int mode) {
  switch (mode) {
    case kVLMHIDModeFeature:
      return interfaceCaps.numberFeatureValueCaps > 0 &&
             interfaceCaps.firstFeatureReportId == wantedReportId;
    case kVLMHIDModeInput:
      if (interfaceCaps.numberInputValueCaps == 0 ||
          interfaceCaps.firstInputReportId != wantedReportId) {
        return false;
      }
      readHandle = backend->Open(path, OpenAccess::kRead);
      return readHandle != nullptr;
    case kVLMHIDModeOutput:
      if (interfaceCaps.numberOutputValueCaps == 0 ||
          interfaceCaps.firstOutputReportId != wantedReportId) {
        return false;
      }
      writeHandle = backend->Open(path, OpenAccess::kWrite);
      return writeHandle != nullptr;
    default:
      return false;
  }
}

int VLMHIDInterface::DisconnectFromDevice() {
  deviceHandle.reset();
  readHandle.reset();
  writeHandle.reset();
  connected = 0;
  return 0;
}

int VLMHIDInterface::WriteOutputReport(const uint8_t* data, uint16_t length, int useSetOutputReport,
                                       int retries) {
  if (!connected || !writeHandle || (data == nullptr && length > 0)) return -1;
  std::unique_ptr<uint8_t[]> report = NewReport(reportId, length);
  if (!report) return -1;
  if (length > 0) std::memcpy(report.get() + 1, data, length);
  const size_t reportLength = size_t{length} + 1;

  writeHandle->ClearErrors();
  if (readHandle) readHandle->ClearErrors();
  if (useSetOutputReport) return writeHandle->SetOutputReport(report.get(), reportLength) ? 0 : -1;

  // At least one attempt; every failed attempt, the last one included, is
  // followed by the pause.
  for (int attempt = 1;; ++attempt) {
    if (writeHandle->WriteOutput(report.get(), reportLength)) return 0;
    backend->SleepMs(kOutputRetryPauseMs);
    writeHandle->ClearErrors();
    if (attempt >= retries) return -1;
  }
}

int VLMHIDInterface::ReadInputReport(uint8_t* data, uint16_t length, int timeoutMs,
                                     int useGetInputReport) {
  if (!connected || !readHandle || (data == nullptr && length > 0)) return -1;
  std::unique_ptr<uint8_t[]> report = NewReport(reportId, length);
  if (!report) return -1;
  const size_t reportLength = size_t{length} + 1;
  const bool ok = useGetInputReport ? readHandle->GetInputReport(report.get(), reportLength)
                                    : readHandle->ReadInput(report.get(), reportLength, timeoutMs);
  if (!ok) return -1;
  if (length > 0) std::memcpy(data, report.get() + 1, length);
  return 0;
}

int VLMHIDInterface::WriteFeatureReport(const uint8_t* data, uint16_t length) {
  if (!connected || !deviceHandle || (data == nullptr && length > 0)) return -1;
  std::unique_ptr<uint8_t[]> report = NewReport(reportId, length);
  if (!report) return -1;
  if (length > 0) std::memcpy(report.get() + 1, data, length);
  return deviceHandle->SetFeature(report.get(), size_t{length} + 1) ? 0 : -1;
}

int VLMHIDInterface::ReadFeatureReport(uint8_t* data, uint16_t length) {
  if (!connected || !deviceHandle || (data == nullptr && length > 0)) return -1;
  std::unique_ptr<uint8_t[]> report = NewReport(reportId, length);
  if (!report) return -1;
  if (!deviceHandle->GetFeature(report.get(), size_t{length} + 1)) return -1;
  if (length > 0) std::memcpy(data, report.get() + 1, length);
  return 0;
}
