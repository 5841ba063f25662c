// vlmsim and the simulated libVLMHID.so as separate processes sharing one
// state file, the way a user runs them: vlmsim attaches and inspects, a
// client that loads the library by path enumerates and moves reports.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/process_runner.h"
#include "tests/support/temp_folder.h"
#include "update/bootloader_protocol.h"
#include "update/fletcher.h"

namespace {

using Json = nlohmann::json;
using padflash::testing::ChildProcess;
using padflash::testing::ProcessOutcome;
using Outcome = ProcessOutcome;

uint64_t WallMs() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class Processes : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = padflash::testing::MakeTempFolder("simtools-proc").string();
    ASSERT_FALSE(dir_.empty());
    state_ = dir_ + "/bus.json";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Starts a program with VLMHID_SIM_STATE set to this test's file, plus
  // `env` ("NAME=value" sets, "-NAME" removes).
  std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& args,
                                      const std::vector<std::string>& env = {}) {
    std::vector<std::string> environment = {"VLMHID_SIM_STATE=" + state_, "-VLMHID_SIM_TRACE"};
    environment.insert(environment.end(), env.begin(), env.end());
    return std::make_unique<ChildProcess>(args, dir_, environment);
  }

  Outcome Run(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    return Start(args, env)->Wait();
  }

  Outcome Vlmsim(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
    args.insert(args.begin(), VLMSIM_PATH);
    return Run(args, env);
  }

  Outcome Client(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
    args.insert(args.begin(), {SIMLIB_CLIENT_PATH, Library()});
    return Run(args, env);
  }

  // The simulated library, by a full path the client can load from its
  // own working folder.
  static std::string Library() { return padflash::testing::NativePath(SIM_LIBRARY_PATH); }

  Json Show(const std::string& serial) {
    const Outcome o = Vlmsim({"show", serial, "--json"});
    EXPECT_EQ(o.status, 0) << o.err;
    return Json::parse(o.out, nullptr, false);
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void WriteFile(const std::string& text) { std::ofstream(state_, std::ios::binary) << text; }

  std::string dir_;
  std::string state_;
};

// ---- vlmsim ------------------------------------------------------------------

TEST_F(Processes, AttachThenShowJsonDescribesTheDefaultController) {
  const Outcome attached = Vlmsim({"attach"});
  ASSERT_EQ(attached.status, 0) << attached.err;
  EXPECT_EQ(attached.out, "SIM0001\n");

  const Json c = Show("SIM0001");
  ASSERT_FALSE(c.is_discarded());
  EXPECT_EQ(c["serial"], "SIM0001");
  EXPECT_EQ(c["mode"], "firmware");
  EXPECT_EQ(c["present"], true);
  EXPECT_EQ(c["vendorId"], 0x0488);
  EXPECT_EQ(c["productId"], 0x0101);
  EXPECT_EQ(c["versionNumber"], 0x1205);
  EXPECT_EQ(c["transport"], "USB");
  EXPECT_EQ(c["reportId"], 7);
  EXPECT_EQ(c["bootloaderVersion"], 5);
  EXPECT_EQ(c["lastError"], 0);
  EXPECT_EQ(c["flags"], padflash::kFlagImageValid);
  EXPECT_EQ(c["imageValid"], true);
  EXPECT_EQ(c["feedConfig1"], 0x5A);
  EXPECT_EQ(c["compTableSize"], 480);
  EXPECT_EQ(c["accessOffset"], padflash::kAccessOffsetBase + 480);
  EXPECT_EQ(c["faults"], Json::array());
}

