// The bus bound to its state file: loaded when the file is not as this
// process left it, saved after every change, under the file's lock.
#include "sim/state_file.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "sim/shared_files.h"
#include "sim/state_json_fields.h"

namespace sim {

using json_fields::ControllerWithFlashFile;
using json_fields::FileHead;

namespace {

// About 200 controllers; a bigger file is not one of ours.
constexpr size_t kMaxFileBytes = 64u << 20;

}  // namespace

// ---- wall clock --------------------------------------------------------------

uint64_t WallClock::NowMs() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void WallClock::SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// ---- the bus in its file -------------------------------------------------------

// Counts the saves of every PersistentBus of the process, so two of them
// never stamp a file (or name a flash file) alike.
uint64_t PersistentBus::NextStamp() {
  static std::atomic<uint64_t> processSaves{0};
  return ++processSaves;
}

PersistentBus::PersistentBus(Bus& bus, std::string path)
    : bus_(bus), path_(std::move(path)), lock_(path_ + ".lock") {
  const size_t cut = path_.find_last_of("/\\");
  folder_ = cut == std::string::npos ? "" : path_.substr(0, cut + 1);
  fileName_ = cut == std::string::npos ? path_ : path_.substr(cut + 1);
  bus_.SetChangeHook([this] {
    if (loading_) return;
    dirty_ = true;
    // A change outside any transaction (a test driving the bus directly) is
    // saved at once, over whatever the file holds.
    if (depth_ == 0 && LockFile()) {
      Save(/*synced=*/false);
      UnlockFile();
    }
  });
}

PersistentBus::~PersistentBus() {
  bus_.SetChangeHook(nullptr);
}

bool PersistentBus::LockFile() {
  return lock_.Lock(error_);
}

void PersistentBus::UnlockFile() {
  lock_.Unlock();
}

// Reloads the bus when the file is not the one this process last read or
// wrote. Its identity, size, time and first bytes tell (every save writes a
// fresh stamp there), so an access that finds the file as it left it costs
// the same however many controllers the file holds.
void PersistentBus::Refresh() {
  FileIdentity identity;
  if (ReadFileIdentity(path_, identity, error_) == ReadOutcome::kFailed) {
    loadOk_ = false;
    return;
  }
  if (loadOk_ && haveIdentity_ && identity == knownIdentity_) return;
  std::string text;
  if (identity.exists &&
      ReadWholeFile(path_, kMaxFileBytes, text, error_) == ReadOutcome::kFailed) {
    loadOk_ = false;
    return;
  }
  std::vector<std::string> names;
  const FlashLoader loader = [&](size_t index, const std::string& name, std::vector<uint8_t>& flash,
                                 std::string& why) {
    if (names.size() <= index) names.resize(index + 1);
    names[index] = name;
    return LoadFlash(index, name, flash, why);
  };
  std::string why;
  loading_ = true;
  const bool parsed = BusFromText(text, bus_, why, loader);
  loading_ = false;
  if (!parsed) {
    loadOk_ = false;
    error_ = "state file " + path_ + ": " + why;
    return;
  }
  loadOk_ = true;
  error_.clear();
  // Taken before the text was read: a change in between is read next time.
  knownIdentity_ = std::move(identity);
  haveIdentity_ = true;
  // The next save writes the file whole; the flash images stay in the files
  // they were read from.
  knownText_.clear();
  std::map<const Controller*, Piece> pieces;
  flashFiles_.clear();
  const std::vector<Controller*> controllers = bus_.controllers();
  for (size_t i = 0; i < controllers.size(); ++i) {
    Piece& piece = pieces[controllers[i]];
    if (i < names.size() && !names[i].empty()) {
      piece.flashName = names[i];
      piece.flash = controllers[i]->state().flash;
      flashFiles_.insert(names[i]);
    }
  }
  pieces_.swap(pieces);
  rebuildAll_ = true;
}

bool PersistentBus::Compose(std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(bus_.mutex());
  const std::vector<Controller*> all = bus_.controllers();
  std::vector<Controller*> changed = bus_.TakeChangedControllers();
  if (rebuildAll_) changed = all;
  rebuildAll_ = false;
  std::map<const Controller*, Piece> kept;
  for (Controller* c : all) {
    auto it = pieces_.find(c);
    if (it != pieces_.end()) kept.emplace(c, std::move(it->second));
  }
  pieces_.swap(kept);
  for (Controller* c : changed) {
    Piece& piece = pieces_[c];
    const ControllerState& s = c->state();
    if (piece.flashName.empty() || piece.flash != s.flash) {
      const std::string name = NewFlashName();
      if (!ReplaceWholeFile(folder_ + name, std::string(s.flash.begin(), s.flash.end()),
                            saveError_)) {
        rebuildAll_ = true;
        return false;
      }
      piece.flashName = name;
      piece.flash = s.flash;
    }
    piece.text = ControllerWithFlashFile(s, piece.flashName);
  }
  text = FileHead(bus_);
  for (size_t i = 0; i < all.size(); ++i) {
    text += i == 0 ? "\n" : ",\n";
    text += pieces_[all[i]].text;
  }
  text += "\n ]\n}\n";
  return true;
}

bool PersistentBus::Save(bool synced) {
  dirty_ = false;
  if (!loadOk_) return false;  // never overwrite a file that did not load
  std::string text;
  if (!Compose(text)) return false;
  if (synced && text == knownText_) return true;
  // "saved" opens the file: a stamp no other save of any process carries.
  char stamp[96];
  std::snprintf(stamp, sizeof stamp, "{\n \"saved\": \"%llu-%llu-%llu\",",
                static_cast<unsigned long long>(CurrentProcessId()),
                static_cast<unsigned long long>(WallClock().NowMs()),
                static_cast<unsigned long long>(NextStamp()));
  const std::string stamped = stamp + text.substr(1);
  haveIdentity_ = false;
  if (!ReplaceWholeFile(path_, stamped, saveError_)) return false;
  saveError_.clear();
  std::string ignored;
  haveIdentity_ = ReadFileIdentity(path_, knownIdentity_, ignored) == ReadOutcome::kRead;
  knownText_ = std::move(text);
  std::set<std::string> named;
  for (const auto& [controller, piece] : pieces_) named.insert(piece.flashName);
  DropFlashFiles(std::move(named));
  return true;
}

PersistentBus::Transaction::Transaction(PersistentBus& owner)
    : owner_(owner), busLock_(owner.bus_.mutex()) {
  if (owner_.depth_++ > 0) return;
  if (!owner_.LockFile()) {
    owner_.loadOk_ = false;
    return;
  }
  owner_.Refresh();
}

bool PersistentBus::Transaction::Commit() {
  if (!owner_.dirty_) return owner_.loadOk_;
  return owner_.Save(/*synced=*/true);
}

PersistentBus::Transaction::~Transaction() {
  if (--owner_.depth_ > 0) return;
  if (owner_.dirty_) owner_.Save(/*synced=*/true);
  owner_.UnlockFile();
}

}  // namespace sim
