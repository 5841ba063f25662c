// A program file without a version resource: its version reads four zeros.
#include <gtest/gtest.h>

#include "app/program_version.h"

namespace padflash {
namespace {

TEST(NoVersionResource, ReadsFourZeros) {
  const ProgramVersion v = ReadProgramVersion();
  EXPECT_EQ(v.major, 0);
  EXPECT_EQ(v.minor, 0);
  EXPECT_EQ(v.build, 0);
  EXPECT_EQ(v.revision, 0);
  EXPECT_EQ(FormatProgramVersion(), "0.0.0.0");
}

}  // namespace
}  // namespace padflash
