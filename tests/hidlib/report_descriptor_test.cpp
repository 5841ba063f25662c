// Splitting report descriptors into top-level collections and counting the
// value capabilities the connect operation looks at.
#include "hidlib/linux/report_descriptor.h"

#include <gtest/gtest.h>

#include "tests/hidlib/hidraw_bench.h"

namespace {

using hidtest::Bytes;
using vlmhid::hidraw::ParseReportDescriptor;
namespace d = hidtest::descriptors;

TEST(ReportDescriptor, VendorFeatureReportIsOneValueCapabilityWithItsReportId) {
  const auto collections = ParseReportDescriptor(d::VendorFeature(7));
  ASSERT_EQ(collections.size(), 1u);
  EXPECT_EQ(collections[0].usagePage, 0xFF00);
  EXPECT_EQ(collections[0].usage, 1);
  EXPECT_EQ(collections[0].caps.numberFeatureValueCaps, 1);
  EXPECT_EQ(collections[0].caps.firstFeatureReportId, 7);
  EXPECT_EQ(collections[0].caps.numberInputValueCaps, 0);
  EXPECT_EQ(collections[0].caps.numberOutputValueCaps, 0);
}

TEST(ReportDescriptor, EachTopLevelCollectionKeepsItsOwnCapabilities) {
  const auto collections = ParseReportDescriptor(d::Join(
      {d::VendorFeature(7), d::Mouse(1), d::ConsumerArray(3), d::VendorInputOutput(9, 10)}));
  ASSERT_EQ(collections.size(), 4u);
  EXPECT_EQ(collections[0].caps.numberFeatureValueCaps, 1);
  EXPECT_EQ(collections[0].caps.numberInputValueCaps, 0);
  // Mouse: the 1-bit buttons and the constant padding are no values; X and Y
  // inside the nested Physical collection are.
  EXPECT_EQ(collections[1].usagePage, 0x01);
  EXPECT_EQ(collections[1].usage, 0x02);
  EXPECT_EQ(collections[1].caps.numberInputValueCaps, 2);
  EXPECT_EQ(collections[1].caps.firstInputReportId, 1);
  EXPECT_EQ(collections[1].caps.numberFeatureValueCaps, 0);
  // An array item gives button capabilities only.
  EXPECT_EQ(collections[2].caps.numberInputValueCaps, 0);
  EXPECT_EQ(collections[3].caps.numberInputValueCaps, 1);
  EXPECT_EQ(collections[3].caps.firstInputReportId, 9);
  EXPECT_EQ(collections[3].caps.numberOutputValueCaps, 1);
  EXPECT_EQ(collections[3].caps.firstOutputReportId, 10);
}

TEST(ReportDescriptor, FirstCapabilityKeepsTheReportIdInForceAtIt) {
  const Bytes descriptor = {
      0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x05, 0x09,
      0x02, 0x75, 0x08, 0x95, 0x04, 0xB1, 0x02,                    // feature, ID 5
      0x85, 0x06, 0x09, 0x03, 0x75, 0x08, 0x95, 0x04, 0xB1, 0x02,  // feature, ID 6
      0xC0};
  const auto collections = ParseReportDescriptor(descriptor);
  ASSERT_EQ(collections.size(), 1u);
  EXPECT_EQ(collections[0].caps.numberFeatureValueCaps, 2);
  EXPECT_EQ(collections[0].caps.firstFeatureReportId, 5);
}

TEST(ReportDescriptor, PopRestoresTheReportIdPushedBefore) {
  const Bytes descriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x04,  // ID 4
                            0xA4,                                                  // Push
                            0x85, 0x08, 0x09, 0x02, 0x75, 0x08, 0x95, 0x02, 0x81,
                            0x02,                                            // input, ID 8
                            0xB4,                                            // Pop
                            0x09, 0x03, 0x75, 0x08, 0x95, 0x02, 0xB1, 0x02,  // feature, ID 4 again
                            0xC0};
  const auto collections = ParseReportDescriptor(descriptor);
  ASSERT_EQ(collections.size(), 1u);
  EXPECT_EQ(collections[0].caps.firstInputReportId, 8);
  EXPECT_EQ(collections[0].caps.firstFeatureReportId, 4);
}

TEST(ReportDescriptor, OneCapabilityPerUsageBoundedByReportCount) {
  const Bytes descriptor = {
      0x05, 0x01, 0x09, 0x00, 0xA1, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x32,
      0x75, 0x08, 0x95, 0x03, 0x81, 0x02,                                      // 3 usages, 3 fields
      0x09, 0x33, 0x09, 0x34, 0x09, 0x35, 0x75, 0x08, 0x95, 0x02, 0x91, 0x02,  // 3 usages, 2 fields
      0x19, 0x01, 0x29, 0x08, 0x75, 0x08, 0x95, 0x08, 0xB1, 0x02,  // a usage range counts once
      0x75, 0x08, 0x95, 0x00, 0xB1, 0x02,  // report count 0 declares nothing
      0xC0};
  const auto collections = ParseReportDescriptor(descriptor);
  ASSERT_EQ(collections.size(), 1u);
  EXPECT_EQ(collections[0].caps.numberInputValueCaps, 3);
  EXPECT_EQ(collections[0].caps.numberOutputValueCaps, 2);
  EXPECT_EQ(collections[0].caps.numberFeatureValueCaps, 1);
  EXPECT_EQ(collections[0].caps.firstFeatureReportId, 0);  // no report IDs in use
}

TEST(ReportDescriptor, ExtendedUsageCarriesTheCollectionsPage) {
  const Bytes descriptor = {0x0B, 0x05, 0x00, 0x0D, 0x00, 0xA1, 0x01, 0xC0};  // Usage 0x000D0005
  const auto collections = ParseReportDescriptor(descriptor);
  ASSERT_EQ(collections.size(), 1u);
  EXPECT_EQ(collections[0].usagePage, 0x0D);
  EXPECT_EQ(collections[0].usage, 0x05);
}

TEST(ReportDescriptor, MalformedPartsAreIgnoredOrEndTheParse) {
  // A stray End Collection and a main item outside any collection change
  // nothing; a long item is skipped whole.
  const Bytes strayThenLong = d::Join({{0xC0, 0x75, 0x08, 0x95, 0x01, 0xB1, 0x02},
                                       {0xFE, 0x02, 0x10, 0xA1, 0xA1},
                                       d::VendorFeature(3)});
  auto collections = ParseReportDescriptor(strayThenLong);
  ASSERT_EQ(collections.size(), 1u);
  EXPECT_EQ(collections[0].caps.numberFeatureValueCaps, 1);
  EXPECT_EQ(collections[0].caps.firstFeatureReportId, 3);

  // An item cut off by the end of the descriptor stops the parse; what was
  // seen before stays.
  Bytes truncated = d::VendorFeature(3);
  truncated.resize(truncated.size() - 4);  // ends inside the Report Count item
  collections = ParseReportDescriptor(truncated);
  ASSERT_EQ(collections.size(), 1u);
  EXPECT_EQ(collections[0].caps.numberFeatureValueCaps, 0);

  EXPECT_TRUE(ParseReportDescriptor(Bytes{}).empty());
  EXPECT_TRUE(ParseReportDescriptor(Bytes{0xFE, 0xFF, 0x00}).empty());
}

}  // namespace
