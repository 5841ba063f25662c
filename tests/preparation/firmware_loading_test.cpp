// Loading a firmware package: the path is a search pattern; the first usable
// library among its matches fills the firmware identity.
#include "update/firmware_loading.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "firmware/config_instruction.h"
#include "tests/preparation/preparation_world.h"

namespace padflash::testing {
namespace {

class FirmwareLoading : public PreparationWorld {
 protected:
  int Load(const std::string& pattern) {
    session.config.firmwarePath = pattern;
    return LoadFirmwarePackage(session, session.firmware);
  }

  size_t InvalidLines() {
    const std::string& out = system.stdoutText;
    size_t n = 0;
    for (size_t at = out.find("\tERROR - Invalid Firmware File\n"); at != std::string::npos;
         at = out.find("\tERROR - Invalid Firmware File\n", at + 1)) {
      ++n;
    }
    return n;
  }
};

TEST_F(FirmwareLoading, InvalidFirstMatchIsReportedAndTheSecondIsLoaded) {
  CopySamplePackage("sample_broken", "pkgs/a_first.dll");
  CopySamplePackage("sample_usb_1206", "pkgs/b_second.dll");

  ASSERT_EQ(Load("pkgs/*.dll"), 0);
  const DeviceIdentity& f = session.firmware;
  EXPECT_EQ(f.name, "b_second.dll");
  EXPECT_EQ(f.fromPackage, 1);
  EXPECT_EQ(f.chipId, 0x12);
  EXPECT_EQ(f.firmwareRevision, 0x06);
  EXPECT_EQ(f.productId, 0x0101);
  EXPECT_FALSE(f.firmwareLines.empty());
  // The broken package's own line, then the rejection.
  EXPECT_TRUE(InOrder(system.stdoutText, {"\tERROR - Could not find ffudll_fnGetFirmware ",
                                          "\tERROR - Invalid Firmware File\n"}));
  EXPECT_EQ(InvalidLines(), 1u);
}

TEST_F(FirmwareLoading, ConfigurationLinesAreConvertedInOrder) {
  CopySamplePackage("sample_usb_1206", "pkgs/fw.dll");
  session.firmware.configInstructions = DefaultConfigInstructions();
  session.firmware.configInstructions.push_back({1, 2, 's', 3});

  ASSERT_EQ(Load("pkgs/fw.dll"), 0);
  const DeviceIdentity& f = session.firmware;
  ASSERT_EQ(f.configLines.size(), 2u);
  ASSERT_EQ(f.configInstructions.size(), 2u);
  EXPECT_EQ(f.configInstructions[0], (ConfigInstruction{0x0800FC00, 0x0800FC00, 'c', 480}));
  EXPECT_EQ(f.configInstructions[1], (ConfigInstruction{0xC308, 0xC308, 'c', 3}));
}

// The matched file runs, not a library of the same name that the platform's
// search order would find first (here: the working directory).
TEST_F(FirmwareLoading, LoadsTheMatchedFileByItsFullPath) {
  CopySamplePackage("sample_i2c_1206", "fw.dll");
  CopySamplePackage("sample_usb_1206", "pkgs/fw.dll");

  ASSERT_EQ(Load("pkgs/fw.dll"), 0);
  EXPECT_EQ(session.firmware.productId, 0x0101);  // the USB package in pkgs/
  EXPECT_EQ(session.firmware.isI2C, 0);
  EXPECT_EQ(session.firmware.name, "fw.dll");

  const std::string absolute = (std::filesystem::current_path() / "pkgs" / "*.dll").string();
  ASSERT_EQ(Load(absolute), 0);
  EXPECT_EQ(session.firmware.productId, 0x0101);
}

TEST_F(FirmwareLoading, FirstUsableLibraryEndsTheSearch) {
  CopySamplePackage("sample_usb_1206", "pkgs/a.dll");
  CopySamplePackage("sample_i2c_1206", "pkgs/b.dll");
  CopySamplePackage("sample_broken", "pkgs/c.dll");

  ASSERT_EQ(Load("pkgs/*.dll"), 0);
  EXPECT_EQ(session.firmware.name, "a.dll");
  EXPECT_EQ(session.firmware.productId, 0x0101);
  EXPECT_EQ(system.stdoutText, "");  // c.dll was never tried
}

// As the Windows search does: only * and ? are wildcards; brackets are
// parts of the name.
TEST_F(FirmwareLoading, OnlyStarAndQuestionMarkAreWildcards) {
  CopySamplePackage("sample_usb_1206", "pkgs/fw[1].dll");
  CopySamplePackage("sample_i2c_1206", "pkgs/fw1.dll");

  ASSERT_EQ(Load("pkgs/fw[1].dll"), 0);
  EXPECT_EQ(session.firmware.name, "fw[1].dll");
  EXPECT_EQ(session.firmware.isI2C, 0);
  ASSERT_EQ(Load("pkgs/fw?1?.dll"), 0);
  EXPECT_EQ(session.firmware.name, "fw[1].dll");
  ASSERT_EQ(Load("pkgs/*1.dll"), 0);
  EXPECT_EQ(session.firmware.name, "fw1.dll");
  EXPECT_TRUE(system.FindFiles("pkgs/fw[0-9].dll").empty());
}

TEST_F(FirmwareLoading, DirectoriesAreSkippedWithoutAMessage) {
  std::filesystem::create_directories("pkgs/a_folder.dll");
  CopySamplePackage("sample_i2c_1206", "pkgs/b.dll");

  ASSERT_EQ(Load("pkgs/*.dll"), 0);
  EXPECT_EQ(session.firmware.name, "b.dll");
  EXPECT_EQ(session.firmware.isI2C, 1);
  EXPECT_EQ(system.stdoutText, "");
}

TEST_F(FirmwareLoading, NoUsableMatchLeavesTheFirmwareIdentityAlone) {
  session.firmware.chipId = 0x33;
  EXPECT_EQ(Load("pkgs/*.dll"), -1);  // nothing matches
  EXPECT_EQ(system.stdoutText, "");

  CopySamplePackage("sample_broken", "pkgs/a.dll");
  WriteBytes("pkgs/b.dll", {'n', 'o', 't', ' ', 'E', 'L', 'F'});
  EXPECT_EQ(Load("pkgs/*.dll"), -1);
  EXPECT_EQ(InvalidLines(), 2u);
  EXPECT_TRUE(InOrder(system.stdoutText,
                      {"\tERROR - Invalid Firmware File\n", "\tERROR - Could not open dll\n",
                       "\tERROR - Invalid Firmware File\n"}));
  EXPECT_EQ(session.firmware.chipId, 0x33);
  EXPECT_EQ(session.firmware.fromPackage, 0);
}

}  // namespace
}  // namespace padflash::testing
