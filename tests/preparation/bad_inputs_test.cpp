// Bad inputs: each ends with its message and result, and nothing but memory
// reads reaches the controller.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/main_window.h"
#include "tests/preparation/preparation_world.h"
#include "update/bootloader_protocol.h"
#include "update/preparation.h"

namespace padflash::testing {
namespace {

class BadInputs : public PreparationWorld {
 protected:
  void SetUp() override {
    bus.Attach(sim::ControllerConfig{});
    ListDevices();
  }

  // The preparation of `path` fails with the parse error after `first`.
  void ExpectParseError(const std::string& path, const std::string& first = "") {
    session.config.firmwarePath = path;
    EXPECT_EQ(PrepareUpdate(session), 1);
    EXPECT_EQ(session.UpdateResult, 15);
    EXPECT_TRUE(InOrder(window.verbose(), {first, "\nError parsing hex file\r\n"}));
    EXPECT_TRUE(ExecuteHidden());
    EXPECT_TRUE(bus.TraceLines().empty());
  }

  // Only memory reads went to the controller.
  void ExpectNoWrite() {
    for (const std::string& line : bus.TraceLines()) {
      const size_t hex = line.rfind(' ') + 1;
      if (line.find(" SET ") != std::string::npos) {
        EXPECT_EQ(line.substr(hex + 2, 2), "08") << line.substr(0, hex + 4);
      }
    }
  }

  // A personality file that is not this controller's is offered for removal.
  void ExpectFileRefused(const std::vector<uint8_t>& bytes) {
    WriteBytes("sf20150810_090000.mem", bytes);
    WriteFirmwareFile(BuildFor(sim::ControllerConfig{}, 0x06));
    window.defaultAnswer = MessageAnswer::kYes;
    EXPECT_EQ(PrepareUpdate(session), 0) << window.verbose();
    EXPECT_TRUE(InOrder(window.verbose(),
                        {"Found Personality File: sf20150810_090000.mem\r\n",
                         "TempFile Comparrison with Device is Not Compatible\r\n",
                         "Removing incompatible personality file: sf20150810_090000.mem"}));
    ASSERT_FALSE(window.messageBoxes().empty());
    EXPECT_EQ(window.messageBoxes()[0].caption, "Incompatible Personality File Found");
    EXPECT_FALSE(std::filesystem::exists("sf20150810_090000.mem"));
    EXPECT_TRUE(session.readConfigFromDevice);
    ExpectNoWrite();
  }
};

// Image records for twice the largest image, then a hole up to 1 GiB: the
// parse stops at the limit and never reads the rest.
TEST_F(BadInputs, OneGibHexFile) {
  std::ofstream("huge.hex", std::ios::binary)
      << fwgen::ToIntelHex({{0x08002900, std::vector<uint8_t>(2u << 20, 0x5A)}});
  std::filesystem::resize_file("huge.hex", 1ull << 30);
  ExpectParseError("huge.hex",
                   "ERROR - The firmware file holds more than 1048576 bytes of image data; no "
                   "controller's flash holds that much\r\n");
}

TEST_F(BadInputs, BinaryFileNamedHex) {
  std::vector<uint8_t> bytes(65536);
  fwgen::ByteStream random(7);
  for (uint8_t& b : bytes) b = random.Next();
  WriteBytes("fw.hex", bytes);
  ExpectParseError("fw.hex", "\nUsing the following file: fw.hex\r\n");
}

TEST_F(BadInputs, Directory) {
  std::filesystem::create_directory("folder.hex");
  ExpectParseError("folder.hex");
}

// A dropped path longer than the 260-character file-name buffer is refused
// with a message, not cut to another file's name; nothing is prepared.
TEST_F(BadInputs, PathOf300Characters) {
  const std::string path = std::string(296, 'p') + ".hex";
  MainWindow dialog(session);
  dialog.OnFilesDropped({path});
  EXPECT_EQ(session.config.firmwarePath, "");
  EXPECT_NE(window.status().find("longer than 259 characters"), std::string::npos)
      << window.status();
  EXPECT_TRUE(bus.TraceLines().empty());
}

TEST_F(BadInputs, PackageLibraryThatIsNotALibrary) {
  WriteBytes("release.dll", {'M', 'Z', 0, 0, 'n', 'o', 't', ' ', 'E', 'L', 'F'});
  ExpectParseError("release.dll");
  EXPECT_EQ(system.stdoutText, "\tERROR - Could not open dll\n\tERROR - Invalid Firmware File\n");
}

// Sizes and counts of -1, or of 2^31 (-2^31 in an int): the package brings
// no firmware text, so its own file is parsed as HEX.
TEST_F(BadInputs, PackageAnsweringSizesOfMinusOneOr2To31) {
  for (const char* name : {"sample_size_minus_one", "sample_size_2pow31"}) {
    SCOPED_TRACE(name);
    CopySamplePackage(name, std::string(name) + ".dll");
    ExpectParseError(std::string(name) + ".dll");
    EXPECT_TRUE(session.packageLoaded);
    EXPECT_TRUE(session.firmware.firmwareLines.empty());
    EXPECT_TRUE(session.firmware.compatibleFirmwareIds.empty());
  }
}

TEST_F(BadInputs, PersonalityFileOfZeroBytes) {
  ExpectFileRefused({});
}

TEST_F(BadInputs, PersonalityFileOf5000Bytes) {
  std::vector<uint8_t> bytes(5000);
  fwgen::ByteStream random(11);
  for (uint8_t& b : bytes) b = random.Next();
  ExpectFileRefused(bytes);
}

TEST_F(BadInputs, PersonalityFileOfAnotherController) {
  sim::ControllerConfig other;
  other.chipId = 0x13;
  other.productId = 0x0202;
  other.serial = "OTHER";
  const std::vector<uint8_t> otherPage = bus.Attach(other).ReadFlash(kFactoryPageAddress, 1024);
  bus.Detach("OTHER");
  ExpectFileRefused(otherPage);
}

}  // namespace
}  // namespace padflash::testing
