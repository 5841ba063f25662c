// The simulated bus kept in a JSON state file, so vlmsim, the simulated
// VLMHID library and the programs that load it see the same controllers,
// and a controller left in its bootloader by an interrupted update is still
// there for the next run.
//
// File layout:
//   { "format": "padflash-sim-bus", "version": 1, "nextSerialNumber": 3,
//     "controllers": [ { "config": {...}, "mode": "bootloader",
//                        "restart": {...}, "flash": "<hex>", ... } ] }
// Byte arrays (flash, RAM, a held reply) are lower-case hex strings. The
// simulated library and vlmsim keep each flash image (64 KiB, as bytes) in a
// file of its own beside the state file instead, named by the controller's
// "flashFile": "<state file name>.flash.<process id>-<ms>-<count>"; a name
// is never used twice, and a new image gets a new file, so a process that
// has read a name once need not read it again. Files with "flash" inline
// (written before, or by hand) load as well. Times
// (a restart's end) are the bus clock's milliseconds; the simulated library
// and vlmsim run the bus on the wall clock, so a restart that began in one
// process completes in the next.
//
// Sharing: every load-modify-save runs under an exclusive lock on
// "<file>.lock" (flock, LockFileEx); a save writes "<file>.tmp.<pid>" and
// moves it over the file in one step, so readers see the old or the new
// state, never a mix (sim/shared_files.h). Each save opens the file with
// "saved": "<process id>-<ms>-<count>", so a process that finds the file
// with the identity, size, time and first bytes it left it with knows the
// file has not changed without reading it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/clock.h"
#include "sim/bus.h"
#include "sim/controller_state.h"
#include "sim/shared_files.h"

namespace sim {

// Lower-case hex of the bytes, two digits each.
std::string ToHex(const uint8_t* data, size_t count);
// False (out untouched) unless `text` is an even number of hex digits.
[[nodiscard]] bool FromHex(std::string_view text, std::vector<uint8_t>& out);

nlohmann::ordered_json ControllerStateToJson(const ControllerState& state);
// False with a reason when a field has the wrong type or an impossible
// value (flash not 64 KiB, a region outside flash, ...).
[[nodiscard]] bool ControllerStateFromJson(const nlohmann::ordered_json& json,
                                           ControllerState& state, std::string& error);

// Reads the flash image a controller's "flashFile" names into `flash`;
// false with a reason. `index`: the controller's place in the file.
using FlashLoader = std::function<bool(size_t index, const std::string& name,
                                       std::vector<uint8_t>& flash, std::string& error)>;

// The whole bus as the text of a state file, flash images inline.
std::string BusToText(Bus& bus);
// Replaces every controller of the bus with those of the text (nothing
// changes when it does not parse). Empty text is an empty bus. A controller
// whose flash image is in a file of its own ("flashFile") needs `loader`.
[[nodiscard]] bool BusFromText(const std::string& text, Bus& bus, std::string& error,
                               const FlashLoader& loader = {});

// The state file's milliseconds: the system's calendar clock (time since
// 1970 in UTC), shared by every process.
class WallClock final : public padflash::Clock {
 public:
  uint64_t NowMs() override;
  void SleepMs(uint32_t ms) override;
};

// A bus bound to its state file. Every access from outside runs inside a
// Transaction: it takes the bus mutex and the file lock, reloads the bus
// when another process has saved since, and saves when the bus changed.
class PersistentBus {
 public:
  // Installs the bus's change hook; the bus must outlive this object.
  PersistentBus(Bus& bus, std::string path);
  ~PersistentBus();
  PersistentBus(const PersistentBus&) = delete;
  PersistentBus& operator=(const PersistentBus&) = delete;

  class Transaction {
   public:
    explicit Transaction(PersistentBus& owner);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    // False when the state file could not be read or parsed; the bus is
    // then left as it was and nothing is saved over the file.
    bool ok() const { return owner_.loadOk_; }
    const std::string& error() const { return owner_.error_; }
    // Saves now when the bus changed; false when the save failed.
    bool Commit();

   private:
    PersistentBus& owner_;
    std::unique_lock<std::recursive_mutex> busLock_;
  };

  Bus& bus() { return bus_; }
  const std::string& path() const { return path_; }
  // For changes the bus does not see (fault rules set on a controller).
  void MarkChanged() {
    dirty_ = true;
    rebuildAll_ = true;
  }
  // Result of the last save ("" when it worked).
  const std::string& saveError() const { return saveError_; }

 private:
  bool LockFile();
  void UnlockFile();
  void Refresh();
  // `synced`: the file is known to hold knownText_ (read under the lock).
  bool Save(bool synced);
  // The file's text (without the stamp): the controllers that changed are
  // written again, a changed flash image into a new file. False when a
  // flash file could not be written (saveError_).
  bool Compose(std::string& text);
  bool LoadFlash(size_t index, const std::string& name, std::vector<uint8_t>& flash,
                 std::string& error);
  std::string NewFlashName();
  // A number no other save or flash file name of this process has had.
  static uint64_t NextStamp();
  // Deletes the flash files the file no longer names.
  void DropFlashFiles(std::set<std::string> named);

  // One controller as the file holds it.
  struct Piece {
    std::string text;       // its object in the file
    std::string flashName;  // its flash file ("": none written yet)
    std::vector<uint8_t> flash;
  };

  Bus& bus_;
  std::string path_;
  FileLock lock_;
  int depth_ = 0;
  bool dirty_ = false;
  bool loading_ = false;
  bool loadOk_ = true;
  std::string error_;
  std::string saveError_;
  // The file as this process last read or wrote it: while it keeps that
  // identity it is not read again.
  FileIdentity knownIdentity_;
  bool haveIdentity_ = false;
  // The bus as that file holds it (BusToText, without the stamp): a save
  // that would write the same is left out.
  std::string knownText_;
  std::string folder_;    // the state file's folder, with its separator ("" for none)
  std::string fileName_;  // the state file's name in it
  std::map<const Controller*, Piece> pieces_;
  bool rebuildAll_ = true;
  // The flash files the file names as this process last read or wrote it.
  std::set<std::string> flashFiles_;
};

}  // namespace sim
