// VLMHIDInterface: the one implementation of VirtualVLMHIDInterface. The
// enumeration, connection and transfer algorithms live here once and reach
// the platform only through a vlmhid::HidBackend, so the hardware library
// (hidraw on Linux, setupapi + hid.dll on Windows) and the simulated library
// behave alike.
//
// Not exported from the shared library: clients see only the virtual slots.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "VLMHID.h"
#include "hidlib/hid_backend.h"

class VLMHIDInterface : public VirtualVLMHIDInterface {
 public:
  // A null backend gives an object on which every enumeration finds nothing
  // and every connect fails.
  explicit VLMHIDInterface(std::unique_ptr<vlmhid::HidBackend> backend);
  ~VLMHIDInterface() override;

  VLMHIDInterface(const VLMHIDInterface&) = delete;
  VLMHIDInterface& operator=(const VLMHIDInterface&) = delete;

  int EnumDevices(const DeviceFilter* filters, int filterCount, DeviceEntry* entries, int* count,
                  int* maxPathBytes) override;
  int EnumDevicesEx(const uint16_t* vendorIds, int vendorCount, const uint16_t* productIds,
                    int productCount, const uint16_t* versions, int versionCount,
                    DeviceEntry* entries, int* count, int* maxPathBytes) override;
  int ConnectToDevice(uint16_t vendorId, uint16_t productId, uint8_t reportId, int mode) override;
  int ConnectToDeviceEx(uint16_t vendorId, uint16_t productId, uint8_t reportId, int mode,
                        const wchar_t* pathToken1, uint32_t offset1, const wchar_t* pathToken2,
                        uint32_t offset2) override;
  int DisconnectFromDevice() override;
  int WriteOutputReport(const uint8_t* data, uint16_t length, int useSetOutputReport,
                        int retries) override;
  int ReadInputReport(uint8_t* data, uint16_t length, int timeoutMs,
                      int useGetInputReport) override;
  int WriteFeatureReport(const uint8_t* data, uint16_t length) override;
  int ReadFeatureReport(uint8_t* data, uint16_t length) override;

  // Pause between two output write attempts.
  static constexpr uint32_t kOutputRetryPauseMs = 100;

 private:
  // Decides whether an interface with these attributes is listed.
  class Matcher {
   public:
    virtual ~Matcher() = default;
    virtual bool Matches(const vlmhid::HidAttributes& attributes) const = 0;
  };
  class FilterMatcher;
  class ListMatcher;

  int Enumerate(const Matcher& matcher, DeviceEntry* entries, int* count, int* maxPathBytes);
  void FillEntry(DeviceEntry& entry, const vlmhid::HidAttributes& attributes,
                 const std::wstring& path, size_t pathCapacity, vlmhid::HidHandle& handle);
  // Opens the interface's handle of `mode` when its first value capability
  // of that kind carries `wantedReportId`; false when it is not taken.
  bool TakeInterface(const std::wstring& path, const vlmhid::HidCaps& interfaceCaps,
                     uint8_t wantedReportId, int mode);

  std::unique_ptr<vlmhid::HidBackend> backend;

  uint8_t reportId = 0;
  vlmhid::HidCaps caps{};
  std::unique_ptr<vlmhid::HidHandle> deviceHandle;  // attributes and feature reports
  std::unique_ptr<vlmhid::HidHandle> readHandle;    // input reports (mode 1)
  std::unique_ptr<vlmhid::HidHandle> writeHandle;   // output reports (mode 2)
  uint32_t connected = 0;

  // The path size (in wide characters) this object reported on its last
  // counting pass (entries null); bounds the path copies of a following
  // filling pass that passes *maxPathBytes as 0. 0: no counting pass yet.
  int countedPathChars = 0;
};
