// Which personality file belongs to the selected controller, in the
// working folder and the per-user state folder; what is set aside and what
// a verified update deletes.
#include "update/personality_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "session/session.h"
#include "tests/session/working_directory.h"
#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"
#include "update/fletcher.h"

namespace padflash {
namespace {

namespace fs = std::filesystem;
using testing::WorkingDirectory;

const uint8_t kPage[] = {1, 2, 3, 4};
const uint32_t kOwnSum = Fletcher32(kPage, 4);

class PersonalityStore : public ::testing::Test {
 protected:
  void SetUp() override {
    session.unit.selected = true;
    session.unit.trail.id.serial = "PADA";
    session.CompTableSize = 4;
    ASSERT_TRUE(system.MakeFolder(system.UserStateFolder()));
  }
  // A file whose record names the controller showing `serial`; `sum` other
  // than the comp table's own stands for another calibration.
  void Write(const std::string& path, const char* serial, uint32_t sequence,
             uint32_t sum = kOwnSum) {
    WorkingDirectory::WriteFile(path, {1, 2, 3, 4});
    if (serial == nullptr) return;
    PersonalityRecord r;
    r.unit.serial = serial;
    r.sequence = sequence;
    r.compTableSize = 4;
    r.compTableSum = sum;
    const std::string text = EncodeRecord(r);
    WorkingDirectory::WriteFile(RecordPathFor(path),
                                std::vector<uint8_t>(text.begin(), text.end()));
  }
  std::string State(const std::string& name) {
    return system.UserStateFolder() + system.PathSeparator() + name;
  }

  WorkingDirectory dir;
  testing::RecordingWindow window;
  testing::TestSystemPort system;
  Session session{window, system, [] { return nullptr; }};
};

TEST_F(PersonalityStore, TheUnitsOwnFileWinsAndOtherUnitsFilesAreLeftAlone) {
  Write("sf20150811_101010.mem", "PADA", 1);
  Write("sf20150812_101010.mem", nullptr, 0);  // newer, of an older program
  Write("sf20150813_101010.mem", "PADB", 2);
  ASSERT_EQ(ChoosePersonalityFile(session), 0);
  EXPECT_EQ(session.personalityFileName, "sf20150811_101010.mem");
  EXPECT_TRUE(session.personality.confirmed);
  EXPECT_NE(window.verbose().find("Personality file sf20150813_101010.mem was saved from another "
                                  "controller (serial PADB); it is kept and not used\r\n"),
            std::string::npos);
  EXPECT_TRUE(window.messageBoxes().empty());

  // A running controller without a file of its own takes the unknown one
  // to the session, which compares it with the controller's page.
  fs::remove("sf20150811_101010.mem");
  ASSERT_EQ(ChoosePersonalityFile(session), 0);
  EXPECT_EQ(session.personalityFileName, "sf20150812_101010.mem");
  EXPECT_FALSE(session.personality.confirmed);
}

TEST_F(PersonalityStore, InItsBootloaderTheStateFolderComesNextThenTheUsersWord) {
  session.bootloaderMode = true;
  session.unit.trail.id.bootloaderSerialKnown = true;
  session.unit.trail.id.bootloaderSerial = "PADA";
  Write("sf20150812_101010.mem", nullptr, 0);
  Write(State("sf20150811_101010.mem"), "PADA", 3);
  ASSERT_EQ(ChoosePersonalityFile(session), 0);
  EXPECT_EQ(session.personalityFileName, State("sf20150811_101010.mem"));
  EXPECT_TRUE(session.personality.inStateFolder);

  // Two calibrations under one serial: the serial tells nothing, the user
  // is asked, newest first, and No to each leaves none chosen.
  Write(State("sf20150810_101010.mem"), "PADA", 2, 99);
  window.defaultAnswer = MessageAnswer::kNo;
  EXPECT_EQ(ChoosePersonalityFile(session), -1);
  ASSERT_EQ(window.messageBoxes().size(), 3u);
  EXPECT_NE(window.messageBoxes()[0].text.find("sf20150812_101010.mem"), std::string::npos);
  EXPECT_NE(window.messageBoxes()[1].text.find("sf20150811_101010.mem"), std::string::npos);
  EXPECT_EQ(window.messageBoxes()[0].caption, "Personality File of Unknown Controller");
  EXPECT_EQ(session.personality.searched.size(), 2u);
}

TEST_F(PersonalityStore, SetAsideNumbersAndRetiringKeepsTheNewestCopies) {
  Write("sf1_1.mem", "PADA", 1);
  WorkingDirectory::WriteFile("sf1_1.mem.bad", {0});
  EXPECT_EQ(SetPersonalityFileAside(session, "sf1_1.mem", ".bad"), "sf1_1.mem.bad2");
  EXPECT_TRUE(fs::exists("sf1_1.mem.bad2.unit"));
  EXPECT_EQ(SetPersonalityFileAside(session, "sf1_1.mem", ".bad"), "");

  for (int i = 1; i <= 4; ++i) Write(State("sf2015081" + std::to_string(i) + "_1.mem"), "PADA", i);
  Write(State("sf20150819_1.mem"), "PADB", 9);
  Write("sf20150820_1.mem", "PADA", 10);
  ASSERT_EQ(ChoosePersonalityFile(session), 0);
  RetirePersonalityFile(session);
  EXPECT_FALSE(fs::exists("sf20150820_1.mem"));
  EXPECT_FALSE(fs::exists("sf20150820_1.mem.unit"));
  // Its copy joined the state folder; of this unit's the newest three stay.
  EXPECT_TRUE(fs::exists(State("sf20150820_1.mem")));
  EXPECT_TRUE(fs::exists(State("sf20150814_1.mem")));
  EXPECT_TRUE(fs::exists(State("sf20150813_1.mem")));
  EXPECT_FALSE(fs::exists(State("sf20150812_1.mem")));
  EXPECT_FALSE(fs::exists(State("sf20150811_1.mem")));
  EXPECT_TRUE(fs::exists(State("sf20150819_1.mem")));
  EXPECT_NE(window.verbose().find("Deleting temp config file: sf20150820_1.mem\r\nDone\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace padflash
