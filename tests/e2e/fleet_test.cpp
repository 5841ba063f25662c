// padflash-cli for deployment tools and inventories: --list --json, the
// --json report of an update run and the --log protocol file, end to end
// over the simulated library. Each document is parsed whole from standard
// output, so anything else written there fails the case.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_end_to_end.h"
#include "documented_exit_codes.h"

namespace {

using namespace e2e;
using nlohmann::json;

json ParseStdout(const Outcome& o) {
  json document = json::parse(o.out, nullptr, false);
  EXPECT_TRUE(document.is_object()) << Describe(o);
  return document.is_object() ? document : json::object();
}

// The log's lines without their ends.
std::vector<std::string> LogLines(const fs::path& path) {
  std::vector<std::string> lines = Lines(ReadFile(path));
  for (std::string& line : lines) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
  }
  return lines;
}

// An ISO 8601 UTC time with milliseconds: "2026-12-08T22:30:05.123Z".
bool IsUtcTimestamp(const json& value) {
  const std::string text = value.is_string() ? value.get<std::string>() : "";
  return text.size() == 24 && text[4] == '-' && text[10] == 'T' && text[19] == '.' &&
         text.back() == 'Z';
}

using CliFleet = CliEndToEnd;

TEST_F(CliFleet, ListAsJsonWithTwoControllersThenDuplicateRefused) {
  Attach({"--serial", "PADA1"});
  Attach({"--pid", "0x0202", "--serial", "PADB2", "--in-bootloader"});

  const Outcome listed = Cli({"--list", "--json"});
  EXPECT_EQ(listed.status, 0) << Describe(listed);
  json document = ParseStdout(listed);
  EXPECT_EQ(document["program"]["name"], "padflash-cli");
  EXPECT_EQ(document["exitStatus"], 0);
  EXPECT_EQ(document["errors"], json::array());
  ASSERT_EQ(document["devices"].size(), 2u) << listed.out;
  const json& pad = document["devices"][0];
  EXPECT_EQ(pad["index"], 0);
  EXPECT_EQ(pad["vendorId"], 0x0488);
  EXPECT_EQ(pad["productId"], 0x0101);
  EXPECT_EQ(pad["versionNumber"], 0x1205);
  EXPECT_EQ(pad["chipId"], 0x12);
  EXPECT_EQ(pad["firmwareRevision"], 0x05);
  EXPECT_EQ(pad["serial"], "PADA1");
  EXPECT_EQ(pad["product"], "Velmar Touchpad");
  EXPECT_NE(pad["path"].get<std::string>().find("&col01"), std::string::npos);
  EXPECT_EQ(pad["bootloader"], false);
  // The second answers as its bootloader, under 0x0488/0xD0C0.
  const json& loader = document["devices"][1];
  EXPECT_EQ(loader["productId"], 0xD0C0);
  EXPECT_EQ(loader["bootloader"], true);
  EXPECT_EQ(loader["chipId"], nullptr);
  EXPECT_EQ(loader["serial"], "PADB2");

  // A second touchpad with the first one's IDs: the list is refused.
  Attach({"--serial", "PADA9"});
  const Outcome refused = Cli({"--json", "--list"});
  EXPECT_EQ(refused.status, documented::kNotPrepared) << Describe(refused);
  document = ParseStdout(refused);
  EXPECT_EQ(document["devices"], json::array());
  EXPECT_EQ(document["exitStatus"], documented::kNotPrepared);
  EXPECT_EQ(document["outcome"], "not-prepared");
  ASSERT_EQ(document["errors"].size(), 1u) << refused.out;
  const json& error = document["errors"][0];
  EXPECT_EQ(error["kind"], "duplicate-ids");
  EXPECT_EQ(error["caption"], "Duplicate Devices Found");
  EXPECT_NE(error["text"].get<std::string>().find(" 488 - 101\n"), std::string::npos) << error;
  EXPECT_EQ(error["device"]["serial"], "PADA9");
  EXPECT_EQ(error["device"]["productId"], 0x0101);

  // A log that cannot be written stops the run before anything is done,
  // with the controllers listed again and /o to pass the checks.
  ASSERT_EQ(Vlmsim({"detach", "PADA9"}).status, 0);
  const Outcome unlogged = Cli({"--json", "--log", (folder / "no-such-folder" / "x.log").string(),
                                "/o", Firmware("0x06", "new.hex")});
  EXPECT_EQ(unlogged.status, documented::kNotPrepared) << Describe(unlogged);
  document = ParseStdout(unlogged);
  EXPECT_EQ(document["error"].get<std::string>().rfind("cannot open the log file ", 0), 0u);
  EXPECT_EQ(document["controller"], nullptr);
  EXPECT_EQ(Count(ReadFile(trace), " SET "), 0u);
}