TEST_F(Processes, AttachOptionsReachTheControllerAndList) {
  ASSERT_EQ(Vlmsim({"attach",
                    "--i2c",
                    "--vid",
                    "0x044E",
                    "--pid",
                    "0x2222",
                    "--chip",
                    "0x13",
                    "--rev",
                    "7",
                    "--report-id",
                    "9",
                    "--bootloader-version",
                    "6",
                    "--comp-table-size",
                    "256",
                    "--feedconfig1",
                    "0x33",
                    "--serial",
                    "PAD-1",
                    "--product",
                    "Side Pad"})
                .out,
            "PAD-1\n");
  ASSERT_EQ(Vlmsim({"attach", "--in-bootloader"}).out, "SIM0001\n");

  Json c = Show("PAD-1");
  EXPECT_EQ(c["vendorId"], 0x044E);
  EXPECT_EQ(c["productId"], 0x2222);
  EXPECT_EQ(c["versionNumber"], 0x1307);
  EXPECT_EQ(c["transport"], "I2C");
  EXPECT_EQ(c["reportId"], 9);
  EXPECT_EQ(c["bootloaderVersion"], 6);
  EXPECT_EQ(c["compTableSize"], 256);
  EXPECT_EQ(c["feedConfig1"], 0x33);
  EXPECT_EQ(c["product"], "Side Pad");

  c = Show("SIM0001");
  EXPECT_EQ(c["mode"], "bootloader");
  EXPECT_EQ(c["vendorId"], 0x0488);
  EXPECT_EQ(c["productId"], 0xD0C0);
  EXPECT_EQ(c["imageValid"], false);

  const Outcome list = Vlmsim({"list"});
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(Lines(list.out),
            (std::vector<std::string>{
                "PAD-1 firmware 044E:2222 version 1307 I2C \"Side Pad\"",
                "SIM0001 bootloader 0488:D0C0 version 0005 USB \"Velmar Touchpad\"",
            }));
}

TEST_F(Processes, ReadDumpsTheFactoryPageByFlashAddress) {
  ASSERT_EQ(Vlmsim({"attach"}).status, 0);
  // The structure follows the 480-byte comp table: chip and revision first,
  // the access offset at structure offset 68.
  Outcome o = Vlmsim({"read", "SIM0001", "0x0800FDE0", "2"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "0800fde0: 12 05\n");
  o = Vlmsim({"read", "SIM0001", "0x0800FE24", "4"});
  EXPECT_EQ(o.out, "0800fe24: 34 3f ff 1f\n");  // 0x1FFF3D54 + 480
  o = Vlmsim({"read", "SIM0001", "0x0800FFF0", "18"});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("outside flash"), std::string::npos) << o.err;
  EXPECT_EQ(Lines(Vlmsim({"read", "SIM0001", "0x08000000", "33"}).out).size(), 3u);
}

TEST_F(Processes, FaultRulesAreKeptShownAndCleared) {
  ASSERT_EQ(Vlmsim({"attach"}).status, 0);
  for (const std::vector<std::string>& rule :
       std::vector<std::vector<std::string>>{{"fail-set", "2"},
                                             {"fail-get", "0x3"},
                                             {"corrupt-read", "4"},
                                             {"corrupt-read", "every"},
                                             {"bootloader-error", "0x0C", "after-chunk", "3"},
                                             {"no-return-after-invoke"},
                                             {"no-return-after-reset"},
                                             {"return-delay", "1500"},
                                             {"power-loss-at-chunk", "5"}}) {
    std::vector<std::string> args = {"fault", "SIM0001"};
    args.insert(args.end(), rule.begin(), rule.end());
    const Outcome o = Vlmsim(args);
    EXPECT_EQ(o.status, 0) << rule[0] << ": " << o.err;
  }
  EXPECT_EQ(Show("SIM0001")["faults"],
            Json({"fail-set 2", "fail-get 3", "corrupt-read 4", "corrupt-read every",
                  "bootloader-error 12 after-chunk 3", "no-return-after-invoke",
                  "no-return-after-reset", "return-delay 1500", "power-loss-at-chunk 5"}));
  EXPECT_EQ(Vlmsim({"fault", "SIM0001", "clear"}).status, 0);
  EXPECT_EQ(Show("SIM0001")["faults"], Json::array());
}

