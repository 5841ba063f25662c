// Generated images read back through the firmware image parser as the
// updater sees them.
#include <gtest/gtest.h>

#include <deque>
#include <sstream>

#include "firmware/hex_file.h"
#include "tools/fwgen/firmware_generator.h"

namespace {

std::unique_ptr<padflash::HexFile> ParseBack(const std::string& text) {
  std::deque<std::string> lines;
  std::istringstream in(text);
  for (std::string token; in >> token;) lines.push_back(token);
  auto image = std::make_unique<padflash::HexFile>(std::move(lines));
  EXPECT_EQ(image->Parse(), 0);
  return image;
}

std::vector<uint8_t> Read(const padflash::HexFile& image, uint32_t address, int count) {
  std::vector<uint8_t> out(count);
  EXPECT_EQ(image.ReadBytes(address, out.data(), count), 0) << std::hex << address;
  return out;
}

TEST(FirmwareGenerator, UsbImageParsesBackWithItsIdentityBlockAndFactoryPage) {
  fwgen::FirmwareBuild build;
  build.codeBytes = 0x1000;
  build.vendorId = 0x044E;
  build.productId = 0x1234;
  build.revision = 0x09;
  const auto regions = fwgen::GenerateFirmware(build);
  auto image = ParseBack(fwgen::ToIntelHex(regions));
  ASSERT_EQ(image->segmentCount(), 2u);
  EXPECT_EQ(image->segment(0).FullAddress(), 0x08002900u);
  EXPECT_EQ(image->segment(0).data, regions[0].bytes);
  EXPECT_EQ(image->segment(0).data.size(), 0x1000u);
  EXPECT_EQ(image->segment(1).FullAddress(), 0x0800FC00u);
  EXPECT_EQ(image->segment(1).data.size(), 1024u);

  const auto block = Read(*image, 0x080029C0, 0x1E);
  EXPECT_EQ(block[0x00], 0x12);
  EXPECT_EQ(block[0x01], 0x09);
  EXPECT_NE(block[0x02], 0);
  EXPECT_NE(block[0x03], 0);
  EXPECT_EQ(block[0x04], 0x5A);
  EXPECT_EQ(block[0x11], 0x2C);
  EXPECT_EQ(block[0x12] | block[0x13] << 8, 0x0020);
  EXPECT_EQ(block[0x14] | block[0x15] << 8, 0x044E);
  EXPECT_EQ(block[0x16] | block[0x17] << 8, 0x1234);
  EXPECT_NE(block[0x18], 0);
  EXPECT_NE(block[0x1C], 0);
  const auto tag = Read(*image, 0x08002A96, 10);
  EXPECT_EQ(std::string(tag.begin(), tag.end()), "VLM1209SIM");
  // Access offset and factory values are left for the factory.
  EXPECT_EQ(Read(*image, 0x080029C0 + 68, 7), std::vector<uint8_t>(7, 0));
  EXPECT_EQ(Read(*image, 0x080029C0 + fwgen::kStructEndMarker, 2),
            std::vector<uint8_t>({0xFC, 0xDE}));

  // The default page: 480 bytes of 0xFF, the default structure, 0xFF.
  const auto page = Read(*image, 0x0800FC00, 1024);
  EXPECT_EQ(std::vector<uint8_t>(page.begin(), page.begin() + 480),
            std::vector<uint8_t>(480, 0xFF));
  EXPECT_EQ(std::vector<uint8_t>(page.begin() + 480, page.begin() + 480 + fwgen::kStructSize),
            fwgen::DefaultStructure(build));
  EXPECT_EQ(page.back(), 0xFF);
}

TEST(FirmwareGenerator, NoEndMarkerBeforeTheStructuresOwn) {
  for (uint32_t seed = 1; seed < 200; ++seed) {
    fwgen::FirmwareBuild build;
    build.seed = seed;
    build.endMarker = seed % 2 ? 0xDEFC : 0xF1AC;
    const auto s = fwgen::DefaultStructure(build);
    for (size_t j = 0; j + 1 < s.size(); ++j) {
      const bool marker = (s[j] == 0xFC && s[j + 1] == 0xDE) || (s[j] == 0xAC && s[j + 1] == 0xF1);
      ASSERT_EQ(marker, j == fwgen::kStructEndMarker) << "seed " << seed << " offset " << j;
    }
  }
}

TEST(FirmwareGenerator, I2cImageStartsAt1900AndTheBootloaderRegionComesLast) {
  fwgen::FirmwareBuild build;
  build.i2c = true;
  build.codeBytes = 0x801;  // rounded down to whole words
  build.bootloaderRegion = true;
  build.factoryPageRegion = false;
  const auto regions = fwgen::GenerateFirmware(build);
  ASSERT_EQ(regions.size(), 2u);
  EXPECT_EQ(regions[0].address, 0x08001900u);
  EXPECT_EQ(regions[0].bytes.size(), 0x800u);
  EXPECT_EQ(regions[1].address, 0x08000000u);
  EXPECT_EQ(regions[1].bytes.size(), 0x400u);
  // After the image start the parser keeps every region, the bootloader's
  // too: the updater counts it and skips it.
  auto image = ParseBack(fwgen::ToIntelHex(regions));
  ASSERT_EQ(image->segmentCount(), 2u);
  EXPECT_EQ(image->segment(0).FullAddress(), 0x08001900u);
  EXPECT_EQ(image->segment(1).FullAddress(), 0x08000000u);
  EXPECT_EQ(image->segment(1).data, regions[1].bytes);
  EXPECT_EQ(Read(*image, 0x080019C0, 2), std::vector<uint8_t>({0x12, 0x05}));
}

TEST(FirmwareGenerator, IntelHexRecordsAreCheckedCrlfLinesThatNeverCrossA64KiBBoundary) {
  std::vector<fwgen::Region> regions = {{0x0800FFF8, std::vector<uint8_t>(20, 0xA5)}};
  const std::string text = fwgen::ToIntelHex(regions);
  EXPECT_EQ(text,
            ":020000040800F2\r\n"
            ":08FFF800A5A5A5A5A5A5A5A5D9\r\n"
            ":020000040801F1\r\n"
            ":0C000000A5A5A5A5A5A5A5A5A5A5A5A538\r\n"
            ":00000001FF\r\n");
}

}  // namespace
