#include "update/personality_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "session/session.h"
#include "tests/session/working_directory.h"
#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"
#include "update/factory_block.h"

namespace padflash {
namespace {

using testing::RecordingWindow;
using testing::TestSystemPort;
using testing::WorkingDirectory;

constexpr uint32_t kT = 480;

// A page as the save step leaves it: chip 0x12, revision 0x05, VID 0x0488,
// PID 0x0101, the access offset 0x1FFF3D54 + T at T + 68, factory bytes at
// T + 72, an end marker at 600/601.
std::vector<uint8_t> SavedPage(uint32_t t = kT) {
  std::vector<uint8_t> page(1024, 0);
  for (uint32_t i = 0; i < t; ++i) page[i] = static_cast<uint8_t>(i * 7 + 1);
  page[t + 0] = 0x12;
  page[t + 1] = 0x05;
  page[t + 20] = 0x88;
  page[t + 21] = 0x04;
  page[t + 22] = 0x01;
  page[t + 23] = 0x01;
  const uint32_t offset = 0x1FFF3D54 + t;
  for (int i = 0; i < 4; ++i) page[t + 68 + i] = static_cast<uint8_t>(offset >> (8 * i));
  page[t + 72] = 0xA1;
  page[t + 73] = 0xA2;
  page[t + 74] = 0xA3;
  page[600] = 0xFC;
  page[601] = 0xDE;
  return page;
}

class PersonalityFileTest : public ::testing::Test {
 protected:
  WorkingDirectory dir;
  RecordingWindow window;
  TestSystemPort system;
  Session session{window, system, [] { return nullptr; }};
};

TEST_F(PersonalityFileTest, FindChoosesTheNewestDateThenTime) {
  for (const char* name : {"sf20150811_101010.mem", "sf20150811_095959.mem"}) {
    WorkingDirectory::WriteFile(name, {1});
  }
  ASSERT_EQ(FindPersonalityFile(session), 0);
  EXPECT_EQ(session.personalityFileName, "sf20150811_101010.mem");
  WorkingDirectory::WriteFile("sf20150812_000001.mem", {1});
  ASSERT_EQ(FindPersonalityFile(session), 0);
  EXPECT_EQ(session.personalityFileName, "sf20150812_000001.mem");
}

TEST_F(PersonalityFileTest, FindIgnoresUnparsableNamesAndDirectories) {
  WorkingDirectory::WriteFile("sfx.mem", {1});
  std::filesystem::create_directory("sf1_1.mem");
  std::filesystem::create_directory("sf99999999_1.mem");
  session.personalityFileName = "unchanged";
  EXPECT_EQ(FindPersonalityFile(session), -1);
  EXPECT_EQ(session.personalityFileName, "unchanged");
  WorkingDirectory::WriteFile("sf20150811_101010.mem", {1});
  ASSERT_EQ(FindPersonalityFile(session), 0);
  EXPECT_EQ(session.personalityFileName, "sf20150811_101010.mem");
}

TEST_F(PersonalityFileTest, SaveWritesUpToTheEndMarkerUnderTheUtcName) {
  const std::vector<uint8_t> page = SavedPage();
  std::copy(page.begin(), page.end(), session.factoryBlock.begin());
  session.CompTableSize = kT;
  session.factoryEnd = static_cast<int>(FactoryEndOf(page.data(), page.size(), kT));
  ASSERT_EQ(session.factoryEnd, 602);
  ASSERT_EQ(SavePersonalityFile(session), 0);
  EXPECT_EQ(session.personalityFileName, "sf20150811_101010.mem");
  EXPECT_EQ(WorkingDirectory::ReadFile("sf20150811_101010.mem"),
            std::vector<uint8_t>(page.begin(), page.begin() + 602));

  // Without any marker the whole page is written.
  session.factoryBlock[600] = 0;
  session.factoryEnd = static_cast<int>(FactoryEndOf(session.factoryBlock.data(), 1024, kT));
  system.utcNow.second = 11;
  ASSERT_EQ(SavePersonalityFile(session), 0);
  EXPECT_EQ(WorkingDirectory::ReadFile("sf20150811_101011.mem").size(), 1024u);
}

TEST_F(PersonalityFileTest, SaveNeverOverwritesAnExistingFile) {
  WorkingDirectory::WriteFile("sf20150811_101010.mem", {9, 9, 9});
  const std::vector<uint8_t> page = SavedPage();
  std::copy(page.begin(), page.end(), session.factoryBlock.begin());
  session.CompTableSize = kT;
  session.factoryEnd = 602;
  EXPECT_EQ(SavePersonalityFile(session), -1);
  EXPECT_EQ(WorkingDirectory::ReadFile("sf20150811_101010.mem"), (std::vector<uint8_t>{9, 9, 9}));
}

TEST_F(PersonalityFileTest, SaveRefusesAnInvalidBlock) {
  std::vector<uint8_t> page = SavedPage();
  page[kT + 69] = 0;
  std::copy(page.begin(), page.end(), session.factoryBlock.begin());
  session.CompTableSize = kT;
  session.factoryEnd = 602;
  EXPECT_EQ(SavePersonalityFile(session), -1);
  EXPECT_TRUE(dir.PersonalityFiles().empty());
}

TEST_F(PersonalityFileTest, ReadOffsetsFindsTheCompTableSizeFromTheFile) {
  std::vector<uint8_t> page = SavedPage();
  page.resize(602);
  WorkingDirectory::WriteFile("sf20150811_101010.mem", page);
  ASSERT_EQ(ReadPersonalityOffsets(session, 0x12, 0x05, 0x0488, 0x0101), 0);
  EXPECT_EQ(session.CompTableSize, 480u);
  EXPECT_EQ(session.AccessOffset, 0x1FFF3F34u);
  EXPECT_EQ(window.verbose(),
            "AddressAccessOffset and CompTableSize retrieved from TempFile 0x1FFF3F34 - 480\r\n"
            "TempFile CompTableSize was Found\r\n"
            "TempFile AddressAccessOffset adn CompTableSize:  \r\n\t0x1FFF3F34\r\n\t480\r\n\r\n");
}

TEST_F(PersonalityFileTest, ReadOffsetsReportsAMismatchOfAnyGivenIdentityValue) {
  WorkingDirectory::WriteFile("sf20150811_101010.mem", SavedPage());
  EXPECT_EQ(ReadPersonalityOffsets(session, 0, 0, 0, 0), 0);  // zeros are not compared
  EXPECT_EQ(ReadPersonalityOffsets(session, 0x13, 0x05, 0x0488, 0x0101), -1);
  EXPECT_EQ(ReadPersonalityOffsets(session, 0x12, 0x06, 0x0488, 0x0101), -1);
  EXPECT_EQ(ReadPersonalityOffsets(session, 0x12, 0x05, 0x0489, 0x0101), -1);
  EXPECT_EQ(ReadPersonalityOffsets(session, 0x12, 0x05, 0x0488, 0x0102), -1);
  EXPECT_NE(window.verbose().find("TempFile CompTableSize was Not Found\r\n"), std::string::npos);
}

TEST_F(PersonalityFileTest, ReadOffsetsStopsItsSearchInsideThePage) {
  // A candidate whose high bytes would lie at 1023 and 1024: the search must
  // not read the byte after the page (the sanitizer build catches it).
  std::vector<uint8_t> page(1024, 0);
  page[1023] = 0xFF;
  WorkingDirectory::WriteFile("sf20150811_101010.mem", page);
  EXPECT_EQ(ReadPersonalityOffsets(session, 0, 0, 0, 0), -1);
  EXPECT_EQ(session.CompTableSize, 0u);
}

TEST_F(PersonalityFileTest, ReadOffsetsWithoutAFile) {
  EXPECT_EQ(ReadPersonalityOffsets(session, 0x12, 0x05, 0x0488, 0x0101), -1);
  EXPECT_EQ(window.verbose(), "");
}

TEST_F(PersonalityFileTest, CheckIsTrueWithoutAFileAndComparesWithTheCurrentCompTableSize) {
  EXPECT_TRUE(CheckPersonalityFile(session, 0x12, 0x05, 0x0488, 0x0101));
  EXPECT_EQ(window.verbose(), "");

  WorkingDirectory::WriteFile("sf20150811_101010.mem", SavedPage());
  session.CompTableSize = kT;
  EXPECT_TRUE(CheckPersonalityFile(session, 0x12, 0x05, 0x0488, 0x0101));
  EXPECT_EQ(window.verbose(),
            "TempFile Comparrison with Device is Compatible\r\n"
            "Device Info 12.5\r\n\tVID: 0x488\r\n\tPID: 0x101\r\n\r\n"
            "TempFile Info 0.0\r\n\tVID: 0x488\r\n\tPID: 0x101\r\n\r\n");
  EXPECT_FALSE(CheckPersonalityFile(session, 0x12, 0x07, 0x0488, 0x0101));
  // A comp table size that does not fit the file's layout is a mismatch, and
  // a size past the page is never read.
  session.CompTableSize = 500;
  EXPECT_FALSE(CheckPersonalityFile(session, 0, 0, 0, 0));
  session.CompTableSize = 0xFFFFFF00u;
  EXPECT_FALSE(CheckPersonalityFile(session, 0, 0, 0, 0));
}

TEST_F(PersonalityFileTest, LoadClearsTheBlockBeforeReading) {
  session.factoryBlock.fill(0xEE);
  session.CompTableSize = kT;
  std::vector<uint8_t> page = SavedPage();
  page.resize(560);
  WorkingDirectory::WriteFile("sf20150811_101010.mem", page);
  ASSERT_EQ(LoadPersonalityFile(session), 560);
  EXPECT_TRUE(std::equal(page.begin(), page.end(), session.factoryBlock.begin()));
  for (size_t i = 560; i < 1024; ++i) ASSERT_EQ(session.factoryBlock[i], 0) << i;
}

TEST_F(PersonalityFileTest, LoadRejectsAFileTooShortForItsStructure) {
  // With the block cleared first, a file that ends before T + 74 cannot
  // borrow the missing bytes from an earlier controller.
  session.factoryBlock.fill(0xEE);
  session.CompTableSize = kT;
  std::vector<uint8_t> page = SavedPage();
  page.resize(kT + 70);
  WorkingDirectory::WriteFile("sf20150811_101010.mem", page);
  EXPECT_EQ(LoadPersonalityFile(session), -1);
}

}  // namespace
}  // namespace padflash