TEST_F(Processes, DetachAndResetEmptyTheBus) {
  ASSERT_EQ(Vlmsim({"attach"}).status, 0);
  ASSERT_EQ(Vlmsim({"attach"}).status, 0);
  EXPECT_EQ(Vlmsim({"detach", "SIM0001"}).status, 0);
  EXPECT_EQ(Lines(Vlmsim({"list"}).out).size(), 1u);
  EXPECT_EQ(Vlmsim({"reset"}).status, 0);
  EXPECT_EQ(Vlmsim({"list"}).out, "");
  EXPECT_EQ(Vlmsim({"attach"}).out, "SIM0001\n");  // a fresh bus numbers from 1 again
}

TEST_F(Processes, BadUseExitsWithTwoAndFailuresWithOne) {
  Outcome o = Vlmsim({"list"}, {"-VLMHID_SIM_STATE"});
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("no state file"), std::string::npos) << o.err;
  o = Vlmsim({"attach", "--chip", "0x123"});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, "vlmsim: --chip: '0x123' is not a number from 0 to 255\n");
  EXPECT_EQ(Vlmsim({"fault", "SIM0001", "melt"}).status, 2);
  EXPECT_EQ(Vlmsim({}).status, 2);

  o = Vlmsim({"show", "SIM0009"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "vlmsim: no controller SIM0009 on the bus\n");
  EXPECT_EQ(Vlmsim({"detach", "SIM0009"}).status, 1);
  EXPECT_EQ(Vlmsim({"fault", "SIM0009", "clear"}).status, 1);
  ASSERT_EQ(Vlmsim({"attach", "--serial", "A"}).status, 0);
  o = Vlmsim({"attach", "--serial", "A"});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("already attached"), std::string::npos) << o.err;

  const Outcome help = Vlmsim({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("power-loss-at-chunk K"), std::string::npos);
}

TEST_F(Processes, AStateFileItCannotReadIsReportedAndLeftAlone) {
  WriteFile("{\"format\": \"padflash-sim-bus\", \"version\": 1, \"controllers\": 5}");
  const std::string before = ReadFile(state_);
  const Outcome o = Vlmsim({"attach"}, {"VLMHID_SIM_STATE=" + state_});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("controllers: must be a list"), std::string::npos) << o.err;
  EXPECT_EQ(ReadFile(state_), before);
  // --state wins over the environment.
  const std::string other = dir_ + "/other.json";
  EXPECT_EQ(Vlmsim({"--state", other, "attach"}).status, 0);
  EXPECT_TRUE(std::filesystem::exists(other));
  EXPECT_EQ(ReadFile(state_), before);
}

// ---- the simulated library in other processes ---------------------------------

