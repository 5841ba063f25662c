// The HID report descriptors a simulated controller presents to the kernel:
// in firmware mode three top-level collections (the vendor collection with
// the 531-byte feature report under the controller's report ID, a mouse
// under the next ID and a consumer control under the one after), in its
// bootloader the vendor collection alone.
#pragma once

#include <cstdint>
#include <vector>

namespace sim::uhid {

std::vector<uint8_t> FirmwareDescriptor(uint8_t reportId);
std::vector<uint8_t> BootloaderDescriptor(uint8_t reportId);

// Input reports of the firmware's second and third collections.
std::vector<uint8_t> MouseReport(uint8_t reportId, int8_t dx, int8_t dy);
std::vector<uint8_t> ConsumerReport(uint8_t reportId, int8_t pan);

}  // namespace sim::uhid
