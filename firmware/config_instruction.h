// Configuration-restore instructions: which saved factory bytes go where in
// the new image. A firmware package library supplies them as text lines;
// otherwise the two default instructions apply.
#pragma once

#include <cstdint>
#include <deque>
#include <string_view>

namespace padflash {

struct ConfigInstruction {
  uint32_t target = 0;         // image address, or RAM address for other copy lengths
  uint32_t source = 0;         // source address
  char kind = 0;               // 'c' copy saved bytes, 's' set one byte; others ignored
  uint16_t lengthOrValue = 0;  // copy length; for 's' the low byte is the value

  bool operator==(const ConfigInstruction&) const = default;
};

// {0x0800FC00, 0x0800FC00, 'c', 480} then {0xC308, 0xC308, 'c', 3}.
std::deque<ConfigInstruction> DefaultConfigInstructions();

// One text line: comment from the first '#', fields split at ',', each
// lower-cased; numbers are hex after the first 'x', else decimal; kind is
// the first character of field 3.
ConfigInstruction ParseConfigInstruction(std::string_view line);

}  // namespace padflash
