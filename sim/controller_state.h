// Everything a simulated controller is at one moment, as plain data: what
// is in its flash and RAM, which mode it runs in, what its bootloader has
// recorded about the image being programmed, the reply it is holding for the
// host, and the scripted faults with their counters. sim::Controller works
// on one of these and keeps nothing else, so saving and restoring this
// struct (the simulated library keeps it in a JSON state file) saves and
// restores the controller completely. The clock and the trace belong to the
// bus.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/controller.h"

namespace sim {

// Flash: 64 KiB at 0x08000000; the factory page is its last KiB.
inline constexpr uint32_t kFlashSize = 0x10000;
inline constexpr uint32_t kFactoryPageSize = 1024;
// The RAM mirror of the configuration structure at 0xC2C0 (device
// addresses 0xC2C0 to 0xC4BF).
inline constexpr uint32_t kRamMirrorSize = 0x200;
// Image starts: the bootloader area lies below them.
inline constexpr uint32_t kImageStartI2c = 0x08001900;
inline constexpr uint32_t kImageStartUsb = 0x08002900;
// The IDs and collection layout of the bootloader on the bus.
inline constexpr uint16_t kBootloaderVendorId = 0x0488;
inline constexpr uint16_t kBootloaderProductId = 0xD0C0;

enum class Mode : uint8_t { kFirmware = 0, kBootloader = 1 };

// One region the bootloader was told about with format region (5).
struct FormattedRegion {
  uint8_t index = 0;
  uint32_t address = 0;       // flash address
  uint32_t length = 0;        // bytes
  uint32_t fletcher32 = 0;    // as sent by the host
  uint32_t bytesWritten = 0;  // data bytes accepted by write data (0) inside it
};

// What format image (4) carried.
struct FormatImageRecord {
  bool formatted = false;  // a format image was accepted since the last restart
  uint8_t regionCount = 0;
  uint8_t imageWord[4] = {0, 0, 0, 0};
  uint16_t hidDescriptorAddress = 0;
  uint8_t i2cAddress = 0;
  uint8_t reportId = 0;
};

// A restart in progress: the controller is absent from the bus until the
// clock reaches untilMs (never, when `forever`), then comes back in `mode`.
struct PendingRestart {
  bool active = false;
  bool forever = false;
  uint64_t untilMs = 0;
  Mode mode = Mode::kBootloader;
};

// Totals since attach; FaultRules count down separately (a rule's own
// field is its "from now" counter and drops to 0 when it has fired).
struct ControllerCounters {
  uint64_t sets = 0;        // SET_FEATURE reports that reached the controller
  uint64_t gets = 0;        // GET_FEATURE reports
  uint64_t failedSets = 0;  // refused by the controller or a fault
  uint64_t failedGets = 0;
  uint64_t memoryReadReplies = 0;  // memory-read replies handed out
  uint64_t writeChunks = 0;        // write-data commands accepted
  uint64_t restarts = 0;           // completed restarts (invoke, reset, power loss, power cycle)
};

struct ControllerState {
  ControllerConfig config;  // serial filled in by the bus

  Mode mode = Mode::kFirmware;
  PendingRestart restart;
  // Raised by every restart; handles opened before it no longer work.
  uint32_t generation = 1;

  std::vector<uint8_t> flash;  // kFlashSize bytes, flash address 0x08000000 at index 0
  std::vector<uint8_t> ram;    // kRamMirrorSize bytes, device address 0xC2C0 at index 0

  // The value at device address 0xFFFFFFFC: 0x1FFF3D54 + compTableSize.
  uint32_t accessOffset = 0;

  uint8_t lastError = 0;  // NV_err code of the last command
  // Status flag bits other than "image valid" (bit 4), which comes from
  // imageValid.
  uint8_t flags = 0;
  bool imageValid = false;

  // What the running firmware found in its structure at its last start;
  // the firmware enumerates under these.
  uint8_t runningChipId = 0;
  uint8_t runningRevision = 0;
  uint16_t runningVendorId = 0;
  uint16_t runningProductId = 0;
  bool structureFromFactoryPage = false;  // else from the image's default block

  FormatImageRecord formatImage;
  std::vector<FormattedRegion> regions;

  // The reply of the last memory read (whole report, report ID first),
  // handed out by the next GET_FEATURE and then dropped. Empty: none.
  std::vector<uint8_t> pendingReply;

  FaultRules faults;
  ControllerCounters counters;
};

}  // namespace sim
