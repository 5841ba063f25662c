// The controller at the host's side: the feature reports it takes and
// hands out, the status header, the commands it carries out, and the
// memory reads and writes the firmware and the bootloader both answer.
#include "sim/controller_model.h"

#include <algorithm>
#include <cstring>

#include "sim/controller_internals.h"
#include "update/fletcher.h"

namespace sim {

using namespace model;

// ---- host side -------------------------------------------------------------

// A report the controller can take now: present, the whole report, its
// report ID. Then the host's death (noted for the bus, which ends the host
// after the report), the scripted power failure and transfer faults, in
// that order.
bool Controller::TakesReport(const uint8_t* report, size_t length, int& failAt) {
  ControllerState& s = state_;
  if (s.restart.active || report == nullptr || length != kWholeReport ||
      report[0] != s.config.reportId) {
    return false;
  }
  if (CountDown(s.faults.hostDeathAtReport)) hostDeathDue_ = true;
  if (CountDown(s.faults.powerLossAtReport)) {
    PowerFailure();
    return false;
  }
  return !CountDown(failAt);
}

bool Controller::SetFeature(const uint8_t* report, size_t length) {
  Poll();
  ControllerState& s = state_;
  if (!TakesReport(report, length, s.faults.failSetAt)) {
    ++s.counters.failedSets;
    return false;
  }
  ++s.counters.sets;
  s.pendingReply.clear();  // a new command ends the wait for a read reply
  if (CountDown(s.faults.bootloaderErrorAtSet)) {
    s.lastError = s.faults.bootloaderErrorCode;  // refused, not carried out
    return true;
  }
  Execute(report + 1);
  return true;
}

bool Controller::GetFeature(uint8_t* report, size_t length) {
  Poll();
  ControllerState& s = state_;
  if (!TakesReport(report, length, s.faults.failGetAt)) {
    ++s.counters.failedGets;
    return false;
  }
  ++s.counters.gets;
  if (!s.pendingReply.empty()) {
    std::memcpy(report, s.pendingReply.data(), kWholeReport);
    s.pendingReply.clear();
    return true;
  }
  std::memset(report + 1, 0, kReportSize);
  WriteStatusHeader(report + 1);
  return true;
}

void Controller::WriteStatusHeader(uint8_t* buffer) const {
  const bool boot = state_.mode == Mode::kBootloader;
  buffer[0] = boot ? 0x5A : 0xC3;
  buffer[1] = boot ? 0xC3 : 0x5A;
  buffer[2] = state_.config.bootloaderVersion;
  buffer[3] = state_.lastError;
  buffer[4] = statusFlags();
}

uint8_t Controller::statusFlags() const {
  const uint8_t others = state_.flags & static_cast<uint8_t>(~padflash::kFlagImageValid);
  return static_cast<uint8_t>(others | (state_.imageValid ? padflash::kFlagImageValid : 0));
}

void Controller::Execute(const uint8_t* command) {
  ControllerState& s = state_;
  const bool boot = s.mode == Mode::kBootloader;
  switch (command[0]) {
    case padflash::kCmdReadMemory:
      ReadMemory(command);
      return;
    case padflash::kCmdWriteMemory:
      WriteMemory(command);
      return;
    case padflash::kCmdInvoke:
      s.lastError = padflash::NV_err_none;
      // The bootloader is already running: nothing to restart.
      if (!boot) StartRestart(Mode::kBootloader, s.faults.noReturnAfterInvoke);
      return;
    default:
      break;
  }
  if (!boot) {
    s.lastError = padflash::NV_err_cmd_unknown;  // the firmware knows only the above
    return;
  }
  switch (command[0]) {
    case padflash::kCmdFormatImage:
      FormatImage(command);
      return;
    case padflash::kCmdFormatRegion:
      FormatRegion(command);
      return;
    case padflash::kCmdWriteData:
      WriteData(command);
      return;
    case padflash::kCmdFlush:
      s.lastError = padflash::NV_err_none;
      return;
    case padflash::kCmdValidate:
      Validate();
      return;
    case padflash::kCmdReset:
      s.lastError = padflash::NV_err_none;
      StartRestart(s.imageValid ? Mode::kFirmware : Mode::kBootloader, s.faults.noReturnAfterReset);
      return;
    default:
      s.lastError = padflash::NV_err_cmd_unknown;
      return;
  }
}

// ---- memory read and write -------------------------------------------------

// Request: 8, address (4), length (2). Reply (for the next GET_FEATURE):
// status header, address and length echoed at 5..10, the data at 11, and
// the Fletcher-16 of offsets 5 to 10 + n, little-endian.
void Controller::ReadMemory(const uint8_t* command) {
  ControllerState& s = state_;
  const uint32_t address = U32(command + 1);
  const uint16_t count = U16(command + 5);
  const Location at = Resolve(s, address, count);
  if (count > kMaxReadBytes || at.target == Target::kNone) {
    s.lastError = padflash::NV_err_offset_out_of_range;
    return;
  }
  s.lastError = padflash::NV_err_none;
  std::vector<uint8_t> reply(kWholeReport, 0);
  reply[0] = s.config.reportId;
  uint8_t* buffer = reply.data() + 1;
  WriteStatusHeader(buffer);
  std::memcpy(buffer + 5, command + 1, 6);
  uint8_t* data = buffer + 11;
  switch (at.target) {
    case Target::kRam:
      std::memcpy(data, s.ram.data() + at.index, count);
      break;
    case Target::kFlash:
      std::memcpy(data, s.flash.data() + at.index, count);
      break;
    case Target::kAccessOffset: {
      uint8_t offset[4];
      PutU32(offset, s.accessOffset);
      std::memcpy(data, offset + at.index, count);
      break;
    }
    case Target::kNone:
      break;
  }
  uint16_t checksum = padflash::Fletcher16(buffer + 5, 6u + count);
  ++s.counters.memoryReadReplies;
  const bool corruptThis = CountDown(s.faults.corruptReadReplyAt);
  if (s.faults.corruptEveryReadReply || corruptThis) {
    checksum = static_cast<uint16_t>(checksum ^ 0x0101);
  }
  PutU16(data + count, checksum);
  s.pendingReply = std::move(reply);
}

// Command: 7, address (4), length n (2), data, Fletcher-16 of offsets 0 to
// 6 + n. Only the RAM mirror is writable this way.
void Controller::WriteMemory(const uint8_t* command) {
  ControllerState& s = state_;
  const uint32_t address = U32(command + 1);
  const uint16_t count = U16(command + 5);
  if (count > kMaxWriteMemoryBytes) {
    s.lastError = padflash::NV_err_offset_out_of_range;
    return;
  }
  if (padflash::Fletcher16(command, 7u + count) != U16(command + 7 + count)) {
    s.lastError = padflash::NV_err_chksum_mismatch;
    return;
  }
  const Location at = Resolve(s, address, count);
  if (at.target == Target::kNone) {
    s.lastError = padflash::NV_err_offset_out_of_range;
  } else if (at.target != Target::kRam) {
    s.lastError = padflash::NV_err_access_violation;
  } else {
    std::memcpy(s.ram.data() + at.index, command + 7, count);
    s.lastError = padflash::NV_err_none;
  }
}

}  // namespace sim
