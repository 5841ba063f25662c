// HID report descriptor parsing for the hidraw backend: splits a descriptor
// into its top-level collections and gives each the capabilities the
// connect operation looks at, the way the Windows HID parser presents them.
//
// Rules (short items only; long items are skipped):
// - A Collection item at nesting depth 0 opens a top-level collection; its
//   End Collection closes it. Main items outside any collection, and a
//   stray End Collection, are ignored.
// - Report ID, Report Size and Report Count are the globals in force at each
//   Input, Output or Feature item (Push/Pop honoured, 16 levels deep).
// - Constant items are padding and carry no capabilities.
// - A Data item is a value capability when it is Variable with a Report Size
//   above 1 bit; Array items and 1-bit Variable items are buttons, as on
//   Windows. An item with Report Count or Report Size 0 declares no field.
// - A value item yields one capability per usage entry (a Usage Minimum /
//   Maximum range counts once), at least one and at most Report Count.
// - The report ID of the first value capability of each kind, in descriptor
//   order, is kept; 0 when the descriptor uses no report IDs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "hidlib/hid_backend.h"

namespace vlmhid::hidraw {

struct TopLevelCollection {
  uint16_t usagePage = 0;
  uint16_t usage = 0;
  HidCaps caps;
  // The report IDs of every Input item in the collection (values, buttons,
  // padding), each once in descriptor order; 0 when it uses no report IDs.
  std::vector<uint8_t> inputReportIds;
};

// The top-level collections of `descriptor` in order. Parsing stops at a
// truncated item; the collections seen so far (an unclosed last one
// included) are returned.
std::vector<TopLevelCollection> ParseReportDescriptor(const uint8_t* descriptor, size_t size);

inline std::vector<TopLevelCollection> ParseReportDescriptor(
    const std::vector<uint8_t>& descriptor) {
  return ParseReportDescriptor(descriptor.data(), descriptor.size());
}

}  // namespace vlmhid::hidraw
