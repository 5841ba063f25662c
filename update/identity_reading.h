// Filling the identity records: the new firmware's from the identity block
// of its image, the attached device's from its memory.
#pragma once

namespace padflash {

struct Session;
struct DeviceIdentity;

// Operation A: fills the firmware identity from its image. 0 / -1.
int ExtractImageIdentity(Session& session, DeviceIdentity& firmware);
// Operation B: fills the device identity from device memory. 0 / -1.
int ReadDeviceIdentity(Session& session, DeviceIdentity& device);

}  // namespace padflash
