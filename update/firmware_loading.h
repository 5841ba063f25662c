// Loading a firmware package: the firmware path is a search pattern; the
// first usable package library among its matches fills the firmware identity.
#pragma once

namespace padflash {

struct Session;
struct DeviceIdentity;

// 0 when a package library was loaded into `firmware`, -1 otherwise.
int LoadFirmwarePackage(Session& session, DeviceIdentity& firmware);

}  // namespace padflash
