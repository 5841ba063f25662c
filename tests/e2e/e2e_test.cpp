// padflash-cli as a user runs it: a separate process started through the
// padflash-sim launcher (a shell script on Linux, padflash-sim.cmd in
// sim-bin on Windows), against the simulated VLMHID library and a state file
// in a fresh folder, with controllers made by vlmsim and firmware images
// made by padflash-fwgen. The same cases run on both platforms; the exit
// codes are each platform's documented ones (documented_exit_codes.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/main_window.h"
#include "cli_end_to_end.h"
#include "documented_exit_codes.h"
#include "native_system_port.h"

namespace {

using namespace e2e;

TEST_F(CliEndToEnd, UpdatesSimulatedControllerToNewRevision) {
  const std::string serial = Attach({"--rev", "0x05"});
  const std::string image = Firmware("0x06", "new.hex");
  const Outcome before = Show(serial);
  ASSERT_EQ(before.status, 0) << Describe(before);

  ASSERT_EQ(Field(before.out, "revision"), "0x05") << before.out;

  // A HEX image names no compatible revisions; /o takes the newer one
  // without the question.
  const Outcome run = Cli({"/o", image});
  EXPECT_EQ(run.status, documented::kUpdated) << Describe(run);
  EXPECT_NE(run.out.find("Firmware was successfully updated to version: 12.6\n"), std::string::npos)
      << Describe(run);
  EXPECT_EQ(run.out.find('\r'), std::string::npos);
  EXPECT_NE(run.err.find("status: Firmware was successfully updated to version: 12.6"),
            std::string::npos);
  // The personality file was written and, the update done, deleted again.
  EXPECT_NE(run.out.find("Deleting temp config file: sf"), std::string::npos);
  EXPECT_TRUE(PersonalityFiles().empty());

  const Outcome after = Show(serial);
  ASSERT_EQ(after.status, 0) << Describe(after);
  EXPECT_EQ(Field(after.out, "mode"), "firmware") << after.out;
  EXPECT_EQ(Field(after.out, "revision"), "0x06") << after.out;
  EXPECT_EQ(Field(after.out, "version"), "0x1206") << after.out;
  // The session's reports reached the trace file: the image's 12 KiB of
  // code alone take 24 write commands of 520 bytes.
  const std::string traced = ReadFile(trace);
  EXPECT_GT(Count(traced, " SET " + serial + " "), 24u);
}

TEST_F(CliEndToEnd, NextRunRecoversControllerLeftInBootloaderByPowerLoss) {
  const std::string serial = Attach({"--rev", "0x05"});
  const std::string image = Firmware("0x06", "new.hex");
  const Outcome compTable = Vlmsim({"read", serial, "0x0800FC00", "480"});
  ASSERT_EQ(compTable.status, 0) << Describe(compTable);
  const Outcome fault = Vlmsim({"fault", serial, "power-loss-at-chunk", "4"});
  ASSERT_EQ(fault.status, 0) << Describe(fault);

  // The newer revision is not in the image's (empty) compatible list: the
  // question is answered yes.
  const Outcome broken = Cli({"--answer", "yes", image});
  EXPECT_EQ(broken.status, documented::kUpdateFailed) << Describe(broken);
  EXPECT_NE(broken.out.find("The Firmware update was NOT completed"), std::string::npos);
  const Outcome stranded = Show(serial);
  EXPECT_EQ(Field(stranded.out, "mode"), "bootloader") << stranded.out;
  EXPECT_EQ(Field(stranded.out, "image valid"), "no") << stranded.out;
  // The factory configuration survives in the personality file only.
  EXPECT_EQ(PersonalityFiles().size(), 1u);

  // The bootloader enumerates under 0x0488/0xD0C0, so the product ID
  // question comes up and is answered yes. The controller was found as its
  // bootloader: the update succeeds with a second run advised (session code
  // 3010).
  const Outcome recovery = Cli({"--answer", "yes", image});
  EXPECT_EQ(recovery.status, documented::kUpdatedRetryAdvised) << Describe(recovery);
  EXPECT_NE(recovery.out.find("Found Personality File: sf"), std::string::npos);
  EXPECT_NE(recovery.out.find("Firmware was successfully updated to version: 12.6\n"),
            std::string::npos)
      << Describe(recovery);
  const Outcome recovered = Show(serial);
  EXPECT_EQ(Field(recovered.out, "mode"), "firmware") << recovered.out;
  EXPECT_EQ(Field(recovered.out, "revision"), "0x06") << recovered.out;
  EXPECT_TRUE(PersonalityFiles().empty());
  // The factory comp table, erased by the power loss, came back from the
  // personality file.
  EXPECT_EQ(Vlmsim({"read", serial, "0x0800FC00", "480"}).out, compTable.out);
}

TEST_F(CliEndToEnd, NothingAttachedIsNotPrepared) {
  const std::string image = Firmware("0x06", "new.hex");
  const Outcome run = Cli({image});
  EXPECT_EQ(run.status, documented::kNotPrepared) << Describe(run);
  EXPECT_NE(run.err.find("No Devices Attched"), std::string::npos) << Describe(run);
  EXPECT_NE(run.err.find("Invalid file path or device not attached"), std::string::npos);
  EXPECT_EQ(run.out.find("BEGIN FW Update"), std::string::npos);
}

// The simulated library says so and leaves the file alone; its bus is empty,
// so nothing is prepared and nothing is sent.
TEST_F(CliEndToEnd, StateFileThatIsNotJson) {
  { std::ofstream(state) << "{ not json"; }
  const Outcome run = Cli({Firmware("0x06", "new.hex")});
  EXPECT_EQ(run.status, documented::kNotPrepared) << Describe(run);
  EXPECT_NE(run.err.find("not valid JSON"), std::string::npos) << Describe(run);
  EXPECT_NE(run.err.find("No Devices Attched"), std::string::npos);
  EXPECT_EQ(ReadFile(state), "{ not json");
  EXPECT_EQ(Count(ReadFile(trace), " SET "), 0u);
}

TEST_F(CliEndToEnd, ListShowsEachControllerOnce) {
  const std::string first = Attach({"--serial", "PADA1"});
  const std::string second = Attach({"--pid", "0x0202", "--serial", "PADB2"});
  ASSERT_EQ(first, "PADA1");
  ASSERT_EQ(second, "PADB2");

  const Outcome run = Cli({"--list"});
  EXPECT_EQ(run.status, 0) << Describe(run);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  EXPECT_EQ(Count(run.out, "PADA1"), 1u);
  EXPECT_EQ(Count(run.out, "PADB2"), 1u);
  EXPECT_EQ(lines[0].rfind("0: 0x488 - 0x101 - 0x1205", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("1: 0x488 - 0x202 - 0x1205", 0), 0u) << lines[1];
}

TEST_F(CliEndToEnd, SecondInstanceIsRefused) {
  Attach({});
  const std::string image = Firmware("0x06", "new.hex");
  // The running instance's single-instance lock.
  padflash::NativeSystemPort system;
  std::unique_ptr<padflash::NamedMutex> instance =
      system.AcquireNamedMutex(padflash::kInstanceMutexName);
  ASSERT_NE(instance, nullptr);

  const Outcome run = Cli({"/o", image});
  instance.reset();
  EXPECT_EQ(run.status, documented::kAlreadyRunning) << Describe(run);
  EXPECT_NE(run.err.find("another instance"), std::string::npos) << Describe(run);
  EXPECT_EQ(run.out.find("BEGIN FW Update"), std::string::npos);
}

// Each program tells the version it was built as (on Windows read from its
// own version resource), one line, and ends with status 0.
TEST_F(CliEndToEnd, ProgramsTellTheirVersion) {
  const std::vector<std::pair<std::string, Outcome>> runs = {
      {"padflash-cli", Cli({"--version"})},
      {"vlmsim", RunProcess({VLMSIM, "--version"}, folder)},
      {"padflash-fwgen", RunProcess({FWGEN, "--version"}, folder)}};
  for (const auto& [name, run] : runs) {
    EXPECT_EQ(run.status, 0) << name << "\n" << Describe(run);
    std::string out = run.out;
    out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
    EXPECT_EQ(out, name + " " + PROJECT_VERSION + "\n") << Describe(run);
  }
}

TEST_F(CliEndToEnd, HelpAndBadUsage) {
  const Outcome help = Cli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: padflash-cli", 0), 0u) << Describe(help);

  const Outcome switches = Cli({"/?"});
  EXPECT_EQ(switches.status, 0) << Describe(switches);
  EXPECT_NE(switches.out.find("[filepath]   Specifies path to the firmware file"),
            std::string::npos)
      << Describe(switches);

  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--frobnicate"}, {"--device"}, {"--device", "999"}, {"--answer", "maybe"}, {}}) {
    const Outcome o = Cli(bad);
    EXPECT_EQ(o.status, documented::kBadUsage)
        << (bad.empty() ? std::string("(no arguments)") : bad[0]) << "\n"
        << Describe(o);
    EXPECT_NE(o.err.find("Usage: padflash-cli"), std::string::npos);
  }
}

}  // namespace
