#include "app/console/cli_options.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "update/update_session.h"

namespace padflash {

CliOptions ParseCliOptions(int argc, const char* const* argv) {
  CliOptions options;
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
    } else if (arg == "--device" || arg == "--answer") {
      if (i + 1 >= argc) {
        options.error = arg + " needs a value";
        return options;
      }
      std::string value = argv[++i];
      if (arg == "--device") {
        char* end = nullptr;
        long n = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || n < 0 || n > 255) {
          options.error = "--device takes a list index from 0: " + value;
          return options;
        }
        options.device = static_cast<int>(n);
      } else if (value == "yes" || value == "no") {
        options.answer = value == "yes";
      } else {
        options.error = "--answer takes yes or no: " + value;
        return options;
      }
    } else if (arg.rfind("--", 0) == 0) {
      options.error = "unknown option " + arg;
      return options;
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
          "  --device N      use device list entry N (default 0)\n"
          "  --answer yes|no answer every question so (default: ask on a terminal,\n"
          "                  otherwise no)\n"
          "  --help          this text\n"
          "\n") +
      kCliExitHelp;
  return text.c_str();
}

}  // namespace padflash
