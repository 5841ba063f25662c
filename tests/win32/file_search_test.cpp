// File search of the Windows system port: wildcards over a folder of files,
// whatever order FindNextFileA returns them in.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32/long_name_match.h"
#include "platform/win32/win32_system_port.h"
#include "tests/support/temp_folder.h"

namespace padflash {
namespace {

namespace fs = std::filesystem;

TEST(FileSearch, WildcardsMatchLongNamesAndFlagDirectories) {
  const fs::path folder = testing::MakeTempFolder("padflash-find");
  ASSERT_FALSE(folder.empty());
  for (const char* name : {"a.bin", "B.BIN", "x.binx", "a.bin.txt", "long_firmware_name.bin",
                           "sf20150811_101010.mem", "sf20990101_000000.memo"}) {
    std::ofstream(folder / name) << name;
  }
  fs::create_directory(folder / "d.bin");
  Win32SystemPort port;
  // "name" or "name/" for a directory, sorted.
  auto find = [&](const std::string& pattern) {
    std::vector<std::string> names;
    for (const FoundFile& f : port.FindFiles((folder / pattern).string())) {
      names.push_back(f.name + (f.isDirectory ? "/" : ""));
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  using Names = std::vector<std::string>;

  // x.binx and the .memo file fit only through their 8.3 names (X~1.BIN).
  EXPECT_EQ(find("*.bin"), (Names{"B.BIN", "a.bin", "d.bin/", "long_firmware_name.bin"}));
  EXPECT_EQ(find("?.bin"), (Names{"B.BIN", "a.bin", "d.bin/"}));
  EXPECT_EQ(find("sf*.mem"), (Names{"sf20150811_101010.mem"}));
  EXPECT_EQ(find("*.none"), Names{});
  EXPECT_EQ(find("missing\\*.bin"), Names{});

  // A short name given exactly still finds its file.
  char shortPath[MAX_PATH] = {};
  const std::string longPath = (folder / "long_firmware_name.bin").string();
  ASSERT_GT(GetShortPathNameA(longPath.c_str(), shortPath, MAX_PATH), 0u);
  ASSERT_NE(fs::path(shortPath).filename(), "long_firmware_name.bin");
  EXPECT_EQ(find(fs::path(shortPath).filename().string()), Names{"long_firmware_name.bin"});
  fs::remove_all(folder);
}

// A match found through an 8.3 short name is kept when its long name alone
// matches as the file search matches long names: '?' stands for no
// character where the name reaches a dot, and ';' is an ordinary character.
TEST(FileSearch, TheShortNameFilterKeepsWhatTheLongNameMatches) {
  auto fits = [](const char* longName, const char* pattern) {
    WIN32_FIND_DATAA found{};
    lstrcpynA(found.cFileName, longName, MAX_PATH);
    lstrcpynA(found.cAlternateFileName, "FIRMWA~1.DLL", 14);
    return FitsPattern(found, pattern);
  };
  EXPECT_TRUE(fits("firmware_v.dll", "firmware_v?.dll"));
  EXPECT_TRUE(fits("firmware_v2.dll", "firmware_v?.dll"));
  EXPECT_TRUE(fits("Firmware_V.DLL", "firmware_v??.dll"));
  EXPECT_FALSE(fits("firmware_v23.dll", "firmware_v?.dll"));
  EXPECT_TRUE(fits("fw;1.dll", "fw;?.dll"));
  EXPECT_TRUE(fits("fw;1.dll", "*;*.dll"));
  EXPECT_FALSE(fits("fw1.dll", "fw;*.dll"));
  EXPECT_TRUE(fits("firmware_release", "*."));
  EXPECT_FALSE(fits("firmware_release.dll", "*."));
  EXPECT_TRUE(fits("firmware.v2.dll", "*.dll"));
  EXPECT_FALSE(fits("firmware_release.dll", "*.bin"));
}

}  // namespace
}  // namespace padflash
