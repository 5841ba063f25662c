// Whether a firmware may be flashed into a controller.
#pragma once

#include <cstdint>

#include "firmware/device_identity.h"

namespace padflash {

struct Session;

// Identity confirmation: asks when the firmware's vendor or product ID
// differs from the selected entry's. With printAnswers (package path) each
// answer is printed. True to continue, false when the user said No.
bool ConfirmIdentity(Session& session, uint16_t entryVendorId, uint16_t entryProductId,
                     const DeviceIdentity& firmware, bool printAnswers);

// The six rules; true when the update may proceed. Reads `silent` itself and
// may ask the "FW Downgrade" question once.
bool CheckCompatibility(Session& session, DeviceIdentity device, DeviceIdentity firmware,
                        bool overrideCompatibility);

}  // namespace padflash
