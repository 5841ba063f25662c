#include "update/unit_connection.h"

#include <memory>
#include <string>

#include "session/output.h"
#include "session/session.h"
#include "update/device_list_refresh.h"
#include "update/personality_store.h"

namespace padflash {
namespace {

constexpr int kResultCannotConnect = 17;
constexpr const char* kApartCaption = "Controllers Cannot Be Told Apart";

bool AreBootloaderIds(uint16_t vendorId, uint16_t productId) {
  return vendorId == kBootloaderVendorId && productId == kBootloaderProductId;
}

// The vendors whose controllers may answer during the update: the device
// list's, and the new firmware's.
std::vector<DeviceFilter> ControllerFilters(const Session& session) {
  std::vector<DeviceFilter> filters = {{0x0488, 0, 0}, {0x044E, 0, 0}};
  const uint16_t vendor = session.firmware.vendorId;
  if (vendor != 0 && vendor != 0x0488 && vendor != 0x044E) filters.push_back({vendor, 0, 0});
  return filters;
}

// The listed controllers other than the unit: not at its path, and not
// showing a serial the unit is known to show (the unit itself, restarted
// into another mode since it was listed).
std::vector<AttachedDevice> OthersThan(const std::vector<AttachedDevice>& listed,
                                       const UnitTrail& unit) {
  std::vector<AttachedDevice> others;
  for (const AttachedDevice& d : listed) {
    const bool sameSerial = IsRealSerial(d.serial) &&
                            (d.serial == unit.id.serial || (unit.id.bootloaderSerialKnown &&
                                                            d.serial == unit.id.bootloaderSerial));
    if (d.path != unit.path && !sameSerial) others.push_back(d);
  }
  return others;
}

// What a connect to the unit found out about it.
void Learn(Session& session, const AttachedDevice& device, bool bootloaderIds) {
  UnitTrail& trail = session.unit.trail;
  trail.path = device.path;
  trail.vendorId = device.vendorId;
  trail.productId = device.productId;
  bool learned = false;
  const std::string serial = IsRealSerial(device.serial) ? device.serial : std::string();
  if (bootloaderIds && !trail.id.bootloaderSerialKnown) {
    trail.id.bootloaderSerialKnown = true;
    trail.id.bootloaderSerial = serial;
    learned = true;
  } else if (!bootloaderIds && trail.id.serial.empty() && !serial.empty()) {
    trail.id.serial = serial;
    learned = true;
  }
  if (trail.id.location.empty() && !device.location.empty()) {
    trail.id.location = device.location;
    learned = true;
  }
  if (learned) UpdateSavedRecords(session);
}

// True when no other interface listed under the IDs holds the path as a
// part of its own: a connect by that path token then opens it and no other.
bool PathIsItsOwn(const std::deque<DeviceListEntry>& interfaces, const std::wstring& path) {
  for (const DeviceListEntry& entry : interfaces) {
    if (entry.devicePath != path && entry.devicePath.find(path) != std::wstring::npos) return false;
  }
  return true;
}

std::vector<AttachedDevice> ControllersOf(Session& session,
                                          const std::deque<DeviceListEntry>& interfaces) {
  std::vector<AttachedDevice> controllers;
  for (const DeviceListEntry& entry : interfaces) {
    if (!StandsForController(entry.devicePath)) continue;
    AttachedDevice d;
    d.path = entry.devicePath;
    d.vendorId = entry.vendorId;
    d.productId = entry.productId;
    d.versionNumber = entry.versionNumber;
    d.serial = Utf8FromWide(entry.serialNumberString);
    d.location = session.system.DeviceLocation(entry.devicePath);
    controllers.push_back(std::move(d));
  }
  return controllers;
}

std::string Describe(const AttachedDevice& d) {
  char ids[32];
  std::snprintf(ids, sizeof ids, "%X - %X", unsigned{d.vendorId}, unsigned{d.productId});
  std::string text = ids;
  if (IsRealSerial(d.serial)) text += " - " + d.serial;
  return text;
}

// The IDs the unit answers under once it has restarted into its bootloader
// and once the new firmware runs (a USB device under the new firmware's
// IDs, an I2C device under its own).
struct Phase {
  uint16_t vendorId;
  uint16_t productId;
  bool bootloader;
};

std::vector<Phase> RestartPhases(const Session& session) {
  std::vector<Phase> phases;
  if (!session.bootloaderMode) phases.push_back({kBootloaderVendorId, kBootloaderProductId, true});
  const DeviceIdentity& after =
      session.bootloaderMode || session.device.isI2C != 0 ? session.device : session.firmware;
  phases.push_back({after.vendorId, after.productId, false});
  return phases;
}

}  // namespace

std::vector<AttachedDevice> ListControllers(Session& session, VirtualVLMHIDInterface& enumerator,
                                            const std::vector<DeviceFilter>& filters) {
  return ControllersOf(
      session, EnumerateDevices(enumerator, filters.data(), static_cast<int>(filters.size())));
}

void SelectUnit(Session& session, const DeviceListEntry& entry) {
  SelectedUnit& unit = session.unit;
  unit = SelectedUnit{};
  // An entry that was not listed by the library (no path) cannot be
  // followed: connects take the first device with its IDs.
  if (entry.devicePath.empty()) return;
  unit.selected = true;
  unit.trail.path = entry.devicePath;
  unit.trail.vendorId = entry.vendorId;
  unit.trail.productId = entry.productId;
  const std::string serial = Utf8FromWide(entry.serialNumberString);
  const std::string shown = IsRealSerial(serial) ? serial : std::string();
  if (AreBootloaderIds(entry.vendorId, entry.productId)) {
    unit.trail.id.bootloaderSerialKnown = true;
    unit.trail.id.bootloaderSerial = shown;
  } else {
    unit.trail.id.serial = shown;
  }
  unit.trail.id.location = session.system.DeviceLocation(entry.devicePath);
  AdoptRecordedIdentity(session);

  std::unique_ptr<VirtualVLMHIDInterface> enumerator(
      session.createInterface ? session.createInterface() : nullptr);
  if (enumerator) {
    unit.others =
        OthersThan(ListControllers(session, *enumerator, ControllerFilters(session)), unit.trail);
  }
}

void RefreshOtherControllers(Session& session) {
  if (!session.unit.selected || !session.connection) return;
  session.unit.others =
      OthersThan(ListControllers(session, *session.connection, ControllerFilters(session)),
                 session.unit.trail);
}

int ConnectToSelectedUnit(Session& session, uint16_t vendorId, uint16_t productId,
                          uint8_t reportId) {
  if (!session.connection) return -1;
  VirtualVLMHIDInterface& connection = *session.connection;
  if (!session.unit.selected) {
    return connection.ConnectToDevice(vendorId, productId, reportId, kVLMHIDModeFeature) == 0 ? 0
                                                                                              : -1;
  }
  const DeviceFilter filter{vendorId, productId, 0};
  const std::deque<DeviceListEntry> interfaces = EnumerateDevices(connection, &filter, 1);
  // A filter's 0 matches every value: only the IDs asked for count.
  std::vector<AttachedDevice> listed;
  for (AttachedDevice& d : ControllersOf(session, interfaces)) {
    if (d.vendorId == vendorId && d.productId == productId) listed.push_back(std::move(d));
  }
  const bool bootloaderIds = AreBootloaderIds(vendorId, productId);
  size_t index = 0;
  const Identification found =
      IdentifyUnit(listed, session.unit.trail, session.unit.others, bootloaderIds, index);
  session.unit.ambiguous = found == Identification::kAmbiguous;
  if (found != Identification::kFound) return -1;
  const AttachedDevice& device = listed[index];
  if (!PathIsItsOwn(interfaces, device.path)) {
    session.unit.ambiguous = true;
    return -1;
  }
  if (connection.ConnectToDeviceEx(vendorId, productId, reportId, kVLMHIDModeFeature,
                                   device.path.c_str(), 0, nullptr, 0) != 0) {
    return -1;
  }
  Learn(session, device, bootloaderIds);
  return 0;
}

void ReportAmbiguousUnit(Session& session) {
  if (!session.unit.ambiguous) return;
  PrintStatus(session,
              "ERROR - Several attached controllers could be the one selected; leave only the "
              "controller to update connected\r\n");
}

bool CheckUnitsApart(Session& session) {
  if (!session.unit.selected) return true;
  std::string named;
  for (const Phase& phase : RestartPhases(session)) {
    std::vector<AttachedDevice> sharing;
    for (const AttachedDevice& other : session.unit.others) {
      if (other.vendorId == phase.vendorId && other.productId == phase.productId) {
        sharing.push_back(other);
      }
    }
    if (CanBeToldApart(session.unit.trail.id, phase.bootloader, sharing)) continue;
    for (const AttachedDevice& other : sharing) {
      if (named.find(Describe(other)) == std::string::npos) named += "\r\n " + Describe(other);
    }
  }
  if (named.empty()) return true;
  Print(session,
        "ERROR - Another controller answers under the IDs this one takes during the "
        "update:%s\r\n",
        named.c_str());
  PrintStatus(session,
              "ERROR - The controllers cannot be told apart; leave only the controller to update "
              "connected\r\n");
  FormatText(session,
             "Another controller is attached that answers as this one will during the "
             "update:\r\n%s\r\n\r\nAfter the restart the two could not be told apart. Leave only "
             "the controller to update connected and refresh the device list.",
             named.c_str());
  session.window.ShowMessageBox(session.MessageBuffer, kApartCaption, MessageButtons::kOk, true);
  session.UpdateResult = kResultCannotConnect;
  session.retryAdvised = false;
  session.updateSucceeded = false;
  return false;
}

}  // namespace padflash
