#include "firmware/hex_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/hex_record_text.h"
#include "session/run_config.h"

namespace padflash {
namespace {

using Bytes = std::vector<uint8_t>;

// One Intel HEX line with a correct checksum and a true byte count.
std::string Record(int type, uint16_t address, const Bytes& data) {
  return padflash::HexRecordText(static_cast<uint8_t>(type), address, data);
}
std::string Data(uint16_t address, const Bytes& data) {
  return Record(0, address, data);
}
std::string Upper(uint16_t upper) {
  return Record(4, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)});
}
const std::string kEof = ":00000001FF";

Bytes Sequence(size_t n, uint8_t first = 0) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + i);
  return b;
}

// Parses the lines; expects success.
std::unique_ptr<HexFile> ParseLines(std::deque<std::string> lines) {
  auto image = std::make_unique<HexFile>(std::move(lines));
  EXPECT_EQ(image->Parse(), 0);
  return image;
}

uint32_t StartOf(const HexFile& image, size_t i) {
  return image.segment(i).FullAddress();
}

// --- single lines ---

TEST(HexRecordParse, ReadsTheFieldsOfHandWrittenLines) {
  HexRecord ext = HexRecord::ParseLine(":020000040800F2", 0);
  EXPECT_TRUE(ext.valid);
  EXPECT_EQ(ext.type, 4);
  EXPECT_EQ(ext.upper, 0x0800);

  HexRecord data = HexRecord::ParseLine(":0419000001020304D9", 0x0800);
  EXPECT_TRUE(data.valid);
  EXPECT_EQ(data.type, 0);
  EXPECT_EQ(data.address, 0x1900);
  EXPECT_EQ(data.upper, 0x0800);
  EXPECT_EQ(data.FullAddress(), 0x08001900u);
  EXPECT_EQ(data.data, (Bytes{1, 2, 3, 4}));

  HexRecord eof = HexRecord::ParseLine(kEof, 0x1234);
  EXPECT_TRUE(eof.valid);
  EXPECT_EQ(eof.type, 1);
  EXPECT_EQ(eof.upper, 0x1234);  // non-address records carry the upper address in force
}

TEST(HexRecordParse, AcceptsLowerCaseDigits) {
  HexRecord r = HexRecord::ParseLine(":04190000abcdef017b", 0);
  EXPECT_TRUE(r.valid);
  EXPECT_EQ(r.data, (Bytes{0xAB, 0xCD, 0xEF, 0x01}));
}

TEST(HexRecordParse, IgnoresTheByteCountField) {
  // Count says 0x10 but four data bytes follow; the checksum matches.
  HexRecord r = HexRecord::ParseLine(":1019000001020304CD", 0);
  ASSERT_TRUE(r.valid);
  EXPECT_EQ(r.data, (Bytes{1, 2, 3, 4}));
}

TEST(HexRecordParse, RejectsMalformedLines) {
  const char* bad[] = {
      "",                      // nothing
      "0419000001020304D9",    // no colon
      ":0419000001020304D8",   // checksum off by one
      ":0419000001020304D9F",  // dangling digit
      ":0000FF01",             // four bytes: no room for a type and checksum
      ":00000004FC",           // extended linear address without its two bytes
      ":",                     // colon alone
  };
  for (const char* line : bad) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(HexRecord::ParseLine(line, 0).valid);
  }
}

// --- building the image ---

TEST(HexFileParse, KeepsTheImageFromEitherStartAddress) {
  auto i2c = ParseLines({Upper(0x0800), Data(0x1900, {1, 2, 3, 4}), Data(0x1904, {5, 6}), kEof});
  ASSERT_EQ(i2c->segmentCount(), 1u);
  EXPECT_EQ(StartOf(*i2c, 0), kImageStartI2C);
  EXPECT_EQ(i2c->segment(0).data, (Bytes{1, 2, 3, 4, 5, 6}));

  auto usb = ParseLines({Upper(0x0800), Data(0x2900, {9, 8}), kEof});
  ASSERT_EQ(usb->segmentCount(), 1u);
  EXPECT_EQ(StartOf(*usb, 0), kImageStartUSB);
}

TEST(HexFileParse, DropsDataBeforeTheImageStart) {
  auto image = ParseLines({Upper(0x0800), Data(0x0000, {0xEE, 0xEE}), Data(0x18FE, {0xEE, 0xEE}),
                           Upper(0x0800), Data(0x1900, {1, 2}), kEof});
  ASSERT_EQ(image->segmentCount(), 1u);
  EXPECT_EQ(StartOf(*image, 0), kImageStartI2C);
  EXPECT_EQ(image->segment(0).data, (Bytes{1, 2}));
}

