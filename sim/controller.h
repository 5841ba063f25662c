// A simulated touch controller with its resident bootloader: firmware mode
// and bootloader mode, 64 KiB of flash at 0x08000000, the RAM mirror of the
// configuration structure at 0xC2C0, the access offset at 0xFFFFFFFC, the
// status header and every bootloader command, with scripted faults.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/fwgen/firmware_generator.h"

namespace sim {

struct ControllerConfig {
  bool i2c = false;
  uint16_t vendorId = 0x0488;
  uint16_t productId = 0x0101;
  uint8_t chipId = 0x12;
  uint8_t revision = 0x05;
  uint8_t reportId = 7;
  uint8_t bootloaderVersion = 5;
  uint32_t compTableSize = 480;
  uint8_t feedConfig1 = 0x5A;
  std::string serial;  // empty: the bus gives one
  // The serial string its bootloader shows: unset, the firmware's; empty,
  // none (the library reports "None"); else that one.
  std::optional<std::string> bootloaderSerial;
  std::wstring product = L"Velmar Touchpad";
  bool inBootloader = false;      // attach already in the bootloader (invalid image)
  uint32_t restartDelayMs = 500;  // absent for this long after invoke or reset
  // Where an I2C controller answers (in its structure); 0 for USB controllers.
  uint8_t i2cAddress = 0x2C;
  uint16_t hidDescriptorAddress = 0x0020;
};

// Scripted faults. Counters are "from now": 1 = the next one.
struct FaultRules {
  int failSetAt = 0;           // the Nth SET_FEATURE fails
  int failGetAt = 0;           // the Nth GET_FEATURE fails
  int corruptReadReplyAt = 0;  // the Nth memory-read reply has a wrong checksum
  bool corruptEveryReadReply = false;
  int bootloaderErrorAfterChunk = 0;   // after write-data chunk K the last error becomes...
  uint8_t bootloaderErrorCode = 0x06;  // ...this code
  bool noReturnAfterInvoke = false;
  bool noReturnAfterReset = false;
  int powerLossAtChunk = 0;      // at write-data chunk K: back as bootloader, image invalid,
                                 // factory page erased
  uint32_t returnDelayMs = 0;    // when nonzero, replaces restartDelayMs (slow return)
  int bootloaderErrorAtSet = 0;  // the Nth SET_FEATURE is refused: not carried out, the last
                                 // error becomes bootloaderErrorCode
  int powerLossAtReport = 0;     // at the Nth report (SET or GET) power fails: that report is
                                 // lost, RAM too; back after the restart delay as the firmware
                                 // when the image is valid, else as the bootloader
  int hostDeathAtReport = 0;     // at the Nth report (SET or GET) the host process ends: the
                                 // controller takes that report (or loses it, with a power
                                 // loss at the same report) and the host never sees its answer
};

}  // namespace sim
