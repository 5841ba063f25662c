#include "update/fletcher.h"

#include <gtest/gtest.h>

#include <vector>

namespace padflash {
namespace {

TEST(Fletcher16, KnownAnswers) {
  const uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(Fletcher16(abc, 3), 0x4C27);
  EXPECT_EQ(Fletcher16(nullptr, 0), 0xFFFF);
}

TEST(Fletcher16, FoldsBlocksSoLongRunsStayInRange) {
  // 0xFF bytes are the worst case for the 20-byte block fold; the result
  // must equal the reference computed with wide sums reduced mod 255.
  std::vector<uint8_t> data(1000, 0xFF);
  uint32_t sum1 = 0xFF, sum2 = 0xFF;
  for (uint8_t b : data) {
    sum1 = (sum1 + b) % 255;
    sum2 = (sum2 + sum1) % 255;
  }
  uint16_t got = Fletcher16(data.data(), data.size());
  EXPECT_EQ((got & 0xFF) % 255, sum1);
  EXPECT_EQ((got >> 8) % 255, sum2);
}

TEST(Fletcher32, KnownAnswers) {
  EXPECT_EQ(Fletcher32(nullptr, 0), 0xFFFFFFFFu);
  const uint8_t word[] = {0x01, 0x02};  // one word 0x0201
  // sum1 = 0xFFFF + 0x0201 folded = 0x0201, sum2 = 0xFFFF + 0x0201 folded = 0x0201.
  EXPECT_EQ(Fletcher32(word, 2), 0x02010201u);
}

TEST(Fletcher32, OddCountTakesMissingHighByteAsZeroWithoutReadingIt) {
  // The byte after the count is never read: the odd run must give the same
  // sum as the run padded with 0x00, whatever follows it in memory.
  const uint8_t padded[] = {0x10, 0x20, 0x30, 0x00};
  const uint8_t trailing[] = {0x10, 0x20, 0x30, 0xEE};
  EXPECT_EQ(Fletcher32(trailing, 3), Fletcher32(padded, 4));
  std::vector<uint8_t> exact = {0x10, 0x20, 0x30};  // heap block of exactly 3 bytes
  EXPECT_EQ(Fletcher32(exact.data(), exact.size()), Fletcher32(padded, 4));
}

}  // namespace
}  // namespace padflash
