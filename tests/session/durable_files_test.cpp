// The system port's file operations that keep a personality file safe: a
// new file is whole or absent, never replaces one, a record is replaced
// whole, a rename never lands on a file that is there.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/session/working_directory.h"
#include "tests/support/test_system_port.h"

namespace padflash {
namespace {

using testing::WorkingDirectory;

TEST(DurableFiles, CreateReplaceAndRenameNeverLoseAFile) {
  WorkingDirectory dir;
  testing::TestSystemPort port;
  const uint8_t page[] = {1, 2, 3};
  const uint8_t other[] = {9};
  ASSERT_TRUE(port.CreateNewFile("sf1_1.mem", page, sizeof page));
  EXPECT_FALSE(port.CreateNewFile("sf1_1.mem", other, sizeof other));
  EXPECT_EQ(WorkingDirectory::ReadFile("sf1_1.mem"), (std::vector<uint8_t>{1, 2, 3}));
  // A write cut short earlier left its temporary file: it does not stop the
  // next one, and none stays behind.
  WorkingDirectory::WriteFile("sf2_2.mem.part", {7, 7});
  ASSERT_TRUE(port.CreateNewFile("sf2_2.mem", page, sizeof page));
  EXPECT_FALSE(std::filesystem::exists("sf2_2.mem.part"));

  ASSERT_TRUE(port.OverwriteFile("sf1_1.mem.unit", page, sizeof page));
  ASSERT_TRUE(port.OverwriteFile("sf1_1.mem.unit", other, sizeof other));
  EXPECT_EQ(WorkingDirectory::ReadFile("sf1_1.mem.unit"), std::vector<uint8_t>{9});

  EXPECT_FALSE(port.RenameFile("sf1_1.mem", "sf2_2.mem"));
  EXPECT_EQ(WorkingDirectory::ReadFile("sf2_2.mem"), (std::vector<uint8_t>{1, 2, 3}));
  ASSERT_TRUE(port.RenameFile("sf1_1.mem", "sf1_1.mem.bad"));
  EXPECT_FALSE(std::filesystem::exists("sf1_1.mem"));

  const std::string nested = (dir.path() / "a" / "b").string();
  EXPECT_TRUE(port.MakeFolder(nested));
  EXPECT_TRUE(port.MakeFolder(nested));
  EXPECT_TRUE(std::filesystem::is_directory(nested));
  EXPECT_EQ(std::filesystem::path(port.CurrentFolder()), std::filesystem::current_path());
}

}  // namespace
}  // namespace padflash
