#include "hidlib/vlmhid_interface.h"
#include "sim/bus.h"
#include "sim/bus_backend.h"

namespace sim {

VirtualVLMHIDInterface* CreateBusInterface(Bus& bus) {
  return new VLMHIDInterface(std::make_unique<BusBackend>(bus));
}

}  // namespace sim
