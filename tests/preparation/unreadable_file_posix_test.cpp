// A firmware file that cannot be read (no read permission; a test run as
// root reads it as the user nobody): the parse error, nothing sent.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/preparation/preparation_world.h"
#include "update/preparation.h"

namespace padflash::testing {
namespace {

class UnreadableFile : public PreparationWorld {};

TEST_F(UnreadableFile, IsAParseErrorAndReachesNoController) {
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

}  // namespace
}  // namespace padflash::testing
