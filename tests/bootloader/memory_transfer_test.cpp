// Memory reads and writes against a simulated controller.
#include "update/memory_transfer.h"

#include <gtest/gtest.h>

#include "tests/bootloader/bus_world.h"
#include "update/bootloader_protocol.h"
#include "update/report_frame.h"

namespace padflash {
namespace {

using testing::BusWorld;
using testing::CountOf;

class MemoryTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    controller = &world.bus.Attach(sim::ControllerConfig{});
    ASSERT_TRUE(world.Connect(0x0488, 0x0101));
    world.bus.ClearTrace();
    world.system.virtualClock.ClearSleeps();
  }
  uint32_t FactoryPageDeviceAddress() const {
    return kFactoryPageAddress - controller->accessOffset();
  }

  BusWorld world;
  sim::Controller* controller = nullptr;
};

TEST_F(MemoryTransferTest, FactoryPageReadTakesThreeChunksAndThreePauses) {
  std::vector<uint8_t> page(1024, 0xEE);
  ASSERT_EQ(BL_ReadMemory(world.session, FactoryPageDeviceAddress(), 1024, page.data()), 0);

  EXPECT_EQ(page, controller->ReadFlash(kFactoryPageAddress, 1024));
  EXPECT_EQ(world.Sleeps(), (std::vector<uint32_t>{100, 100, 100}));
  const auto sets = world.Reports("SET");
  ASSERT_EQ(sets.size(), 3u);
  const uint16_t lengths[] = {500, 500, 24};
  for (size_t i = 0; i < 3; ++i) {
    // Report ID, then the request: code 8, address, length.
    EXPECT_EQ(sets[i][1], kCmdReadMemory);
    EXPECT_EQ(GetLe32(&sets[i][2]), FactoryPageDeviceAddress() + 500 * i);
    EXPECT_EQ(GetLe16(&sets[i][6]), lengths[i]);
  }
  EXPECT_EQ(world.window.verbose(), "Reading Memory Addresses...\r\n");
}

TEST_F(MemoryTransferTest, RequestBufferIsClearedOncePerRead) {
  std::vector<uint8_t> page(1024);
  ASSERT_EQ(BL_ReadMemory(world.session, FactoryPageDeviceAddress(), 1024, page.data()), 0);
  const auto sets = world.Reports("SET");
  ASSERT_EQ(sets.size(), 3u);
  // The first request is zero after its fields; the second carries what the
  // first reply left behind (its echoes and data) from offset 7 on.
  EXPECT_EQ(std::vector<uint8_t>(sets[0].begin() + 8, sets[0].end()),
            std::vector<uint8_t>(kReportSize - 7, 0));
  const auto gets = world.Reports("GET");
  ASSERT_EQ(gets.size(), 3u);
  EXPECT_EQ(std::vector<uint8_t>(sets[1].begin() + 8, sets[1].end()),
            std::vector<uint8_t>(gets[0].begin() + 8, gets[0].end()));
}

TEST_F(MemoryTransferTest, OneByteReadOfFeedConfig1) {
  uint8_t value = 0;
  ASSERT_EQ(BL_ReadMemory(world.session, kFeedConfig1Address, 1, &value), 0);
  EXPECT_EQ(value, 0x5A);
  const auto sets = world.Reports("SET");
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(std::vector<uint8_t>(sets[0].begin(), sets[0].begin() + 8),
            (std::vector<uint8_t>{7, 0x08, 0xC4, 0xC2, 0x00, 0x00, 0x01, 0x00}));
}

TEST_F(MemoryTransferTest, ChecksumWrongEveryTimeFailsEachChunkButTriesTheNext) {
  controller->faults().corruptEveryReadReply = true;
  std::vector<uint8_t> data(600, 0xEE);
  EXPECT_EQ(BL_ReadMemory(world.session, FactoryPageDeviceAddress(), 600, data.data()), -1);

  const std::string verbose = world.window.verbose();
  EXPECT_EQ(CountOf(verbose, "Error - Checksums Do Not Match, expected 0x"), 20);
  EXPECT_EQ(CountOf(verbose, " attempt 0\r\n"), 2);
  EXPECT_EQ(CountOf(verbose, " attempt 9\r\n"), 2);
  EXPECT_EQ(CountOf(verbose, " attempt 10\r\n"), 0);
  // Ten requests for the first chunk, then ten for the second at its own
  // address; failed attempts are not paused.
  const auto sets = world.Reports("SET");
  ASSERT_EQ(sets.size(), 20u);
  EXPECT_EQ(GetLe32(&sets[9][2]), FactoryPageDeviceAddress());
  EXPECT_EQ(GetLe32(&sets[10][2]), FactoryPageDeviceAddress() + 500);
  EXPECT_EQ(GetLe16(&sets[10][6]), 100);
  EXPECT_TRUE(world.Sleeps().empty());
  // Nothing of a bad reply reaches the destination.
  EXPECT_EQ(data, std::vector<uint8_t>(600, 0xEE));
}