TEST_F(Processes, TheLibrarySeesWhatVlmsimAttached) {
  ASSERT_EQ(Vlmsim({"attach"}).status, 0);
  ASSERT_EQ(Vlmsim({"attach", "--in-bootloader", "--product", "Pad"}).status, 0);
  const Outcome o = Client({"enum"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(Lines(o.out), (std::vector<std::string>{
                              "0488:0101 1205 /sim/SIM0001&col01 Velmar Touchpad SIM0001",
                              "0488:0101 1205 /sim/SIM0001&col02 Velmar Touchpad SIM0001",
                              "0488:0101 1205 /sim/SIM0001&col03 Velmar Touchpad SIM0001",
                              "0488:D0C0 0005 /sim/SIM0002 Pad Bootloader SIM0002",
                          }));
  // And the other way round: what a client did, vlmsim sees. A memory
  // write (7) of FeedConfig1 = 0x33 with its Fletcher-16.
  const uint8_t write[] = {7, 0xC4, 0xC2, 0x00, 0x00, 0x01, 0x00, 0x33};
  const uint16_t sum = padflash::Fletcher16(write, sizeof write);
  char step[64];
  std::snprintf(step, sizeof step, "set=07c4c20000010033%02x%02x", sum & 0xFF, sum >> 8);
  const Outcome wrote = Client({"session", "0x0488", "0x0101", "7", step, "get=5"});
  EXPECT_EQ(wrote.out, "set ok\nget ok c35a050010\n") << wrote.err;
  EXPECT_EQ(Show("SIM0001")["feedConfig1"], 0x33);
}

// The restart's end is wall-clock time in the file: the controller the
// client sent away is away for vlmsim too, and comes back in whichever
// process looks once that time has passed.
TEST_F(Processes, ARestartBegunInOneProcessEndsInAnother) {
  ASSERT_EQ(Vlmsim({"attach"}).status, 0);
  ASSERT_EQ(Vlmsim({"fault", "SIM0001", "return-delay", "3600000"}).status, 0);
  const uint64_t before = WallMs();
  const Outcome invoked = Client({"session", "0x0488", "0x0101", "7", "set=06"});
  const uint64_t after = WallMs();
  ASSERT_EQ(invoked.out, "set ok\n") << invoked.err;

  Json c = Show("SIM0001");
  EXPECT_EQ(c["present"], false);
  EXPECT_EQ(c["mode"], "restarting");
  EXPECT_EQ(Client({"enum"}).out, "");

  Json file = Json::parse(ReadFile(state_));
  Json& restart = file["controllers"][0]["restart"];
  ASSERT_EQ(restart["active"], true);
  const uint64_t until = restart["untilMs"];
  EXPECT_GE(until, before + 3600000);
  EXPECT_LE(until, after + 3600000);
  // An hour later (moved, not waited for).
  restart["untilMs"] = until - 3600000 - 1000;
  WriteFile(file.dump());

  const Outcome o = Client({"enum"});
  EXPECT_EQ(o.out, "0488:D0C0 0005 /sim/SIM0001 Velmar Touchpad Bootloader SIM0001\n") << o.err;
  c = Show("SIM0001");
  EXPECT_EQ(c["mode"], "bootloader");
  EXPECT_EQ(c["present"], true);
}

// A controller told never to come back returns after a power cycle, as the
// firmware when its image is still valid.
TEST_F(Processes, PowerCycleBringsBackAControllerThatStayedAway) {
  ASSERT_EQ(Vlmsim({"attach"}).status, 0);
  ASSERT_EQ(Vlmsim({"fault", "SIM0001", "no-return-after-invoke"}).status, 0);
  ASSERT_EQ(Client({"session", "0x0488", "0x0101", "7", "set=06"}).out, "set ok\n");
  Json c = Show("SIM0001");
  EXPECT_EQ(c["mode"], "restarting");
  EXPECT_EQ(c["restart"], "away for good (would come back as bootloader)");
  EXPECT_EQ(Vlmsim({"power-cycle", "SIM0001"}).status, 0);
  c = Show("SIM0001");
  EXPECT_EQ(c["mode"], "firmware");
  EXPECT_EQ(c["present"], true);
  EXPECT_EQ(Lines(Client({"enum"}).out).size(), 3u);
}

TEST_F(Processes, TheTraceHasOneCorrectLinePerReport) {
  ASSERT_EQ(Vlmsim({"attach"}).status, 0);
  ASSERT_EQ(Vlmsim({"fault", "SIM0001", "fail-set", "2"}).status, 0);
  ASSERT_EQ(Vlmsim({"fault", "SIM0001", "fail-get", "2"}).status, 0);
  const std::string trace = dir_ + "/trace.txt";
  const std::string readFeedConfig1 = "08c4c200000100";  // memory read, 1 byte at 0xC2C4
  const uint64_t before = WallMs();
  const Outcome o = Client({"session", "0x0488", "0x0101", "7", "set=" + readFeedConfig1, "get=14",
                            "set=" + readFeedConfig1, "get=5", "get=5"},
                           {"VLMHID_SIM_TRACE=" + trace});
  const uint64_t after = WallMs();
  ASSERT_EQ(o.status, 0) << o.err;
  // The reply: status header, echoed address and length, the byte, Fletcher-16.
  const uint8_t echoed[] = {0xC4, 0xC2, 0x00, 0x00, 0x01, 0x00, 0x5A};
  const uint16_t sum = padflash::Fletcher16(echoed, sizeof echoed);
  char reply[64];
  std::snprintf(reply, sizeof reply, "c35a050010c4c2000001005a%02x%02x", sum & 0xFF, sum >> 8);
  EXPECT_EQ(Lines(o.out), (std::vector<std::string>{"set ok", std::string("get ok ") + reply,
                                                    "set fail", "get fail", "get ok c35a050010"}));

  const std::vector<std::string> lines = Lines(ReadFile(trace));
  ASSERT_EQ(lines.size(), 5u);
  const std::string zeros(2 * 531, '0');
  auto padded = [&](const std::string& hex) { return "07" + hex + zeros.substr(hex.size()); };
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"SET", padded(readFeedConfig1)},
      {"GET", padded(reply)},
      {"SET-FAIL", padded(readFeedConfig1)},
      {"GET-FAIL", ""},  // the buffer as the host handed it in
      {"GET", padded("c35a050010")},
  };
  for (size_t i = 0; i < lines.size(); ++i) {
    std::istringstream fields(lines[i]);
    uint64_t ms = 0;
    std::string kind, serial, hex, extra;
    fields >> ms >> kind >> serial >> hex >> extra;
    EXPECT_GE(ms, before) << lines[i];
    EXPECT_LE(ms, after) << lines[i];
    EXPECT_EQ(kind, expected[i].first);
    EXPECT_EQ(serial, "SIM0001");
    ASSERT_EQ(hex.size(), 2u * 532) << lines[i];
    EXPECT_EQ(hex.substr(0, 2), "07");
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos);
    if (!expected[i].second.empty()) {
      EXPECT_EQ(hex, expected[i].second) << i;
    }
    EXPECT_TRUE(extra.empty());
  }
}

