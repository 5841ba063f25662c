// The POSIX file search matches as the Windows one: '*' and '?' in the last
// path component; a backslash is part of a Linux file name, not an escape.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/preparation/preparation_world.h"

namespace padflash::testing {
namespace {

class FindFiles : public PreparationWorld {};

TEST_F(FindFiles, BackslashIsPartOfTheNameAndFoldersAreMarked) {
  WriteBytes("a\\b.dll", {1});
  WriteBytes("ab.dll", {1});
  std::filesystem::create_directory("a_folder.dll");
  const std::vector<FoundFile> found = system.FindFiles("a*.dll");
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].name, "a\\b.dll");
  EXPECT_FALSE(found[0].isDirectory);
  EXPECT_EQ(found[1].name, "a_folder.dll");
  EXPECT_TRUE(found[1].isDirectory);
  EXPECT_EQ(found[2].name, "ab.dll");
  EXPECT_EQ(system.FindFiles("a\\b.dll").size(), 1u);
  EXPECT_EQ(system.FindFiles("a?b.dll").size(), 1u);
  EXPECT_TRUE(system.FindFiles("missing/*.dll").empty());
}

}  // namespace
}  // namespace padflash::testing