TEST_F(MemoryTransferTest, ChecksumMessageNamesComputedThenReceived) {
  controller->faults().corruptReadReplyAt = 1;
  uint8_t value = 0;
  ASSERT_EQ(BL_ReadMemory(world.session, kFeedConfig1Address, 1, &value), 0);
  EXPECT_EQ(value, 0x5A);
  const auto gets = world.Reports("GET");
  ASSERT_EQ(gets.size(), 2u);
  const uint16_t received = GetLe16(&gets[0][1 + 12]);
  const uint16_t computed = GetLe16(&gets[1][1 + 12]);  // the good reply's sum is the right one
  char line[128];
  std::snprintf(line, sizeof line,
                "Error - Checksums Do Not Match, expected 0x%X got 0x%X attempt 0\r\n", computed,
                received);
  EXPECT_EQ(world.window.verbose(), std::string("Reading Memory Addresses...\r\n") + line);
  EXPECT_EQ(world.Sleeps(), (std::vector<uint32_t>{100}));
}

TEST_F(MemoryTransferTest, TransportFailuresAreRetriedWithTheirOwnMessages) {
  controller->faults().failSetAt = 1;
  controller->faults().failGetAt = 1;  // the first reply fetched: that of attempt 1
  uint8_t value = 0;
  ASSERT_EQ(BL_ReadMemory(world.session, kFeedConfig1Address, 1, &value), 0);
  EXPECT_EQ(value, 0x5A);
  EXPECT_EQ(world.window.verbose(),
            "Reading Memory Addresses...\r\n"
            "HIDInterface1.WriteFeatureReport Error attempt 0\r\n"
            "HIDInterface1.ReadFeatureReport Error attempt 1\r\n");
}

TEST_F(MemoryTransferTest, UnanswerableAddressGivesAddressMismatchTenTimes) {
  // The controller keeps no reply for an address outside its memory, so the
  // status header comes back and its echo fields read zero.
  uint8_t value = 0;
  EXPECT_EQ(BL_ReadMemory(world.session, 0x00001000, 1, &value), -1);
  const std::string verbose = world.window.verbose();
  EXPECT_EQ(
      CountOf(verbose, "Error - Read Address Does Not Match, expected 0x1000 got 0x0 attempt "),
      10);
}

TEST_F(MemoryTransferTest, ReadWithoutDestinationChecksAndDrops) {
  EXPECT_EQ(BL_ReadMemory(world.session, FactoryPageDeviceAddress(), 700, nullptr), 0);
  EXPECT_EQ(world.Reports("GET").size(), 2u);
}

TEST_F(MemoryTransferTest, WritesFeedConfig1AndPausesAfterTheChunk) {
  const uint8_t value = 0x33;
  ASSERT_EQ(BL_WriteMemory(world.session, kFeedConfig1Address, 1, &value), 0);
  EXPECT_EQ(controller->feedConfig1(), 0x33);
  EXPECT_EQ(controller->lastError(), NV_err_none);
  EXPECT_EQ(world.window.verbose(), "Writing Memory Addresses...\r\nDone\r\n");
  EXPECT_EQ(world.Sleeps(), (std::vector<uint32_t>{100}));
  EXPECT_TRUE(world.Reports("GET").empty());
}

TEST_F(MemoryTransferTest, WriteRetriesAFailedSendAtOnce) {
  controller->faults().failSetAt = 1;
  const uint8_t value = 0x44;
  ASSERT_EQ(BL_WriteMemory(world.session, kFeedConfig1Address, 1, &value), 0);
  EXPECT_EQ(controller->feedConfig1(), 0x44);
  EXPECT_EQ(world.window.verbose(),
            "Writing Memory Addresses...\r\n"
            "HIDInterface1.WriteFeatureReport Error attempt 0\r\n"
            "Done\r\n");
  EXPECT_EQ(world.Sleeps(), (std::vector<uint32_t>{100}));
}

TEST_F(MemoryTransferTest, WriteThatNeverGetsThroughFailsAfterTenAttempts) {
  world.session.connection->DisconnectFromDevice();
  const uint8_t value = 0x44;
  EXPECT_EQ(BL_WriteMemory(world.session, kFeedConfig1Address, 1, &value), -1);
  const std::string verbose = world.window.verbose();
  EXPECT_EQ(CountOf(verbose, "HIDInterface1.WriteFeatureReport Error attempt "), 10);
  EXPECT_EQ(CountOf(verbose, "attempt 9\r\nDone\r\n"), 1);
  EXPECT_TRUE(world.Sleeps().empty());
  EXPECT_EQ(controller->feedConfig1(), 0x5A);
}

TEST_F(MemoryTransferTest, LongWriteIsSplitIntoChunksWithTheirOwnChecksums) {
  std::vector<uint8_t> data(501, 0x11);
  // Only the RAM mirror is writable, so the bootloader refuses these, but
  // the frames on the wire show the split.
  EXPECT_EQ(BL_WriteMemory(world.session, 0x1000, 501, data.data()), 0);
  const auto sets = world.Reports("SET");
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(GetLe16(&sets[0][6]), 500);
  EXPECT_EQ(GetLe32(&sets[1][2]), 0x1000u + 500);
  EXPECT_EQ(GetLe16(&sets[1][6]), 1);
  EXPECT_EQ(world.Sleeps(), (std::vector<uint32_t>{100, 100}));
}

}  // namespace
}  // namespace padflash
