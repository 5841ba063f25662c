#include "sim/vlmsim/command_line.h"

#include <cstddef>
#include <optional>

#include "tools/fwgen/firmware_generator.h"

namespace vlmsim {
namespace {

// The factory page is 1024 bytes: the comp table, then the structure.
constexpr uint64_t kMaxCompTableSize = 1024 - fwgen::kStructSize;
// A USB string descriptor holds at most 126 UTF-16 characters.
constexpr size_t kMaxStringChars = 126;

ParseResult Fail(std::string error) {
  ParseResult result;
  result.error = std::move(error);
  return result;
}

// Reads the value word after option `name`; null at the end of the words.
const std::string* Value(const std::vector<std::string>& words, size_t& i) {
  if (i + 1 >= words.size()) return nullptr;
  return &words[++i];
}

std::optional<std::string> ParseNumberOption(const std::vector<std::string>& words, size_t& i,
                                             uint64_t min, uint64_t max, uint64_t& value) {
  const std::string name = words[i];
  const std::string* text = Value(words, i);
  if (text == nullptr) return name + " needs a value";
  if (!ParseNumber(*text, max, value) || value < min) {
    return name + ": '" + *text + "' is not a number from " + std::to_string(min) + " to " +
           std::to_string(max);
  }
  return std::nullopt;
}

bool IsSerialCharacter(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
         c == '_' || c == '.';
}

bool IsValidSerial(const std::string& serial) {
  if (serial.empty() || serial.size() > kMaxStringChars) return false;
  for (char c : serial) {
    if (!IsSerialCharacter(c)) return false;
  }
  return true;
}

// UTF-8 to wide characters; false on a malformed sequence or a control
// character.
bool DecodeText(const std::string& text, std::wstring& out) {
  out.clear();
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = 0;
    uint32_t code = 0;
    if (lead < 0x80) {
      code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, code = lead & 0x0F;
    } else {
      return false;  // four-byte forms do not fit a UTF-16 string descriptor unit
    }
    if (i + extra >= text.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < 0x20 || code == 0x7F) return false;
    if ((extra == 1 && code < 0x80) || (extra == 2 && code < 0x800)) return false;
    if (code >= 0xD800 && code <= 0xDFFF) return false;
    out.push_back(static_cast<wchar_t>(code));
    i += 1 + extra;
  }
  return true;
}

ParseResult ParseAttach(const std::vector<std::string>& words, Command command) {
  sim::ControllerConfig& config = command.attach;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    uint64_t v = 0;
    std::optional<std::string> error;
    if (word == "--i2c") {
      config.i2c = true;
    } else if (word == "--in-bootloader") {
      config.inBootloader = true;
    } else if (word == "--vid") {
      if (!(error = ParseNumberOption(words, i, 0, 0xFFFF, v))) config.vendorId = uint16_t(v);
    } else if (word == "--pid") {
      if (!(error = ParseNumberOption(words, i, 0, 0xFFFF, v))) config.productId = uint16_t(v);
    } else if (word == "--chip") {
      if (!(error = ParseNumberOption(words, i, 0, 0xFF, v))) config.chipId = uint8_t(v);
    } else if (word == "--rev") {
      if (!(error = ParseNumberOption(words, i, 0, 0xFF, v))) config.revision = uint8_t(v);
    } else if (word == "--report-id") {
      if (!(error = ParseNumberOption(words, i, 1, 0xFF, v))) config.reportId = uint8_t(v);
    } else if (word == "--bootloader-version") {
      if (!(error = ParseNumberOption(words, i, 0, 0xFF, v))) config.bootloaderVersion = uint8_t(v);
    } else if (word == "--comp-table-size") {
      if (!(error = ParseNumberOption(words, i, 0, kMaxCompTableSize, v))) {
        config.compTableSize = uint32_t(v);
      }
    } else if (word == "--feedconfig1") {
      if (!(error = ParseNumberOption(words, i, 0, 0xFF, v))) config.feedConfig1 = uint8_t(v);
    } else if (word == "--serial") {
      const std::string* text = Value(words, i);
      if (text == nullptr) return Fail("--serial needs a value");
      if (!IsValidSerial(*text)) {
        return Fail("--serial: '" + *text + "' must be 1 to 126 of A-Z a-z 0-9 . _ -");
      }
      config.serial = *text;
    } else if (word == "--bootloader-serial") {
      const std::string* text = Value(words, i);
      if (text == nullptr) return Fail("--bootloader-serial needs a value");
      if (*text == "none") {
        config.bootloaderSerial = std::string();
      } else if (IsValidSerial(*text)) {
        config.bootloaderSerial = *text;
      } else {
        return Fail("--bootloader-serial: '" + *text +
                    "' must be none or 1 to 126 of A-Z a-z 0-9 . _ -");
      }
    } else if (word == "--product") {
      const std::string* text = Value(words, i);
      if (text == nullptr) return Fail("--product needs a value");
      if (!DecodeText(*text, config.product) || config.product.size() > kMaxStringChars) {
        return Fail("--product: the text must be 1 to 126 printable characters");
      }
      if (config.product.empty()) return Fail("--product: the text must not be empty");
    } else {
      return Fail("attach: unknown option '" + word + "'");
    }
    if (error) return Fail(*error);
  }
  ParseResult result;
  result.ok = true;
  result.command = std::move(command);
  return result;
}

