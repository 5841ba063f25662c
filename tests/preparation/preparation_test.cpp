// The preparation flow against the simulated controller, with the virtual
// clock, scripted answers and a temporary working directory.
#include "update/preparation.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/preparation/preparation_world.h"

namespace padflash::testing {
namespace {

constexpr const char* kIdListingEnd = "                          ReportID: 0x7\r\n";
constexpr const char* kPressAnyKey = "\nPress any key to proceed with the update...\r\n\r\n";
constexpr uint32_t kAccessOffsetBase = 0x1FFF3D54;
constexpr const char* kDefaultsAccepted = "Programming the firmware's default settings\r\n";

class Preparation : public PreparationWorld {
 protected:
  // The personality file an interrupted update leaves: the factory comp
  // table, then the structure with the access offset and the three factory
  // values, up to its end marker.
  void WritePersonalityFile(const std::string& name, const fwgen::FirmwareBuild& build,
                            uint32_t compTableSize = 480) {
    std::vector<uint8_t> block(compTableSize, 0x33);
    std::vector<uint8_t> structure = fwgen::DefaultStructure(build);
    const uint32_t offset = kAccessOffsetBase + compTableSize;
    for (int i = 0; i < 4; ++i) {
      structure[fwgen::kStructAccessOffset + i] = static_cast<uint8_t>(offset >> (8 * i));
    }
    for (int i = 0; i < 3; ++i) structure[fwgen::kStructFactoryValues + i] = 0x41;
    block.insert(block.end(), structure.begin(), structure.end());
    WriteBytes(name, block);
  }
};

TEST_F(Preparation, FirmwareModeWithoutPersonalityFileRunsToTheVersionLines) {
  sim::ControllerConfig config;  // USB 0x0488/0x0101, chip 0x12, revision 5
  bus.Attach(config);
  WriteFirmwareFile(BuildFor(config, 0x06));
  ListDevices();
  window.defaultAnswer = MessageAnswer::kYes;  // the "FW Downgrade" box

  ASSERT_EQ(PrepareUpdate(session), 0);
  const std::string out = window.verbose();
  EXPECT_TRUE(
      InOrder(out, {
                       "\nUsing the following file: fw.hex\r\n",
                       "Loading and parsing file... \r\n",
                       "Device Info 12.5\r\n\tVID: 0x488\r\n\tPID: 0x101\r\n\r\n",
                       "New FW Info 0.0\r\n",  // the identity as left before
                       "Extracting Firmware image from file: fw.hex\r\n",
                       "Done\r\n",
                       "Connecting to the device...\r\n",
                       "Connecting .",
                       " Device found\r\n",
                       "Done\r\n",
                       "\n\nUsing the following IDs -  I2CAdd: 0x",
                       kIdListingEnd,
                       "Getting Access Offset Address... \r\n",
                       "\r\n  Access Address Offset: 0x1FFF3F34\r\n",
                       "\r\n  Factory Comp Table Size: 0x1E0\r\n",
                       "Getting Device Info from Image...\r\n",
                       "Device Info 12.5\r\n\tVID: 0x488\r\n\tPID: 0x101\r\n\tProtocol: ",
                       "New FW Info 12.6\r\n\tVID: 0x488\r\n\tPID: 0x101\r\n\tProtocol: USB",
                       "Checking Firmware Compatibility...\r\n",
                       "WARNING - Firmware ID is NOT in compatibilty list\r\n",
                       "FW Version same or older ALLOWED with customer input\r\n",
                       "Compatibility confirmed\r\n",
                       "Device has Firmware version: 12:5\r\n",
                       "Attempting to install Firmware version: 12:6\r\n",
                   }));
  EXPECT_TRUE(EndsWith(out, kPressAnyKey));
  EXPECT_EQ(window.status(), "Compatibility confirmed\r\n");
  EXPECT_TRUE(window.GetText(kIdCurrentFw).starts_with("Device Info 12.5\r\n\tVID: 0x488"));
  EXPECT_TRUE(window.GetText(kIdNewFw).starts_with("New FW Info 12.6\r\n"));
  EXPECT_FALSE(ExecuteHidden());

  EXPECT_EQ(session.UpdateResult, 0);
  EXPECT_TRUE(session.deviceConnected);
  EXPECT_FALSE(session.bootloaderMode);
  EXPECT_TRUE(session.readConfigFromDevice);
  EXPECT_TRUE(session.preserveFactoryConfig);
  EXPECT_FALSE(session.usePersonalityFile);
  EXPECT_FALSE(session.packageLoaded);
  EXPECT_EQ(session.AccessOffset, kAccessOffsetBase + 480);
  EXPECT_EQ(session.CompTableSize, 480u);
  ASSERT_NE(session.image, nullptr);
  EXPECT_EQ(session.firmware.image, session.image.get());
}

TEST_F(Preparation, SilentRunProceedsAfterOneSecond) {
  sim::ControllerConfig config;
  bus.Attach(config);
  WriteFirmwareFile(BuildFor(config, 0x05));
  ListDevices();
  session.config.silent = true;

  ASSERT_EQ(PrepareUpdate(session), 0);
  const std::string out = window.verbose();
  EXPECT_TRUE(InOrder(
      out, {kIdListingEnd, "WARNING - Firmware version is the same\r\n",
            "Compatibility confirmed\r\n", "Attempting to install Firmware version: 12:5\r\n"}));
  EXPECT_TRUE(EndsWith(out, "Proceeding with the update...\r\n"));
  EXPECT_TRUE(window.messageBoxes().empty());
  ASSERT_FALSE(system.virtualClock.sleeps().empty());
  EXPECT_EQ(system.virtualClock.sleeps().back(), 1000u);
}

TEST_F(Preparation, RefusedCompatibilityEndsWithResultOne) {
  sim::ControllerConfig config;
  bus.Attach(config);
  WriteFirmwareFile(BuildFor(config, 0x04));  // older
  ListDevices();
  window.defaultAnswer = MessageAnswer::kNo;

  ASSERT_EQ(PrepareUpdate(session), 1);
  EXPECT_TRUE(
      InOrder(window.verbose(), {"WARNING - Attempting to load an older version of Firmware\r\n",
                                 "FW Version same or older NOT-ALLOWED with customer input\r\n",
                                 "Device has Firmware version: 12:5\r\n",
                                 "Attempting to install Firmware version: 12:4\r\n"}));
  EXPECT_EQ(window.status(), "Attempting to install Firmware version: 12:4\r\n");
  EXPECT_EQ(session.UpdateResult, 1);
  EXPECT_FALSE(session.retryAdvised);
  EXPECT_TRUE(ExecuteHidden());
  EXPECT_EQ(window.verbose().find(kPressAnyKey), std::string::npos);
}

// Nothing saved for a controller in its bootloader: the user is asked,
// naming the folders searched, before the firmware's defaults replace its
// calibration; No stops before anything is written.
TEST_F(Preparation, BootloaderOnlyWithoutPersonalityFileAsksBeforeTheDefaults) {
  sim::ControllerConfig config;
  config.inBootloader = true;
  bus.Attach(config);
  WriteFirmwareFile(BuildFor(config, 0x06));
  ListAsFirmware(config);

  ASSERT_EQ(PrepareUpdate(session), 0);
  const std::string out = window.verbose();
  const std::string folders = "\r\n\t" + std::filesystem::current_path().string() + "\r\n\t" +
                              system.UserStateFolder() + "\r\n";
  EXPECT_TRUE(InOrder(out, {"Connecting .", " .", "Looking for Bootloader\r\n",
                            " Bootloader connected\r\n", " Bootloader connected\r\n", "Done\r\n",
                            "\n\nUsing the following IDs -  I2CAdd: 0x0\r\n", kIdListingEnd,
                            "No personality file of this controller was found in:" + folders}));
  EXPECT_TRUE(EndsWith(out, kDefaultsAccepted));
  ASSERT_EQ(window.messageBoxes().size(), 1u);
  EXPECT_EQ(window.messageBoxes()[0].caption, "No Saved Factory Settings");
  EXPECT_NE(window.messageBoxes()[0].text.find(folders), std::string::npos);
  EXPECT_TRUE(session.bootloaderMode);
  EXPECT_TRUE(session.config.overrideCompatibility);
  EXPECT_FALSE(session.preserveFactoryConfig);
  EXPECT_FALSE(session.usePersonalityFile);
  EXPECT_EQ(session.AccessOffset, 0u);
  EXPECT_FALSE(ExecuteHidden());

  window.QueueAnswer(MessageAnswer::kNo);
  EXPECT_EQ(PrepareUpdate(session), 1);
  EXPECT_TRUE(EndsWith(window.verbose(), "Stopped: nothing was written to the controller\r\n"));
  EXPECT_EQ(session.UpdateResult, 1);
  EXPECT_TRUE(ExecuteHidden());
}

TEST_F(Preparation, BootloaderWithMatchingPersonalityFileUsesIt) {
  sim::ControllerConfig config;
  config.inBootloader = true;
  bus.Attach(config);
  WriteFirmwareFile(BuildFor(config, 0x06));
  WritePersonalityFile("sf20150811_101010.mem", BuildFor(config, 0x06));
  ListAsFirmware(config);

  ASSERT_EQ(PrepareUpdate(session), 0);
  const std::string out = window.verbose();
  EXPECT_TRUE(InOrder(
      out, {kIdListingEnd, "Found Personality File: sf20150811_101010.mem\r\n",
            "TempFile CompTableSize was Found\r\n", "\r\n  Access Address Offset: 0x1FFF3F34\r\n",
            "\r\n  Factory Comp Table Size: 0x1E0\r\n",
            "TempFile Comparrison with Device is Compatible\r\n",
            "Bootloader Info 12.5\r\n\tVID: 0x488\r\n\tPID: 0x101\r\n",
            "Device has Firmware version: 12:5\r\n",
            "Attempting to install Firmware version: 12:6\r\n", kPressAnyKey}));
  EXPECT_EQ(out.find("Checking Firmware Compatibility"), std::string::npos);
  EXPECT_TRUE(window.GetText(kIdCurrentFw).starts_with("Bootloader Info 12.5\r\n"));
  EXPECT_TRUE(session.usePersonalityFile);
  EXPECT_TRUE(session.preserveFactoryConfig);
  EXPECT_FALSE(session.readConfigFromDevice);
  EXPECT_EQ(session.AccessOffset, kAccessOffsetBase + 480);
  EXPECT_EQ(session.CompTableSize, 480u);
  EXPECT_EQ(session.device.vendorId, 0x0488);
  EXPECT_EQ(session.device.productId, 0x0101);
  // A file without its unit record (an older program's) is used only when
  // the user says it is this controller's.
  ASSERT_EQ(window.messageBoxes().size(), 1u);
  EXPECT_EQ(window.messageBoxes()[0].caption, "Personality File of Unknown Controller");
  EXPECT_NE(window.messageBoxes()[0].text.find(
                "The personality file sf20150811_101010.mem (saved 2015-08-11 10:10:10 UTC)"),
            std::string::npos);
}

TEST_F(Preparation, IncompatiblePersonalityFileIsRemovedOnYesAndUsedOnNo) {
  sim::ControllerConfig config;
  config.inBootloader = true;
  bus.Attach(config);
  WriteFirmwareFile(BuildFor(config, 0x06));
  fwgen::FirmwareBuild other = BuildFor(config, 0x06);
  other.chipId = 0x13;  // saved from another controller family
  WritePersonalityFile("sf20150811_101010.mem", other);
  ListAsFirmware(config);

  window.QueueAnswer(MessageAnswer::kYes);  // the file is this controller's
  window.QueueAnswer(MessageAnswer::kNo);
  ASSERT_EQ(PrepareUpdate(session), 0);
  ASSERT_EQ(window.messageBoxes().size(), 2u);
  const MessageBoxCall box = window.messageBoxes()[1];
  EXPECT_EQ(box.caption, "Incompatible Personality File Found");
  EXPECT_EQ(box.text,
            "The info in the temp personality file did not match the current selected new "
            "firmware file. Would you like to remove this temp file? \r\n\tY-remove file and "
            "don't use it\r\n\tN-Keep file and use it on this deice or select a different "
            "device.");
  EXPECT_EQ(box.buttons, MessageButtons::kYesNo);
  EXPECT_TRUE(session.usePersonalityFile);
  EXPECT_TRUE(std::filesystem::exists("sf20150811_101010.mem"));

  // Removed, it is set aside rather than deleted; with nothing left to
  // restore from, the defaults are asked for.
  window.QueueAnswer(MessageAnswer::kYes);
  window.QueueAnswer(MessageAnswer::kYes);
  ASSERT_EQ(PrepareUpdate(session), 0);
  EXPECT_TRUE(
      InOrder(window.verbose(), {"Removing incompatible personality file: sf20150811_101010.mem",
                                 "\r\nThe file is kept as sf20150811_101010.mem.removed\r\n",
                                 kDefaultsAccepted, kPressAnyKey}));
  EXPECT_EQ(window.messageBoxes().back().caption, "No Saved Factory Settings");
  EXPECT_FALSE(session.usePersonalityFile);
  EXPECT_FALSE(session.readConfigFromDevice);
  EXPECT_FALSE(std::filesystem::exists("sf20150811_101010.mem"));
  EXPECT_TRUE(std::filesystem::exists("sf20150811_101010.mem.removed"));
}

TEST_F(Preparation, PersonalityFileOfAnotherDeviceIsOfferedForRemovalInFirmwareMode) {
  sim::ControllerConfig config;
  bus.Attach(config);
  WriteFirmwareFile(BuildFor(config, 0x05));
  fwgen::FirmwareBuild other = BuildFor(config, 0x05);
  other.productId = 0x0999;
  WritePersonalityFile("sf20150811_101010.mem", other);
  ListDevices();

  window.QueueAnswer(MessageAnswer::kNo);
  ASSERT_EQ(PrepareUpdate(session), 0);
  ASSERT_EQ(window.messageBoxes().size(), 1u);
  EXPECT_EQ(window.messageBoxes()[0].text,
            "The info in the temp personality file did not match the current selected device. "
            "Would you like to remove this temp file? \r\n\tY-remove file and don't use "
            "it\r\n\tN-Keep file and use it on this deice or select a different device.");
  EXPECT_FALSE(session.readConfigFromDevice);  // No changes nothing
  EXPECT_TRUE(std::filesystem::exists("sf20150811_101010.mem"));

  window.QueueAnswer(MessageAnswer::kYes);
  ASSERT_EQ(PrepareUpdate(session), 0);
  EXPECT_TRUE(
      InOrder(window.verbose(), {"TempFile Comparrison with Device is Not Compatible\r\n",
                                 "Removing incompatible personality file: sf20150811_101010.mem",
                                 "Compatibility confirmed\r\n"}));
  EXPECT_TRUE(session.readConfigFromDevice);
  EXPECT_FALSE(std::filesystem::exists("sf20150811_101010.mem"));
  EXPECT_TRUE(std::filesystem::exists("sf20150811_101010.mem.removed"));
}

TEST_F(Preparation, NoSaveSwitchDoesNotLookForAPersonalityFile) {
  sim::ControllerConfig config;
  config.inBootloader = true;
  bus.Attach(config);
  WriteFirmwareFile(BuildFor(config, 0x06));
  WritePersonalityFile("sf20150811_101010.mem", BuildFor(config, 0x06));
  ListAsFirmware(config);
  session.config.saveFlashConfig = false;

  ASSERT_EQ(PrepareUpdate(session), 0);
  EXPECT_TRUE(EndsWith(window.verbose(), kIdListingEnd));
  EXPECT_EQ(window.verbose().find("Found Personality File"), std::string::npos);
  EXPECT_FALSE(session.usePersonalityFile);
}

TEST_F(Preparation, AskModeWithoutSilentPrintsTheManualEntryNotice) {
  sim::ControllerConfig config;
  config.i2c = true;
  config.productId = 0x0102;
  bus.Attach(config);
  WriteFirmwareFile(BuildFor(config, 0x05));
  ListDevices();
  session.config.askMode = true;
  session.device.isI2C = 0;

  ASSERT_EQ(PrepareUpdate(session), 0);
  const std::string out = window.verbose();
  EXPECT_TRUE(InOrder(out, {" Device found\r\n", "Done\r\n",
                            "Option to manualy enter I2C info has been removed but can be "
                            "accomplished with fw dll.\r\n",
                            "Getting Access Offset Address... \r\n"}));
  EXPECT_EQ(out.find("Using the following IDs -  I2CAdd"), std::string::npos);

  // With /s the identifiers are listed after all.
  window.SetText(kIdVerbose, "");
  session.config.silent = true;
  ASSERT_EQ(PrepareUpdate(session), 0);
  EXPECT_TRUE(
      InOrder(window.verbose(), {"\n\nUsing the following IDs -  I2CAdd: 0x2C\r\n",
                                 "                          HIDDesc: 0x20\r\n", kIdListingEnd}));
}

// The manual-entry notice leaves the protocol as copied from the firmware;
// the listing recomputes it from the addresses. An I2C build that names no
// addresses tells the two apart; the bootloader run ends right after them.
TEST_F(Preparation, AskModeKeepsTheProtocolOfTheFirmware) {
  sim::ControllerConfig config;
  config.i2c = true;
  config.inBootloader = true;
  bus.Attach(config);
  fwgen::FirmwareBuild build = BuildFor(config, 0x06);
  build.i2cAddress = 0;
  build.hidDescriptorAddress = 0;
  WriteFirmwareFile(build);
  ListAsFirmware(config);
  session.config.askMode = true;

  session.config.saveFlashConfig = false;  // nothing to look for after the listing
  ASSERT_EQ(PrepareUpdate(session), 0);
  EXPECT_TRUE(EndsWith(window.verbose(),
                       "Option to manualy enter I2C info has been removed but can be "
                       "accomplished with fw dll.\r\n"));
  EXPECT_EQ(session.device.isI2C, 1);

  session.config.silent = true;
  ASSERT_EQ(PrepareUpdate(session), 0);
  EXPECT_TRUE(EndsWith(window.verbose(),
                       "\n\nUsing the following IDs -  I2CAdd: 0x0\r\n"
                       "                          HIDDesc: 0x0\r\n" +
                           std::string(kIdListingEnd)));
  EXPECT_EQ(session.device.isI2C, 0);
}

// Accepting another vendor ID keeps the preparation going, but a running
// device then meets the ID rule; its bootloader is not checked at all.
TEST_F(Preparation, AcceptedVendorIdIsRefusedOnlyByARunningDevice) {
  sim::ControllerConfig config;
  bus.Attach(config);
  fwgen::FirmwareBuild build = BuildFor(config, 0x05);
  build.vendorId = 0x044E;
  WriteFirmwareFile(build);
  ListDevices();
  window.defaultAnswer = MessageAnswer::kYes;

  ASSERT_EQ(PrepareUpdate(session), 1);
  ASSERT_EQ(window.messageBoxes().size(), 1u);
  EXPECT_EQ(window.messageBoxes()[0].caption, "VendorID does not Match");
  EXPECT_TRUE(InOrder(window.verbose(),
                      {"Checking Firmware Compatibility...\r\n",
                       "VID PID mismatch NOT ALLOWED try using cmd line argument /o for override. "
                       "See About for more details.\r\n",
                       "Device has Firmware version: 12:5\r\n",
                       "Attempting to install Firmware version: 12:5\r\n"}));
  EXPECT_EQ(session.UpdateResult, 1);
  EXPECT_TRUE(ExecuteHidden());
}

TEST_F(Preparation, AcceptedVendorIdOnABootloaderIsPrepared) {
  sim::ControllerConfig config;
  config.inBootloader = true;
  bus.Attach(config);
  fwgen::FirmwareBuild build = BuildFor(config, 0x05);
  build.vendorId = 0x044E;
  WriteFirmwareFile(build);
  ListAsFirmware(config);
  window.defaultAnswer = MessageAnswer::kYes;

  ASSERT_EQ(PrepareUpdate(session), 0);
  ASSERT_EQ(window.messageBoxes().size(), 2u);
  EXPECT_EQ(window.messageBoxes()[1].caption, "No Saved Factory Settings");
  EXPECT_EQ(window.verbose().find("Checking Firmware Compatibility"), std::string::npos);
  EXPECT_EQ(session.UpdateResult, 0);
  EXPECT_FALSE(ExecuteHidden());
}

TEST_F(Preparation, YesToTheVendorAndNoToTheProductStopsWithResultFour) {
  sim::ControllerConfig config;
  bus.Attach(config);
  fwgen::FirmwareBuild build = BuildFor(config, 0x05);
  build.vendorId = 0x044E;
  build.productId = 0x0222;
  WriteFirmwareFile(build);
  ListDevices();
  window.QueueAnswer(MessageAnswer::kYes);
  window.QueueAnswer(MessageAnswer::kNo);

  ASSERT_EQ(PrepareUpdate(session), 1);
  ASSERT_EQ(window.messageBoxes().size(), 2u);
  EXPECT_EQ(window.messageBoxes()[1].caption, "ProductID does not Match");
  EXPECT_TRUE(EndsWith(window.verbose(), "ERROR: New FW VID and PID don't match with device\r\n"));
  EXPECT_EQ(session.UpdateResult, 4);
  EXPECT_FALSE(session.retryAdvised);
  EXPECT_TRUE(ExecuteHidden());
}

TEST_F(Preparation, UnreadableAccessOffsetEndsWithResultSix) {
  sim::ControllerConfig config;
  sim::Controller& controller = bus.Attach(config);
  controller.faults().corruptEveryReadReply = true;
  WriteFirmwareFile(BuildFor(config, 0x06));
  ListDevices();

  ASSERT_EQ(PrepareUpdate(session), 1);
  const std::string out = window.verbose();
  EXPECT_TRUE(InOrder(out, {"Getting Access Offset Address... \r\n",
                            "\nERROR - Cannot read memory location: 0xFFFFFFFC\r\n"}));
  EXPECT_EQ(out.find("Checking Firmware Compatibility"), std::string::npos);
  EXPECT_EQ(session.UpdateResult, 6);
  EXPECT_TRUE(session.retryAdvised);
  EXPECT_TRUE(ExecuteHidden());
}

TEST_F(Preparation, AccessOffsetOfExactlyTheBaseGivesTheDefaultTableSize) {
  sim::ControllerConfig config;
  config.compTableSize = 0;
  bus.Attach(config);
  WriteFirmwareFile(BuildFor(config, 0x05));
  ListDevices();

  ASSERT_EQ(PrepareUpdate(session), 0);
  EXPECT_EQ(session.AccessOffset, kAccessOffsetBase);
  EXPECT_EQ(session.CompTableSize, 0x1E0u);
  EXPECT_TRUE(InOrder(window.verbose(), {"\r\n  Access Address Offset: 0x1FFF3D54\r\n",
                                         "\r\n  Factory Comp Table Size: 0x1E0\r\n"}));
}

TEST_F(Preparation, LibraryFileWithPackagesOffIsParsedAsHexAndFails) {
  bus.Attach(sim::ControllerConfig{});
  ListDevices();
  CopySamplePackage("sample_usb_1206", "FIRMWARE.DLL");
  session.config.firmwarePath = "FIRMWARE.DLL";
  session.config.packageLibraryAllowed = false;

  ASSERT_EQ(PrepareUpdate(session), 1);
  EXPECT_TRUE(InOrder(window.verbose(), {"\nUsing the following file: FIRMWARE.DLL\r\n",
                                         "\nError parsing hex file\r\n"}));
  EXPECT_EQ(system.stdoutText, "");  // no package load was tried
  EXPECT_EQ(session.UpdateResult, 15);
  EXPECT_FALSE(session.retryAdvised);
  EXPECT_FALSE(session.packageLoaded);
  EXPECT_EQ(session.image, nullptr);
  EXPECT_TRUE(ExecuteHidden());
}

TEST_F(Preparation, UnusablePackageFallsBackToHexParsing) {
  bus.Attach(sim::ControllerConfig{});
  ListDevices();
  CopySamplePackage("sample_broken", "Broken.Dll");
  session.config.firmwarePath = "Broken.Dll";

  ASSERT_EQ(PrepareUpdate(session), 1);
  EXPECT_TRUE(InOrder(system.stdoutText, {"\tERROR - Could not find ffudll_fnGetFirmware ",
                                          "\tERROR - Invalid Firmware File\n"}));
  EXPECT_TRUE(InOrder(window.verbose(), {"\nUsing the following file: Broken.Dll\r\n",
                                         "\nError parsing hex file\r\n"}));
  EXPECT_EQ(session.UpdateResult, 15);
}

TEST_F(Preparation, ReportIdIsListedWithDecimalDigitsAfterTheHexPrefix) {
  sim::ControllerConfig config;
  config.reportId = 10;
  bus.Attach(config);
  WriteFirmwareFile(BuildFor(config, 0x05));
  ListDevices();
  session.firmware.reportId = 10;  // as an earlier package load left it

  ASSERT_EQ(PrepareUpdate(session), 0);
  EXPECT_TRUE(InOrder(window.verbose(),
                      {" Device found\r\n", "                          ReportID: 0x10\r\n"}));
  EXPECT_EQ(session.device.reportId, 10);
}

TEST_F(Preparation, PackageFoundThroughAWildcardIsPrepared) {
  sim::ControllerConfig config;  // revision 5, which the package lists as compatible
  bus.Attach(config);
  ListDevices();
  CopySamplePackage("sample_broken", "pkgs/fw_a.dll");
  CopySamplePackage("sample_usb_1206", "pkgs/fw_b.dll");
  session.config.firmwarePath = "pkgs/fw_*.dll";

  ASSERT_EQ(PrepareUpdate(session), 0);
  EXPECT_TRUE(session.packageLoaded);
  EXPECT_EQ(session.firmware.name, "fw_b.dll");
  EXPECT_EQ(session.UpdateResult, 0);  // the rejected first match does not linger
  const std::string out = window.verbose();
  EXPECT_EQ(out.find("Using the following file"), std::string::npos);
  EXPECT_TRUE(InOrder(out, {"New FW Info 12.6\r\n", "Done\r\n", " Device found\r\n",
                            "FW Version, VID/PID, and CHIP ID Compatibility verified\r\n",
                            "Compatibility confirmed\r\n"}));
  ASSERT_NE(session.image, nullptr);
  EXPECT_GT(session.image->segmentCount(), 0u);
}

TEST_F(Preparation, PackageIdentityQuestionsPrintTheirAnswers) {
  sim::ControllerConfig config;
  config.productId = 0x0222;
  bus.Attach(config);
  ListDevices();
  CopySamplePackage("sample_usb_1206", "fw.dll");
  session.config.firmwarePath = "fw.dll";
  window.QueueAnswer(MessageAnswer::kNo);

  ASSERT_EQ(PrepareUpdate(session), 1);
  EXPECT_EQ(window.verbose(),
            "The ProductID of the selected device does not match the ID in the Firmware file "
            "provided. User chose not to override the values with the ones in the FW file.\r\n");
  EXPECT_EQ(window.status(), "The ProductID does not match. User chose not to override.\r\n");
  EXPECT_EQ(session.UpdateResult, 4);
  EXPECT_FALSE(session.retryAdvised);
  EXPECT_TRUE(ExecuteHidden());
}

TEST_F(Preparation, DeclinedHexIdentityQuestionReportsTheMismatch) {
  sim::ControllerConfig config;
  bus.Attach(config);
  fwgen::FirmwareBuild build = BuildFor(config, 0x05);
  build.vendorId = 0x044E;
  WriteFirmwareFile(build);
  ListDevices();
  window.defaultAnswer = MessageAnswer::kNo;

  ASSERT_EQ(PrepareUpdate(session), 1);
  EXPECT_TRUE(EndsWith(window.verbose(), "ERROR: New FW VID and PID don't match with device\r\n"));
  EXPECT_EQ(window.status(), "ERROR: New FW VID and PID don't match with device\r\n");
  EXPECT_EQ(session.UpdateResult, 4);
  EXPECT_EQ(window.verbose().find("Connecting"), std::string::npos);
}

}  // namespace
}  // namespace padflash::testing
