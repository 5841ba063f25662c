// A technician's bench: several controllers of one model, recoveries
// started from another folder, a personality file left behind by a run
// that did not finish. Each controller must end with its own factory comp
// table, or the run stops before anything is written, with a clear message.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_end_to_end.h"
#include "documented_exit_codes.h"

namespace {

using namespace e2e;

class CliBench : public CliEndToEnd {
 protected:
  // A controller of the reference model, revision 0x05, stranded in its
  // bootloader by a power loss at the fourth data chunk; its personality
  // file is left in the working folder.
  std::string Strand(std::vector<std::string> options, const fs::path& where) {
    options.insert(options.end(), {"--rev", "0x05"});
    const std::string serial = Attach(options);
    EXPECT_EQ(Vlmsim({"fault", serial, "power-loss-at-chunk", "4"}).status, 0);
    const Outcome broken = CliIn(where, {"--answer", "yes", "/o", image});
    EXPECT_EQ(broken.status, documented::kUpdateFailed) << Describe(broken);
    EXPECT_EQ(Field(Show(serial).out, "mode"), "bootloader");
    return serial;
  }
  void SetUp() override {
    CliEndToEnd::SetUp();
    image = Firmware("0x06", "new.hex");
  }
  std::string image;
};

// Case 1: A is stranded and unplugged; B of its model, already on revision
// 6, is updated from the same folder. B keeps its own calibration and A's
// file stays, holding A's.
TEST_F(CliBench, StrandedUnitThenAnotherOfItsModel) {
  const std::string a = Strand({"--serial", "PADA"}, folder);
  ASSERT_EQ(PersonalityFiles().size(), 1u);
  const std::string fileOfA = PersonalityFiles()[0];
  const std::string savedOfA = ReadFile(folder / fileOfA);
  ASSERT_EQ(Vlmsim({"detach", a}).status, 0);

  const std::string b = Attach({"--serial", "PADB", "--rev", "0x06"});
  const std::string ownOfB = CompTable(b);
  const Outcome run = Cli({"/o", image});
  EXPECT_EQ(run.status, documented::kUpdated) << Describe(run);
  EXPECT_NE(run.out.find("Personality file " + fileOfA +
                         " was saved from another controller (serial PADA); it is kept and not "
                         "used\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(CompTable(b), ownOfB);
  EXPECT_EQ(PersonalityFiles(), std::vector<std::string>{fileOfA});
  EXPECT_EQ(ReadFile(folder / fileOfA), savedOfA);
}

// Case 2: A stranded beside B running. Picking A's bootloader recovers A
// from A's file; B is neither read nor invoked. A's bootloader here shows
// no serial: the file's controller cannot be told, so the user is asked.
TEST_F(CliBench, StrandedUnitBesideARunningOneIsRecoveredAlone) {
  const std::string a = Strand({"--serial", "PADA", "--bootloader-serial", "none"}, folder);
  const std::string b = Attach({"--serial", "PADB", "--rev", "0x05"});
  const std::string ownOfB = CompTable(b);
  const std::string before = ReadFile(trace);

  const Outcome run = Cli({"--device", "/sim/" + a, "--answer", "yes", "/o", image});
  EXPECT_EQ(run.status, documented::kUpdatedRetryAdvised) << Describe(run);
  EXPECT_NE(run.err.find("Personality File of Unknown Controller"), std::string::npos)
      << Describe(run);
  EXPECT_EQ(Field(Show(a).out, "mode"), "firmware");
  EXPECT_EQ(Field(Show(a).out, "revision"), "0x06");
  EXPECT_EQ(Field(Show(b).out, "mode"), "firmware");
  EXPECT_EQ(Field(Show(b).out, "revision"), "0x05");
  EXPECT_EQ(CompTable(b), ownOfB);
  const std::string traced = ReadFile(trace).substr(before.size());
  EXPECT_EQ(Count(traced, " SET " + b + " "), 0u) << "B was never written to";
  EXPECT_TRUE(PersonalityFiles().empty());
}

// The other way round: updating B while A sits in a bootloader that shows
// no serial would leave two bootloaders nothing tells apart. The run stops
// before anything is written, naming what is attached.
TEST_F(CliBench, RunningUnitBesideAStrandedOneWithoutSerialsIsRefused) {
  const std::string a = Strand({"--serial", "PADA", "--bootloader-serial", "none"}, folder);
  const std::string b = Attach({"--serial", "PADB", "--bootloader-serial", "none"});
  const std::string ownOfA = ReadFile(folder / PersonalityFiles()[0]);
  const std::string before = ReadFile(trace);

  const Outcome run = Cli({"--device", b, "--answer", "yes", "/o", image});
  EXPECT_EQ(run.status, documented::kNotPrepared) << Describe(run);
  EXPECT_NE(run.err.find("Controllers Cannot Be Told Apart"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Leave only the controller to update connected"), std::string::npos);
  EXPECT_NE(run.out.find("\n 488 - D0C0\n"), std::string::npos) << run.out;
  EXPECT_EQ(Field(Show(b).out, "mode"), "firmware");
  EXPECT_EQ(Field(Show(a).out, "mode"), "bootloader");
  // Only the preparation's reads reached B: no invoke (command 6).
  EXPECT_EQ(Count(ReadFile(trace).substr(before.size()), " SET " + b + " 0706"), 0u);
  EXPECT_EQ(ReadFile(folder / PersonalityFiles()[0]), ownOfA);
}

// Case 3: the recovery is started from another folder (a desktop shortcut):
// the copy kept in the per-user state folder restores the calibration. A
// controller with no saved settings anywhere is not given the defaults
// unless asked for them.
TEST_F(CliBench, RecoveryFromAnotherFolder) {
  const fs::path elsewhere = folder / "elsewhere";
  fs::create_directory(elsewhere);
  const std::string ownOfA = CompTable(Attach({"--serial", "PADA"}));
  ASSERT_EQ(Vlmsim({"detach", "PADA"}).status, 0);
  // The same controller again (its serial seeds its comp table).
  const std::string a = Strand({"--serial", "PADA"}, folder);
  ASSERT_NE(CompTable(a), ownOfA) << "the power loss erased it";

  const Outcome run = CliIn(elsewhere, {"--json", "--answer", "yes", "/o", image});
  EXPECT_EQ(run.status, documented::kUpdatedRetryAdvised) << Describe(run);
  const nlohmann::json report = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_TRUE(report.is_object()) << run.out;
  EXPECT_EQ(report["personalityFile"]["folder"], "state") << report["personalityFile"];
  EXPECT_EQ(report["personalityFile"]["found"], true);
  EXPECT_EQ(CompTable(a), ownOfA);
  // The working folder's file stays where the failed run left it.
  EXPECT_EQ(PersonalityFiles().size(), 1u);

  // A controller stranded with nothing saved anywhere: the defaults are
  // programmed only on an answer, the folders searched named.
  ASSERT_EQ(Vlmsim({"detach", a}).status, 0);
  const std::string c = Attach({"--serial", "PADC", "--in-bootloader"});
  const Outcome defaults = CliIn(elsewhere, {"--json", "--answer", "yes", "/o", image});
  EXPECT_EQ(defaults.status, documented::kUpdatedRetryAdvised) << Describe(defaults);
  const nlohmann::json none = nlohmann::json::parse(defaults.out, nullptr, false);
  ASSERT_TRUE(none.is_object()) << defaults.out;
  EXPECT_EQ(none["personalityFile"]["found"], false) << none["personalityFile"];
  ASSERT_EQ(none["personalityFile"]["searched"].size(), 2u);
  EXPECT_EQ(fs::path(none["personalityFile"]["searched"][0].get<std::string>()), elsewhere);
  bool asked = false;
  for (const auto& box : none["messages"]) {
    asked = asked || (box["caption"] == "No Saved Factory Settings" && box["answer"] == "yes");
  }
  EXPECT_TRUE(asked) << none["messages"];
  EXPECT_EQ(Field(Show(c).out, "mode"), "firmware");
}

// Case 4: a run killed after the new firmware answered leaves A's file
// behind although A is fine. It is never written into B, who takes A's
// place on the bench.
TEST_F(CliBench, FileLeftByARunThatDidNotFinish) {
  const std::string a = Attach({"--serial", "PADA"});
  ASSERT_EQ(Cli({"/o", image}).status, documented::kUpdated);
  // What the killed run leaves: the file and its record, as saved.
  const fs::path copies = folder / "padflash-state";
  std::string left;
  for (const auto& entry : fs::directory_iterator(copies)) {
    const std::string name = entry.path().filename().string();
    fs::copy_file(entry.path(), folder / name);
    if (entry.path().extension() == ".mem") left = name;
  }
  ASSERT_FALSE(left.empty());
  ASSERT_EQ(Vlmsim({"detach", a}).status, 0);

  const std::string b = Attach({"--serial", "PADB"});
  const std::string ownOfB = CompTable(b);
  EXPECT_EQ(Cli({"/o", image}).status, documented::kUpdated);
  EXPECT_EQ(CompTable(b), ownOfB);
  EXPECT_EQ(PersonalityFiles(), std::vector<std::string>{left});
}

}  // namespace
