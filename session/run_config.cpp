#include "session/run_config.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "platform/window_port.h"
#include "session/output.h"
#include "session/session.h"

namespace padflash {

namespace {

// Formats one line of the echo text in a buffer of its own and appends it to
// the echo text in session.MessageBuffer. Both stay within their 512 bytes:
// a line that does not fit is cut at the end of the buffer, and once the echo
// text is full, further text is dropped.
void AppendEcho(Session& session, const char* format, ...) __attribute__((format(printf, 2, 3)));

void AppendEcho(Session& session, const char* format, ...) {
  char line[kMessageBufferSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);

  char* echo = session.MessageBuffer;
  const size_t capacity = sizeof session.MessageBuffer;
  const size_t used = strnlen(echo, capacity - 1);
  const size_t room = capacity - 1 - used;
  const size_t length = std::min(std::strlen(line), room);
  std::memcpy(echo + used, line, length);
  echo[used + length] = '\0';
}

// A switch that reads a value (/f, /i, /h): the line that echoes the value
// argument and the values it knows, each with its own echo line.
struct SwitchValue {
  const char* value;
  const char* line;
};

struct ValueSwitch {
  const char* name;
  const char* switchLine;
  const char* valueFormat;
  const SwitchValue* values;
  size_t valueCount;
};

constexpr SwitchValue kForceValues[] = {
    {"qq", "    Cmd FORCE Arg - Velmar HID, Velmar I2C\n"},
    {"qs", "    Cmd FORCE Arg - Velmar HID, S-corp I2C\n"},
    {"aq", "    Cmd FORCE Arg - Orlen HID, Velmar I2C\n"},
    {"as", "    Cmd FORCE Arg - Orlen HID, S-corp I2C\n"},
};
constexpr SwitchValue kI2cValues[] = {
    {"q", "    Cmd I2C Arg - Velmar\n"},
    {"s", "    Cmd I2C Arg - S-corp\n"},
};
constexpr SwitchValue kHidValues[] = {
    {"q", "    Cmd HID Arg - Velmar\n"},
    {"a", "    Cmd HID Arg - Orlen\n"},
};

constexpr ValueSwitch kValueSwitches[] = {
    {"/f", "   Cmd arg - FORCE\n", "  Cmd FORCE Arg - %s\r\n", kForceValues,
     std::size(kForceValues)},
    {"/i", "   Cmd arg - I2C\n", "  Cmd I2C Arg - %s\r\n", kI2cValues, std::size(kI2cValues)},
    {"/h", "   Cmd arg - HID\n", "  Cmd HID Arg - %s\r\n", kHidValues, std::size(kHidValues)},
};

const char* Arg(int argc, const char* const* argv, int index) {
  if (argv == nullptr || index < 0 || index >= argc || argv[index] == nullptr) return "";
  return argv[index];
}

// Echoes a value switch and its value. Returns how many arguments it used:
// 2 when the value is one the switch knows, 1 otherwise (the next argument
// is then parsed in its own right, although it was echoed here).
int ParseValueSwitch(Session& session, const ValueSwitch& sw, int argc, const char* const* argv,
                     int i) {
  AppendEcho(session, "%s", sw.switchLine);
  if (i + 1 >= argc) return 1;
  const char* value = Arg(argc, argv, i + 1);
  AppendEcho(session, sw.valueFormat, value);
  for (size_t k = 0; k < sw.valueCount; ++k) {
    if (std::strcmp(value, sw.values[k].value) == 0) {
      AppendEcho(session, "%s", sw.values[k].line);
      return 2;
    }
  }
  return 1;
}

void AppendUsage(Session& session, const char* programPath) {
  AppendEcho(session,
             "%s [/f] [/a] [/v] [filepath]\n[filepath]   Specifies path to the firmware file\r\n",
             programPath);
  AppendEcho(session, "%s", "\n  /?          Displays help and exits\n");
  AppendEcho(session, "%s", "\n  /v          Shows verbose mode button\n");
  AppendEcho(session, "%s",
             "  /o          Overrides FW compatibility check (Won't ask to confirm) (use to force "
             "VID/PID mismatch)\n");
  AppendEcho(session, "%s",
             "  /r          Don't Save Flash Config - uses default values from new FW file.\n");
}

// Applies a switch without a value. False when `arg` is none of them.
bool ApplyFlagSwitch(Session& session, const char* arg) {
  RunConfig& config = session.config;
  if (std::strcmp(arg, "/o") == 0) {
    AppendEcho(session, "%s", "   Cmd arg - OVERRIDE\n");
    config.overrideCompatibility = true;
  } else if (std::strcmp(arg, "/r") == 0) {
    AppendEcho(session, "%s", "   Cmd arg - Don't save Flash Config\n");
    config.saveFlashConfig = false;
  } else if (std::strcmp(arg, "/d") == 0) {
    AppendEcho(session, "%s", "   Cmd arg - Don't use DLL for info and files\n");
    config.packageLibraryAllowed = false;
  } else if (std::strcmp(arg, "/s") == 0) {
    AppendEcho(session, "%s", "   Cmd arg - SILENT\n");
    config.silent = true;
    config.askMode = false;
  } else if (std::strcmp(arg, "/a") == 0) {
    AppendEcho(session, "%s", "   Cmd arg - ASK MODE\n");
    config.askMode = true;
  } else if (std::strcmp(arg, "/v") == 0) {
    AppendEcho(session, "%s", "   Cmd arg - VERBOSE\n");
    config.verbose = true;
  } else {
    return false;
  }
  return true;
}

}  // namespace

int ParseCommandLine(Session& session, int argc, const char* const* argv) {
  session.MessageBuffer[0] = '\0';

  int i = 1;
  while (i < argc) {
    const char* arg = Arg(argc, argv, i);
    AppendEcho(session, "Cmd Arg # %d %s\r\n", i, arg);

    if (std::strcmp(arg, "/?") == 0) {
      AppendUsage(session, Arg(argc, argv, 0));
      session.window.ShowMessageBox(session.MessageBuffer, "/? help and usage", MessageButtons::kOk,
                                    /*owned=*/false);
      return kParseExitNow;
    }

    int used = 0;
    for (const ValueSwitch& sw : kValueSwitches) {
      if (std::strcmp(arg, sw.name) == 0) {
        used = ParseValueSwitch(session, sw, argc, argv, i);
        break;
      }
    }
    if (used == 0) {
      used = 1;
      if (!ApplyFlagSwitch(session, arg)) {
        AppendEcho(session, "%s", "   Cmd arg - FileName\n");
        AppendEcho(session, "%s\n", arg);
        session.config.firmwarePath = arg;
      }
    }
    i += used;
  }
  return 0;
}

}  // namespace padflash
