#include "session/output.h"

#include <cstdarg>
#include <cstdio>

#include "session/session.h"

namespace padflash {

const char* const ResultMessages[kResultMessageCount] = {
    "Firmware was successfully updated.",
    "Firmware update failed.",
    "WARNING: Another instance of this program is already running.",
    "WARNING: Unknown startup option in the command line.",
    "ERROR: VID or PID did not match between device and FW.",
    "ERROR: Cannot write memory location.",
    "ERROR: Cannot read memory location.",
    "ERROR: Cannot read RAM memory location.",
    "ERROR: Cannot read Image memory location.",
    "ERROR: Cannot read Flash memory location.",
    "ERROR: Cannot read file location.",
    "ERROR: Cannot open library.",
    "ERROR: Cannot find library function.",
    "ERROR: Cannot find firmware file.",
    "ERROR: Error getting firmware update filename.",
    "ERROR: Error parsing HEX file.",
    "ERROR: Error writing HEX file.",
    "ERROR: Cannot connect to device.",
    "ERROR: Cannot disconnect from device.",
    "ERROR: Could not save factory configuration file.",
    "ERROR: Could not modify file firmware.",
    "ERROR: Cannot invoke Bootloader.",
    "ERROR: Cannot connect to Bootloader device.",
    "ERROR: Cannot reconnect to Bootloader device.",
    "ERROR: Failed to reset bootloader.",
    "ERROR: Failed to get bootloader status.",
    "ERROR: Error writing feature report.",
    "ERROR: Not enough battery power to complete the operation.",
    "ERROR: Bootloader error.",
};

void AppendVerbose(Session& session, const char* text) {
  session.window.AppendText(kIdVerbose, text);
}

void SetStatus(Session& session, const char* text) {
  session.window.SetText(kIdStatus, text);
}

namespace {
// A message that does not fit is cut at the buffer's end; vsnprintf always
// terminates it.
void FormatInto(Session& session, const char* format, va_list args) {
  std::vsnprintf(session.MessageBuffer, sizeof session.MessageBuffer, format, args);
}
}  // namespace

const char* FormatText(Session& session, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatInto(session, format, args);
  va_end(args);
  return session.MessageBuffer;
}

void Print(Session& session, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatInto(session, format, args);
  va_end(args);
  AppendVerbose(session, session.MessageBuffer);
}

void PrintStatus(Session& session, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatInto(session, format, args);
  va_end(args);
  AppendVerbose(session, session.MessageBuffer);
  SetStatus(session, session.MessageBuffer);
}

}  // namespace padflash
