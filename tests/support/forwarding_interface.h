// A connection object that hands every call to another one, so a test can
// change just the calls it is about and leave the rest to the simulated bus.
#pragma once

#include <memory>

#include "VLMHID.h"

namespace padflash::testing {

class ForwardingInterface : public VirtualVLMHIDInterface {
 public:
  explicit ForwardingInterface(VirtualVLMHIDInterface* inner) : inner_(inner) {}

  int EnumDevices(const DeviceFilter* filters, int filterCount, DeviceEntry* entries, int* count,
                  int* maxPathBytes) override {
    return inner_->EnumDevices(filters, filterCount, entries, count, maxPathBytes);
  }
  int EnumDevicesEx(const uint16_t* v, int vc, const uint16_t* p, int pc, const uint16_t* r, int rc,
                    DeviceEntry* entries, int* count, int* maxPathBytes) override {
    return inner_->EnumDevicesEx(v, vc, p, pc, r, rc, entries, count, maxPathBytes);
  }
  int ConnectToDevice(uint16_t v, uint16_t p, uint8_t id, int mode) override {
    return inner_->ConnectToDevice(v, p, id, mode);
  }
  int ConnectToDeviceEx(uint16_t v, uint16_t p, uint8_t id, int mode, const wchar_t* t1,
                        uint32_t o1, const wchar_t* t2, uint32_t o2) override {
    return inner_->ConnectToDeviceEx(v, p, id, mode, t1, o1, t2, o2);
  }
  int DisconnectFromDevice() override { return inner_->DisconnectFromDevice(); }
  int WriteOutputReport(const uint8_t* d, uint16_t n, int use, int retries) override {
    return inner_->WriteOutputReport(d, n, use, retries);
  }
  int ReadInputReport(uint8_t* d, uint16_t n, int timeoutMs, int use) override {
    return inner_->ReadInputReport(d, n, timeoutMs, use);
  }
  int WriteFeatureReport(const uint8_t* d, uint16_t n) override {
    return inner_->WriteFeatureReport(d, n);
  }
  int ReadFeatureReport(uint8_t* d, uint16_t n) override { return inner_->ReadFeatureReport(d, n); }

 private:
  std::unique_ptr<VirtualVLMHIDInterface> inner_;
};

}  // namespace padflash::testing