// Two processes moving reports at once: each access is load, change and
// save under the file lock, so no count is lost; and each traced report is
// one whole line in the trace file both append to.
TEST_F(Processes, ConcurrentClientsLoseNoChange) {
  ASSERT_EQ(Vlmsim({"attach"}).status, 0);
  const std::string trace = dir_ + "/trace.txt";
  const std::vector<std::string> hammer = {SIMLIB_CLIENT_PATH, Library(), "hammer", "0x0488",
                                           "0x0101",           "7",       "40"};
  std::unique_ptr<ChildProcess> first = Start(hammer, {"VLMHID_SIM_TRACE=" + trace});
  std::unique_ptr<ChildProcess> second = Start(hammer, {"VLMHID_SIM_TRACE=" + trace});
  EXPECT_EQ(first->Wait().out, "hammer 40 of 40\n");
  EXPECT_EQ(second->Wait().out, "hammer 40 of 40\n");
  const Json file = Json::parse(ReadFile(state_));
  const Json& counters = file["controllers"][0]["counters"];
  EXPECT_EQ(counters["sets"], 80);
  EXPECT_EQ(counters["gets"], 80);

  const std::vector<std::string> lines = Lines(ReadFile(trace));
  EXPECT_EQ(lines.size(), 160u);
  for (const std::string& line : lines) {
    std::istringstream fields(line);
    std::string ms, kind, serial, hex, extra;
    fields >> ms >> kind >> serial >> hex >> extra;
    ASSERT_TRUE((kind == "SET" || kind == "GET") && serial == "SIM0001" && hex.size() == 2u * 532 &&
                extra.empty())
        << line.substr(0, 80);
  }
}

}  // namespace
