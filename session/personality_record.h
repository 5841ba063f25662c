// The unit record beside a personality file: which controller the saved
// page came from. The personality file itself stays as it always was (the
// page's bytes, no header), so files of every age load; the record lives in
// a small text file of its own, the personality file's name + ".unit":
//
//   padflash unit record 1
//   serial=SIM0001
//   bootloaderSerial=SIM0001     (absent until the bootloader was seen)
//   location=/devices/.../1-2    (absent when the platform cannot tell)
//   path=/dev/hidraw3&col01
//   ids=0x488 0x101 0x1205
//   saved=2026-12-09 18:42:50 UTC
//   sequence=3
//   compTable=480 0x1A2B3C4D     (its size and Fletcher-32)
//
// Values are UTF-8 with '%', '=' and controls written as %XX. A personality
// file without a record (saved by an older program, or copied without it)
// belongs to a unit that cannot be known.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "session/unit_identity.h"

namespace padflash {

struct PersonalityRecord {
  UnitIdentity unit;
  std::string path;  // the interface it was read through
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t versionNumber = 0;
  std::string saved;      // "2026-12-09 18:42:50 UTC"
  uint32_t sequence = 0;  // raised by one with each file saved in a folder
  uint32_t compTableSize = 0;
  uint32_t compTableSum = 0;  // Fletcher-32 of the comp table
};

// The record file's name for a personality file.
std::string RecordPathFor(const std::string& personalityPath);

std::string EncodeRecord(const PersonalityRecord& record);
// False when the text is not a record (another first line, a malformed
// number); unknown keys are skipped.
bool DecodeRecord(std::string_view text, PersonalityRecord& record);

enum class UnitMatch { kThisUnit, kOtherUnit, kUnknownUnit };

// Whether a record (null: none) was saved from `unit`, which is running its
// firmware or answering as its bootloader now. Serials decide where both
// sides are known; a location, where both have one, must be the same.
UnitMatch MatchRecord(const PersonalityRecord* record, const UnitIdentity& unit,
                      bool unitInBootloader);

// "2015-08-11 10:10:10 UTC" from a personality file name
// ("sf20150811_101010.mem", with or without a folder); empty when the name
// does not carry a date.
std::string DateOfPersonalityFile(const std::string& path);

}  // namespace padflash