// fault SERIAL RULE...
ParseResult ParseFault(const std::vector<std::string>& words, Command command) {
  if (words.size() < 3) return Fail("fault needs a serial and a rule (see vlmsim --help)");
  command.serial = words[1];
  FaultRequest& fault = command.fault;
  const std::string& rule = words[2];
  const size_t argumentCount = words.size() - 3;
  auto number = [&](size_t index, uint64_t min, uint64_t max, uint64_t& v) -> bool {
    return ParseNumber(words[index], max, v) && v >= min;
  };
  uint64_t v = 0;
  if (rule == "clear" || rule == "no-return-after-invoke" || rule == "no-return-after-reset") {
    if (argumentCount != 0) return Fail("fault " + rule + " takes no value");
    fault.kind = rule == "clear"                    ? FaultKind::kClear
                 : rule == "no-return-after-invoke" ? FaultKind::kNoReturnAfterInvoke
                                                    : FaultKind::kNoReturnAfterReset;
  } else if (rule == "fail-set" || rule == "fail-get" || rule == "power-loss-at-chunk" ||
             rule == "power-loss-at-report" || rule == "host-death-at-report" ||
             rule == "return-delay" || rule == "corrupt-read") {
    if (argumentCount != 1) return Fail("fault " + rule + " takes one value");
    if (rule == "corrupt-read" && words[3] == "every") {
      fault.kind = FaultKind::kCorruptEveryRead;
    } else {
      const bool delay = rule == "return-delay";
      const uint64_t max = delay ? 3600000 : 0x7FFFFFFF;
      if (!number(3, 1, max, v)) {
        return Fail("fault " + rule + ": '" + words[3] + "' is not a number from 1 to " +
                    std::to_string(max));
      }
      fault.count = uint32_t(v);
      fault.kind = rule == "fail-set"               ? FaultKind::kFailSet
                   : rule == "fail-get"             ? FaultKind::kFailGet
                   : rule == "power-loss-at-chunk"  ? FaultKind::kPowerLossAtChunk
                   : rule == "power-loss-at-report" ? FaultKind::kPowerLossAtReport
                   : rule == "host-death-at-report" ? FaultKind::kHostDeathAtReport
                   : delay                          ? FaultKind::kReturnDelay
                                                    : FaultKind::kCorruptRead;
    }
  } else if (rule == "bootloader-error") {
    if (argumentCount != 3 || (words[4] != "after-chunk" && words[4] != "at-set")) {
      return Fail("fault bootloader-error takes: CODE after-chunk K, or CODE at-set N");
    }
    if (!number(3, 1, 0xFF, v)) return Fail("fault bootloader-error: bad CODE '" + words[3] + "'");
    fault.code = uint8_t(v);
    if (!number(5, 1, 0x7FFFFFFF, v)) {
      return Fail("fault bootloader-error: bad count '" + words[5] + "'");
    }
    fault.count = uint32_t(v);
    fault.kind =
        words[4] == "at-set" ? FaultKind::kBootloaderErrorAtSet : FaultKind::kBootloaderError;
  } else {
    return Fail("fault: unknown rule '" + rule + "' (see vlmsim --help)");
  }
  ParseResult result;
  result.ok = true;
  result.command = std::move(command);
  return result;
}

}  // namespace

