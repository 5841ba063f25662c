#include "update/factory_config.h"

#include <algorithm>
#include <vector>

#include "session/session.h"
#include "update/factory_block.h"
#include "update/report_frame.h"

namespace padflash {
namespace {

constexpr int kResultCannotReadFile = 10;
constexpr int kResultCannotWriteHex = 16;
constexpr int kResultCannotModify = 20;

// Entries of these copy lengths stand for the whole comp table and the whole
// structure; they take the session's real sizes when applied.
constexpr uint16_t kCompTableEntryLength = 480;
constexpr uint16_t kStructureEntryLength = 512;

bool Fail(Session& session, int result) {
  session.UpdateResult = result;
  session.retryAdvised = true;
  return false;
}

uint32_t ImageConfig(const Session& session) {
  return ImageConfigAddress(session.firmware.isI2C != 0);
}

// Copy entries of other lengths address the RAM mirror of the structure; the
// bytes they name must lie inside the page on both sides.
bool MirrorCopyFits(uint32_t t, uint32_t ramAddress, uint32_t length) {
  if (ramAddress < kRamConfigAddress) return false;
  const uint64_t offset = uint64_t{t} + (ramAddress - kRamConfigAddress);
  return offset + length <= kFactoryPageSize;
}

bool ApplyInstruction(Session& session, ConfigInstruction& entry, int structureLength) {
  const uint32_t t = session.CompTableSize;
  const uint8_t* block = session.factoryBlock.data();
  HexFile& image = *session.image;
  if (entry.kind == 's') {
    const uint8_t value = static_cast<uint8_t>(entry.lengthOrValue);
    return image.WriteBytes(entry.target, &value, 1) == 0;
  }
  if (entry.kind != 'c') return true;
  if (entry.lengthOrValue == kCompTableEntryLength) {
    entry.lengthOrValue = static_cast<uint16_t>(t);
    return image.WriteBytes(kFactoryPageAddress, block, static_cast<int>(t)) == 0;
  }
  if (entry.lengthOrValue == kStructureEntryLength) {
    entry.lengthOrValue = static_cast<uint16_t>(structureLength - 2);
    return image.WriteBytes(kFactoryPageAddress + t, block + t, structureLength - 2) == 0;
  }
  const uint32_t length = entry.lengthOrValue;
  if (!MirrorCopyFits(t, entry.source, length) || !MirrorCopyFits(t, entry.target, length)) {
    return false;
  }
  return image.WriteBytes(kFactoryPageAddress + t + (entry.target - kRamConfigAddress),
                          block + t + (entry.source - kRamConfigAddress),
                          static_cast<int>(length)) == 0;
}

}  // namespace

bool RestoreFactoryConfig(Session& session) {
  const uint32_t t = session.CompTableSize;
  Print(session, "Restoring Factory config...\r\n");
  const bool usable = session.image && FactoryLayoutFits(t) &&
                      IsFactoryBlockValid(session.factoryBlock.data(), kFactoryPageSize, t);
  const int configBytes =
      static_cast<int>(kFactoryPageSize - std::min<size_t>(t, kFactoryPageSize));
  std::vector<uint8_t> config(static_cast<size_t>(configBytes));
  if (!usable || session.image->ReadBytes(ImageConfig(session), config.data(), configBytes) != 0) {
    Print(session, "ERROR - Cannot read file location\r\n");
    return Fail(session, kResultCannotReadFile);
  }

  // The new firmware's structure ends at its end marker, searched from where
  // the saved structure ended; the search stays inside the buffer.
  int n = configBytes;
  const int from = std::max(session.factoryEnd - static_cast<int>(t), 0);
  const int marker = FindEndMarker(config.data(), config.size(), static_cast<size_t>(from));
  if (marker >= 0) {
    n = marker + 2;
  } else {
    Print(session,
          "it appears we got to the end of the ImageConfig and didn't find any Sentinals: "
          "DEFC\r\n");
  }

  bool written = session.image->WriteBytes(kFactoryPageAddress + t, config.data(), n) == 0;
  if (written && !session.bootloaderMode) {
    uint8_t offset[4];
    PutLe32(offset, session.AccessOffset);
    written =
        session.image->WriteBytes(kFactoryPageAddress + t + kConfigAccessOffset, offset, 4) == 0;
  }
  if (!written) {
    PrintStatus(session, "ERROR - Could not modify File Firmware\r\n");
    return Fail(session, kResultCannotModify);
  }

  if (session.packageLoaded && !session.firmware.firmwareLines.empty()) {
    PrintStatus(session, "   Using Config Instructions from DLL\n");
  } else {
    PrintStatus(session, "Using Factory Instructions\r\n");
    session.firmware.configInstructions = session.defaultConfigInstructions;
    Print(session, "   Done\r\n");
  }

  PrintStatus(session, "Restoring factory settings ... \r\n");
  for (ConfigInstruction& entry : session.firmware.configInstructions) {
    if (!ApplyInstruction(session, entry, n)) {
      Print(session, "ERROR - Could not modify File Firmware\r\n");
      return Fail(session, kResultCannotWriteHex);
    }
  }
  Print(session, "Done\r\n");
  session.restoredPageLength = t + static_cast<uint32_t>(n);
  return true;
}

bool PreserveFactoryConfig(Session& session) {
  session.restoredPageLength = 0;
  // A personality file chosen for a device in its bootloader must be loaded
  // here: the session's own discovery has cleared preserveFactoryConfig
  // again, and the block in memory may hold another controller's page.
  if (session.preserveFactoryConfig || session.usePersonalityFile) {
    if (!SaveFactoryConfig(session)) return false;
  } else {
    ApplySaveSwitch(session);
  }
  if (session.usePersonalityFile) return RestoreFactoryConfig(session);
  return true;
}

}  // namespace padflash
