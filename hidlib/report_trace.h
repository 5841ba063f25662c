// The report trace: one text line per feature report that crosses the
// library, in the form the simulated bus writes, so a trace recorded on real
// hardware and one recorded on the simulator read alike and either can be
// played back by the simulated library.
//
//   <ms> SET <device> <hex>        a SET_FEATURE the device took
//   <ms> GET <device> <hex>        a GET_FEATURE and the report it returned
//   <ms> SET-FAIL <device> <hex>   a SET_FEATURE that failed (the report sent)
//   <ms> GET-FAIL <device> <hex>   a GET_FEATURE that failed (the buffer as
//                                  the host handed it in)
//   <ms> DEVICE <device> <vid>:<pid>:<version> <report ID> <collection> <product>
//
// <ms> is wall-clock milliseconds, <hex> the whole report, report ID first,
// lower case. <device> names the device without blanks: its serial number, or
// the node it was opened on when it has none ("hidraw3", or the last part of
// a Windows interface path, which holds '#'); a player shows any other name
// as the device's serial number. A DEVICE line (IDs and version
// in hex, the report ID in decimal, the collection as "&col01" or "-" for a
// device with one collection, the product string or "None" to the end of the
// line) comes before the first report of a device and again whenever what
// the reports reach has changed, e.g. after the controller restarted into
// its bootloader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vlmhid::trace {

enum class Kind { kSet, kGet, kSetFail, kGetFail, kDevice };

// What a DEVICE line says.
struct DeviceIdentity {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t versionNumber = 0;
  uint8_t reportId = 0;
  std::string collection = "-";  // "&col01", or "-"
  std::string product = "None";
  bool operator==(const DeviceIdentity&) const = default;
};

struct Line {
  uint64_t ms = 0;
  Kind kind = Kind::kSet;
  std::string device;
  std::vector<uint8_t> report;  // exchanges
  DeviceIdentity identity;      // DEVICE lines
};

std::string FormatReport(uint64_t ms, Kind kind, std::string_view device, const uint8_t* report,
                         size_t length);
std::string FormatDevice(uint64_t ms, std::string_view device, const DeviceIdentity& identity);

// False for a line that is none of the above (blank lines included).
[[nodiscard]] bool Parse(std::string_view text, Line& line);

// A name usable as <device>: blanks and control characters become '_';
// empty becomes "-".
std::string DeviceToken(std::string_view name);

// Whether a <device> names the node the device was opened on rather than
// its serial number.
bool NamesNode(std::string_view device);

}  // namespace vlmhid::trace
