#include "sim/uhid/controller_descriptor.h"

#include "update/report_frame.h"

namespace sim::uhid {
namespace {

void Append(std::vector<uint8_t>& to, std::initializer_list<uint8_t> items) {
  to.insert(to.end(), items);
}

void AppendVendor(std::vector<uint8_t>& d, uint8_t reportId) {
  const auto count = static_cast<uint16_t>(padflash::kReportSize);
  Append(d, {0x06,
             0x00,
             0xFF,  // Usage Page (vendor 0xFF00)
             0x09,
             0x01,  // Usage (1)
             0xA1,
             0x01,  // Collection (Application)
             0x85,
             reportId,  //   Report ID
             0x09,
             0x02,  //   Usage (2)
             0x15,
             0x00,  //   Logical Minimum (0)
             0x26,
             0xFF,
             0x00,  //   Logical Maximum (255)
             0x75,
             0x08,  //   Report Size (8)
             0x96,
             static_cast<uint8_t>(count),
             static_cast<uint8_t>(count >> 8),  // Report Count
             0xB1,
             0x02,    //   Feature (Data, Variable, Absolute)
             0xC0});  // End Collection
}

}  // namespace

std::vector<uint8_t> FirmwareDescriptor(uint8_t reportId) {
  std::vector<uint8_t> d;
  AppendVendor(d, reportId);
  const auto mouse = static_cast<uint8_t>(reportId + 1);
  const auto consumer = static_cast<uint8_t>(reportId + 2);
  Append(d, {0x05, 0x01,  0x09, 0x02, 0xA1, 0x01,  // Generic Desktop, Mouse, Application
             0x85, mouse,                          //   Report ID
             0x09, 0x01,  0xA1, 0x00,              //   Pointer, Physical
             0x05, 0x09,  0x19, 0x01, 0x29, 0x03,  //     Buttons 1..3
             0x15, 0x00,  0x25, 0x01,              //     0..1
             0x75, 0x01,  0x95, 0x03, 0x81, 0x02,  //     3 x 1 bit, Input (Data, Variable)
             0x75, 0x05,  0x95, 0x01, 0x81, 0x03,  //     5 bits padding
             0x05, 0x01,  0x09, 0x30, 0x09, 0x31,  //     X, Y
             0x15, 0x81,  0x25, 0x7F,              //     -127..127
             0x75, 0x08,  0x95, 0x02, 0x81, 0x06,  //     2 x 8 bits, Input (Data, Var, Rel)
             0xC0, 0xC0});
  Append(d, {0x05, 0x0C,     0x09, 0x01, 0xA1, 0x01,  // Consumer, Consumer Control, Application
             0x85, consumer,                          //   Report ID
             0x0A, 0x38,     0x02,                    //   Usage (AC Pan)
             0x15, 0x81,     0x25, 0x7F,              //   -127..127
             0x75, 0x08,     0x95, 0x01, 0x81, 0x06,  //   1 x 8 bits, Input (Data, Var, Rel)
             0xC0});
  return d;
}

std::vector<uint8_t> BootloaderDescriptor(uint8_t reportId) {
  std::vector<uint8_t> d;
  AppendVendor(d, reportId);
  return d;
}

std::vector<uint8_t> MouseReport(uint8_t reportId, int8_t dx, int8_t dy) {
  return {static_cast<uint8_t>(reportId + 1), 0x00, static_cast<uint8_t>(dx),
          static_cast<uint8_t>(dy)};
}

std::vector<uint8_t> ConsumerReport(uint8_t reportId, int8_t pan) {
  return {static_cast<uint8_t>(reportId + 2), static_cast<uint8_t>(pan)};
}

}  // namespace sim::uhid
