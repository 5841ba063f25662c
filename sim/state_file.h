// The simulated bus kept in a JSON state file, so vlmsim, the simulated
// VLMHID library and the programs that load it see the same controllers,
// and a controller left in its bootloader by an interrupted update is still
// there for the next run.
//
// File layout:
//   { "format": "padflash-sim-bus", "version": 1, "nextSerialNumber": 3,
//     "controllers": [ { "config": {...}, "mode": "bootloader",
//                        "restart": {...}, "flash": "<hex>", ... } ] }
// Byte arrays (flash, RAM, a held reply) are lower-case hex strings. Times
// (a restart's end) are the bus clock's milliseconds; the simulated library
// and vlmsim run the bus on the wall clock, so a restart that began in one
// process completes in the next.
//
// Sharing: every load-modify-save runs under an exclusive lock on
// "<file>.lock" (flock, LockFileEx); a save writes "<file>.tmp.<pid>" and
// moves it over the file in one step, so readers see the old or the new
// state, never a mix (sim/shared_files.h).
#pragma once

#include <cstdint>
#include <mutex>
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

// The whole bus as the text of a state file.
std::string BusToText(Bus& bus);
// Replaces every controller of the bus with those of the text (nothing
// changes when it does not parse). Empty text is an empty bus.
[[nodiscard]] bool BusFromText(const std::string& text, Bus& bus, std::string& error);

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
  void MarkChanged() { dirty_ = true; }
  // Result of the last save ("" when it worked).
  const std::string& saveError() const { return saveError_; }

 private:
  bool LockFile();
  void UnlockFile();
  void Refresh();
  // `synced`: the file is known to hold knownText_ (read under the lock).
  bool Save(bool synced);

  Bus& bus_;
  std::string path_;
  FileLock lock_;
  int depth_ = 0;
  bool dirty_ = false;
  bool loading_ = false;
  bool loadOk_ = true;
  std::string error_;
  std::string saveError_;
  // What the file held when this process last read or wrote it: a file
  // that still holds it need not be parsed again.
  std::string knownText_;
};

}  // namespace sim
