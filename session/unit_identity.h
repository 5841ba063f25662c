// Telling one controller from another of its model. Several units of one
// model may be attached at once (one running, another left in its
// bootloader); they share their IDs, and each restart (into the bootloader,
// back into the firmware) gives a unit another interface path. What stays:
// the serial string a unit shows (when it shows one: many show none, and a
// bootloader may show none, or another one than its firmware) and, where
// the platform can tell, its location (the port or bus address it sits on).
//
// These are pure functions over what the enumeration listed; the connects
// that use them are in unit_connection.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace padflash {

// What tells a unit apart across its restarts.
struct UnitIdentity {
  // The serial string of its firmware; empty when it shows none or it has
  // not been seen running.
  std::string serial;
  // The serial string of its bootloader, once seen (empty: shows none).
  bool bootloaderSerialKnown = false;
  std::string bootloaderSerial;
  // The platform's location of the physical device; empty when unknown.
  std::string location;
};

// One controller as the enumeration lists it: the interface that stands for
// it (the first top-level collection, or the bootloader's only one).
struct AttachedDevice {
  std::wstring path;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t versionNumber = 0;
  std::string serial;  // UTF-8; empty or "None" when it shows none
  std::string location;
};

// A serial string that names a unit: not empty and not the "None" the
// library reports for a device without one.
bool IsRealSerial(const std::string& serial);

// The interface that stands for a controller: the path names the first
// top-level collection ("&col01") or no collection at all.
bool StandsForController(const std::wstring& path);

// Where a unit was last seen, and what is known of it, for finding it again.
struct UnitTrail {
  UnitIdentity id;
  std::wstring path;  // empty: not yet seen through an enumeration
  uint16_t vendorId = 0;
  uint16_t productId = 0;
};

enum class Identification { kFound, kNotPresent, kAmbiguous };

// Finds the unit among the controllers listed under one pair of IDs
// (`bootloaderIds`: the bootloader's 0x0488/0xD0C0), in this order: by the
// serial it shows in that mode, by its location, at the path and IDs where
// it was last seen, and last as the only one listed that is none of the
// `others` (the other controllers attached when it was selected). Sets
// `index` when found.
Identification IdentifyUnit(const std::vector<AttachedDevice>& listed, const UnitTrail& unit,
                            const std::vector<AttachedDevice>& others, bool bootloaderIds,
                            size_t& index);

// True when the unit can be found again among `others` once it answers
// under IDs they share: by a serial it is known to show in that mode and
// none of them shows, or by a location none of them has.
bool CanBeToldApart(const UnitIdentity& unit, bool bootloaderIds,
                    const std::vector<AttachedDevice>& others);

// Wide device strings as UTF-8 (what is not a character becomes U+FFFD).
std::string Utf8FromWide(const std::wstring& text);

}  // namespace padflash
