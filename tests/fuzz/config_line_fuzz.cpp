// Configuration-instruction lines as a package hands them over.
#include <string_view>

#include "firmware/config_instruction.h"
#include "tests/fuzz/fuzz_target.h"

PADFLASH_FUZZ_TARGET(config_line) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    const padflash::ConfigInstruction instruction = padflash::ParseConfigInstruction(line);
    // Without a third field, or with an empty one, the kind stays 0.
    if (line.find(',') == std::string_view::npos) FUZZ_CHECK(instruction.kind == 0);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return 0;
}
