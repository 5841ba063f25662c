// Configuration-restore instructions: the text form a firmware package
// library supplies, and the two defaults used otherwise.
#include "firmware/config_instruction.h"

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

namespace padflash {

namespace {

int DigitValue(char c, int base) {
  int value;
  if (c >= '0' && c <= '9') {
    value = c - '0';
  } else if (c >= 'a' && c <= 'f') {
    value = c - 'a' + 10;
  } else {
    return -1;
  }
  return value < base ? value : -1;
}

// Reads an unsigned number of the given base: leading white space is
// skipped, reading stops at the first character that is not a digit, no
// digits give 0. Values beyond 32 bits stay at 0xFFFFFFFF, as an unsigned
// long conversion of a 32-bit platform would leave them.
uint32_t ReadUnsigned(std::string_view text, int base) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0) break;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (value > UINT32_MAX) value = UINT32_MAX + 1ull;  // keeps the sum bounded
  }
  return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

// A lower-cased field: hexadecimal after its first 'x', else decimal.
uint32_t FieldNumber(std::string_view field) {
  const size_t x = field.find('x');
  if (x != std::string_view::npos) return ReadUnsigned(field.substr(x + 1), 16);
  return ReadUnsigned(field, 10);
}

std::vector<std::string> SplitLowerFields(std::string_view text) {
  std::vector<std::string> fields(1);
  for (char c : text) {
    if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back().push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
  }
  return fields;
}

}  // namespace

std::deque<ConfigInstruction> DefaultConfigInstructions() {
  return {
      ConfigInstruction{0x0800FC00, 0x0800FC00, 'c', 480},
      ConfigInstruction{0xC308, 0xC308, 'c', 3},
  };
}

ConfigInstruction ParseConfigInstruction(std::string_view line) {
  const size_t comment = line.find('#');
  if (comment != std::string_view::npos) line = line.substr(0, comment);
  const std::vector<std::string> fields = SplitLowerFields(line);

  ConfigInstruction instruction;
  if (fields.size() > 0) instruction.target = FieldNumber(fields[0]);
  if (fields.size() > 1) instruction.source = FieldNumber(fields[1]);
  if (fields.size() > 2 && !fields[2].empty()) instruction.kind = fields[2][0];
  if (fields.size() > 3) {
    instruction.lengthOrValue = static_cast<uint16_t>(FieldNumber(fields[3]) & 0xFFFF);
  }
  return instruction;
}

}  // namespace padflash
