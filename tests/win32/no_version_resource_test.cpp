// A program file without a version resource: its version reads four zeros.
#include <gtest/gtest.h>

#include "session/program_version.h"

namespace padflash {
namespace {

TEST(NoVersionResource, ReadsFourZeros) {
  EXPECT_EQ(FormatProgramVersion(), "0.0.0.0");
}

}  // namespace
}  // namespace padflash
