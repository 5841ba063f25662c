// The personality file: a copy on disk of the controller's factory page,
// "sf" + UTC date_time + ".mem" in the current directory, kept until a fully
// successful update deletes it. Which file belongs to which controller, and
// the copies kept elsewhere, are personality_store.h's.
#pragma once

#include <cstdint>

namespace padflash {

struct Session;

// 0 when found (session.personalityFileName set), -1 otherwise.
int FindPersonalityFile(Session& session);
// The file the operations below read: the one the preparation chose for
// the selected unit (personality_store.h) when it made a choice, else the
// newest in the working folder. 0 with personalityFileName set, -1 when
// there is none.
int LocatePersonalityFile(Session& session);
// Sets CompTableSize and AccessOffset from the file. 0 when it matches.
int ReadPersonalityOffsets(Session& session, uint8_t chipId, uint8_t firmwareRevision,
                           uint16_t vendorId, uint16_t productId);
// True when the file fits the identity, or when there is no file to check.
bool CheckPersonalityFile(Session& session, uint8_t chipId, uint8_t firmwareRevision,
                          uint16_t vendorId, uint16_t productId);
// Bytes read into the factory block, or -1.
int LoadPersonalityFile(Session& session);
// 0 / -1; sets personalityFileName.
int SavePersonalityFile(Session& session);

}  // namespace padflash
