// Identity renderings and the identity taken from a firmware image.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/session.h"
#include "firmware/device_identity.h"
#include "firmware/hex_file.h"
#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"

namespace padflash {
namespace {

// ---- Renderings -----------------------------------------------------------

DeviceIdentity SampleIdentity() {
  DeviceIdentity id;
  id.chipId = 0x12;
  id.firmwareRevision = 0x0A;
  id.vendorId = 0x488;
  id.productId = 0x10AB;
  id.isI2C = 1;
  id.i2cAddress = 0x2C;
  id.hidDescriptorAddress = 0x20;
  id.reportId = 10;
  return id;
}

TEST(IdentityRendering, ImageExtractionLeavesOutTheVersion) {
  EXPECT_EQ(RenderImageExtraction(SampleIdentity()),
            "New FW Info\r\n\tVID: 0x488\r\n\tPID: 0x10AB\r\n\tProtocol: I2C\r\n"
            "\tI2C Addr: 0x2C\r\n\tHID Desc: 0x20\r\n\tReportID: 10\r\n");
}

TEST(IdentityRendering, FullRenderingsCarryVersionInUppercaseHex) {
  DeviceIdentity id = SampleIdentity();
  EXPECT_EQ(RenderNewFirmware(id),
            "New FW Info 12.A\r\n\tVID: 0x488\r\n\tPID: 0x10AB\r\n\tProtocol: I2C\r\n"
            "\tI2C Addr: 0x2C\r\n\tHID Desc: 0x20\r\n\tReportID: 10\r\n");
  EXPECT_EQ(RenderDeviceFull(id),
            "Device Info 12.A\r\n\tVID: 0x488\r\n\tPID: 0x10AB\r\n\tProtocol: I2C\r\n"
            "\tI2C Addr: 0x2C\r\n\tHID Desc: 0x20\r\n\tReportID: 10\r\n");
  EXPECT_EQ(RenderBootloaderInfo(id),
            "Bootloader Info 12.A\r\n\tVID: 0x488\r\n\tPID: 0x10AB\r\n\tProtocol: I2C\r\n"
            "\tI2C Addr: 0x2C\r\n\tHID Desc: 0x20\r\n\tReportID: 10\r\n");
}

TEST(IdentityRendering, AnyNonzeroProtocolFlagIsI2CAndZeroIsUSB) {
  DeviceIdentity id;  // defaults: everything 0, report ID 7
  EXPECT_EQ(RenderDeviceFull(id),
            "Device Info 0.0\r\n\tVID: 0x0\r\n\tPID: 0x0\r\n\tProtocol: USB\r\n"
            "\tI2C Addr: 0x0\r\n\tHID Desc: 0x0\r\n\tReportID: 7\r\n");
  id.isI2C = 2;
  EXPECT_NE(RenderDeviceFull(id).find("\tProtocol: I2C\r\n"), std::string::npos);
}

TEST(IdentityRendering, ShortDeviceRenderingTakesTheListEntryIds) {
  DeviceIdentity id = SampleIdentity();
  EXPECT_EQ(RenderDeviceShort(id, 0x44E, 0x1234),
            "Device Info 12.A\r\n\tVID: 0x44E\r\n\tPID: 0x1234\r\n\r\n");
}

TEST(DeviceIdentityRecord, DefaultsAndDeepCopy) {
  DeviceIdentity a;
  EXPECT_EQ(a.reportId, 7);
  EXPECT_EQ(a.bootloaderVendorId, 0x0488);
  EXPECT_EQ(a.bootloaderProductId, 0xD0C0);
  EXPECT_EQ(a.image, nullptr);
  EXPECT_EQ(a.fromPackage + a.fromHexFile + a.fromDevice, 0);

  a.compatibleFirmwareIds = {5, 4};
  a.firmwareLines = {":00000001FF"};
  a.configLines = {"0xC308, 0xC308, c, 3"};
  a.configInstructions = {{0xC308, 0xC308, 'c', 3}};
  DeviceIdentity b = a;
  b.compatibleFirmwareIds.push_back(3);
  b.firmwareLines.front() = "changed";
  b.configLines.clear();
  b.configInstructions.front().lengthOrValue = 9;
  EXPECT_EQ(a.compatibleFirmwareIds.size(), 2u);
  EXPECT_EQ(a.firmwareLines.front(), ":00000001FF");
  EXPECT_EQ(a.configLines.size(), 1u);
  EXPECT_EQ(a.configInstructions.front().lengthOrValue, 3);
}

// ---- Operation A: identity from the image ---------------------------------

// Intel HEX text for contiguous bytes at `address`, 16 per record.
std::vector<std::string> HexLines(uint32_t address, const std::vector<uint8_t>& bytes) {
  std::vector<std::string> lines;
  char text[64];
  auto record = [&](int type, uint16_t offset, const uint8_t* data, int count) {
    int sum = count + (offset >> 8) + (offset & 0xFF) + type;
    std::string line;
    std::snprintf(text, sizeof text, ":%02X%04X%02X", count, offset, type);
    line = text;
    for (int i = 0; i < count; ++i) {
      std::snprintf(text, sizeof text, "%02X", data[i]);
      line += text;
      sum += data[i];
    }
    std::snprintf(text, sizeof text, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    lines.push_back(line + text);
  };
  uint32_t upper = 0xFFFFFFFF;
  for (size_t pos = 0; pos < bytes.size(); pos += 16) {
    uint32_t at = address + static_cast<uint32_t>(pos);
    if ((at >> 16) != upper) {
      upper = at >> 16;
      const uint8_t u[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)};
      record(4, 0, u, 2);
    }
    int count = static_cast<int>(std::min<size_t>(16, bytes.size() - pos));
    record(0, static_cast<uint16_t>(at & 0xFFFF), &bytes[pos], count);
  }
  record(1, 0, nullptr, 0);
  return lines;
}

struct BlockValues {
  uint8_t chip = 0x12, revision = 0x06, i2cAddress = 0x2C;
  uint16_t hidDescriptor = 0x20, vendorId = 0x488, productId = 0x101;
};

// Writes an identity block and its tag into an image buffer that starts at
// `imageStart`.
void PutBlock(std::vector<uint8_t>& image, uint32_t imageStart, uint32_t blockAddress,
              const BlockValues& v, uint8_t tagSeed) {
  size_t at = blockAddress - imageStart;
  image[at + 0x00] = v.chip;
  image[at + 0x01] = v.revision;
  image[at + 0x11] = v.i2cAddress;
  image[at + 0x12] = static_cast<uint8_t>(v.hidDescriptor);
  image[at + 0x13] = static_cast<uint8_t>(v.hidDescriptor >> 8);
  image[at + 0x14] = static_cast<uint8_t>(v.vendorId);
  image[at + 0x15] = static_cast<uint8_t>(v.vendorId >> 8);
  image[at + 0x16] = static_cast<uint8_t>(v.productId);
  image[at + 0x17] = static_cast<uint8_t>(v.productId >> 8);
  for (int i = 0; i < 10; ++i) image[at + 0xD6 + i] = static_cast<uint8_t>(tagSeed + i);
}

class ImageIdentityTest : public ::testing::Test {
 protected:
  // An image of `size` bytes from `start` with the given blocks.
  void BuildImage(uint32_t start, size_t size, const std::vector<uint32_t>& blocks,
                  const BlockValues& v = {}) {
    std::vector<uint8_t> bytes(size, 0xEE);
    uint8_t seed = 0x40;
    for (uint32_t block : blocks) {
      BlockValues values = v;
      if (block == kIdentityBlockUSB && blocks.size() > 1) values.chip = 0x77;  // tell apart
      PutBlock(bytes, start, block, values, seed);
      seed = static_cast<uint8_t>(seed + 0x20);
    }
    std::vector<std::string> lines = HexLines(start, bytes);
    image = std::make_unique<HexFile>(std::deque<std::string>(lines.begin(), lines.end()));
    ASSERT_EQ(image->Parse(), 0);
    session.firmware.image = image.get();
  }

