#include "update/image_commands.h"

#include <gtest/gtest.h>

#include <vector>

namespace padflash {
namespace {

std::vector<uint8_t> Head(const CommandBuffer& buffer, size_t n) {
  return std::vector<uint8_t>(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
}

TEST(ImageCommands, FormatImageCarriesCountImageWordAndAddressing) {
  CommandBuffer buffer{};
  const uint8_t first[] = {0x00, 0x10, 0x00, 0x20, 0xA1, 0xB2, 0xC3, 0xD4, 0xEE};
  BL_FormatImage(buffer, 0x103, first, sizeof first, 0x0020, 0x2C, 7);
  EXPECT_EQ(Head(buffer, 12), (std::vector<uint8_t>{0x04, 0x00, 0x03, 0xA1, 0xB2, 0xC3, 0xD4, 0x20,
                                                    0x00, 0x2C, 0x07, 0x00}));
}

TEST(ImageCommands, FormatImageWithShortFirstRegionSendsZerosForMissingBytes) {
  CommandBuffer buffer;
  buffer.fill(0x77);
  const uint8_t first[] = {1, 2, 3, 4, 5, 6};
  BL_FormatImage(buffer, 2, first, sizeof first, 0x1234, 0x15, 3);
  EXPECT_EQ(Head(buffer, 12),
            (std::vector<uint8_t>{0x04, 0x00, 0x02, 5, 6, 0, 0, 0x34, 0x12, 0x15, 0x03, 0x77}));
}

TEST(ImageCommands, FormatRegionIsLittleEndianWithLowIndexByte) {
  CommandBuffer buffer{};
  BL_FormatRegion(buffer, 257, 0x08002900, 0x3000, 0xFFFFFFFF);
  EXPECT_EQ(Head(buffer, 15), (std::vector<uint8_t>{0x05, 0x01, 0x00, 0x29, 0x00, 0x08, 0x00, 0x30,
                                                    0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}));
}

TEST(ImageCommands, WriteDataTakesAtMost520BytesAndLeavesTheRest) {
  CommandBuffer buffer;
  buffer.fill(0x55);
  std::vector<uint8_t> data(600);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(BL_WriteData(buffer, 0x08002B08, data.data(), 600), 520u);
  EXPECT_EQ(Head(buffer, 11),
            (std::vector<uint8_t>{0x00, 0x08, 0x2B, 0x00, 0x08, 0x08, 0x02, 0x00, 0x00, 0, 1}));
  EXPECT_EQ(buffer[9 + 519], static_cast<uint8_t>(519));
  EXPECT_EQ(buffer[9 + 520], 0x55);  // byte after the chunk untouched
  EXPECT_EQ(buffer[530], 0x55);
}

TEST(ImageCommands, BufferIsNotClearedBetweenCommands) {
  CommandBuffer buffer{};
  const uint8_t chunk[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x11, 0x22, 0x33};
  BL_WriteData(buffer, 0x08003000, chunk, sizeof chunk);
  BL_Flush(buffer);
  // Only the code changes: the last chunk's address, length and data remain.
  EXPECT_EQ(Head(buffer, 16),
            (std::vector<uint8_t>{0x01, 0x00, 0x30, 0x00, 0x08, 0x07, 0x00, 0x00, 0x00, 0xDE, 0xAD,
                                  0xBE, 0xEF, 0x11, 0x22, 0x33}));
  BL_Validate(buffer);
  EXPECT_EQ(Head(buffer, 4), (std::vector<uint8_t>{0x02, 0x01, 0x30, 0x00}));
}

TEST(ImageCommands, WriteDataOfOneByteAndOfNothing) {
  CommandBuffer buffer{};
  const uint8_t one = 0x9C;
  EXPECT_EQ(BL_WriteData(buffer, 0x08002D10, &one, 1), 1u);
  EXPECT_EQ(Head(buffer, 11),
            (std::vector<uint8_t>{0x00, 0x10, 0x2D, 0x00, 0x08, 0x01, 0x00, 0x00, 0x00, 0x9C, 0}));
  EXPECT_EQ(BL_WriteData(buffer, 0x08002D12, nullptr, 5), 0u);
  EXPECT_EQ(buffer[5], 0);
}

}  // namespace
}  // namespace padflash
