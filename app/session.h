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

#include "VLMHID.h"
#include "app/device_list.h"
#include "app/output.h"
#include "app/run_config.h"
#include "firmware/config_instruction.h"
#include "firmware/device_identity.h"
#include "firmware/hex_file.h"
#include "platform/system_port.h"
#include "platform/window_port.h"

namespace padflash {

// Creates a connection object: the VLMHID library's CreateVLMHIDInterface in
// the programs, an interface on an in-process simulated bus in tests.
using InterfaceFactory = std::function<VirtualVLMHIDInterface*()>;

inline constexpr size_t kFactoryPageSize = 1024;
inline constexpr size_t kCommandBufferSize = 531;
inline constexpr size_t kMaxPathChars = 260;

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

  // Factory configuration preservation.
  std::string personalityFileName;
  std::array<uint8_t, kFactoryPageSize> factoryBlock{};
  int factoryEnd = static_cast<int>(kFactoryPageSize);
  uint8_t savedFeedConfig1 = 0;
  std::deque<ConfigInstruction> defaultConfigInstructions;

  // The shared command buffer of the image commands; not cleared between
  // commands.
  std::array<uint8_t, kCommandBufferSize> commandBuffer{};

  // "FennickFWTool_Thread", held for the length of an update session.
  std::unique_ptr<NamedMutex> sessionMutex;
};

}  // namespace padflash