  void SelectDevice(uint16_t vendorId, uint16_t productId) {
    DeviceListEntry entry;
    entry.vendorId = vendorId;
    entry.productId = productId;
    session.deviceList.push_back(entry);
    session.selectedDevice = 0;
  }

  testing::RecordingWindow window;
  testing::TestSystemPort system;
  Session session{window, system, []() -> VirtualVLMHIDInterface* { return nullptr; }};
  std::unique_ptr<HexFile> image;
};

TEST_F(ImageIdentityTest, I2CImageFillsEveryMemberFromItsBlock) {
  BuildImage(kImageStartI2C, 0x200, {kIdentityBlockI2C});
  SelectDevice(0x488, 0x101);
  ASSERT_EQ(ExtractImageIdentity(session, session.firmware), 0);

  const DeviceIdentity& f = session.firmware;
  EXPECT_EQ(f.isI2C, 1);
  EXPECT_EQ(f.chipId, 0x12);
  EXPECT_EQ(f.firmwareRevision, 0x06);
  EXPECT_EQ(f.vendorId, 0x488);
  EXPECT_EQ(f.productId, 0x101);
  EXPECT_EQ(f.i2cAddress, 0x2C);
  EXPECT_EQ(f.hidDescriptorAddress, 0x20);
  EXPECT_EQ(f.bootloaderI2cAddress, 0x2C);
  EXPECT_EQ(f.bootloaderHidDescriptorAddress, 0x20);
  EXPECT_EQ(f.bootloaderVendorId, 0x0488);
  EXPECT_EQ(f.bootloaderProductId, 0xD0C0);
  EXPECT_EQ(f.firmwareTag[0], 0x40);
  EXPECT_EQ(f.firmwareTag[9], 0x49);
  EXPECT_EQ(f.fromHexFile, 1);
  EXPECT_EQ(f.fromPackage, 0);
  EXPECT_EQ(f.fromDevice, 0);
  EXPECT_TRUE(window.messageBoxes().empty());

  EXPECT_EQ(window.status(), "Extracting Firmware image from file\r\n");
  EXPECT_EQ(window.GetText(kIdNewFw), RenderImageExtraction(f));
  const std::string verbose = window.verbose();
  EXPECT_EQ(verbose.rfind("Extracting Firmware image from file: ", 0), 0u);
  EXPECT_EQ(verbose.substr(verbose.size() - RenderImageExtraction(f).size()),
            RenderImageExtraction(f));
}

TEST_F(ImageIdentityTest, ImageHoldingBothBlocksIsTakenAsI2C) {
  // One segment from the I2C start reaching past the USB block.
  BuildImage(kImageStartI2C, 0x1200, {kIdentityBlockI2C, kIdentityBlockUSB});
  ASSERT_EQ(ExtractImageIdentity(session, session.firmware), 0);
  EXPECT_EQ(session.firmware.isI2C, 1);
  EXPECT_EQ(session.firmware.chipId, 0x12);  // the USB block says 0x77
  EXPECT_EQ(session.firmware.firmwareTag[0], 0x40);
}

TEST_F(ImageIdentityTest, USBImageDropsTheI2CValuesOfItsBlock) {
  BuildImage(kImageStartUSB, 0x200, {kIdentityBlockUSB});
  ASSERT_EQ(ExtractImageIdentity(session, session.firmware), 0);
  const DeviceIdentity& f = session.firmware;
  EXPECT_EQ(f.isI2C, 0);
  EXPECT_EQ(f.i2cAddress, 0);
  EXPECT_EQ(f.hidDescriptorAddress, 0);
  EXPECT_EQ(f.bootloaderI2cAddress, 0);
  EXPECT_EQ(f.bootloaderHidDescriptorAddress, 0);
  EXPECT_NE(window.verbose().find("\tProtocol: USB\r\n\tI2C Addr: 0x0\r\n\tHID Desc: 0x0\r\n"),
            std::string::npos);
}

TEST_F(ImageIdentityTest, FirstRenderingShowsThePreviousFillsAddressing) {
  // What an earlier package or image left in the record.
  session.firmware.i2cAddress = 0x15;
  session.firmware.hidDescriptorAddress = 0x1;
  session.firmware.reportId = 3;
  session.firmware.vendorId = 0x1111;
  BuildImage(kImageStartUSB, 0x200, {kIdentityBlockUSB});
  ASSERT_EQ(ExtractImageIdentity(session, session.firmware), 0);

  const std::string first =
      "New FW Info\r\n\tVID: 0x488\r\n\tPID: 0x101\r\n\tProtocol: USB\r\n"
      "\tI2C Addr: 0x15\r\n\tHID Desc: 0x1\r\n\tReportID: 3\r\n";
  const std::string second =
      "New FW Info\r\n\tVID: 0x488\r\n\tPID: 0x101\r\n\tProtocol: USB\r\n"
      "\tI2C Addr: 0x0\r\n\tHID Desc: 0x0\r\n\tReportID: 3\r\n";
  const std::string verbose = window.verbose();
  size_t at = verbose.find(first);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(verbose.substr(at + first.size()), second);
  EXPECT_EQ(window.GetText(kIdNewFw), second);
}

TEST_F(ImageIdentityTest, YesToBothMismatchQuestionsKeepsTheImageIds) {
  BuildImage(kImageStartI2C, 0x200, {kIdentityBlockI2C});
  SelectDevice(0x44E, 0x222);
  window.QueueAnswer(MessageAnswer::kYes);
  window.QueueAnswer(MessageAnswer::kYes);
  ASSERT_EQ(ExtractImageIdentity(session, session.firmware), 0);
  EXPECT_EQ(session.firmware.vendorId, 0x488);
  EXPECT_EQ(session.firmware.productId, 0x101);

  auto boxes = window.messageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "VendorID does not Match");
  EXPECT_EQ(boxes[0].text,
            "The VendorID of the selected device does not match the ID in the Firmware file "
            "provided. Would you like to continue and override the one in the device with the "
            "new one in the Firmware?");
  EXPECT_EQ(boxes[1].caption, "ProductID does not Match");
  EXPECT_EQ(boxes[1].text,
            "The ProductID of the selected device does not match the ID in the Firmware file "
            "provided. Would you like to continue and override the one in the device with the "
            "new one in the Firmware?");
  for (const auto& box : boxes) {
    EXPECT_EQ(box.buttons, MessageButtons::kYesNo);
    EXPECT_TRUE(box.owned);
  }
}

TEST_F(ImageIdentityTest, NoToAMismatchQuestionRefusesTheImage) {
  BuildImage(kImageStartI2C, 0x200, {kIdentityBlockI2C});
  SelectDevice(0x44E, 0x222);
  window.QueueAnswer(MessageAnswer::kNo);
  EXPECT_EQ(ExtractImageIdentity(session, session.firmware), -1);
  EXPECT_EQ(window.messageBoxes().size(), 1u);  // the product question is not asked
  EXPECT_EQ(session.firmware.fromHexFile, 0);

  window.QueueAnswer(MessageAnswer::kYes);
  window.QueueAnswer(MessageAnswer::kNo);
  EXPECT_EQ(ExtractImageIdentity(session, session.firmware), -1);
  EXPECT_EQ(window.messageBoxes().size(), 3u);
  EXPECT_EQ(window.messageBoxes()[2].caption, "ProductID does not Match");
}

TEST_F(ImageIdentityTest, OnlyTheDifferingIdIsAskedAbout) {
  BuildImage(kImageStartI2C, 0x200, {kIdentityBlockI2C});
  SelectDevice(0x488, 0x222);
  ASSERT_EQ(ExtractImageIdentity(session, session.firmware), 0);
  ASSERT_EQ(window.messageBoxes().size(), 1u);
  EXPECT_EQ(window.messageBoxes()[0].caption, "ProductID does not Match");
}

TEST_F(ImageIdentityTest, UnreadableImagesFailWithoutAMessageOfTheirOwn) {
  // No image at all.
  EXPECT_EQ(ExtractImageIdentity(session, session.firmware), -1);
  // An image without segments.
  HexFile empty(std::deque<std::string>{":00000001FF"});
  ASSERT_EQ(empty.Parse(), 0);
  session.firmware.image = &empty;
  EXPECT_EQ(ExtractImageIdentity(session, session.firmware), -1);
  EXPECT_EQ(window.verbose(), "");

  // An image too short to hold either block.
  BuildImage(kImageStartI2C, 0x100, {});
  EXPECT_EQ(ExtractImageIdentity(session, session.firmware), -1);
  EXPECT_EQ(window.verbose().find("New FW Info"), std::string::npos);
}

TEST_F(ImageIdentityTest, MissingTagFailsAfterTheFirstRendering) {
  // The block ends at start + 0x140; the tag lies at start + 0x196.
  std::vector<uint8_t> bytes(0x200, 0);
  PutBlock(bytes, kImageStartI2C, kIdentityBlockI2C, {}, 0);
  bytes.resize(0x150);
  std::vector<std::string> lines = HexLines(kImageStartI2C, bytes);
  image = std::make_unique<HexFile>(std::deque<std::string>(lines.begin(), lines.end()));
  ASSERT_EQ(image->Parse(), 0);
  session.firmware.image = image.get();
  EXPECT_EQ(ExtractImageIdentity(session, session.firmware), -1);
  EXPECT_EQ(session.firmware.fromHexFile, 0);
}

TEST_F(ImageIdentityTest, DeviceIdentityNeedsAConnectionObject) {
  EXPECT_EQ(ReadDeviceIdentity(session, session.device), -1);
  EXPECT_EQ(window.verbose(), "");
  EXPECT_EQ(session.UpdateResult, 0);
}

}  // namespace
}  // namespace padflash
