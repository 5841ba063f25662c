// File search of the Windows system port: wildcards over a folder of files,
// whatever order FindNextFileA returns them in.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/win32_system_port.h"
#include "tests/support/temp_folder.h"

namespace padflash {
namespace {

namespace fs = std::filesystem;

class FileSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = testing::MakeTempFolder("padflash-find");
    ASSERT_FALSE(folder_.empty());
    for (const char* name :
         {"a.bin", "B.BIN", "x.binx", "a.bin.txt", "notes.txt", "long_firmware_name.bin",
          "sf20150811_101010.mem", "sf20990101_000000.memo"}) {
      std::ofstream(folder_ / name) << name;
    }
    fs::create_directory(folder_ / "d.bin");
  }
  void TearDown() override { fs::remove_all(folder_); }

  // (name, is a directory) of every match, sorted.
  std::vector<std::pair<std::string, bool>> Find(const std::string& pattern) {
    std::vector<std::pair<std::string, bool>> found;
    for (const FoundFile& f : port_.FindFiles((folder_ / pattern).string())) {
      found.emplace_back(f.name, f.isDirectory);
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  Win32SystemPort port_;
  fs::path folder_;
};

using Found = std::vector<std::pair<std::string, bool>>;

TEST_F(FileSearch, WildcardsMatchLongNamesOnlyAndFlagDirectories) {
  // x.binx (short name X~1.BIN) and the .memo file (SF2099~1.MEM) fit the
  // patterns only through their 8.3 names.
  EXPECT_EQ(
      Find("*.bin"),
      (Found{
          {"B.BIN", false}, {"a.bin", false}, {"d.bin", true}, {"long_firmware_name.bin", false}}));
  EXPECT_EQ(Find("?.bin"), (Found{{"B.BIN", false}, {"a.bin", false}, {"d.bin", true}}));
  EXPECT_EQ(Find("sf*.mem"), (Found{{"sf20150811_101010.mem", false}}));
  EXPECT_EQ(Find("*.none"), Found{});
  EXPECT_EQ(port_.FindFiles((folder_ / "missing" / "*.bin").string()).size(), 0u);
}

TEST_F(FileSearch, AnExactShortNameFindsItsFile) {
  char shortPath[MAX_PATH] = {};
  const std::string longPath = (folder_ / "long_firmware_name.bin").string();
  ASSERT_GT(GetShortPathNameA(longPath.c_str(), shortPath, MAX_PATH), 0u);
  ASSERT_NE(fs::path(shortPath).filename(), "long_firmware_name.bin");
  const std::vector<FoundFile> found = port_.FindFiles(shortPath);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "long_firmware_name.bin");
}

}  // namespace
}  // namespace padflash
