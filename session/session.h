// The one object that holds a run: the run configuration, the shared message
// buffer, the two ports and the session state that a preparation leaves for
// the update session. The front end owns it and every procedure receives it;
// tests build a fresh one per case.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "VLMHID.h"
#include "firmware/config_instruction.h"
#include "firmware/device_identity.h"
#include "firmware/hex_file.h"
#include "platform/system_port.h"
#include "platform/window_port.h"
#include "session/device_list.h"
#include "session/output.h"
#include "session/personality_record.h"
#include "session/run_config.h"
#include "session/unit_identity.h"

namespace padflash {

// Creates a connection object: the VLMHID library's CreateVLMHIDInterface in
// the programs, an interface on an in-process simulated bus in tests.
using InterfaceFactory = std::function<VirtualVLMHIDInterface*()>;

inline constexpr size_t kFactoryPageSize = 1024;
inline constexpr size_t kCommandBufferSize = 531;
inline constexpr size_t kMaxPathChars = 260;

// The controller the preparation selected, followed through its restarts:
// every connect of the preparation and the session goes to it, never to
// the first device that answers under its IDs.
struct SelectedUnit {
  bool selected = false;  // false: connects take the first device with the IDs
  UnitTrail trail;
  // The other controllers attached when it was selected (refreshed when the
  // session starts): none of them is ever taken for it.
  std::vector<AttachedDevice> others;
  // The last connect found several controllers that could be it.
  bool ambiguous = false;
};

// Where the personality file for the selected unit was looked for, and what
// the preparation or the session chose.
struct PersonalityChoice {
  bool made = false;  // a choice was made since the last preparation began
  std::string path;   // the file chosen; empty: none
  bool inStateFolder = false;
  UnitMatch match = UnitMatch::kUnknownUnit;
  // Known to be the unit's: its record says so, the user said so, or its
  // comp table is the controller's own.
  bool confirmed = false;
  bool hasRecord = false;
  PersonalityRecord record;           // its unit record, when it has one
  std::vector<std::string> searched;  // the folders looked in
  // The file this session saved (and its copy in the state folder), whose
  // records learn what the session finds out about the unit.
  std::string saved;
  std::string savedCopy;
};

struct Session {
  Session(WindowPort& windowPort, SystemPort& systemPort, InterfaceFactory factory)
      : window(windowPort), system(systemPort), createInterface(std::move(factory)) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  WindowPort& window;
  SystemPort& system;
  InterfaceFactory createInterface;

  RunConfig config;
  char MessageBuffer[kMessageBufferSize] = {};

  // Device list.
  DeviceList deviceList;
  int selectedDevice = -1;
  RefusedDevice refusedDevice;  // set by a refresh that refused

  // Identities and the current image.
  DeviceIdentity device;    // D: the attached device
  DeviceIdentity firmware;  // F: the new firmware
  std::unique_ptr<HexFile> image;

  // Connection object made by the last preparation.
  std::unique_ptr<VirtualVLMHIDInterface> connection;

  // Session flags, with their values at program start.
  bool deviceConnected = false;
  bool bootloaderMode = false;
  bool retryAdvised = false;
  bool readConfigFromDevice = true;
  bool preserveFactoryConfig = true;
  bool usePersonalityFile = false;
  bool packageLoaded = false;
  bool updateSucceeded = false;
  bool inBootloader = false;

  int UpdateResult = 0;
  int bootloaderVersion = 0;
  uint32_t AccessOffset = 0;
  uint32_t CompTableSize = 0;

  // The selected controller and its personality file.
  SelectedUnit unit;
  PersonalityChoice personality;

  // Factory configuration preservation.
  std::string personalityFileName;
  std::array<uint8_t, kFactoryPageSize> factoryBlock{};
  int factoryEnd = static_cast<int>(kFactoryPageSize);
  uint8_t savedFeedConfig1 = 0;
  // Bytes of the factory page the restore put into the image (0: none),
  // compared with the page the new firmware reads back.
  uint32_t restoredPageLength = 0;
  std::deque<ConfigInstruction> defaultConfigInstructions;

  // The shared command buffer of the image commands; not cleared between
  // commands.
  std::array<uint8_t, kCommandBufferSize> commandBuffer{};

  // "FennickFWTool_Thread", held for the length of an update session.
  std::unique_ptr<NamedMutex> sessionMutex;
};

}  // namespace padflash
