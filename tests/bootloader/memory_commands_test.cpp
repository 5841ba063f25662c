#include "update/memory_commands.h"

#include <gtest/gtest.h>

#include <vector>

#include "update/fletcher.h"

namespace padflash {
namespace {

std::vector<uint8_t> Bytes(const ReportFrame& frame, size_t from, size_t count) {
  return std::vector<uint8_t>(frame.begin() + from, frame.begin() + from + count);
}

TEST(ReadMemoryRequest, OneByteAtFeedConfig1) {
  ReportFrame frame{};
  EncodeReadMemoryRequest(frame, 0xC2C4, 1);
  EXPECT_EQ(Bytes(frame, 0, 7), (std::vector<uint8_t>{0x08, 0xC4, 0xC2, 0x00, 0x00, 0x01, 0x00}));
  EXPECT_EQ(Bytes(frame, 7, kReportSize - 7), std::vector<uint8_t>(kReportSize - 7, 0));
}

TEST(ReadMemoryRequest, FillsOnlyTheRequestFields) {
  ReportFrame frame;
  frame.fill(0xEE);
  EncodeReadMemoryRequest(frame, 0xFFFFFFFC, 500);
  EXPECT_EQ(Bytes(frame, 0, 7), (std::vector<uint8_t>{0x08, 0xFC, 0xFF, 0xFF, 0xFF, 0xF4, 0x01}));
  EXPECT_EQ(Bytes(frame, 7, kReportSize - 7), std::vector<uint8_t>(kReportSize - 7, 0xEE));
}

// The reply to a 1-byte read at 0xC2C4 holding 0x5A; the first five bytes
// are never examined.
ReportFrame FeedConfigReply() {
  ReportFrame reply{};
  const uint8_t bytes[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x77, 0xC4, 0xC2,
                           0x00, 0x00, 0x01, 0x00, 0x5A, 0xE2, 0x4F};
  std::copy(std::begin(bytes), std::end(bytes), reply.begin());
  return reply;
}

TEST(ReadMemoryReply, AcceptsMatchingEchoesAndChecksum) {
  ReadReplyCheck check = CheckReadMemoryReply(FeedConfigReply(), 0xC2C4, 1);
  EXPECT_EQ(check.result, ReadReplyResult::kGood);
  EXPECT_EQ(check.computedChecksum, 0x4FE2);
  EXPECT_EQ(check.receivedChecksum, 0x4FE2);
}

TEST(ReadMemoryReply, ReportsTheFirstMismatchWithWhatCameBack) {
  ReadReplyCheck address = CheckReadMemoryReply(FeedConfigReply(), 0xC2C0, 1);
  EXPECT_EQ(address.result, ReadReplyResult::kAddressMismatch);
  EXPECT_EQ(address.echoedAddress, 0xC2C4u);

  ReadReplyCheck length = CheckReadMemoryReply(FeedConfigReply(), 0xC2C4, 2);
  EXPECT_EQ(length.result, ReadReplyResult::kLengthMismatch);
  EXPECT_EQ(length.echoedLength, 1);

  ReportFrame corrupted = FeedConfigReply();
  corrupted[11] = 0x5B;  // data changed, checksum kept
  ReadReplyCheck sum = CheckReadMemoryReply(corrupted, 0xC2C4, 1);
  EXPECT_EQ(sum.result, ReadReplyResult::kChecksumMismatch);
  EXPECT_EQ(sum.receivedChecksum, 0x4FE2);
  EXPECT_NE(sum.computedChecksum, 0x4FE2);

  ReportFrame badSum = FeedConfigReply();
  badSum[13] = 0x00;  // high byte of the received checksum
  EXPECT_EQ(CheckReadMemoryReply(badSum, 0xC2C4, 1).result, ReadReplyResult::kChecksumMismatch);
}

TEST(ReadMemoryReply, OversizedLengthNeverMatches) {
  ReportFrame reply{};
  PutLe32(&reply[5], 0x1000);
  PutLe16(&reply[9], 519);  // would put the checksum beyond the frame
  EXPECT_EQ(CheckReadMemoryReply(reply, 0x1000, 519).result, ReadReplyResult::kLengthMismatch);
}

TEST(WriteMemoryCommand, FeedConfig1WriteChecksumsTheFirstEightBytesLowByteFirst) {
  ReportFrame frame{};
  const uint8_t value = 0x5A;
  ASSERT_TRUE(EncodeWriteMemoryCommand(frame, 0xC2C4, &value, 1));
  EXPECT_EQ(Bytes(frame, 0, 10),
            (std::vector<uint8_t>{0x07, 0xC4, 0xC2, 0x00, 0x00, 0x01, 0x00, 0x5A, 0xE9, 0x87}));
  EXPECT_EQ(Bytes(frame, 10, kReportSize - 10), std::vector<uint8_t>(kReportSize - 10, 0));

  const uint8_t zero = 0x00;
  ASSERT_TRUE(EncodeWriteMemoryCommand(frame, 0xC2C4, &zero, 1));
  EXPECT_EQ(Bytes(frame, 7, 3), (std::vector<uint8_t>{0x00, 0x8F, 0x2D}));
}

TEST(WriteMemoryCommand, FullChunkPutsChecksumAfterTheData) {
  ReportFrame frame{};
  std::vector<uint8_t> data(kMemoryChunkBytes, 0xA5);
  ASSERT_TRUE(EncodeWriteMemoryCommand(frame, 0x0800FC00, data.data(), kMemoryChunkBytes));
  EXPECT_EQ(GetLe32(&frame[1]), 0x0800FC00u);
  EXPECT_EQ(GetLe16(&frame[5]), kMemoryChunkBytes);
  EXPECT_EQ(Bytes(frame, 7, kMemoryChunkBytes), data);
  // Over the code, the address, the length and all 500 data bytes.
  EXPECT_EQ(GetLe16(&frame[7 + kMemoryChunkBytes]),
            Fletcher16(frame.data(), 7 + kMemoryChunkBytes));
  EXPECT_EQ(frame[7 + kMemoryChunkBytes + 2], 0);
}

TEST(WriteMemoryCommand, RefusesOversizedChunkAndMissingData) {
  ReportFrame frame;
  frame.fill(0xEE);
  std::vector<uint8_t> data(kMemoryChunkBytes + 1, 1);
  EXPECT_FALSE(EncodeWriteMemoryCommand(frame, 0, data.data(), kMemoryChunkBytes + 1));
  EXPECT_FALSE(EncodeWriteMemoryCommand(frame, 0, nullptr, 1));
  EXPECT_EQ(Bytes(frame, 0, kReportSize), std::vector<uint8_t>(kReportSize, 0xEE));
}

}  // namespace
}  // namespace padflash
