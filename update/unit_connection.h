// Staying on the controller the user selected. Every connect of the
// preparation and the update session (discovery, the reconnect after the
// invoke, the reconnect to the new firmware, the ending's reconnect to the
// bootloader) goes through ConnectToSelectedUnit, which lists the
// controllers under the IDs asked for and opens the selected one by its
// path, found by serial, location or last path (unit_identity.h); never
// merely the first device with matching IDs.
#pragma once

#include <cstdint>
#include <vector>

#include "VLMHID.h"
#include "session/unit_identity.h"

namespace padflash {

struct Session;
struct DeviceListEntry;

// The controllers attached now under the filters: one record per
// controller (its first collection, or the bootloader's one), with its
// location as the platform tells it.
std::vector<AttachedDevice> ListControllers(Session& session, VirtualVLMHIDInterface& enumerator,
                                            const std::vector<DeviceFilter>& filters);

// Makes the list entry the session's unit: where it is, the serial it shows
// and its location; what earlier runs recorded of it (the records in the
// per-user state folder); and the other controllers attached now, found
// with a throw-away connection object.
void SelectUnit(Session& session, const DeviceListEntry& entry);

// The other controllers as they are attached now (the session's start),
// listed with the session's connection object; the unit is the one it is
// connected to.
void RefreshOtherControllers(Session& session);

// Connects the session's connection object, in feature mode, to the
// selected unit answering under these IDs. 0 connected, -1 not (absent, or
// several controllers that could be it: session.unit.ambiguous). Without a
// selected unit: ConnectToDevice, the first device with the IDs.
int ConnectToSelectedUnit(Session& session, uint16_t vendorId, uint16_t productId,
                          uint8_t reportId);

// Prints why the last connect failed when several controllers could have
// been the unit; nothing otherwise.
void ReportAmbiguousUnit(Session& session);

// Before anything is written: false (printed, shown as status and in a
// message box; UpdateResult 17) when another controller is attached that
// answers under IDs the unit takes during the update (its bootloader's, the
// new firmware's) and nothing known tells the two apart after the restart.
bool CheckUnitsApart(Session& session);

}  // namespace padflash
