// The simulated controller: its running firmware and its resident
// bootloader, answering the host's feature reports as the real part does.
//
// Every report is the whole report with the report ID in byte 0; a command
// is the 531-byte buffer after it. A GET_FEATURE hands out the reply of a
// preceding memory read once, otherwise the 5-byte status header (sentinel
// bytes 0xC3 0x5A from the firmware, 0x5A 0xC3 from the bootloader, version,
// last error, flags) followed by zeros.
//
// Time is the clock it is given: a restart makes the controller absent until
// the clock has passed its end; the transition happens on the next access
// (or Poll) after that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "sim/controller_state.h"

namespace sim {

class Controller {
 public:
  // A new controller as it leaves the factory: bootloader code below the
  // image start, a valid firmware image of its chip and revision, and a
  // factory page with its comp table (pseudo-random, seeded from the serial)
  // and its configuration structure. With config.inBootloader it sits in
  // its bootloader with the image area erased (factory page kept).
  static ControllerState Manufacture(const ControllerConfig& config);

  Controller(ControllerState state, padflash::Clock& clock);

  // The host side. False when the transfer fails: absent, a report that is
  // not 532 bytes or carries another report ID, or a scripted fault.
  bool SetFeature(const uint8_t* report, size_t length);
  bool GetFeature(uint8_t* report, size_t length);

  // Completes a restart whose time has come; true when one completed.
  bool Poll();
  // Power off and on now: the firmware starts when the image is valid,
  // else the bootloader. Also ends a restart that would never end.
  void PowerCycle();

  // Inspection. The non-const ones first complete a due restart.
  const std::string& serial() const { return state_.config.serial; }
  const ControllerConfig& config() const { return state_.config; }
  bool present();
  bool inBootloader();
  Mode mode();
  // As enumerated now: the firmware's IDs from its structure and version
  // chip << 8 | revision, or 0x0488/0xD0C0 and the bootloader version.
  uint16_t vendorId();
  uint16_t productId();
  uint16_t versionNumber();
  uint8_t runningChipId() const { return state_.runningChipId; }
  uint8_t runningRevision() const { return state_.runningRevision; }
  uint32_t accessOffset() const { return state_.accessOffset; }
  uint8_t lastError() const { return state_.lastError; }
  bool imageValid() const { return state_.imageValid; }
  uint8_t statusFlags() const;
  uint8_t feedConfig1() const { return state_.ram[4]; }
  uint32_t imageStart() const;
  // Bytes by flash address (0x08000000 ...) or RAM address (0xC2C0 ...);
  // the part of the range outside the memory is left out.
  std::vector<uint8_t> ReadFlash(uint32_t flashAddress, size_t count) const;
  std::vector<uint8_t> ReadRam(uint32_t address, size_t count) const;
  const std::vector<FormattedRegion>& regions() const { return state_.regions; }
  FaultRules& faults() { return state_.faults; }
  uint32_t generation() const { return state_.generation; }

  ControllerState& state() { return state_; }
  const ControllerState& state() const { return state_; }
  padflash::Clock& clock() { return clock_; }

  // True once after the report at which the host-death rule fired.
  bool TakeHostDeath() { return std::exchange(hostDeathDue_, false); }

 private:
  bool TakesReport(const uint8_t* report, size_t length, int& failAt);
  void Execute(const uint8_t* command);
  void ReadMemory(const uint8_t* command);
  void WriteMemory(const uint8_t* command);
  void FormatImage(const uint8_t* command);
  void FormatRegion(const uint8_t* command);
  void WriteData(const uint8_t* command);
  void Validate();
  void StartRestart(Mode mode, bool forever);
  void PowerLoss();
  void PowerFailure();
  void WriteStatusHeader(uint8_t* buffer) const;

  ControllerState state_;
  padflash::Clock& clock_;
  bool hostDeathDue_ = false;  // not saved: the host it names is gone
};

}  // namespace sim
