#include "sim/vlmsim/command_line.h"

#include <gtest/gtest.h>

namespace vlmsim {
namespace {

ParseResult Parse(std::vector<std::string> words) {
  return ParseCommandLine(words);
}

TEST(VlmsimNumbers, AcceptsDecimalAndHexWithinTheLimit) {
  uint64_t v = 0;
  EXPECT_TRUE(ParseNumber("0", 10, v));
  EXPECT_EQ(v, 0u);
  EXPECT_TRUE(ParseNumber("0x1F", 0xFF, v));
  EXPECT_EQ(v, 0x1Fu);
  EXPECT_TRUE(ParseNumber("0XfF", 0xFF, v));
  EXPECT_EQ(v, 0xFFu);
  EXPECT_TRUE(ParseNumber("65535", 0xFFFF, v));
  EXPECT_EQ(v, 65535u);
  EXPECT_TRUE(ParseNumber("0xFFFFFFFF", 0xFFFFFFFF, v));
  EXPECT_EQ(v, 0xFFFFFFFFu);
}

TEST(VlmsimNumbers, RejectsJunkSignsAndOverflow) {
  uint64_t v = 77;
  for (const char* bad : {"", "0x", "-1", "+1", "12a", "0x1G", " 1", "1 ", "256", "0x100",
                          "99999999999999999999999"}) {
    EXPECT_FALSE(ParseNumber(bad, 0xFF, v)) << bad;
  }
  EXPECT_EQ(v, 77u);  // untouched on failure
}

TEST(VlmsimCommandLine, AttachDefaultsAreTheDocumentedController) {
  ParseResult r = Parse({"attach"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.command.verb, Verb::kAttach);
  const sim::ControllerConfig& c = r.command.attach;
  EXPECT_FALSE(c.i2c);
  EXPECT_EQ(c.vendorId, 0x0488);
  EXPECT_EQ(c.productId, 0x0101);
  EXPECT_EQ(c.chipId, 0x12);
  EXPECT_EQ(c.revision, 0x05);
  EXPECT_EQ(c.reportId, 7);
  EXPECT_EQ(c.bootloaderVersion, 5);
  EXPECT_EQ(c.compTableSize, 480u);
  EXPECT_TRUE(c.serial.empty());
  EXPECT_FALSE(c.inBootloader);
}

TEST(VlmsimCommandLine, AttachTakesEveryOptionAndStateAnywhere) {
  ParseResult r = Parse({"attach",
                         "--i2c",
                         "--vid",
                         "0x044E",
                         "--pid",
                         "4660",
                         "--chip",
                         "0x13",
                         "--state",
                         "/tmp/s.json",
                         "--rev",
                         "9",
                         "--report-id",
                         "0x0A",
                         "--bootloader-version",
                         "6",
                         "--comp-table-size",
                         "0x100",
                         "--feedconfig1",
                         "0xA5",
                         "--serial",
                         "SIM-7",
                         "--product",
                         "Pad \xC3\xA9",
                         "--in-bootloader"});
  ASSERT_TRUE(r.ok) << r.error;
  const sim::ControllerConfig& c = r.command.attach;
  EXPECT_TRUE(c.i2c);
  EXPECT_EQ(c.vendorId, 0x044E);
  EXPECT_EQ(c.productId, 4660);
  EXPECT_EQ(c.chipId, 0x13);
  EXPECT_EQ(c.revision, 9);
  EXPECT_EQ(c.reportId, 0x0A);
  EXPECT_EQ(c.bootloaderVersion, 6);
  EXPECT_EQ(c.compTableSize, 0x100u);
  EXPECT_EQ(c.feedConfig1, 0xA5);
  EXPECT_EQ(c.serial, "SIM-7");
  EXPECT_EQ(c.product, std::wstring(L"Pad \u00E9"));
  EXPECT_TRUE(c.inBootloader);
  EXPECT_EQ(r.command.statePath, "/tmp/s.json");
}

TEST(VlmsimCommandLine, AttachRefusesBadValuesWithTheOptionNamed) {
  struct Case {
    std::vector<std::string> words;
    const char* mention;
  };
  const Case cases[] = {
      {{"attach", "--vid"}, "--vid needs a value"},
      {{"attach", "--vid", "0x10000"}, "--vid"},
      {{"attach", "--chip", "256"}, "--chip"},
      {{"attach", "--report-id", "0"}, "--report-id"},
      {{"attach", "--comp-table-size", "1000"}, "--comp-table-size"},
      {{"attach", "--serial", "has space"}, "--serial"},
      {{"attach", "--serial", ""}, "--serial"},
      {{"attach", "--product", ""}, "--product"},
      {{"attach", "--product", "bad\xC3"}, "--product"},
      {{"attach", "--product", "tab\there"}, "--product"},
      {{"attach", "--frobnicate"}, "unknown option '--frobnicate'"},
  };
  for (const Case& c : cases) {
    ParseResult r = Parse(c.words);
    EXPECT_FALSE(r.ok) << c.words.back();
    EXPECT_NE(r.error.find(c.mention), std::string::npos) << r.error;
  }
}

TEST(VlmsimCommandLine, InspectionCommands) {
  ParseResult r = Parse({"show", "SIM0001", "--json"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.command.verb, Verb::kShow);
  EXPECT_EQ(r.command.serial, "SIM0001");
  EXPECT_TRUE(r.command.json);

  r = Parse({"read", "SIM0001", "0x0800FC00", "1024"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.command.verb, Verb::kRead);
  EXPECT_EQ(r.command.address, 0x0800FC00u);
  EXPECT_EQ(r.command.length, 1024u);

  EXPECT_EQ(Parse({"list"}).command.verb, Verb::kList);
  EXPECT_EQ(Parse({"reset"}).command.verb, Verb::kReset);
  EXPECT_EQ(Parse({"detach", "X"}).command.verb, Verb::kDetach);
  EXPECT_EQ(Parse({"power-cycle", "X"}).command.verb, Verb::kPowerCycle);
  EXPECT_EQ(Parse({"power-cycle", "X"}).command.serial, "X");
  EXPECT_EQ(Parse({"--help"}).command.verb, Verb::kHelp);
  EXPECT_EQ(Parse({"--state", "/x", "--version"}).command.verb, Verb::kVersion);
  EXPECT_TRUE(Parse({"--state=/x", "list"}).ok);
  EXPECT_EQ(Parse({"--state=/x", "list"}).command.statePath, "/x");
}

TEST(VlmsimCommandLine, RefusesMalformedCommands) {
  for (const auto& words : std::vector<std::vector<std::string>>{
           {},
           {"frob"},
           {"list", "extra"},
           {"show"},
           {"show", "S", "--xml"},
           {"read", "S", "0x08000000"},
           {"read", "S", "0x08000000", "0"},
           {"read", "S", "0x08000000", "65537"},
           {"read", "S", "0x100000000", "1"},
           {"detach"},
           {"power-cycle"},
           {"power-cycle", "A", "B"},
           {"list", "--state"},
       }) {
    EXPECT_FALSE(Parse(words).ok) << (words.empty() ? "(none)" : words[0]);
  }
}

TEST(VlmsimCommandLine, FaultRules) {
  struct Case {
    std::vector<std::string> rule;
    FaultKind kind;
    uint32_t count;
    uint8_t code;
  };
  const Case cases[] = {
      {{"clear"}, FaultKind::kClear, 0, 0},
      {{"fail-set", "3"}, FaultKind::kFailSet, 3, 0},
      {{"fail-get", "0x2"}, FaultKind::kFailGet, 2, 0},
      {{"corrupt-read", "1"}, FaultKind::kCorruptRead, 1, 0},
      {{"corrupt-read", "every"}, FaultKind::kCorruptEveryRead, 0, 0},
      {{"bootloader-error", "0x06", "after-chunk", "4"}, FaultKind::kBootloaderError, 4, 6},
      {{"no-return-after-invoke"}, FaultKind::kNoReturnAfterInvoke, 0, 0},
      {{"no-return-after-reset"}, FaultKind::kNoReturnAfterReset, 0, 0},
      {{"return-delay", "2500"}, FaultKind::kReturnDelay, 2500, 0},
      {{"power-loss-at-chunk", "7"}, FaultKind::kPowerLossAtChunk, 7, 0},
      {{"bootloader-error", "9", "at-set", "12"}, FaultKind::kBootloaderErrorAtSet, 12, 9},
      {{"power-loss-at-report", "30"}, FaultKind::kPowerLossAtReport, 30, 0},
      {{"host-death-at-report", "41"}, FaultKind::kHostDeathAtReport, 41, 0},
  };
  for (const Case& c : cases) {
    std::vector<std::string> words = {"fault", "SIM1"};
    words.insert(words.end(), c.rule.begin(), c.rule.end());
    ParseResult r = Parse(words);
    ASSERT_TRUE(r.ok) << c.rule[0] << ": " << r.error;
    EXPECT_EQ(r.command.verb, Verb::kFault);
    EXPECT_EQ(r.command.serial, "SIM1");
    EXPECT_EQ(r.command.fault.kind, c.kind) << c.rule[0];
    EXPECT_EQ(r.command.fault.count, c.count) << c.rule[0];
    EXPECT_EQ(r.command.fault.code, c.code) << c.rule[0];
  }
}

TEST(VlmsimCommandLine, RefusesMalformedFaultRules) {
  for (const auto& rule : std::vector<std::vector<std::string>>{
           {},
           {"melt"},
           {"fail-set"},
           {"fail-set", "0"},
           {"fail-set", "1", "2"},
           {"corrupt-read", "often"},
           {"clear", "now"},
           {"bootloader-error", "6"},
           {"bootloader-error", "6", "before-chunk", "2"},
           {"bootloader-error", "0", "after-chunk", "2"},
           {"bootloader-error", "0x100", "after-chunk", "2"},
           {"bootloader-error", "6", "after-chunk", "0"},
           {"return-delay", "3600001"},
           {"return-delay", "0"},
           {"power-loss-at-chunk", "-1"},
       }) {
    std::vector<std::string> words = {"fault", "SIM1"};
    words.insert(words.end(), rule.begin(), rule.end());
    EXPECT_FALSE(Parse(words).ok) << (rule.empty() ? "(none)" : rule[0]);
  }
}

}  // namespace
}  // namespace vlmsim
