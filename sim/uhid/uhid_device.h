// One kernel HID device made through /dev/uhid: created with its IDs,
// version and report descriptor, answering the kernel's GET_REPORT and
// SET_REPORT requests, sending input reports, destroyed on request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim::uhid {

inline constexpr uint16_t kBusUsb = 0x03;
inline constexpr uint16_t kBusI2c = 0x18;
// A GET_REPORT request does not say how much the host reads: the reply is
// the whole feature report, report ID and 531 bytes.
inline constexpr size_t kFeatureLength = 532;

struct DeviceIdentity {
  uint16_t bus = kBusUsb;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t version = 0;
  std::string name;
  std::string uniq;
  std::vector<uint8_t> descriptor;
};

// Answers to the kernel: a GET_FEATURE fills `report` (report ID first,
// `length` bytes) and returns true; a SET_FEATURE takes the whole report.
struct FeatureHandlers {
  std::function<bool(uint8_t* report, size_t length)> get;
  std::function<bool(const uint8_t* report, size_t length)> set;
};

class UhidDevice {
 public:
  UhidDevice() = default;
  ~UhidDevice();
  UhidDevice(const UhidDevice&) = delete;
  UhidDevice& operator=(const UhidDevice&) = delete;

  // Opens /dev/uhid; false with errno when it cannot.
  bool OpenControl(const char* path = "/dev/uhid");
  bool Create(const DeviceIdentity& identity);
  void Destroy();
  bool created() const { return created_; }
  bool SendInput(const std::vector<uint8_t>& report);
  // Waits up to timeoutMs for kernel requests and answers them; false when
  // the control file failed.
  bool Serve(int timeoutMs, const FeatureHandlers& handlers);

 private:
  bool Send(const void* event, size_t size);
  int fd_ = -1;
  bool created_ = false;
};

}  // namespace sim::uhid
