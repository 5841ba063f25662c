#include "update/factory_verification.h"

#include <algorithm>
#include <vector>

#include "session/output.h"
#include "session/session.h"
#include "update/bootloader_protocol.h"
#include "update/factory_block.h"
#include "update/memory_transfer.h"
#include "update/report_frame.h"

namespace padflash {
namespace {

constexpr int kResultPageDiffers = 5;
constexpr int kResultCannotReadMemory = 6;

bool Refuse(Session& session, int result, const char* line) {
  PrintStatus(session, line, session.personalityFileName.c_str());
  session.UpdateResult = result;
  return false;
}

}  // namespace

bool VerifyRestoredPage(Session& session) {
  const uint32_t length =
      std::min<uint32_t>(session.restoredPageLength, static_cast<uint32_t>(kFactoryPageSize));
  if (length == 0 || !session.image) return true;
  Print(session, "Verifying the restored factory settings...\r\n");
  const char* unreadable =
      "ERROR - Cannot read back the factory settings; keeping temp config file: %s\r\n";

  // After a recovery from the bootloader the new firmware's access offset
  // has not been read yet.
  uint32_t accessOffset = session.AccessOffset;
  if (session.bootloaderMode) {
    uint8_t bytes[4] = {};
    if (BL_ReadMemory(session, kAccessOffsetAddress, 4, bytes) != 0) {
      return Refuse(session, kResultCannotReadMemory, unreadable);
    }
    accessOffset = GetLe32(bytes);
  }
  std::vector<uint8_t> restored(length);
  std::vector<uint8_t> readBack(length);
  if (session.image->ReadBytes(kFactoryPageAddress, restored.data(), static_cast<int>(length)) !=
          0 ||
      BL_ReadMemory(session, kFactoryPageAddress - accessOffset, static_cast<uint16_t>(length),
                    readBack.data()) != 0) {
    return Refuse(session, kResultCannotReadMemory, unreadable);
  }
  if (readBack != restored) {
    return Refuse(session, kResultPageDiffers,
                  "ERROR - The factory settings read back from the controller differ from those "
                  "restored; keeping temp config file: %s\r\n");
  }
  Print(session, "Done\r\n");
  return true;
}

}  // namespace padflash