TEST(HexFileParse, ImageStartCountsOnlyDirectlyAfterAnExtendedLinearRecord) {
  // Continuous data that runs into 0x08001900 without a fresh type 4 record
  // never opens the image.
  auto image = ParseLines({Upper(0x0800), Data(0x18FE, {0, 0}), Data(0x1900, {1, 2}), kEof});
  EXPECT_EQ(image->segmentCount(), 0u);

  // Type 2, 3 and 5 records in between also break the link.
  for (int type : {2, 3, 5, 6}) {
    SCOPED_TRACE(type);
    auto other =
        ParseLines({Upper(0x0800), Record(type, 0, {0, 0, 0, 0}), Data(0x1900, {1, 2}), kEof});
    EXPECT_EQ(other->segmentCount(), 0u);
  }
}

TEST(HexFileParse, InvalidLinesChangeNothing) {
  // A bad line between the type 4 record and the image start leaves the
  // link intact; the bad line itself is dropped.
  auto image = ParseLines(
      {Upper(0x0800), ":0419000001020304D8", "garbage", Data(0x1900, {1, 2}), ":0219020003", kEof});
  ASSERT_EQ(image->segmentCount(), 1u);
  EXPECT_EQ(image->segment(0).data, (Bytes{1, 2}));
}

TEST(HexFileParse, DataThatDoesNotContinueTheLastSegmentOpensANewOne) {
  auto image = ParseLines({Upper(0x0800), Data(0x1900, Sequence(4)), Data(0x3000, {0xA0, 0xA1}),
                           // continues the first segment, which is no longer the last
                           Data(0x1904, {0xB0, 0xB1}),
                           // any address once the image was seen, even the bootloader area
                           Data(0x0000, {0xC0, 0xC1}), kEof});
  ASSERT_EQ(image->segmentCount(), 4u);
  EXPECT_EQ(StartOf(*image, 0), 0x08001900u);
  EXPECT_EQ(image->segment(0).data.size(), 4u);
  EXPECT_EQ(StartOf(*image, 1), 0x08003000u);
  EXPECT_EQ(StartOf(*image, 2), 0x08001904u);
  EXPECT_EQ(image->segment(2).data, (Bytes{0xB0, 0xB1}));
  EXPECT_EQ(StartOf(*image, 3), 0x08000000u);
}

TEST(HexFileParse, NewUpperAddressContinuesAcrossA64KiBBoundary) {
  auto image = ParseLines({Upper(0x0800), Data(0x1900, {1, 2}), Data(0xFFFE, {3, 4}), Upper(0x0801),
                           Data(0x0000, {5, 6}), kEof});
  ASSERT_EQ(image->segmentCount(), 2u);
  EXPECT_EQ(StartOf(*image, 1), 0x0800FFFEu);
  EXPECT_EQ(image->segment(1).data, (Bytes{3, 4, 5, 6}));
}

TEST(HexFileParse, DanglingDigitMakesTheLineInvalid) {
  // Paired with the end of the text, the "3" would give a 0x00 byte and a
  // matching checksum, turning this into an end-of-file record.
  EXPECT_FALSE(HexRecord::ParseLine(":00000001FF3", 0).valid);
  auto image = ParseLines({Upper(0x0800), ":00000001FF3", Data(0x1900, {1, 2}), kEof});
  EXPECT_EQ(image->segmentCount(), 1u);
}

TEST(HexFileParse, PadsOddSegmentsWithZero) {
  auto image = ParseLines({Upper(0x0800), Data(0x1900, {1, 2, 3}), Data(0x2000, {4, 5}), kEof});
  ASSERT_EQ(image->segmentCount(), 2u);
  EXPECT_EQ(image->segment(0).data, (Bytes{1, 2, 3, 0}));
  EXPECT_EQ(image->segment(1).data, (Bytes{4, 5}));
}

TEST(HexFileParse, IgnoresEverythingAfterTheEndRecord) {
  auto image = ParseLines(
      {Upper(0x0800), Data(0x1900, {1, 2}), kEof, Data(0x1902, {3, 4}), Data(0x4000, {5, 6})});
  ASSERT_EQ(image->segmentCount(), 1u);
  EXPECT_EQ(image->segment(0).data, (Bytes{1, 2}));
}

TEST(HexFileParse, FailsOnlyWithoutAnyText) {
  HexFile none(std::deque<std::string>{});
  EXPECT_EQ(none.Parse(), -1);

  // Text that yields no segment still parses; reads then fail.
  HexFile junk(std::deque<std::string>{"hello", kEof});
  EXPECT_EQ(junk.Parse(), 0);
  EXPECT_EQ(junk.segmentCount(), 0u);
  uint8_t b = 0;
  EXPECT_EQ(junk.ReadBytes(kImageStartI2C, &b, 1), -1);

  RunConfig config;
  config.firmwarePath = "/nonexistent/dir/fw.hex";
  HexFile missing(config.firmwarePath);
  EXPECT_EQ(missing.fileName(), config.firmwarePath);
  EXPECT_EQ(missing.Parse(), -1);
}

class HexFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("padflash_hex_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& text) {
    std::filesystem::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }
  std::filesystem::path dir_;
};

TEST_F(HexFileOnDisk, ReadsTheFileNamedByTheRunConfiguration) {
  RunConfig config;
  // CRLF line ends, tabs, blank lines and two records on one line.
  config.firmwarePath = Write("fw.hex", "\r\n" + Upper(0x0800) + "\r\n\t" + Data(0x1900, {1, 2}) +
                                            "  " + Data(0x1902, {3, 4}) + "\r\n\r\n" + kEof +
                                            "\r\n" + Data(0x1904, {5, 6}) + "\r\n");
  HexFile image(config.firmwarePath);
  config.firmwarePath = "changed later";
  EXPECT_EQ(image.fileName(), (dir_ / "fw.hex").string());
  ASSERT_EQ(image.Parse(), 0);
  ASSERT_EQ(image.segmentCount(), 1u);
  EXPECT_EQ(StartOf(image, 0), kImageStartI2C);
  EXPECT_EQ(image.segment(0).data, (Bytes{1, 2, 3, 4}));
}

TEST_F(HexFileOnDisk, EmptyOrBlankFileFails) {
  RunConfig config;
  config.firmwarePath = Write("empty.hex", "");
  EXPECT_EQ(HexFile(config.firmwarePath).Parse(), -1);
  config.firmwarePath = Write("blank.hex", " \r\n\t\n");
  EXPECT_EQ(HexFile(config.firmwarePath).Parse(), -1);
}

// Contiguous data from the I2C image start, 16 bytes a record.
std::string ImageText(size_t bytes) {
  std::string text;
  uint32_t upper = 0xFFFFFFFF;
  for (uint32_t at = kImageStartI2C; at < kImageStartI2C + bytes; at += 16) {
    if ((at >> 16) != upper) {
      upper = at >> 16;
      text += Upper(static_cast<uint16_t>(upper)) + "\r\n";
    }
    text += Data(static_cast<uint16_t>(at), Sequence(16, static_cast<uint8_t>(at))) + "\r\n";
  }
  return text + kEof + "\r\n";
}

// A file is parsed as it is read; an image with more data than any
// controller's flash holds is refused instead of filling memory.
TEST_F(HexFileOnDisk, ImageDataBeyondAnyControllersFlashIsRefused) {
  RunConfig config;
  config.firmwarePath = Write("huge.hex", ImageText(2 << 20));
  HexFile huge(config.firmwarePath);
  EXPECT_EQ(huge.Parse(), -1);
  EXPECT_TRUE(huge.imageTooLarge());
  EXPECT_EQ(huge.segmentCount(), 0u);

  config.firmwarePath = Write("large.hex", ImageText(512 << 10));
  HexFile large(config.firmwarePath);
  ASSERT_EQ(large.Parse(), 0);
  EXPECT_FALSE(large.imageTooLarge());
  ASSERT_EQ(large.segmentCount(), 1u);
  EXPECT_EQ(large.segment(0).data.size(), 512u << 10);
}

// --- reading and patching the image ---

class HexFileAccess : public ::testing::Test {
 protected:
  // Segments: [0x08001900, +8) and [0x08001908, +4) (a second segment that
  // continues the first), then [0x08003000, +4).
  void SetUp() override {
    image = ParseLines({Upper(0x0800), Data(0x1900, Sequence(8, 0x10)), Data(0x3000, {1, 2, 3, 4}),
                        Data(0x1908, Sequence(4, 0x40)), kEof});
    ASSERT_EQ(image->segmentCount(), 3u);
  }
  std::unique_ptr<HexFile> image;
};

TEST_F(HexFileAccess, ReadsWithinOneSegment) {
  Bytes out(4, 0xFF);
  EXPECT_EQ(image->ReadBytes(0x08001902, out.data(), 4), 0);
  EXPECT_EQ(out, (Bytes{0x12, 0x13, 0x14, 0x15}));
  EXPECT_EQ(image->ReadBytes(0x08003000, out.data(), 4), 0);
  EXPECT_EQ(out, (Bytes{1, 2, 3, 4}));
  // Count below one: success without copying, when the address is held.
  EXPECT_EQ(image->ReadBytes(0x08001900, out.data(), 0), 0);
  EXPECT_EQ(image->ReadBytes(0x080018FF, out.data(), 0), -1);
}

