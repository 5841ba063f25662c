#include "update/personality_file.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "session/session.h"
#include "update/bootloader_protocol.h"
#include "update/factory_block.h"

namespace padflash {
namespace {

// Reads the personality file into a zeroed page-sized buffer. False when the
// read failed; the bytes read so far stay in `block`.
bool ReadPage(Session& session, std::vector<uint8_t>& block, size_t& bytesRead) {
  std::vector<uint8_t> bytes;
  const bool ok =
      session.system.ReadFileBytes(session.personalityFileName, kFactoryPageSize, bytes);
  block.assign(kFactoryPageSize, 0);
  bytesRead = std::min(bytes.size(), kFactoryPageSize);
  std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytesRead), block.begin());
  return ok;
}

// True when every nonzero identity value equals the one the block carries
// for a comp table of T bytes. The block must be valid for T.
bool MatchesIdentity(const std::vector<uint8_t>& block, uint32_t t, uint8_t chipId,
                     uint8_t firmwareRevision, uint16_t vendorId, uint16_t productId) {
  const uint8_t* b = block.data();
  const size_t size = block.size();
  if (chipId != 0 && chipId != b[t + kConfigChipId]) return false;
  if (firmwareRevision != 0 && firmwareRevision != b[t + kConfigRevision]) return false;
  if (vendorId != 0 && vendorId != BlockU16(b, size, t + kConfigVendorId)) return false;
  if (productId != 0 && productId != BlockU16(b, size, t + kConfigProductId)) return false;
  return true;
}

}  // namespace

int FindPersonalityFile(Session& session) {
  char pattern[32];
  std::snprintf(pattern, sizeof pattern, "%s*.%s", "sf", "mem");
  int bestDate = 0;
  int bestTime = 0;
  const std::string* best = nullptr;
  const std::vector<FoundFile> found = session.system.FindFiles(pattern);
  for (const FoundFile& file : found) {
    if (file.isDirectory) continue;
    int date = 0;
    int time = 0;
    if (std::sscanf(file.name.c_str(), "sf%d_%d.", &date, &time) != 2) continue;
    if (date > bestDate || (date == bestDate && time > bestTime)) {
      bestDate = date;
      bestTime = time;
      best = &file.name;
    }
  }
  if (best == nullptr) return -1;
  session.personalityFileName = best->substr(0, kMaxPathChars - 1);
  return 0;
}

int LocatePersonalityFile(Session& session) {
  if (!session.personality.made) return FindPersonalityFile(session);
  if (session.personality.path.empty()) return -1;
  session.personalityFileName = session.personality.path;
  return 0;
}

int ReadPersonalityOffsets(Session& session, uint8_t chipId, uint8_t firmwareRevision,
                           uint16_t vendorId, uint16_t productId) {
  if (LocatePersonalityFile(session) != 0) return -1;
  if (!session.system.FileExists(session.personalityFileName)) return -1;
  std::vector<uint8_t> block;
  size_t bytesRead = 0;
  const bool readOk = ReadPage(session, block, bytesRead);
  const uint8_t* b = block.data();

  // The structure carries AccessOffset = 0x1FFF3D54 + T at T + 68, so the
  // file tells its own T. Candidates run from 128 up to where the u32 at
  // i + 68 still lies wholly inside the page.
  session.CompTableSize = 0;
  for (uint32_t i = 128; i + kConfigAccessOffset + 4 <= kFactoryPageSize; ++i) {
    if (b[i + 70] != 0xFF || b[i + 71] != 0x1F) continue;
    session.AccessOffset = BlockU32(b, block.size(), i + kConfigAccessOffset);
    session.CompTableSize = session.AccessOffset - kAccessOffsetBase;
    if (session.CompTableSize == i) {
      Print(session, "AddressAccessOffset and CompTableSize retrieved from TempFile 0x%X - %d\r\n",
            session.AccessOffset, session.CompTableSize);
      break;
    }
    session.CompTableSize = 0;
  }

  const uint32_t t = session.CompTableSize;
  const bool match = readOk && IsFactoryBlockValid(b, block.size(), t) &&
                     MatchesIdentity(block, t, chipId, firmwareRevision, vendorId, productId);
  Print(session, "TempFile CompTableSize was %s\r\n", match ? "Found" : "Not Found");
  Print(session, "TempFile AddressAccessOffset adn CompTableSize:  \r\n\t0x%X\r\n\t%d\r\n\r\n",
        session.AccessOffset, session.CompTableSize);
  return match ? 0 : -1;
}

bool CheckPersonalityFile(Session& session, uint8_t chipId, uint8_t firmwareRevision,
                          uint16_t vendorId, uint16_t productId) {
  if (LocatePersonalityFile(session) != 0) return true;
  if (!session.system.FileExists(session.personalityFileName)) return true;
  std::vector<uint8_t> block;
  size_t bytesRead = 0;
  const bool readOk = ReadPage(session, block, bytesRead);
  const uint32_t t = session.CompTableSize;
  const bool compatible = readOk && IsFactoryBlockValid(block.data(), block.size(), t) &&
                          MatchesIdentity(block, t, chipId, firmwareRevision, vendorId, productId);

  Print(session, "TempFile Comparrison with Device is %s\r\n",
        compatible ? "Compatible" : "Not Compatible");
  Print(session, "Device Info %X.%X\r\n\tVID: 0x%X\r\n\tPID: 0x%X\r\n\r\n", chipId,
        firmwareRevision, vendorId, productId);
  Print(session, "TempFile Info %X.%X\r\n\tVID: 0x%X\r\n\tPID: 0x%X\r\n\r\n", 0, 0,
        BlockU16(block.data(), block.size(), uint64_t{t} + kConfigVendorId),
        BlockU16(block.data(), block.size(), uint64_t{t} + kConfigProductId));
  return compatible;
}

int LoadPersonalityFile(Session& session) {
  if (LocatePersonalityFile(session) != 0) return -1;
  if (!session.system.FileExists(session.personalityFileName)) return -1;
  // A short file must not leave an earlier controller's bytes behind it.
  session.factoryBlock.fill(0);
  std::vector<uint8_t> block;
  size_t bytesRead = 0;
  const bool readOk = ReadPage(session, block, bytesRead);
  std::copy(block.begin(), block.end(), session.factoryBlock.begin());
  if (!IsFactoryBlockValid(session.factoryBlock.data(), session.factoryBlock.size(),
                           session.CompTableSize)) {
    return -1;
  }
  return readOk ? static_cast<int>(bytesRead) : -1;
}

int SavePersonalityFile(Session& session) {
  const uint8_t* block = session.factoryBlock.data();
  const uint32_t t = session.CompTableSize;
  if (!FactoryLayoutFits(t) || !IsFactoryBlockValid(block, session.factoryBlock.size(), t)) {
    return -1;
  }
  session.personalityFileName = PersonalityFileNameFor(session.system.NowUtc());
  // An end marker met inside the structure (a vendor ID of 0xF1AC, say) does
  // not cut off what the load checks and the restore copies.
  size_t length = static_cast<size_t>(std::max(session.factoryEnd, 0));
  length = std::max<size_t>(length, size_t{t} + kConfigRestoredBytes);
  length = std::min(length, session.factoryBlock.size());
  return session.system.CreateNewFile(session.personalityFileName, block, length) ? 0 : -1;
}

}  // namespace padflash
