// HID report descriptors as a device may present them to the hidraw
// backend: the top-level collections and their value capabilities.
#include <algorithm>

#include "hidlib/linux/report_descriptor.h"
#include "tests/fuzz/fuzz_target.h"

PADFLASH_FUZZ_TARGET(report_descriptor) {
  const std::vector<vlmhid::hidraw::TopLevelCollection> collections =
      vlmhid::hidraw::ParseReportDescriptor(data, size);
  // Each collection opens with an item of its own (one byte at least).
  FUZZ_CHECK(collections.size() <= size);
  for (const vlmhid::hidraw::TopLevelCollection& c : collections) {
    const vlmhid::HidCaps& caps = c.caps;
    // A report ID is only kept for a kind that has value capabilities.
    FUZZ_CHECK(caps.numberInputValueCaps != 0 || caps.firstInputReportId == 0);
    FUZZ_CHECK(caps.numberOutputValueCaps != 0 || caps.firstOutputReportId == 0);
    FUZZ_CHECK(caps.numberFeatureValueCaps != 0 || caps.firstFeatureReportId == 0);
    // Input report IDs are listed once each.
    std::vector<uint8_t> ids = c.inputReportIds;
    std::sort(ids.begin(), ids.end());
    FUZZ_CHECK(std::adjacent_find(ids.begin(), ids.end()) == ids.end());
    FUZZ_CHECK(caps.numberInputValueCaps == 0 || !c.inputReportIds.empty());
  }
  return 0;
}
