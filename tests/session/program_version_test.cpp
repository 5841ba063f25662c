#include "session/program_version.h"

#include <gtest/gtest.h>

namespace padflash {
namespace {

TEST(ProgramVersion, IsTheBuildVersion) {
  const ProgramVersion v = ReadProgramVersion();
  EXPECT_EQ(v.major, 2);
  EXPECT_EQ(v.minor, 0);
  EXPECT_EQ(v.build, 3);
  EXPECT_EQ(v.revision, 13);
  EXPECT_EQ(FormatProgramVersion(), "2.0.3.13");
}

TEST(ProgramVersion, FormatsWithoutLeadingZeros) {
  EXPECT_EQ(FormatProgramVersion(ProgramVersion{10, 0, 0, 255}), "10.0.0.255");
  EXPECT_EQ(FormatProgramVersion(ProgramVersion{65535, 1, 0, 7}), "65535.1.0.7");
}

}  // namespace
}  // namespace padflash
