#include "update/factory_block.h"

#include <gtest/gtest.h>

#include <array>

namespace padflash {
namespace {

using Page = std::array<uint8_t, 1024>;

// A page whose structure at T passes the validity test.
Page ValidPage(uint32_t t) {
  Page page{};
  page[t] = 0x12;
  page[t + 1] = 0x05;
  for (uint32_t i = 68; i < 74; ++i) page[t + i] = static_cast<uint8_t>(0x30 + i);
  return page;
}

TEST(FactoryBlock, FactoryEndIsJustAfterTheFirstMarkerAtOrAfterT) {
  Page page = ValidPage(480);
  page[600] = 0xFC;
  page[601] = 0xDE;
  page[700] = 0xAC;
  page[701] = 0xF1;
  EXPECT_EQ(FactoryEndOf(page.data(), page.size(), 480), 602u);
  page[600] = 0;
  EXPECT_EQ(FactoryEndOf(page.data(), page.size(), 480), 702u);
  page[700] = 0;
  EXPECT_EQ(FactoryEndOf(page.data(), page.size(), 480), 1024u);
}

TEST(FactoryBlock, MarkerBeforeTOrReversedBytesDoesNotCount) {
  Page page = ValidPage(480);
  page[100] = 0xFC;
  page[101] = 0xDE;
  page[500] = 0xDE;  // reversed
  page[501] = 0xFC;
  EXPECT_EQ(FactoryEndOf(page.data(), page.size(), 480), 1024u);
}

TEST(FactoryBlock, MarkerSearchNeverReadsPastTheBuffer) {
  // A first marker byte in the last position must not be paired with
  // whatever follows the buffer.
  std::array<uint8_t, 6> bytes{0, 0, 0, 0, 0, 0xFC};
  EXPECT_EQ(FindEndMarker(bytes.data(), bytes.size(), 0), -1);
  bytes[4] = 0xFC;
  bytes[5] = 0xDE;
  EXPECT_EQ(FindEndMarker(bytes.data(), bytes.size(), 0), 4);
  EXPECT_EQ(FindEndMarker(bytes.data(), bytes.size(), 5), -1);
  EXPECT_EQ(FindEndMarker(bytes.data(), bytes.size(), 900), -1);
}

TEST(FactoryBlock, ValidityNeedsChipRevisionAndAccessOffsetBytes) {
  EXPECT_TRUE(IsFactoryBlockValid(ValidPage(480).data(), 1024, 480));
  for (uint32_t zeroed : {0u, 1u, 68u, 69u, 72u, 73u}) {
    Page page = ValidPage(480);
    page[480 + zeroed] = 0;
    EXPECT_FALSE(IsFactoryBlockValid(page.data(), 1024, 480)) << "byte T + " << zeroed;
  }
  // Bytes 2..67 may be zero.
  Page page = ValidPage(480);
  page[480 + 4] = 0;
  EXPECT_TRUE(IsFactoryBlockValid(page.data(), 1024, 480));
}

TEST(FactoryBlock, ComptableTooLargeForThePageIsNeverValid) {
  // The factory values the restore copies (T + 72 .. T + 74) end the page.
  const uint32_t last = 1024 - 75;
  EXPECT_TRUE(IsFactoryBlockValid(ValidPage(last).data(), 1024, last));
  EXPECT_TRUE(FactoryLayoutFits(last));
  EXPECT_FALSE(FactoryLayoutFits(last + 1));
  Page page;
  page.fill(0xFF);
  EXPECT_FALSE(IsFactoryBlockValid(page.data(), 1024, 1024 - 73));
  EXPECT_FALSE(IsFactoryBlockValid(page.data(), 1024, 0xFFFFFFF0u));  // wrapped offset
}

TEST(FactoryBlock, BoundedLittleEndianReads) {
  const uint8_t bytes[] = {0x54, 0x3F, 0xFF, 0x1F};
  EXPECT_EQ(BlockU32(bytes, 4, 0), 0x1FFF3F54u);
  EXPECT_EQ(BlockU16(bytes, 4, 2), 0x1FFFu);
  EXPECT_EQ(BlockU16(bytes, 4, 3), 0u);
  EXPECT_EQ(BlockU32(bytes, 4, 1), 0u);
}

TEST(FactoryBlock, PersonalityFileNameFromUtcTime) {
  EXPECT_EQ(PersonalityFileNameFor(UtcTime{2015, 8, 11, 10, 10, 10}), "sf20150811_101010.mem");
  EXPECT_EQ(PersonalityFileNameFor(UtcTime{2024, 1, 2, 3, 4, 5}), "sf20240102_030405.mem");
}

TEST(FactoryBlock, ImageConfigAddressByBuild) {
  EXPECT_EQ(ImageConfigAddress(true), 0x080019C0u);
  EXPECT_EQ(ImageConfigAddress(false), 0x080029C0u);
}

}  // namespace
}  // namespace padflash
