// The program killed in the middle of an update: the simulated library ends
// padflash-cli's process right after a chosen feature report (status 137, as
// a SIGKILL), with and without the controller losing power at that report.
// The next runs must bring the controller to the new firmware with its own
// factory comp table.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "cli_end_to_end.h"
#include "documented_exit_codes.h"

namespace {

using namespace e2e;

class CliHostDeath : public CliEndToEnd {};

// Reports of an update from revision 5 to 6: in the preparation, while the
// image is written (with a power loss), and after the new firmware answered
// (the file left behind is this unit's).
TEST_F(CliHostDeath, KilledRunsAreRecoveredWithTheUnitsOwnCalibration) {
  const std::string image = Firmware("0x06", "new.hex");
  struct Kill {
    const char* serial;
    const char* report;
    bool powerLoss;
  };
  for (const Kill& kill :
       {Kill{"PADA", "8", false}, Kill{"PADB", "40", true}, Kill{"PADC", "62", false}}) {
    SCOPED_TRACE(std::string(kill.serial) + " killed at report " + kill.report);
    const std::string unit = Attach({"--serial", kill.serial, "--rev", "0x05"});
    const std::string own = CompTable(unit);
    ASSERT_EQ(Vlmsim({"fault", unit, "host-death-at-report", kill.report}).status, 0);
    if (kill.powerLoss) {
      ASSERT_EQ(Vlmsim({"fault", unit, "power-loss-at-report", kill.report}).status, 0);
    }
    const Outcome killed = Cli({"--answer", "yes", "/o", image});
    EXPECT_EQ(killed.status, 137) << Describe(killed);
    // The technician starts the program again once the controller is back
    // from the restart a power loss sets off (at most 30 s).
    for (int wait = 0; wait < 30 && Field(Show(unit).out, "mode") == "restarting"; ++wait) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }

    long status = -1;
    for (int run = 0; run < 3 && status != documented::kUpdated; ++run) {
      const Outcome next = Cli({"--answer", "yes", "/o", image});
      status = next.status;
      EXPECT_TRUE(status == documented::kUpdated || status == documented::kUpdatedRetryAdvised)
          << Describe(next);
    }
    EXPECT_EQ(status, documented::kUpdated);
    const Outcome shown = Show(unit);
    EXPECT_EQ(Field(shown.out, "mode"), "firmware") << shown.out;
    EXPECT_EQ(CompTable(unit), own);
    ASSERT_EQ(Vlmsim({"detach", unit}).status, 0);
  }
}

}  // namespace