TEST_F(CliFleet, SuccessfulUpdateReportAndItsLog) {
  const std::string serial = Attach({"--rev", "0x05"});
  const std::string image = Firmware("0x06", "new.hex");

  const Outcome run = Cli({"--json", "--log", "run.log", "/o", image});
  EXPECT_EQ(run.status, documented::kUpdated) << Describe(run);
  const json report = ParseStdout(run);
  EXPECT_EQ(report["arguments"], json({"--json", "--log", "run.log", "/o", image}));
  EXPECT_EQ(report["firmwareFile"], image);
  EXPECT_TRUE(IsUtcTimestamp(report["start"])) << report["start"];
  EXPECT_TRUE(IsUtcTimestamp(report["end"])) << report["end"];
  EXPECT_LE(report["start"].get<std::string>(), report["end"].get<std::string>());
  // A whole update waits for at least one restart and reconnection.
  EXPECT_GT(report["durationSeconds"].get<double>(), 1.0);
  EXPECT_EQ(report["controller"]["serial"], serial);
  EXPECT_EQ(report["controller"]["vendorId"], 0x0488);
  EXPECT_EQ(report["controller"]["foundAsBootloader"], false);
  EXPECT_EQ(report["versionBefore"]["text"], "12.5");
  EXPECT_EQ(report["firmwareVersion"]["text"], "12.6");
  EXPECT_EQ(report["versionAfter"]["text"], "12.6");
  EXPECT_EQ(report["updateResult"],
            json({{"code", 0}, {"text", "Firmware was successfully updated."}}));
  EXPECT_EQ(report["sessionExitCode"], 0);
  EXPECT_EQ(report["exitStatus"], documented::kUpdated);
  EXPECT_EQ(report["outcome"], "updated");
  EXPECT_EQ(report["retryAdvised"], false);
  // The file was saved before programming and deleted after it.
  EXPECT_EQ(report["personalityFile"]["name"].get<std::string>().rfind("sf", 0), 0u);
  EXPECT_EQ(report["personalityFile"]["remains"], false);
  EXPECT_TRUE(PersonalityFiles().empty());
  EXPECT_EQ(report["statusLine"], "Firmware was successfully updated to version: 12.6");
  EXPECT_EQ(report["error"], nullptr);
  EXPECT_EQ(report["log"], json({{"file", "run.log"}, {"complete", true}}));

  const std::vector<std::string> log = LogLines(folder / "run.log");
  ASSERT_GT(log.size(), 10u);
  EXPECT_EQ(log.front().rfind("==== padflash-cli ", 0), 0u) << log.front();
  EXPECT_NE(log.front().find(" arguments [\"--json\",\"--log\",\"run.log\",\"/o\","),
            std::string::npos)
      << log.front();
  EXPECT_EQ(log[log.size() - 3], "Firmware was successfully updated to version: 12.6");
  EXPECT_EQ(log[log.size() - 2], "Done");
  EXPECT_NE(log.back().find(" exit status " + std::to_string(documented::kUpdated) + " (updated)"),
            std::string::npos)
      << log.back();
}

TEST_F(CliFleet, FailedUpdateReportNamesPersonalityFileAndLogHoldsStdout) {
  const std::string serial = Attach({"--rev", "0x05"});
  const std::string image = Firmware("0x06", "new.hex");
  ASSERT_EQ(Vlmsim({"fault", serial, "power-loss-at-chunk", "4"}).status, 0);

  const Outcome broken = Cli({"--json", "--log", "run.log", "--answer", "yes", image});
  EXPECT_EQ(broken.status, documented::kUpdateFailed) << Describe(broken);
  const json report = ParseStdout(broken);
  EXPECT_EQ(report["updateResult"]["code"], 28);
  EXPECT_EQ(report["updateResult"]["text"], "ERROR: Bootloader error.");
  EXPECT_EQ(report["sessionExitCode"], 1603);
  EXPECT_EQ(report["exitStatus"], documented::kUpdateFailed);
  EXPECT_EQ(report["outcome"], "failed");
  EXPECT_EQ(report["retryAdvised"], true);
  EXPECT_EQ(report["versionAfter"], nullptr);
  EXPECT_EQ(report["statusLine"], "ERROR: Bootloader error.");
  // The one file that holds the factory configuration now is named.
  ASSERT_EQ(PersonalityFiles().size(), 1u);
  EXPECT_EQ(report["personalityFile"]["name"], PersonalityFiles()[0]);
  EXPECT_EQ(report["personalityFile"]["remains"], true);
  EXPECT_EQ(report["personalityFile"]["found"], false);  // saved by this run
  EXPECT_EQ(report["personalityFile"]["folder"], "working");
  // Its copy waits in the simulated world's state folder.
  EXPECT_EQ(fs::path(report["personalityFile"]["stateCopy"].get<std::string>()).parent_path(),
            folder / "padflash-state");
  ASSERT_TRUE(report["messages"].is_array());
  EXPECT_EQ(report["messages"].back()["caption"], "FW Update Incomplete");

  // The recovery run prints its protocol and appends the same lines to the
  // log, after a header of its own.
  const Outcome recovery = Cli({"--log", "run.log", "--answer", "yes", image});
  EXPECT_EQ(recovery.status, documented::kUpdatedRetryAdvised) << Describe(recovery);
  const std::vector<std::string> log = LogLines(folder / "run.log");
  std::vector<size_t> headers;
  for (size_t i = 0; i < log.size(); ++i) {
    if (log[i].rfind("==== padflash-cli ", 0) == 0) headers.push_back(i);
  }
  // Each run's header and end line.
  ASSERT_EQ(headers.size(), 4u) << ReadFile(folder / "run.log");
  const std::vector<std::string> logged(log.begin() + headers[2] + 1, log.begin() + headers[3]);
  EXPECT_EQ(logged, Lines(recovery.out));
  EXPECT_NE(recovery.out.find("Found Personality File: sf"), std::string::npos);
}

}  // namespace
