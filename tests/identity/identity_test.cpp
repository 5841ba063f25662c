// Identity renderings and the identity taken from a firmware image.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "firmware/device_identity.h"
#include "firmware/hex_file.h"
#include "session/session.h"
#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"
#include "tools/fwgen/firmware_generator.h"
#include "update/identity_reading.h"
#include "update/package_library.h"

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

// Images come from our generator; tests patch its main region before the
// HEX text is made.
class ImageIdentityTest : public ::testing::Test {
 protected:
  static fwgen::FirmwareBuild ImageBuild(bool i2c, uint32_t codeBytes = 0x400) {
    fwgen::FirmwareBuild build;
    build.i2c = i2c;
    build.chipId = 0x12;
    build.revision = 0x06;
    build.vendorId = 0x488;
    build.productId = 0x101;
    build.i2cAddress = 0x2C;
    build.hidDescriptorAddress = 0x20;
    build.codeBytes = codeBytes;
    return build;
  }

  // `patch` receives the main region's bytes (from the image start).
  void BuildImage(const fwgen::FirmwareBuild& build,
                  const std::function<void(std::vector<uint8_t>&)>& patch = {}) {
    std::vector<fwgen::Region> regions = fwgen::GenerateFirmware(build);
    const uint32_t start = build.i2c ? kImageStartI2C : kImageStartUSB;
    for (fwgen::Region& region : regions) {
      if (region.address == start && patch) patch(region.bytes);
    }
    image = std::make_unique<HexFile>(SplitPackageText(fwgen::ToIntelHex(regions)));
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
  BuildImage(ImageBuild(true));
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
  EXPECT_EQ(std::string(f.firmwareTag.begin(), f.firmwareTag.end()), "VLM1206SIM");
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
  // One segment from the I2C start reaching past the USB block, which names
  // another chip.
  BuildImage(ImageBuild(true, 0x1200),
             [](std::vector<uint8_t>& bytes) { bytes[kIdentityBlockUSB - kImageStartI2C] = 0x77; });
  ASSERT_EQ(ExtractImageIdentity(session, session.firmware), 0);
  EXPECT_EQ(session.firmware.isI2C, 1);
  EXPECT_EQ(session.firmware.chipId, 0x12);
  EXPECT_EQ(session.firmware.i2cAddress, 0x2C);
}

TEST_F(ImageIdentityTest, USBImageDropsTheI2CValuesOfItsBlock) {
  // The generator writes I2C address 0x2C and descriptor 0x20 into USB
  // builds too.
  BuildImage(ImageBuild(false));
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
  BuildImage(ImageBuild(false));
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
  BuildImage(ImageBuild(true));
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
  BuildImage(ImageBuild(true));
  SelectDevice(0x44E, 0x222);
  window.QueueAnswer(MessageAnswer::kNo);
  EXPECT_EQ(ExtractImageIdentity(session, session.firmware), -1);
  EXPECT_EQ(window.messageBoxes().size(), 1u);  // the product question is not asked
  EXPECT_EQ(session.firmware.fromHexFile, 0);
  // The questions come between the two renderings: the first, with the
  // image's IDs, was shown; the second never is.
  EXPECT_EQ(window.GetText(kIdNewFw).rfind("New FW Info\r\n\tVID: 0x488\r\n\tPID: 0x101\r\n", 0),
            0u);
  const std::string verbose = window.verbose();
  EXPECT_EQ(verbose.find("New FW Info"), verbose.rfind("New FW Info"));

  window.QueueAnswer(MessageAnswer::kYes);
  window.QueueAnswer(MessageAnswer::kNo);
  EXPECT_EQ(ExtractImageIdentity(session, session.firmware), -1);
  EXPECT_EQ(window.messageBoxes().size(), 3u);
  EXPECT_EQ(window.messageBoxes()[2].caption, "ProductID does not Match");
}

TEST_F(ImageIdentityTest, OnlyTheDifferingIdIsAskedAbout) {
  BuildImage(ImageBuild(true));
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
  BuildImage(ImageBuild(true), [](std::vector<uint8_t>& bytes) { bytes.resize(0x100); });
  EXPECT_EQ(ExtractImageIdentity(session, session.firmware), -1);
  EXPECT_EQ(window.verbose().find("New FW Info"), std::string::npos);
}

TEST_F(ImageIdentityTest, MissingTagFailsAfterTheFirstRendering) {
  // The block ends at start + 0x140; the tag lies at start + 0x196.
  BuildImage(ImageBuild(true), [](std::vector<uint8_t>& bytes) { bytes.resize(0x150); });
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