TEST_F(HexFileAccess, ReadRunningOffASegmentFailsEvenWhenTheNextContinues) {
  Bytes out(4, 0xFF);
  EXPECT_EQ(image->ReadBytes(0x08001906, out.data(), 4), -1);
  // The bytes up to the segment end were copied.
  EXPECT_EQ(out, (Bytes{0x16, 0x17, 0xFF, 0xFF}));
  // The continuing segment is readable on its own.
  EXPECT_EQ(image->ReadBytes(0x08001908, out.data(), 4), 0);
  EXPECT_EQ(out, (Bytes{0x40, 0x41, 0x42, 0x43}));
}

TEST_F(HexFileAccess, ReadOutsideOrIntoNullFails) {
  uint8_t b = 0;
  EXPECT_EQ(image->ReadBytes(0x080018FF, &b, 1), -1);
  EXPECT_EQ(image->ReadBytes(0x08003004, &b, 1), -1);
  EXPECT_EQ(image->ReadBytes(0x08001900, nullptr, 1), -1);
}

TEST_F(HexFileAccess, WriteOverwritesInPlace) {
  const Bytes patch = {0xAA, 0xBB};
  EXPECT_EQ(image->WriteBytes(0x08003001, patch.data(), 2), 0);
  EXPECT_EQ(image->segment(1).data, (Bytes{1, 0xAA, 0xBB, 4}));
}

TEST_F(HexFileAccess, WritePastTheEndExtendsByteByByte) {
  const Bytes patch = {0xA0, 0xA1, 0xA2, 0xA3};
  EXPECT_EQ(image->WriteBytes(0x08003002, patch.data(), 4), 0);
  EXPECT_EQ(image->segmentCount(), 3u);
  EXPECT_EQ(image->segment(1).data, (Bytes{1, 2, 0xA0, 0xA1, 0xA2, 0xA3}));
  Bytes out(6);
  EXPECT_EQ(image->ReadBytes(0x08003000, out.data(), 6), 0);
}

TEST_F(HexFileAccess, WriteCrossingIntoAnotherSegmentWritesWhereTheByteIsHeld) {
  // 0x08001908.. is held by the second list entry; the first one ends there.
  // The first list segment takes bytes 6 and 7, the continuing segment the rest.
  const Bytes patch = {0xC6, 0xC7, 0xC8, 0xC9};
  EXPECT_EQ(image->WriteBytes(0x08001906, patch.data(), 4), 0);
  EXPECT_EQ(image->segment(0).data.size(), 8u);
  EXPECT_EQ(image->segment(0).data[6], 0xC6);
  EXPECT_EQ(image->segment(0).data[7], 0xC7);
  EXPECT_EQ(image->segment(2).data, (Bytes{0xC8, 0xC9, 0x42, 0x43}));
}

TEST_F(HexFileAccess, WriteRunsThroughTheSegmentThatHoldsEachByteThenExtends) {
  // 0x08001904..07 lie in the first segment, 0x08001908..0B in the continuing
  // one, and past 0x0800190C that segment (the one ending there) grows.
  const Bytes patch(12, 0xD0);
  EXPECT_EQ(image->WriteBytes(0x08001904, patch.data(), 12), 0);
  EXPECT_EQ(image->segmentCount(), 3u);
  EXPECT_EQ(image->segment(0).data, (Bytes{0x10, 0x11, 0x12, 0x13, 0xD0, 0xD0, 0xD0, 0xD0}));
  EXPECT_EQ(image->segment(2).data, Bytes(8, 0xD0));
  EXPECT_EQ(image->segment(1).data, (Bytes{1, 2, 3, 4}));
}

TEST_F(HexFileAccess, WriteMustStartInsideASegment) {
  const Bytes patch = {1};
  EXPECT_EQ(image->WriteBytes(0x08003004, patch.data(), 1), -1);  // only ends there
  EXPECT_EQ(image->WriteBytes(0x08001900, nullptr, 1), -1);
  EXPECT_EQ(image->segment(1).data.size(), 4u);
}

TEST(HexFileWrite, RefusesToWrapPastTheTopOfTheAddressSpace) {
  auto image =
      ParseLines({Upper(0x0800), Data(0x1900, {0, 0}), Upper(0xFFFF), Data(0xFFFE, {1, 2}), kEof});
  ASSERT_EQ(image->segmentCount(), 2u);
  const Bytes patch = {9, 9, 9, 9};
  EXPECT_EQ(image->WriteBytes(0xFFFFFFFE, patch.data(), 4), -1);
  EXPECT_EQ(image->segment(1).data, (Bytes{1, 2}));
  EXPECT_EQ(image->WriteBytes(0xFFFFFFFE, patch.data(), 2), 0);
}

}  // namespace
}  // namespace padflash
