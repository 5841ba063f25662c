// What only a POSIX system has: a firmware file without read permission (a
// test run as root reads it as the user nobody), and file names with a
// backslash, which the file search takes as part of the name, not as an
// escape.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/preparation/preparation_world.h"
#include "update/preparation.h"

namespace padflash::testing {
namespace {

class PosixInputs : public PreparationWorld {};

TEST_F(PosixInputs, UnreadableFileIsAParseErrorAndReachesNoController) {
  bus.Attach(sim::ControllerConfig{});
  ListDevices();
  WriteFirmwareFile(BuildFor(sim::ControllerConfig{}, 0x06), "locked.hex");
  std::filesystem::permissions("locked.hex", std::filesystem::perms::none);
  const bool root = geteuid() == 0;
  ASSERT_TRUE(!root || seteuid(65534) == 0);
  const int prepared = PrepareUpdate(session);
  ASSERT_TRUE(!root || seteuid(0) == 0);
  EXPECT_EQ(prepared, 1);
  EXPECT_EQ(session.UpdateResult, 15);
  EXPECT_TRUE(InOrder(window.verbose(), {"\nUsing the following file: locked.hex\r\n",
                                         "\nError parsing hex file\r\n"}));
  EXPECT_TRUE(bus.TraceLines().empty());
}

TEST_F(PosixInputs, FileSearchTakesABackslashAsPartOfTheName) {
  WriteBytes("a\\b.dll", {1});
  WriteBytes("ab.dll", {1});
  std::filesystem::create_directory("a_folder.dll");
  const std::vector<FoundFile> found = system.FindFiles("a*.dll");
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].name, "a\\b.dll");
  EXPECT_TRUE(found[1].isDirectory);
  EXPECT_EQ(found[2].name, "ab.dll");
  EXPECT_EQ(system.FindFiles("a\\b.dll").size(), 1u);
  EXPECT_TRUE(system.FindFiles("missing/*.dll").empty());
}

}  // namespace
}  // namespace padflash::testing
