// Preparation followed by the update session, as Execute runs it, against
// the simulated controller: from an Intel HEX file and from package libraries.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/preparation/preparation_world.h"
#include "update/preparation.h"
#include "update/update_session.h"

namespace padflash::testing {
namespace {

constexpr uint32_t kFactoryPage = 0x0800FC00;
constexpr uint32_t kCompTable = 480;

class PrepareAndUpdate : public PreparationWorld {
 protected:
  sim::Controller& AttachController(sim::ControllerConfig config) {
    config.feedConfig1 = 0x3C;  // differs from every build's default 0x5A
    sim::Controller& controller = bus.Attach(config);
    compTableBefore_ = controller.ReadFlash(kFactoryPage, kCompTable);
    factoryValuesBefore_ = controller.ReadFlash(kFactoryPage + kCompTable + 72, 3);
    return controller;
  }

  // What a successful update leaves on the controller.
  void ExpectUpdatedTo(sim::Controller& controller, uint8_t revision) {
    EXPECT_FALSE(controller.inBootloader());
    EXPECT_TRUE(controller.imageValid());
    EXPECT_EQ(controller.runningChipId(), 0x12);
    EXPECT_EQ(controller.runningRevision(), revision);
    // The factory comp table survived the erase of the page, and FeedConfig1
    // was put back into RAM.
    EXPECT_EQ(controller.ReadFlash(kFactoryPage, kCompTable), compTableBefore_);
    // The factory values of the structure are restored too (by the default
    // instructions, or by the package's own).
    EXPECT_EQ(controller.ReadFlash(kFactoryPage + kCompTable + 72, 3), factoryValuesBefore_);
    EXPECT_EQ(controller.feedConfig1(), 0x3C);
    EXPECT_TRUE(session.updateSucceeded);
    EXPECT_EQ(session.UpdateResult, 0);
    EXPECT_TRUE(InOrder(window.verbose(), {"Compatibility confirmed\r\n",
                                           "Firmware was successfully updated to version: 12." +
                                               std::to_string(revision) + "\r\n"}));
    // The personality file saved on the way was deleted at the end.
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
      EXPECT_NE(entry.path().extension(), ".mem") << entry.path();
    }
  }

  std::vector<uint8_t> compTableBefore_;
  std::vector<uint8_t> factoryValuesBefore_;
};

TEST_F(PrepareAndUpdate, IntelHexFile) {
  sim::ControllerConfig config;  // USB, chip 0x12, revision 5
  sim::Controller& controller = AttachController(config);
  WriteFirmwareFile(BuildFor(config, 0x06));
  ListDevices();
  window.defaultAnswer = MessageAnswer::kYes;  // a newer, unlisted revision

  ASSERT_EQ(PrepareUpdate(session), 0) << window.verbose();
  ASSERT_EQ(RunUpdateSession(session), kExitSuccess) << window.verbose();
  ExpectUpdatedTo(controller, 0x06);
}

// A release file that also carries the bootloader's own region: the image
// commands count it, the region walk skips it, the controller keeps its
// bootloader and the update completes.
TEST_F(PrepareAndUpdate, IntelHexFileWithTheBootloaderRegion) {
  sim::ControllerConfig config;
  sim::Controller& controller = AttachController(config);
  const std::vector<uint8_t> bootloaderBefore = controller.ReadFlash(0x08000000, 0x400);
  fwgen::FirmwareBuild build = BuildFor(config, 0x06);
  build.bootloaderRegion = true;
  WriteFirmwareFile(build);
  ListDevices();
  window.defaultAnswer = MessageAnswer::kYes;

  ASSERT_EQ(PrepareUpdate(session), 0) << window.verbose();
  ASSERT_EQ(session.image->segmentCount(), 3u);
  ASSERT_EQ(RunUpdateSession(session), kExitSuccess) << window.verbose();
  EXPECT_TRUE(
      InOrder(window.verbose(), {"\r\nRegion: 2   SKIPPING\r\n", "Region: 2 SKIPPING\r\n"}));
  // The bootloader's 1 KiB counts in the total, so the writing never
  // reaches 100 %.
  EXPECT_EQ(window.verbose().find("Update in progress: 100 %"), std::string::npos);
  EXPECT_EQ(controller.ReadFlash(0x08000000, 0x400), bootloaderBefore);
  ExpectUpdatedTo(controller, 0x06);
}

TEST_F(PrepareAndUpdate, UsbPackageLibrary) {
  sim::ControllerConfig config;  // revision 5, listed as compatible
  sim::Controller& controller = AttachController(config);
  CopySamplePackage("sample_usb_1206", "release/touchpad_1206.dll");
  session.config.firmwarePath = "release/touchpad_1206.dll";
  ListDevices();

  ASSERT_EQ(PrepareUpdate(session), 0) << window.verbose();
  EXPECT_TRUE(session.packageLoaded);
  EXPECT_TRUE(window.messageBoxes().empty());
  ASSERT_EQ(RunUpdateSession(session), kExitSuccess) << window.verbose();
  EXPECT_TRUE(InOrder(window.verbose(), {"   Using Config Instructions from DLL\n"}));
  ExpectUpdatedTo(controller, 0x06);
}

TEST_F(PrepareAndUpdate, I2cPackageLibrary) {
  sim::ControllerConfig config;
  config.i2c = true;
  config.productId = 0x0102;
  sim::Controller& controller = AttachController(config);
  CopySamplePackage("sample_i2c_1206", "touchpad.DLL");
  session.config.firmwarePath = "touchpad.DLL";
  ListDevices();

  ASSERT_EQ(PrepareUpdate(session), 0) << window.verbose();
  EXPECT_TRUE(InOrder(window.verbose(), {"\n\nUsing the following IDs -  I2CAdd: 0x2C\r\n",
                                         "                          HIDDesc: 0x20\r\n"}));
  ASSERT_EQ(RunUpdateSession(session), kExitSuccess) << window.verbose();
  ExpectUpdatedTo(controller, 0x06);
}

}  // namespace
}  // namespace padflash::testing
