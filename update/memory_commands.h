// The two memory commands on the wire.
//
// Read request (code 8): address (4) at 1, length (2) at 5. The reply comes
// back in the same buffer: address echoed at 5, length echoed at 9, the data
// at 11 and the Fletcher-16 of offsets 5 to 10 + n (echoes and data) at
// 11 + n.
//
// Write command (code 7): address (4) at 1, length n (2) at 5, the data at 7
// and the Fletcher-16 of offsets 0 to 6 + n at 7 + n. Nothing is read back.
//
// A chunk carries at most kMemoryChunkBytes data bytes.
#pragma once

#include <cstdint>

#include "update/report_frame.h"

namespace padflash {

inline constexpr int kReadReplyDataOffset = 11;
inline constexpr int kWriteDataOffset = 7;

// Fills offsets 0 to 6 of a read request; the rest of the frame keeps what it
// held (a memory read clears its frame once, not per chunk).
void EncodeReadMemoryRequest(ReportFrame& frame, uint32_t address, uint16_t length);

enum class ReadReplyResult { kGood, kAddressMismatch, kLengthMismatch, kChecksumMismatch };

struct ReadReplyCheck {
  ReadReplyResult result = ReadReplyResult::kGood;
  uint32_t echoedAddress = 0;
  uint16_t echoedLength = 0;
  uint16_t computedChecksum = 0;  // only set when the echoes matched
  uint16_t receivedChecksum = 0;  // likewise
};

// Checks a reply against the request it answers, in the order the bootloader
// transfer reports them: address echo, length echo, checksum. A length above
// kMemoryChunkBytes never matches.
ReadReplyCheck CheckReadMemoryReply(const ReportFrame& reply, uint32_t address, uint16_t length);

// Builds a write command in offsets 0 to 8 + n; the rest of the frame keeps
// what it held. False (frame untouched) when n exceeds kMemoryChunkBytes or
// there is no data for a nonzero length.
bool EncodeWriteMemoryCommand(ReportFrame& frame, uint32_t address, const uint8_t* data,
                              uint16_t length);

}  // namespace padflash
