#include "update/bootloader_status.h"

#include <gtest/gtest.h>

#include <string>

namespace padflash {
namespace {

ReportFrame Header(std::initializer_list<uint8_t> bytes) {
  ReportFrame frame{};
  std::copy(bytes.begin(), bytes.end(), frame.begin());
  return frame;
}

TEST(BootloaderStatus, SentinelIsReadHighByteFirst) {
  BootloaderStatus bootloader = DecodeBootloaderStatus(Header({0x5A, 0xC3, 0x05, 0x0C, 0x39}));
  EXPECT_EQ(bootloader.sentinel, kSentinelBootloader);
  EXPECT_EQ(bootloader.version, 0x05);
  EXPECT_EQ(bootloader.lastError, NV_err_chksum_mismatch);
  EXPECT_EQ(bootloader.flags, 0x39);

  EXPECT_EQ(DecodeBootloaderStatus(Header({0xC3, 0x5A, 0, 0, 0})).sentinel, kSentinelImage);
  EXPECT_EQ(DecodeBootloaderStatus(Header({0x12, 0x34, 0, 0, 0})).sentinel, 0x1234);
}

TEST(NvErrorName, NamesTheThirteenCodesAndMarksOthersUndefined) {
  EXPECT_STREQ(NvErrorName(0x00), "NV_err_none");
  EXPECT_STREQ(NvErrorName(0x05), "NV_err_timeout");
  EXPECT_STREQ(NvErrorName(0x06), "NV_err_unknown");
  EXPECT_STREQ(NvErrorName(0x0A), "NV_err_misaligned_address");
  EXPECT_STREQ(NvErrorName(0x0B), "NV_err_cmd_unknown");
  EXPECT_STREQ(NvErrorName(0x0C), "NV_err_chksum_mismatch");
  EXPECT_STREQ(NvErrorName(0x0D), "NV_err_undefined");
  EXPECT_STREQ(NvErrorName(0xFF), "NV_err_undefined");
  EXPECT_STREQ(NvErrorName(-1), "NV_err_undefined");
}

TEST(StatusFlags, Flags0x39AreDualBusyValidForce) {
  StatusFlagTexts t = DescribeStatusFlags(0x39);
  EXPECT_STREQ(t.imageLayout, "Dual");
  EXPECT_STREQ(t.activeImage, "0");
  EXPECT_STREQ(t.busy, "True");
  EXPECT_STREQ(t.imageValid, "True");
  EXPECT_STREQ(t.force, "True");

  StatusFlagTexts none = DescribeStatusFlags(0x00);
  EXPECT_STREQ(none.imageLayout, "Single");
  EXPECT_STREQ(none.busy, "False");
  EXPECT_STREQ(none.imageValid, "False");
  EXPECT_STREQ(none.force, "False");
}

TEST(StatusFlags, ActiveImageIsZeroOnlyWhenBothBitsAreClear) {
  EXPECT_STREQ(DescribeStatusFlags(0x00).activeImage, "0");
  EXPECT_STREQ(DescribeStatusFlags(0xF9).activeImage, "0");
  EXPECT_STREQ(DescribeStatusFlags(0x02).activeImage, "None");
  EXPECT_STREQ(DescribeStatusFlags(0x04).activeImage, "None");
  EXPECT_STREQ(DescribeStatusFlags(0x06).activeImage, "None");
  // The active-image bits do not leak into the layout bit.
  EXPECT_STREQ(DescribeStatusFlags(0x06).imageLayout, "Single");
}

}  // namespace
}  // namespace padflash