bool ParseNumber(std::string_view text, uint64_t max, uint64_t& value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  uint64_t result = 0;
  for (char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return false;
    if (result > (max - uint64_t(digit)) / uint64_t(base)) return false;
    result = result * uint64_t(base) + uint64_t(digit);
  }
  value = result;
  return true;
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
  Command command;
  std::vector<std::string> words;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--state") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return Fail("--state needs a file name");
      command.statePath = args[++i];
    } else if (args[i].rfind("--state=", 0) == 0) {
      command.statePath = args[i].substr(8);
      if (command.statePath.empty()) return Fail("--state needs a file name");
    } else {
      words.push_back(args[i]);
    }
  }
  if (words.empty()) return Fail("no command given (see vlmsim --help)");
  const std::string& verb = words[0];
  if (verb == "--help" || verb == "-h" || verb == "help") {
    command.verb = Verb::kHelp;
  } else if (verb == "--version") {
    command.verb = Verb::kVersion;
  } else if (verb == "attach") {
    command.verb = Verb::kAttach;
    return ParseAttach(words, std::move(command));
  } else if (verb == "fault") {
    command.verb = Verb::kFault;
    return ParseFault(words, std::move(command));
  } else if (verb == "list" || verb == "reset") {
    if (words.size() != 1) return Fail(verb + " takes no arguments");
    command.verb = verb == "list" ? Verb::kList : Verb::kReset;
  } else if (verb == "detach" || verb == "power-cycle") {
    if (words.size() != 2) return Fail(verb + " takes one serial");
    command.verb = verb == "detach" ? Verb::kDetach : Verb::kPowerCycle;
    command.serial = words[1];
  } else if (verb == "show") {
    if (words.size() == 3 && words[2] == "--json") command.json = true;
    if (words.size() != 2 && !command.json) return Fail("usage: vlmsim show SERIAL [--json]");
    command.verb = Verb::kShow;
    command.serial = words[1];
  } else if (verb == "read") {
    if (words.size() != 4) return Fail("usage: vlmsim read SERIAL FLASH-ADDRESS LENGTH");
    uint64_t address = 0, length = 0;
    if (!ParseNumber(words[2], 0xFFFFFFFF, address)) {
      return Fail("read: '" + words[2] + "' is not an address");
    }
    if (!ParseNumber(words[3], kMaxReadLength, length) || length == 0) {
      return Fail("read: '" + words[3] + "' is not a length from 1 to " +
                  std::to_string(kMaxReadLength));
    }
    command.verb = Verb::kRead;
    command.serial = words[1];
    command.address = uint32_t(address);
    command.length = uint32_t(length);
  } else {
    return Fail("unknown command '" + verb + "' (see vlmsim --help)");
  }
  ParseResult result;
  result.ok = true;
  result.command = std::move(command);
  return result;
}

const char* UsageText() {
  return R"(usage: vlmsim [--state FILE] COMMAND [ARGUMENTS]

Creates, inspects and breaks simulated touch controllers. They live in the
state file named by --state or by VLMHID_SIM_STATE, which the simulated
libVLMHID.so reads and writes too. Numbers are decimal or 0x hexadecimal.

Commands:
  --help                        this text
  --version                     print the program's version
  attach [--i2c] [--vid V] [--pid P] [--chip C] [--rev R] [--report-id N]
         [--bootloader-version N] [--comp-table-size N] [--feedconfig1 B]
         [--serial S] [--bootloader-serial none|S] [--product TEXT]
         [--in-bootloader]
      Add a controller with a factory page and a valid firmware image of its
      chip and revision; prints its serial. Defaults: USB, 0x0488/0x0101,
      chip 0x12, rev 0x05, report ID 7, bootloader version 5, comp table 480.
      --bootloader-serial: its bootloader shows no serial, or this one (by
      default the firmware's).
      --in-bootloader: attach it in its bootloader with an invalid image.
  list                          one line per controller
  show SERIAL [--json]          mode, IDs, version, transport, bootloader
                                version, last error, flags, image valid,
                                FeedConfig1, comp table size
  read SERIAL FLASH-ADDRESS LENGTH
                                hex dump of flash (LENGTH up to 65536)
  detach SERIAL                 remove the controller
  power-cycle SERIAL            power off and on now: the firmware starts when
                                its image is valid, else the bootloader (also
                                ends a restart that would never end)
  reset                         remove every controller
  fault SERIAL RULE             script a fault; counts start at the next one:
      fail-set N                the Nth SET_FEATURE fails
      fail-get N                the Nth GET_FEATURE fails
      corrupt-read N            the Nth memory-read reply has a bad checksum
      corrupt-read every        every memory-read reply has a bad checksum
      bootloader-error CODE after-chunk K
                                after write chunk K the last error is CODE
      bootloader-error CODE at-set N
                                the Nth SET_FEATURE is refused with CODE
      no-return-after-invoke    the controller stays away after invoke
      no-return-after-reset     the controller stays away after reset
      return-delay MS           away for MS ms (1 to 3600000) after invoke
                                or reset instead of the usual 500
      power-loss-at-chunk K     power fails at write chunk K: back as the
                                bootloader, image invalid, factory page erased
      power-loss-at-report N    power fails at the Nth report (SET or GET):
                                back as the firmware when the image is valid,
                                else as the bootloader; flash is kept
      host-death-at-report N    the program using the simulated library ends
                                (exit status 137, as killed) right after the
                                Nth report (SET or GET), which the controller
                                takes; with power-loss-at-report N as well,
                                both happen at that report
      clear                     drop every rule

Exit status: 0 done, 1 failed (unknown serial, state file trouble),
2 bad usage.
)";
}

}  // namespace vlmsim
