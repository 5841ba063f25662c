// Loading firmware package libraries: the call protocol against a scripted
// library, and the sample packages built from our own generator's images.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "firmware/device_identity.h"
#include "firmware/hex_file.h"
#include "firmware/package_library_abi.h"
#include "session/session.h"
#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"
#include "update/package_library.h"

namespace padflash {
namespace {

TEST(PackageText, CarriageReturnsAndLineFeedsCutTheTextAndEmptyPiecesGo) {
  using Lines = std::deque<std::string>;
  EXPECT_EQ(SplitPackageText(":A\r\n:B\r\n"), (Lines{":A", ":B"}));
  EXPECT_EQ(SplitPackageText(":A\r:B\n:C"), (Lines{":A", ":B", ":C"}));
  EXPECT_EQ(SplitPackageText("\r\n\r\n one \n\n"), (Lines{" one "}));
  EXPECT_EQ(SplitPackageText(""), Lines{});
  EXPECT_EQ(SplitPackageText("\r\r\n\n"), Lines{});
}

// ---- The call protocol against a scripted library --------------------------

// What the scripted library does; reset by each test.
struct Script {
  std::vector<std::string> log;
  std::map<std::string, bool> missing;
  void* token = nullptr;  // the module handle the loader passed
  int compatibleCount = 2;
  int firmwareSize = 0;
  std::string firmwareText;  // written without a terminator
  int configSize = 0;
};
Script* script = nullptr;

void Log(const std::string& line) {
  script->log.push_back(line);
}

extern "C" {
void ScriptHid(uint16_t* vendorId, uint16_t* productId) {
  Log("call hid");
  *vendorId = 0x1234;
  *productId = 0x5678;
}
void ScriptI2c(uint8_t* isI2C, uint8_t* address, uint16_t* descriptor, uint8_t* reportId) {
  Log("call i2c");
  *isI2C = 1;
  *address = 0x15;
  *descriptor = 0x0001;
  *reportId = 9;
}
void ScriptInfo(uint8_t* chipId, uint8_t* revision) {
  Log("call info");
  *chipId = 0x21;
  *revision = 0x03;
}
void ScriptIds(int* count, uint16_t* ids) {
  if (ids == nullptr) {
    Log("call ids count");
    *count = script->compatibleCount;
    return;
  }
  Log("call ids fill " + std::to_string(*count));
  for (int i = 0; i < *count; ++i) ids[i] = static_cast<uint16_t>(0x10 + i);
}
void TextCall(const char* what, int* size, char* text, void* module, int scriptedSize,
              const std::string& content) {
  if (text == nullptr) {
    script->token = module;
    Log(std::string("call ") + what + " size" + (module != nullptr ? " token" : " null"));
    *size = scriptedSize;
    return;
  }
  Log(std::string("call ") + what + " fetch " + std::to_string(*size) +
      (module != nullptr ? " token" : " null"));
  // Fills the whole buffer, no terminator.
  for (int i = 0; i < *size; ++i) text[i] = content[static_cast<size_t>(i) % content.size()];
}
void ScriptFirmware(int* size, char* text, void* module) {
  TextCall("firmware", size, text, module, script->firmwareSize, script->firmwareText);
}
void ScriptConfig(int* size, char* text, void* module) {
  TextCall("config", size, text, module, script->configSize, "x");
}
}  // extern "C"

// Stands for the scripted library's module handle.
int kModule = 0;

class ScriptedLibrary : public LoadedLibrary {
 public:
  ~ScriptedLibrary() override { Log("close"); }
  void* Handle() override { return &kModule; }
  void* Symbol(const char* name) override {
    Log(std::string("lookup ") + name);
    if (script->missing[name]) return nullptr;
    static const std::map<std::string, void*> exports = {
        {kFfuGetHIDDeviceInfo, reinterpret_cast<void*>(&ScriptHid)},
        {kFfuGetI2CDeviceInfo, reinterpret_cast<void*>(&ScriptI2c)},
        {kFfuGetFirmwareInfo, reinterpret_cast<void*>(&ScriptInfo)},
        {kFfuGetCompatibleFirmIDs, reinterpret_cast<void*>(&ScriptIds)},
        {kFfuGetFirmware, reinterpret_cast<void*>(&ScriptFirmware)},
        {kFfuGetConfigInstructions, reinterpret_cast<void*>(&ScriptConfig)},
    };
    auto it = exports.find(name);
    return it == exports.end() ? nullptr : it->second;
  }
};

class ScriptedSystem : public testing::TestSystemPort {
 public:
  std::unique_ptr<LoadedLibrary> OpenLibrary(const std::string& path) override {
    Log("open " + path);
    return std::make_unique<ScriptedLibrary>();
  }
  int LastError() override { return 127; }
};

class PackageProtocolTest : public ::testing::Test {
 protected:
  PackageProtocolTest() { script = &current; }
  ~PackageProtocolTest() override { script = nullptr; }

