// The interface class's own members in the library, which exports them with
// its vtable and type information (VLMHID.h): each is used here once, and
// this file keeps the inline ones out of line, so a client that does not
// inline them (another compiler of the same ABI, a build without
// optimisation) finds them in the library.
#include "VLMHID.h"

namespace vlmhid {
namespace {

// The smallest complete class of the interface: every slot refuses.
class Refusing final : public VirtualVLMHIDInterface {
 public:
  int EnumDevices(const DeviceFilter*, int, DeviceEntry*, int*, int*) override { return -1; }
  int EnumDevicesEx(const uint16_t*, int, const uint16_t*, int, const uint16_t*, int, DeviceEntry*,
                    int*, int*) override {
    return -1;
  }
  int ConnectToDevice(uint16_t, uint16_t, uint8_t, int) override { return -1; }
  int ConnectToDeviceEx(uint16_t, uint16_t, uint8_t, int, const wchar_t*, uint32_t, const wchar_t*,
                        uint32_t) override {
    return -1;
  }
  int DisconnectFromDevice() override { return 0; }
  int WriteOutputReport(const uint8_t*, uint16_t, int, int) override { return -1; }
  int ReadInputReport(uint8_t*, uint16_t, int, int) override { return -1; }
  int WriteFeatureReport(const uint8_t*, uint16_t) override { return -1; }
  int ReadFeatureReport(uint8_t*, uint16_t) override { return -1; }
};

}  // namespace

// Never called: it holds the uses of the constructors, the assignment
// operator and the destructor that make the compiler emit them here.
[[gnu::used]] void UseInterfaceClassMembers(VirtualVLMHIDInterface& to) {
  Refusing made;
  Refusing copied(made);
  copied = made;
  static_cast<VirtualVLMHIDInterface&>(copied) = to;
  to.~VirtualVLMHIDInterface();
}

}  // namespace vlmhid
