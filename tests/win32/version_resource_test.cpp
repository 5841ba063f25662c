// The version resource this test program carries, as every program does,
// read back from its own file.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/program_version.h"
#include "padflash_version.h"

namespace padflash {
namespace {

class VersionResource : public ::testing::Test {
 protected:
  void SetUp() override {
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    DWORD ignored = 0;
    block_.resize(GetFileVersionInfoSizeA(path, &ignored));
    ASSERT_FALSE(block_.empty());
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, static_cast<DWORD>(block_.size()), block_.data()));
  }

  std::string Text(const std::string& name) {
    void* value = nullptr;
    UINT chars = 0;
    const std::string key = "\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueA(block_.data(), key.c_str(), &value, &chars) || chars == 0) return "";
    return static_cast<const char*>(value);
  }

  std::vector<char> block_;
};

TEST_F(VersionResource, CarriesTheProjectVersionAndTheProductTexts) {
  const ProgramVersion v = ReadProgramVersion();
  EXPECT_EQ(v.major, PADFLASH_VERSION_MAJOR);
  EXPECT_EQ(v.minor, PADFLASH_VERSION_MINOR);
  EXPECT_EQ(v.build, PADFLASH_VERSION_BUILD);
  EXPECT_EQ(v.revision, PADFLASH_VERSION_REVISION);

  void* root = nullptr;
  UINT bytes = 0;
  ASSERT_TRUE(VerQueryValueA(block_.data(), "\\", &root, &bytes));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(root);
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

  EXPECT_EQ(Text("FileVersion"), PADFLASH_VERSION_TEXT);
  EXPECT_EQ(Text("ProductVersion"), PADFLASH_VERSION_TEXT);
  EXPECT_EQ(Text("ProductName"), "Velmar Firmware Update Tool");
  EXPECT_EQ(Text("InternalName"), "padflash.exe");
  EXPECT_EQ(Text("OriginalFilename"), "padflash.exe");

  void* translation = nullptr;
  ASSERT_TRUE(VerQueryValueA(block_.data(), "\\VarFileInfo\\Translation", &translation, &bytes));
  ASSERT_GE(bytes, 4u);
  EXPECT_EQ(static_cast<const WORD*>(translation)[0], 1033);
}

}  // namespace
}  // namespace padflash