  Script current;
  testing::RecordingWindow window;
  ScriptedSystem system;
  Session session{window, system, []() -> VirtualVLMHIDInterface* { return nullptr; }};
  DeviceIdentity candidate;
};

TEST_F(PackageProtocolTest, EachFunctionIsLookedUpRightBeforeItsCall) {
  current.firmwareSize = 8;
  current.firmwareText = ":01\r\n:02";
  current.configSize = 3;
  ASSERT_EQ(LoadPackageLibrary(session, "/opt/fw/pkg.dll", candidate), 0);

  const std::vector<std::string> expected = {
      "open /opt/fw/pkg.dll",
      "lookup ffudll_fnGetHIDDeviceInfo",
      "call hid",
      "lookup ffudll_fnGetI2CDeviceInfo",
      "call i2c",
      "lookup ffudll_fnGetFirmwareInfo",
      "call info",
      "lookup ffudll_fnGetCompatibleFirmIDs",
      "call ids count",
      "call ids fill 2",
      "lookup ffudll_fnGetFirmware",
      "call firmware size token",
      "call firmware fetch 8 null",
      "lookup ffudll_fnGetConfigInstructions",
      "call config size token",
      "call config fetch 3 null",
      "close",
  };
  EXPECT_EQ(current.log, expected);
  EXPECT_EQ(current.token, &kModule);

  EXPECT_EQ(candidate.name, "pkg.dll");
  EXPECT_EQ(candidate.vendorId, 0x1234);
  EXPECT_EQ(candidate.productId, 0x5678);
  EXPECT_EQ(candidate.isI2C, 1);
  EXPECT_EQ(candidate.i2cAddress, 0x15);
  EXPECT_EQ(candidate.hidDescriptorAddress, 0x0001);
  EXPECT_EQ(candidate.reportId, 9);
  EXPECT_EQ(candidate.chipId, 0x21);
  EXPECT_EQ(candidate.firmwareRevision, 0x03);
  EXPECT_EQ(candidate.compatibleFirmwareIds, (std::deque<uint16_t>{0x10, 0x11}));
  // All eight bytes arrive although the library wrote no terminator.
  EXPECT_EQ(candidate.firmwareLines, (std::deque<std::string>{":01", ":02"}));
  EXPECT_EQ(candidate.configLines, (std::deque<std::string>{"xxx"}));
  EXPECT_EQ(candidate.fromPackage, 1);
  EXPECT_EQ(candidate.fromHexFile, 0);
  EXPECT_EQ(candidate.fromDevice, 0);
  EXPECT_EQ(system.stdoutText, "");
}

TEST_F(PackageProtocolTest, EmptyAnswersLeaveTheTextsButEmptyTheCompatibleList) {
  current.compatibleCount = 0;
  current.firmwareSize = 0;
  current.configSize = -5;
  candidate.compatibleFirmwareIds = {7};
  candidate.firmwareLines = {"earlier firmware"};
  candidate.configLines = {"earlier config"};
  ASSERT_EQ(LoadPackageLibrary(session, "pkg.dll", candidate), 0);
  EXPECT_TRUE(candidate.compatibleFirmwareIds.empty());
  EXPECT_EQ(candidate.firmwareLines, std::deque<std::string>{"earlier firmware"});
  EXPECT_EQ(candidate.configLines, std::deque<std::string>{"earlier config"});
  // The list fetch is still made, with no array, so the library sees two
  // count queries.
  EXPECT_EQ(std::count(current.log.begin(), current.log.end(), "call ids count"), 2);
  EXPECT_EQ(std::count(current.log.begin(), current.log.end(), "call firmware size token"), 1);
  EXPECT_EQ(std::find(current.log.begin(), current.log.end(), "call firmware fetch 0 null"),
            current.log.end());
}

TEST_F(PackageProtocolTest, OversizedAnswersAreRefusedWithoutFetching) {
  current.compatibleCount = kMaxCompatibleIds + 1;
  current.firmwareSize = kMaxPackageTextBytes + 1;
  current.configSize = 1;
  candidate.firmwareLines = {"earlier firmware"};
  ASSERT_EQ(LoadPackageLibrary(session, "pkg.dll", candidate), 0);
  EXPECT_TRUE(candidate.compatibleFirmwareIds.empty());
  EXPECT_EQ(candidate.firmwareLines, std::deque<std::string>{"earlier firmware"});
  for (const std::string& line : current.log) {
    EXPECT_EQ(line.find("call ids fill"), std::string::npos);
    EXPECT_EQ(line.find("call firmware fetch"), std::string::npos);
  }
  EXPECT_NE(system.stdoutText.find("ffudll_fnGetCompatibleFirmIDs answered with 65537"),
            std::string::npos);
  EXPECT_NE(system.stdoutText.find("ffudll_fnGetFirmware answered with 16777217"),
            std::string::npos);
}

TEST_F(PackageProtocolTest, MissingFunctionStopsTheLoadAndReleasesTheLibrary) {
  const char* functions[] = {kFfuGetHIDDeviceInfo, kFfuGetI2CDeviceInfo,
                             kFfuGetFirmwareInfo,  kFfuGetCompatibleFirmIDs,
                             kFfuGetFirmware,      kFfuGetConfigInstructions};
  for (const char* function : functions) {
    SCOPED_TRACE(function);
    current = Script{};
    current.missing[function] = true;
    system.stdoutText.clear();
    session.UpdateResult = 0;
    DeviceIdentity fresh;
    EXPECT_EQ(LoadPackageLibrary(session, "pkg.dll", fresh), 12);
    EXPECT_EQ(session.UpdateResult, 12);
    EXPECT_EQ(system.stdoutText, std::string("\tERROR - Could not find ") + function + " 127\n");
    ASSERT_GE(current.log.size(), 2u);
    EXPECT_EQ(current.log[current.log.size() - 2], std::string("lookup ") + function);
    EXPECT_EQ(current.log.back(), "close");
    EXPECT_EQ(fresh.fromPackage, 0);
    EXPECT_EQ(fresh.name, "");
  }
}

// ---- The sample packages ----------------------------------------------------

std::string PackagePath(const std::string& name) {
  return std::string(PADFLASH_SAMPLE_PACKAGE_DIR) + "/" + name;
}

// The lines of a generated HEX file, read independently of the loader.
std::deque<std::string> HexFileLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::deque<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

class SamplePackageTest : public ::testing::Test {
 protected:
  testing::RecordingWindow window;
  testing::TestSystemPort system;
  Session session{window, system, []() -> VirtualVLMHIDInterface* { return nullptr; }};
  DeviceIdentity candidate;
};

TEST_F(SamplePackageTest, UsbSampleFillsEveryPackageMember) {
  ASSERT_EQ(LoadPackageLibrary(session, PackagePath("sample_usb_1206.dll"), candidate), 0);
  EXPECT_EQ(candidate.name, "sample_usb_1206.dll");
  EXPECT_EQ(candidate.vendorId, 0x0488);
  EXPECT_EQ(candidate.productId, 0x0101);
  EXPECT_EQ(candidate.isI2C, 0);
  EXPECT_EQ(candidate.i2cAddress, 0);
  EXPECT_EQ(candidate.hidDescriptorAddress, 0);
  EXPECT_EQ(candidate.reportId, 7);
  EXPECT_EQ(candidate.chipId, 0x12);
  EXPECT_EQ(candidate.firmwareRevision, 0x06);
  EXPECT_EQ(candidate.compatibleFirmwareIds, (std::deque<uint16_t>{0x05, 0x04}));
  EXPECT_EQ(candidate.configLines, (std::deque<std::string>{
                                       "0x0800FC00, 0x0800FC00,c,480 # comp table",
                                       "0xC308, 0xC308,c,3 # factory values",
                                   }));
  const std::deque<std::string> hex = HexFileLines(PackagePath("sample_usb_1206.hex"));
  ASSERT_GT(hex.size(), 100u);
  EXPECT_EQ(candidate.firmwareLines, hex);
  EXPECT_EQ(candidate.fromPackage, 1);
  EXPECT_EQ(candidate.fromHexFile, 0);
  EXPECT_EQ(candidate.fromDevice, 0);
  EXPECT_EQ(system.stdoutText, "");
}

// The package is given its own module handle and finds its HEX text through
// it (Windows: FindResource/LoadResource; Linux: dlsym).
TEST_F(SamplePackageTest, APackageFindsItsFirmwareThroughItsModuleHandle) {
  ASSERT_EQ(LoadPackageLibrary(session, PackagePath("sample_usb_from_handle.dll"), candidate), 0);
  const std::deque<std::string> hex = HexFileLines(PackagePath("sample_usb_from_handle.hex"));
  ASSERT_GT(hex.size(), 100u);
  EXPECT_EQ(candidate.firmwareLines, hex);
}

TEST_F(SamplePackageTest, SampleImageCarriesThePackageIdentity) {
  ASSERT_EQ(LoadPackageLibrary(session, PackagePath("sample_i2c_1206.dll"), candidate), 0);
  EXPECT_EQ(candidate.isI2C, 1);
  EXPECT_EQ(candidate.i2cAddress, 0x2C);
  EXPECT_EQ(candidate.hidDescriptorAddress, 0x20);
  EXPECT_EQ(candidate.productId, 0x0102);

  HexFile image(candidate.firmwareLines);
  ASSERT_EQ(image.Parse(), 0);
  uint8_t block[0x18] = {};
  ASSERT_EQ(image.ReadBytes(kIdentityBlockI2C, block, sizeof block), 0);
  EXPECT_EQ(block[0x00], candidate.chipId);
  EXPECT_EQ(block[0x01], candidate.firmwareRevision);
  EXPECT_EQ(block[0x11], candidate.i2cAddress);
  EXPECT_EQ(block[0x16] | (block[0x17] << 8), candidate.productId);
}

TEST_F(SamplePackageTest, BrokenSampleIsRefusedWithCode12) {
  EXPECT_EQ(LoadPackageLibrary(session, PackagePath("sample_broken.dll"), candidate), 12);
  EXPECT_EQ(session.UpdateResult, 12);
  const std::string prefix = "\tERROR - Could not find ffudll_fnGetFirmware ";
  ASSERT_EQ(system.stdoutText.rfind(prefix, 0), 0u) << system.stdoutText;
  const std::string number = system.stdoutText.substr(prefix.size());
  ASSERT_FALSE(number.empty());
  EXPECT_EQ(number.back(), '\n');
  EXPECT_EQ(number.find_first_not_of("-0123456789"), number.size() - 1);
  EXPECT_EQ(candidate.fromPackage, 0);
}

TEST_F(SamplePackageTest, FileThatIsNoLibraryIsRefusedWithCode11) {
  const std::string path = ::testing::TempDir() + "not_a_package.dll";
  {
    std::ofstream out(path);
    out << ":020000040800F2\r\n:00000001FF\r\n";
  }
  EXPECT_EQ(LoadPackageLibrary(session, path, candidate), 11);
  EXPECT_EQ(session.UpdateResult, 11);
  EXPECT_EQ(system.stdoutText, "\tERROR - Could not open dll\n");
  std::remove(path.c_str());

  system.stdoutText.clear();
  EXPECT_EQ(LoadPackageLibrary(session, PackagePath("no_such_package.dll"), candidate), 11);
  EXPECT_EQ(system.stdoutText, "\tERROR - Could not open dll\n");
}

}  // namespace
}  // namespace padflash
