#include "app/console/cli_options.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "update/update_session.h"

namespace padflash {

CliOptions ParseCliOptions(int argc, const char* const* argv) {
  CliOptions options;
  auto fail = [&options](const std::string& error) {
    if (options.error.empty()) options.error = error;
  };
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    if (i == 0) {
      options.rest.push_back(arg);
      continue;
    }
    if (arg == "--list") {
      options.list = true;
    } else if (arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--device" || arg == "--answer" || arg == "--log") {
      if (i + 1 >= argc) {
        fail(arg + " needs a value");
        break;
      }
      std::string value = argv[++i];
      if (arg == "--device") {
        // Digits are a list index; anything else a serial string or a path.
        const bool digits =
            !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
        const long n = digits && value.size() <= 4 ? std::strtol(value.c_str(), nullptr, 10) : -1;
        if (value.empty()) {
          fail("--device needs a list index, a serial or a path");
        } else if (!digits) {
          options.deviceKey = value;
        } else if (n < 0 || n > 255) {
          fail("--device takes a list index from 0 to 255: " + value);
        } else {
          options.device = static_cast<int>(n);
        }
      } else if (arg == "--log") {
        if (value.empty()) fail("--log needs a file name");
        options.logPath = value;
      } else if (value == "yes" || value == "no") {
        options.answer = value == "yes";
      } else {
        fail("--answer takes yes or no: " + value);
      }
    } else if (arg.rfind("--", 0) == 0) {
      fail("unknown option " + arg);
    } else {
      options.rest.push_back(arg);
    }
  }
  return options;
}

int CliExitForSession(int sessionExitCode) {
  switch (sessionExitCode) {
    case kExitSuccess:
      return kCliUpdated;
    case kExitSuccessRetryAdvised:
      return kCliUpdatedRetryAdvised;
    case kExitLowBattery:
      return kCliLowBattery;
    case kExitClosingStepFailed:
      return kCliClosingStepFailed;
    default:
      return kCliUpdateFailed;
  }
}

const char* CliUsage() {
  static const std::string text =
      std::string(
          "Usage: padflash-cli [switches] [long options] [firmware-path]\n"
          "\n"
          "Updates the firmware of an attached touch controller from an Intel HEX file\n"
          "or a firmware package library (.dll).\n"
          "\n"
          "Switches (as the dialog program padflash):\n"
          "  /?   show the switches and exit\n"
          "  /o   override the firmware compatibility check (no confirmation)\n"
          "  /r   don't save the flash configuration: use the new firmware's defaults\n"
          "  /s   silent: take the silent course where a question would be asked\n"
          "  /d   never treat the firmware file as a package library\n"
          "  /a   ask mode (manual I2C identifiers; not available)\n"
          "  /v   verbose button (no effect on the console)\n"
          "  /f X, /i X, /h X   accepted and echoed; no effect\n"
          "\n"
          "Long options:\n"
          "  --list          print the device list and exit\n"
          "  --json          write one JSON document on standard output when the run\n"
          "                  ends (with --list: the device list); the protocol then\n"
          "                  goes only to the --log file\n"
          "  --log FILE      append the verbose protocol to FILE, after a header line\n"
          "  --device N|SERIAL|PATH\n"
          "                  use device list entry N (default 0), or the controller\n"
          "                  with that serial string or device path (as --list --json\n"
          "                  shows them)\n"
          "  --answer yes|no answer every question so (default: ask on a terminal,\n"
          "                  otherwise no): whether to use a personality file whose\n"
          "                  controller cannot be told, to program the firmware's\n"
          "                  defaults when no saved settings were found, ...\n"
          "  --version       print the program's version and exit\n"
          "  --help          this text\n"
          "\n") +
      kCliExitHelp;
  return text.c_str();
}

}  // namespace padflash
