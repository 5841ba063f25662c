#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "session/run_config.h"
#include "session/session.h"
#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"

namespace padflash {
namespace {

const char kUsage[] =
    "padflash [/f] [/a] [/v] [filepath]\n[filepath]   Specifies path to the firmware file\r\n"
    "\n  /?          Displays help and exits\n"
    "\n  /v          Shows verbose mode button\n"
    "  /o          Overrides FW compatibility check (Won't ask to confirm) (use to force VID/PID "
    "mismatch)\n"
    "  /r          Don't Save Flash Config - uses default values from new FW file.\n";

class CommandLineTest : public ::testing::Test {
 protected:
  // Parses `args` as the arguments after the program path "padflash".
  int Parse(std::vector<std::string> args, std::string program = "padflash") {
    args.insert(args.begin(), program);
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    return ParseCommandLine(session, static_cast<int>(argv.size()), argv.data());
  }
  std::string echo() const { return session.MessageBuffer; }

  testing::RecordingWindow window;
  testing::TestSystemPort system;
  Session session{window, system, []() -> VirtualVLMHIDInterface* { return nullptr; }};
};

TEST_F(CommandLineTest, NoArgumentsEmptiesTheEchoAndKeepsTheDefaults) {
  std::strcpy(session.MessageBuffer, "left over from before");
  EXPECT_EQ(Parse({}), 0);
  EXPECT_EQ(echo(), "");
  const RunConfig& c = session.config;
  EXPECT_EQ(c.firmwarePath, "");
  EXPECT_FALSE(c.silent);
  EXPECT_FALSE(c.askMode);
  EXPECT_FALSE(c.overrideCompatibility);
  EXPECT_TRUE(c.saveFlashConfig);
  EXPECT_TRUE(c.packageLibraryAllowed);
  EXPECT_FALSE(c.verbose);
  EXPECT_TRUE(window.messageBoxes().empty());
}

TEST_F(CommandLineTest, HelpAloneShowsItsLineAndTheUsageInAnUnownedBox) {
  EXPECT_EQ(Parse({"/?"}), kParseExitNow);
  ASSERT_EQ(window.messageBoxes().size(), 1u);
  const testing::MessageBoxCall box = window.messageBoxes()[0];
  EXPECT_EQ(box.text, std::string("Cmd Arg # 1 /?\r\n") + kUsage);
  EXPECT_EQ(box.caption, "/? help and usage");
  EXPECT_EQ(box.buttons, MessageButtons::kOk);
  EXPECT_FALSE(box.owned);
}

TEST_F(CommandLineTest, HelpShowsEarlierArgumentsAndStopsReading) {
  EXPECT_EQ(Parse({"/v", "/?", "fw.hex"}), kParseExitNow);
  ASSERT_EQ(window.messageBoxes().size(), 1u);
  EXPECT_EQ(window.messageBoxes()[0].text,
            std::string("Cmd Arg # 1 /v\r\n   Cmd arg - VERBOSE\nCmd Arg # 2 /?\r\n") + kUsage);
  EXPECT_TRUE(session.config.verbose);  // switches before /? took effect
  EXPECT_EQ(session.config.firmwarePath, "");
}

TEST_F(CommandLineTest, FlagSwitchesEchoAndSetTheirFields) {
  EXPECT_EQ(Parse({"/o", "/r", "/d", "/v"}), 0);
  EXPECT_EQ(echo(),
            "Cmd Arg # 1 /o\r\n   Cmd arg - OVERRIDE\n"
            "Cmd Arg # 2 /r\r\n   Cmd arg - Don't save Flash Config\n"
            "Cmd Arg # 3 /d\r\n   Cmd arg - Don't use DLL for info and files\n"
            "Cmd Arg # 4 /v\r\n   Cmd arg - VERBOSE\n");
  EXPECT_TRUE(session.config.overrideCompatibility);
  EXPECT_FALSE(session.config.saveFlashConfig);
  EXPECT_FALSE(session.config.packageLibraryAllowed);
  EXPECT_TRUE(session.config.verbose);
  EXPECT_TRUE(window.messageBoxes().empty());
}

TEST_F(CommandLineTest, SilentAndAskModeLastOneDecides) {
  EXPECT_EQ(Parse({"/s", "/a"}), 0);
  EXPECT_TRUE(session.config.silent);
  EXPECT_TRUE(session.config.askMode);
  EXPECT_EQ(echo(),
            "Cmd Arg # 1 /s\r\n   Cmd arg - SILENT\nCmd Arg # 2 /a\r\n   Cmd arg - ASK MODE\n");

  session.config = RunConfig{};
  EXPECT_EQ(Parse({"/a", "/s"}), 0);
  EXPECT_TRUE(session.config.silent);
  EXPECT_FALSE(session.config.askMode);
}

TEST_F(CommandLineTest, KnownForceValueIsConsumedAndNumberingSkipsIt) {
  EXPECT_EQ(Parse({"/f", "qs", "fw.hex"}), 0);
  EXPECT_EQ(echo(),
            "Cmd Arg # 1 /f\r\n   Cmd arg - FORCE\n  Cmd FORCE Arg - qs\r\n"
            "    Cmd FORCE Arg - Velmar HID, S-corp I2C\n"
            "Cmd Arg # 3 fw.hex\r\n   Cmd arg - FileName\nfw.hex\n");
  EXPECT_EQ(session.config.firmwarePath, "fw.hex");
}

TEST_F(CommandLineTest, UnknownForceValueIsEchoedThenParsedAsAPath) {
  EXPECT_EQ(Parse({"/f", "zz", "fw.hex"}), 0);
  EXPECT_EQ(echo(),
            "Cmd Arg # 1 /f\r\n   Cmd arg - FORCE\n  Cmd FORCE Arg - zz\r\n"
            "Cmd Arg # 2 zz\r\n   Cmd arg - FileName\nzz\n"
            "Cmd Arg # 3 fw.hex\r\n   Cmd arg - FileName\nfw.hex\n");
  EXPECT_EQ(session.config.firmwarePath, "fw.hex");
}

TEST_F(CommandLineTest, UnknownValueThatIsASwitchTakesEffect) {
  EXPECT_EQ(Parse({"/i", "/v"}), 0);
  EXPECT_EQ(echo(),
            "Cmd Arg # 1 /i\r\n   Cmd arg - I2C\n  Cmd I2C Arg - /v\r\n"
            "Cmd Arg # 2 /v\r\n   Cmd arg - VERBOSE\n");
  EXPECT_TRUE(session.config.verbose);
}

TEST_F(CommandLineTest, EveryKnownValueHasItsLine) {
  struct Case {
    const char* sw;
    const char* value;
    const char* expected;
  };
  const Case cases[] = {
      {"/f", "qq", "  Cmd FORCE Arg - qq\r\n    Cmd FORCE Arg - Velmar HID, Velmar I2C\n"},
      {"/f", "aq", "  Cmd FORCE Arg - aq\r\n    Cmd FORCE Arg - Orlen HID, Velmar I2C\n"},
      {"/f", "as", "  Cmd FORCE Arg - as\r\n    Cmd FORCE Arg - Orlen HID, S-corp I2C\n"},
      {"/i", "q", "  Cmd I2C Arg - q\r\n    Cmd I2C Arg - Velmar\n"},
      {"/i", "s", "  Cmd I2C Arg - s\r\n    Cmd I2C Arg - S-corp\n"},
      {"/h", "q", "  Cmd HID Arg - q\r\n    Cmd HID Arg - Velmar\n"},
      {"/h", "a", "  Cmd HID Arg - a\r\n    Cmd HID Arg - Orlen\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.sw) + " " + c.value);
    session.config = RunConfig{};
    EXPECT_EQ(Parse({c.sw, c.value}), 0);
    const std::string name = c.sw[1] == 'f' ? "FORCE" : c.sw[1] == 'i' ? "I2C" : "HID";
    EXPECT_EQ(echo(),
              "Cmd Arg # 1 " + std::string(c.sw) + "\r\n   Cmd arg - " + name + "\n" + c.expected);
    EXPECT_EQ(session.config.firmwarePath, "");  // the value was consumed
  }
  // Values belong to their own switch: "a" is an HID value, not an I2C one.
  session.config = RunConfig{};
  EXPECT_EQ(Parse({"/i", "a"}), 0);
  EXPECT_EQ(session.config.firmwarePath, "a");
}

TEST_F(CommandLineTest, ValueSwitchGivenLastStandsAlone) {
  EXPECT_EQ(Parse({"/h"}), 0);
  EXPECT_EQ(echo(), "Cmd Arg # 1 /h\r\n   Cmd arg - HID\n");
}

TEST_F(CommandLineTest, NearMissSwitchesAreFilePaths) {
  for (const char* arg : {"/V", "-v", "/vv", "/", "/F"}) {
    SCOPED_TRACE(arg);
    session.config = RunConfig{};
    EXPECT_EQ(Parse({arg}), 0);
    EXPECT_EQ(session.config.firmwarePath, arg);
    EXPECT_FALSE(session.config.verbose);
    EXPECT_EQ(echo(),
              "Cmd Arg # 1 " + std::string(arg) + "\r\n   Cmd arg - FileName\n" + arg + "\n");
  }
}

TEST_F(CommandLineTest, LastFileNameWins) {
  EXPECT_EQ(Parse({"one.hex", "two.hex"}), 0);
  EXPECT_EQ(session.config.firmwarePath, "two.hex");
}

TEST_F(CommandLineTest, PercentSignsInArgumentsAreEchoedLiterally) {
  EXPECT_EQ(Parse({"fw%s%n%d.hex"}), 0);
  EXPECT_EQ(echo(), "Cmd Arg # 1 fw%s%n%d.hex\r\n   Cmd arg - FileName\nfw%s%n%d.hex\n");
}

TEST_F(CommandLineTest, LongArgumentsAreCutAtTheEndOfTheEcho) {
  const std::string longPath(700, 'p');
  EXPECT_EQ(Parse({"/v", longPath, "/o"}), 0);
  const std::string full = "Cmd Arg # 1 /v\r\n   Cmd arg - VERBOSE\nCmd Arg # 2 " + longPath;
  ASSERT_EQ(std::strlen(session.MessageBuffer), kMessageBufferSize - 1);
  EXPECT_EQ(echo(), full.substr(0, kMessageBufferSize - 1));
  // The effects are not cut: the whole path is kept, and /o after the full
  // echo still counts.
  EXPECT_EQ(session.config.firmwarePath, longPath);
  EXPECT_TRUE(session.config.overrideCompatibility);
}

TEST_F(CommandLineTest, HelpBoxWithLongProgramPathStaysWithinTheBuffer) {
  const std::string program(600, 'x');
  EXPECT_EQ(Parse({"/?"}, program), kParseExitNow);
  ASSERT_EQ(window.messageBoxes().size(), 1u);
  const std::string text = window.messageBoxes()[0].text;
  EXPECT_EQ(text.size(), kMessageBufferSize - 1);
  EXPECT_EQ(text, ("Cmd Arg # 1 /?\r\n" + program).substr(0, kMessageBufferSize - 1));
}

TEST_F(CommandLineTest, ManyArgumentsFillTheEchoAndNoMore) {
  std::vector<std::string> args(200, "/a");
  args.push_back("/?");
  EXPECT_EQ(Parse(args), kParseExitNow);
  ASSERT_EQ(window.messageBoxes().size(), 1u);
  const std::string text = window.messageBoxes()[0].text;
  EXPECT_EQ(text.size(), kMessageBufferSize - 1);
  EXPECT_EQ(text.rfind("Cmd Arg # 1 /a\r\n   Cmd arg - ASK MODE\nCmd Arg # 2 /a\r\n", 0), 0u);
}

}  // namespace
}  // namespace padflash
