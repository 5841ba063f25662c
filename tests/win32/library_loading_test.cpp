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

// LoadLibraryA looks in the program's folder before the current directory.
// With a package lacking ffudll_fnGetFirmware there under the same name, the
// package named relative to the current directory, or by its full path from
// another folder, must still be the one loaded.
TEST(LibraryLoading, ThePackageNamedIsLoadedAheadOfOneInTheProgramFolder) {
  const fs::path folder = testing::MakeTempFolder("padflash-library");
  ASSERT_FALSE(folder.empty());
  const std::string name = "padflash-shadow-" + std::to_string(GetCurrentProcessId()) + ".dll";
  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  const fs::path shadow = fs::path(program).parent_path() / name;
  fs::copy_file(SamplePackage("sample_broken"), shadow, fs::copy_options::overwrite_existing);
  fs::create_directories(folder / "release");
  fs::copy_file(SamplePackage("sample_usb_1206"), folder / name);
  fs::copy_file(SamplePackage("sample_usb_1206"), folder / "release" / name);

  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  Win32SystemPort port;
  for (const std::string& path : {name, "release\\" + name, (folder / "release" / name).string()}) {
    std::unique_ptr<LoadedLibrary> library = port.OpenLibrary(path);
    ASSERT_NE(library, nullptr) << path;
    EXPECT_NE(library->Symbol(kFfuGetFirmware), nullptr) << path;
    EXPECT_EQ(library->Symbol("ffudll_fnNoSuchFunction"), nullptr);
    EXPECT_EQ(port.LastError(), ERROR_PROC_NOT_FOUND);
  }
  fs::current_path(previous);
  fs::remove(shadow);
  fs::remove_all(folder);
}

// A package's own libraries are found in its folder; a library of that name
// in the current folder is not taken.
TEST(LibraryLoading, APackagesLibrariesComeFromItsFolderNotTheCurrentOne) {
  const fs::path packages = DEPENDENT_PACKAGE_DIR;
  const fs::path folder = testing::MakeTempFolder("padflash-planted");
  ASSERT_FALSE(folder.empty());
  fs::create_directories(folder / "alone");
  fs::copy_file(packages / "dependent_package.dll", folder / "alone" / "dependent_package.dll");
  fs::copy_file(packages / "package_helper.dll", folder / "package_helper.dll");

  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  Win32SystemPort port;
  // The planted one first: a library already loaded would be taken by name.
  EXPECT_EQ(port.OpenLibrary("alone\\dependent_package.dll"), nullptr)
      << "the library in the current folder was taken";
  std::unique_ptr<LoadedLibrary> beside =
      port.OpenLibrary((packages / "dependent_package.dll").string());
  ASSERT_NE(beside, nullptr);
  EXPECT_NE(beside->Symbol("dependent_package_answer"), nullptr);
  beside.reset();
  fs::current_path(previous);
  // Wine may keep the file of the refused load open a while.
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

}  // namespace
}  // namespace padflash
