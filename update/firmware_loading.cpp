// Loading a firmware package: the firmware path is a search pattern, and the
// first usable package library among its matches fills the firmware identity.
#include "update/firmware_loading.h"

#include <string>

#include "firmware/device_identity.h"
#include "session/session.h"
#include "update/package_library.h"

namespace padflash {

namespace {

// The directory part of a search pattern, with its trailing separator ("" when
// the pattern names the current directory). Both separators are accepted so
// that a path written for Windows is split the same way.
std::string PatternDirectory(const std::string& pattern) {
  const size_t separator = pattern.find_last_of("/\\");
  return separator == std::string::npos ? std::string() : pattern.substr(0, separator + 1);
}

void ConvertConfigLines(DeviceIdentity& firmware) {
  firmware.configInstructions.clear();
  for (const std::string& line : firmware.configLines) {
    firmware.configInstructions.push_back(ParseConfigInstruction(line));
  }
}

}  // namespace

int LoadFirmwarePackage(Session& session, DeviceIdentity& firmware) {
  const std::string& pattern = session.config.firmwarePath;
  const std::string directory = PatternDirectory(pattern);
  for (const FoundFile& found : session.system.FindFiles(pattern)) {
    if (found.isDirectory) continue;
    DeviceIdentity candidate;
    candidate.name = found.name;
    // The library is loaded from the matched file itself, never looked up by
    // its bare name on the platform's library search path: a same-named
    // library elsewhere must not run in its place.
    if (LoadPackageLibrary(session, directory + found.name, candidate) != 0) {
      session.system.WriteStdout("\tERROR - Invalid Firmware File\n");
      continue;
    }
    firmware = candidate;
    ConvertConfigLines(firmware);
    return 0;
  }
  return -1;
}

}  // namespace padflash
