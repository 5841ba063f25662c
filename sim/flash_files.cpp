// The flash images beside the state file: each in a file of its own, named
// once and never again, read only when this process has not seen it.
#include <cstdio>

#include "sim/shared_files.h"
#include "sim/state_file.h"

namespace sim {

// A flash file this process read or wrote holds the same bytes still (a
// name is never used twice); any other is read, whole and of the right size.
bool PersistentBus::LoadFlash(size_t, const std::string& name, std::vector<uint8_t>& flash,
                              std::string& error) {
  const std::string prefix = fileName_ + ".flash.";
  if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size() ||
      name.find_first_of("/\\:", prefix.size()) != std::string::npos) {
    error = "must name a flash file \"" + prefix + "...\" beside the state file";
    return false;
  }
  for (const auto& [controller, piece] : pieces_) {
    if (piece.flashName != name) continue;
    flash = piece.flash;
    return true;
  }
  std::string bytes;
  const ReadOutcome read = ReadWholeFile(folder_ + name, kFlashSize, bytes, error);
  if (read == ReadOutcome::kMissing) error = "flash file " + folder_ + name + " is missing";
  if (read != ReadOutcome::kRead) return false;
  if (bytes.size() != kFlashSize) {
    error = "flash file " + folder_ + name + " does not hold 65536 bytes";
    return false;
  }
  flash.assign(bytes.begin(), bytes.end());
  return true;
}

std::string PersistentBus::NewFlashName() {
  char suffix[80];
  for (;;) {
    std::snprintf(suffix, sizeof suffix, ".flash.%llu-%llu-%llu",
                  static_cast<unsigned long long>(CurrentProcessId()),
                  static_cast<unsigned long long>(WallClock().NowMs()),
                  static_cast<unsigned long long>(NextStamp()));
    FileIdentity existing;
    std::string ignored;
    if (ReadFileIdentity(folder_ + fileName_ + suffix, existing, ignored) ==
        ReadOutcome::kMissing) {
      return fileName_ + suffix;
    }
  }
}

void PersistentBus::DropFlashFiles(std::set<std::string> named) {
  for (const std::string& name : flashFiles_) {
    if (named.count(name) == 0) RemoveFile(folder_ + name);
  }
  flashFiles_ = std::move(named);
}

}  // namespace sim
