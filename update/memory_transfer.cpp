#include "update/memory_transfer.h"

#include <algorithm>
#include <cstring>

#include "session/session.h"
#include "update/memory_commands.h"
#include "update/report_frame.h"

namespace padflash {

namespace {

constexpr int kChunkAttempts = 10;
constexpr uint32_t kChunkPauseMs = 100;

// One chunk of a read: up to 10 attempts back to back, each a request and
// its reply in the same frame. True when a reply passed every check; its data
// then goes to `destination` (when given).
bool ReadChunk(Session& session, ReportFrame& frame, uint32_t address, uint16_t length,
               uint8_t* destination) {
  VirtualVLMHIDInterface& connection = *session.connection;
  for (int attempt = 0; attempt < kChunkAttempts; ++attempt) {
    EncodeReadMemoryRequest(frame, address, length);
    if (connection.WriteFeatureReport(frame.data(), kReportSize) != 0) {
      Print(session, "HIDInterface1.WriteFeatureReport Error attempt %d\r\n", attempt);
      continue;
    }
    if (connection.ReadFeatureReport(frame.data(), kReportSize) != 0) {
      Print(session, "HIDInterface1.ReadFeatureReport Error attempt %d\r\n", attempt);
      continue;
    }
    const ReadReplyCheck check = CheckReadMemoryReply(frame, address, length);
    switch (check.result) {
      case ReadReplyResult::kAddressMismatch:
        Print(session, "Error - Read Address Does Not Match, expected 0x%X got 0x%X attempt %d\r\n",
              address, check.echoedAddress, attempt);
        continue;
      case ReadReplyResult::kLengthMismatch:
        Print(session, "Error - Read length Does Not Match, expected %d got %d attempt %d\r\n",
              length, check.echoedLength, attempt);
        continue;
      case ReadReplyResult::kChecksumMismatch:
        Print(session, "Error - Checksums Do Not Match, expected 0x%X got 0x%X attempt %d\r\n",
              check.computedChecksum, check.receivedChecksum, attempt);
        continue;
      case ReadReplyResult::kGood:
        break;
    }
    if (destination != nullptr) std::memcpy(destination, &frame[kReadReplyDataOffset], length);
    session.system.SleepMs(kChunkPauseMs);
    return true;
  }
  return false;
}

// One chunk of a write: up to 10 sends back to back; nothing is read back.
bool WriteChunk(Session& session, ReportFrame& frame, uint32_t address, uint16_t length,
                const uint8_t* source) {
  if (!EncodeWriteMemoryCommand(frame, address, source, length)) return false;
  for (int attempt = 0; attempt < kChunkAttempts; ++attempt) {
    if (session.connection->WriteFeatureReport(frame.data(), kReportSize) != 0) {
      Print(session, "HIDInterface1.WriteFeatureReport Error attempt %d\r\n", attempt);
      continue;
    }
    session.system.SleepMs(kChunkPauseMs);
    return true;
  }
  return false;
}

uint16_t ChunkLength(uint32_t done, uint16_t total) {
  return static_cast<uint16_t>(std::min<uint32_t>(kMemoryChunkBytes, total - done));
}

}  // namespace

int BL_ReadMemory(Session& session, uint32_t address, uint16_t length, uint8_t* destination) {
  if (!session.connection) return -1;
  Print(session, "Reading Memory Addresses...\r\n");
  // Cleared once: bytes after the request fields keep what the last reply
  // left there.
  ReportFrame frame{};
  bool failed = false;
  for (uint32_t done = 0; done < length;) {
    const uint16_t chunk = ChunkLength(done, length);
    // A failed chunk does not stop the transfer: the next chunk follows at
    // its own address and destination offset.
    if (!ReadChunk(session, frame, address + done, chunk,
                   destination != nullptr ? destination + done : nullptr))
      failed = true;
    done += chunk;
  }
  return failed ? -1 : 0;
}

int BL_WriteMemory(Session& session, uint32_t address, uint16_t length, const uint8_t* source) {
  if (!session.connection) return -1;
  // Nothing to send from: refused before anything reaches the device.
  if (source == nullptr && length > 0) return -1;
  Print(session, "Writing Memory Addresses...\r\n");
  ReportFrame frame{};
  bool failed = false;
  for (uint32_t done = 0; done < length;) {
    const uint16_t chunk = ChunkLength(done, length);
    if (!WriteChunk(session, frame, address + done, chunk, source + done)) failed = true;
    done += chunk;
  }
  Print(session, "Done\r\n");
  return failed ? -1 : 0;
}

}  // namespace padflash
