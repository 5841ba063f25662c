#include "update/memory_commands.h"

#include <cstring>

#include "update/fletcher.h"

namespace padflash {

void EncodeReadMemoryRequest(ReportFrame& frame, uint32_t address, uint16_t length) {
  frame[0] = kCmdReadMemory;
  PutLe32(&frame[1], address);
  PutLe16(&frame[5], length);
}

ReadReplyCheck CheckReadMemoryReply(const ReportFrame& reply, uint32_t address, uint16_t length) {
  ReadReplyCheck check;
  check.echoedAddress = GetLe32(&reply[5]);
  check.echoedLength = GetLe16(&reply[9]);
  if (check.echoedAddress != address) {
    check.result = ReadReplyResult::kAddressMismatch;
    return check;
  }
  if (check.echoedLength != length || length > kMemoryChunkBytes) {
    check.result = ReadReplyResult::kLengthMismatch;
    return check;
  }
  // The checksum covers the echoed address, the echoed length and the data.
  check.computedChecksum = Fletcher16(&reply[5], 6u + length);
  check.receivedChecksum = GetLe16(&reply[kReadReplyDataOffset + length]);
  if (check.computedChecksum != check.receivedChecksum)
    check.result = ReadReplyResult::kChecksumMismatch;
  return check;
}

bool EncodeWriteMemoryCommand(ReportFrame& frame, uint32_t address, const uint8_t* data,
                              uint16_t length) {
  if (length > kMemoryChunkBytes || (length > 0 && data == nullptr)) return false;
  frame[0] = kCmdWriteMemory;
  PutLe32(&frame[1], address);
  PutLe16(&frame[5], length);
  if (length > 0) std::memcpy(&frame[kWriteDataOffset], data, length);
  PutLe16(&frame[kWriteDataOffset + length], Fletcher16(frame.data(), kWriteDataOffset + length));
  return true;
}

}  // namespace padflash
