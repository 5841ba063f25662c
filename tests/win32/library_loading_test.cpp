// Package libraries loaded by the Windows system port: from the file that
// was named, never from elsewhere on the library search path.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

#include "firmware/package_library_abi.h"
#include "platform/win32/win32_system_port.h"
#include "tests/support/temp_folder.h"

namespace padflash {
namespace {

namespace fs = std::filesystem;

fs::path SamplePackage(const std::string& name) {
  return fs::path(PADFLASH_SAMPLE_PACKAGE_DIR) / (name + ".dll");
}

fs::path ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

class LibraryLoading : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    folder_ = testing::MakeTempFolder("padflash-library");
    ASSERT_FALSE(folder_.empty());
    fs::current_path(folder_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(folder_);
    std::error_code ignored;
    if (!shadow_.empty()) fs::remove(shadow_, ignored);
  }

  Win32SystemPort port_;
  fs::path previous_;
  fs::path folder_;
  fs::path shadow_;  // a library put beside the test program
};

TEST_F(LibraryLoading, APackageInAnotherFolderLoadsByItsFullPath) {
  fs::create_directories(folder_ / "release" / "fw");
  const fs::path package = folder_ / "release" / "fw" / "touchpad.dll";
  fs::copy_file(SamplePackage("sample_usb_1206"), package);
  fs::current_path(previous_);

  std::unique_ptr<LoadedLibrary> library = port_.OpenLibrary(package.string());
  ASSERT_NE(library, nullptr);
  for (const char* name : {kFfuGetHIDDeviceInfo, kFfuGetI2CDeviceInfo, kFfuGetFirmwareInfo,
                           kFfuGetCompatibleFirmIDs, kFfuGetFirmware, kFfuGetConfigInstructions}) {
    EXPECT_NE(library->Symbol(name), nullptr) << name;
  }
  auto getInfo = reinterpret_cast<ffudll_GetFirmwareInfoFn>(library->Symbol(kFfuGetFirmwareInfo));
  uint8_t chip = 0, revision = 0;
  getInfo(&chip, &revision);
  EXPECT_EQ(chip, 0x12);
  EXPECT_EQ(revision, 0x06);

  EXPECT_EQ(library->Symbol("ffudll_fnNoSuchFunction"), nullptr);
  EXPECT_EQ(port_.LastError(), ERROR_PROC_NOT_FOUND);
}

// LoadLibraryA looks in the program's folder before the current directory;
// the package named relative to the current directory must still win.
TEST_F(LibraryLoading, ARelativeNameIsTheFileInTheCurrentDirectory) {
  const std::string name = "padflash-shadow-" + std::to_string(GetCurrentProcessId()) + ".dll";
  shadow_ = ProgramFolder() / name;
  fs::copy_file(SamplePackage("sample_broken"), shadow_, fs::copy_options::overwrite_existing);
  fs::copy_file(SamplePackage("sample_usb_1206"), folder_ / name);
  fs::create_directory(folder_ / "sub");
  fs::copy_file(SamplePackage("sample_usb_1206"), folder_ / "sub" / name);

  for (const std::string& path : {name, "sub\\" + name}) {
    std::unique_ptr<LoadedLibrary> library = port_.OpenLibrary(path);
    ASSERT_NE(library, nullptr) << path;
    // sample_broken lacks ffudll_fnGetFirmware.
    EXPECT_NE(library->Symbol(kFfuGetFirmware), nullptr) << path;
  }
}

}  // namespace
}  // namespace padflash
