// The command line of vlmsim, the tool that creates, inspects and breaks
// simulated controllers in a state file. Parsing is pure: words in, a
// Command (or an error text) out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/controller.h"

namespace vlmsim {

enum class Verb {
  kHelp,
  kVersion,
  kAttach,
  kList,
  kShow,
  kRead,
  kDetach,
  kReset,
  kFault,
  kPowerCycle
};

enum class FaultKind {
  kClear,
  kFailSet,           // count: the Nth SET_FEATURE from now fails
  kFailGet,           // count: the Nth GET_FEATURE from now fails
  kCorruptRead,       // count: the Nth memory-read reply has a wrong checksum
  kCorruptEveryRead,  // every memory-read reply has a wrong checksum
  kBootloaderError,   // code after write chunk `count`
  kNoReturnAfterInvoke,
  kNoReturnAfterReset,
  kReturnDelay,           // count: ms the controller stays away after invoke or reset
  kPowerLossAtChunk,      // count: power fails at write chunk K
  kBootloaderErrorAtSet,  // code for the SET_FEATURE `count` from now
  kPowerLossAtReport,     // count: power fails at the Nth report (SET or GET)
  kHostDeathAtReport,     // count: the host process ends after the Nth report
};

struct FaultRequest {
  FaultKind kind = FaultKind::kClear;
  uint32_t count = 0;
  uint8_t code = 0;
};

struct Command {
  Verb verb = Verb::kHelp;
  std::string statePath;  // --state; empty: take VLMHID_SIM_STATE
  sim::ControllerConfig attach;
  std::string serial;
  bool json = false;
  uint32_t address = 0;
  uint32_t length = 0;
  FaultRequest fault;
};

struct ParseResult {
  bool ok = false;
  Command command;
  std::string error;  // one line, no terminator, when !ok
};

// Decimal or 0x-prefixed hexadecimal, no sign, at most `max`.
[[nodiscard]] bool ParseNumber(std::string_view text, uint64_t max, uint64_t& value);

// `args` are the words after the program name.
[[nodiscard]] ParseResult ParseCommandLine(const std::vector<std::string>& args);

// Longest `vlmsim read` length, so a dump stays a dump.
inline constexpr uint32_t kMaxReadLength = 0x10000;

// The text of `vlmsim --help`.
const char* UsageText();

}  // namespace vlmsim
