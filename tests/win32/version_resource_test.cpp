// The version resource this test program carries, as every program does,
// read back from its own file.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "padflash_version.h"
#include "session/program_version.h"

namespace padflash {
namespace {

TEST(VersionResource, CarriesTheProjectVersionAndTheProductTexts) {
  const ProgramVersion v = ReadProgramVersion();
  EXPECT_EQ(FormatProgramVersion(v), PADFLASH_VERSION_TEXT);

  char path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
  DWORD ignored = 0;
  std::vector<char> block(GetFileVersionInfoSizeA(path, &ignored));
  ASSERT_FALSE(block.empty());
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, static_cast<DWORD>(block.size()), block.data()));
  auto text = [&](const std::string& name) -> std::string {
    void* value = nullptr;
    UINT chars = 0;
    const std::string key = "\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueA(block.data(), key.c_str(), &value, &chars) || chars == 0) return "";
    return static_cast<const char*>(value);
  };
  EXPECT_EQ(text("FileVersion"), PADFLASH_VERSION_TEXT);
  EXPECT_EQ(text("ProductVersion"), PADFLASH_VERSION_TEXT);
  EXPECT_EQ(text("ProductName"), "Velmar Firmware Update Tool");
  EXPECT_EQ(text("InternalName"), "padflash.exe");
  EXPECT_EQ(text("OriginalFilename"), "padflash.exe");
}

}  // namespace
}  // namespace padflash
