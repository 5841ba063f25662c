// padflash-cli asked to stop (SIGINT, SIGTERM, SIGHUP) while it programs a
// controller: it says that the update cannot be stopped now, finishes it
// and ends with the update's own status.
#include <signal.h>

#include <chrono>
#include <thread>

#include "cli_end_to_end.h"
#include "documented_exit_codes.h"

namespace {

using namespace e2e;

TEST_F(CliEndToEnd, StopSignalsDuringTheUpdateWaitForItsEnd) {
  const std::string serial = Attach({"--rev", "0x05"});
  const std::string image = Firmware("0x06", "new.hex");
  padflash::testing::ChildProcess cli(
      {PADFLASH_SIM, "--state", state.string(), "--trace", trace.string(), "padflash-cli", "/o",
       image},
      folder, {"-VLMHID_SIM_STATE", "-VLMHID_SIM_TRACE", "-PADFLASH_STATE_DIR"});
  ASSERT_TRUE(cli.started());
  // Once the personality file is being saved the controller is written to.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (ReadFile(cli.outPath()).find("Saving Factory Config TempFile") == std::string::npos) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << ReadFile(cli.outPath());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    ASSERT_TRUE(cli.Signal(signal));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  const Outcome run = cli.Wait();
  EXPECT_EQ(run.status, documented::kUpdated) << Describe(run);
  EXPECT_EQ(Count(run.err,
                  "padflash-cli: the firmware update cannot be stopped now; padflash-cli "
                  "ends when it is done\n"),
            3u)
      << Describe(run);
  EXPECT_NE(run.err.find("padflash-cli: the update has ended; stopping as asked by SIGINT\n"),
            std::string::npos)
      << Describe(run);
  EXPECT_NE(run.out.find("Firmware was successfully updated to version: 12.6\n"), std::string::npos)
      << Describe(run);
  EXPECT_TRUE(PersonalityFiles().empty());
  EXPECT_EQ(Field(Show(serial).out, "revision"), "0x06");
}

}  // namespace
