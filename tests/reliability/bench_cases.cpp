#include "tests/reliability/bench_cases.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "app/main_window.h"
#include "session/session.h"
#include "sim/bus.h"
#include "tests/reliability/technician.h"
#include "tests/session/working_directory.h"
#include "update/bootloader_protocol.h"
#include "update/update_session.h"

namespace padflash::reliability {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kCompTableSize = 480;
constexpr uint64_t kTechnicianPauseMs = 60000;
constexpr int kStrandingChunk = 3;

struct Unit {
  std::string serial;
  std::vector<uint8_t> own;  // its factory comp table when it was attached
  bool attached = true;
  bool heldWhenDetached = false;
};

std::vector<uint8_t> Head(const std::vector<uint8_t>& bytes) {
  return std::vector<uint8_t>(bytes.begin(),
                              bytes.begin() + std::min<size_t>(bytes.size(), kCompTableSize));
}

// One case's bench: its folder, clock, bus, controllers and firmware file.
class Bench {
 public:
  explicit Bench(const BenchCase& c) : case_(c) {
    const fs::path firmware = dir.path() / "new.hex";
    std::ofstream(firmware, std::ios::binary) << FirmwareText(c.i2c);
    firmwarePath_ = firmware.string();
  }

  Unit& Attach(const std::string& serial, uint8_t revision) {
    sim::ControllerConfig config;
    config.i2c = case_.i2c;
    config.revision = revision;
    config.serial = serial;
    if (case_.bootloaderSerial == BootloaderSerial::kNone) config.bootloaderSerial = "";
    if (case_.bootloaderSerial == BootloaderSerial::kOther)
      config.bootloaderSerial = "BL-" + serial;
    sim::Controller& c = bus.Attach(config);
    units_[serial] = Unit{serial, c.ReadFlash(kFactoryPageAddress, kCompTableSize)};
    return units_[serial];
  }

  void Detach(const std::string& serial) {
    Unit& u = units_.at(serial);
    u.heldWhenDetached = Held(u);
    u.attached = false;
    bus.Detach(serial);
  }

  // One start of the program on the controller of `key` (its serial, or
  // its path for a bootloader without one), Execute when it is offered.
  // `knownFile`: the file the technician knows to be that controller's.
  void Run(const std::string& key, const std::string& knownFile = {}) {
    TechnicianWindow window;
    window.knows = [&knownFile](std::string_view text) {
      return !knownFile.empty() && text.find(knownFile) != std::string_view::npos;
    };
    Session session(window, system, [this] { return sim::CreateBusInterface(bus); });
    session.config.firmwarePath = firmwarePath_;
    session.config.overrideCompatibility = true;  // as padflash-cli /o
    const std::map<std::string, std::vector<uint8_t>> before = Flashes();
    MainWindow dialog(session);
    dialog.OnInitDialog(0, key);
    std::string result;
    if (window.IsVisible(kIdExecute)) {
      dialog.OnExecute();
      result = std::to_string(dialog.WaitForSession());
      // With no file writable nothing may reach the controller.
      if (system.refuseWrites != 0 && result != "0" && result != "3010") {
        outcome.refusedRunsWroteNothing = outcome.refusedRunsWroteNothing && Flashes() == before;
        outcome.refusalsExplained = outcome.refusalsExplained && !window.messageBoxes().empty();
      }
    } else {
      result = "not prepared (result " + std::to_string(session.UpdateResult) + ")";
      outcome.refusedRunsWroteNothing = outcome.refusedRunsWroteNothing && Flashes() == before;
      outcome.refusalsExplained = outcome.refusalsExplained && !window.messageBoxes().empty();
    }
    dialog.OnExitOrCancel();
    dialog.OnDestroy();
    outcome.runs += (outcome.runs.empty() ? "" : "; ") + result;
    system.virtualClock.Advance(kTechnicianPauseMs);
  }

  // A power loss at the third data chunk leaves the controller in its
  // bootloader and its personality file in the working folder; returns the
  // file's name without its extension.
  std::string Strand(const std::string& serial) {
    bus.Find(serial)->faults().powerLossAtChunk = kStrandingChunk;
    Run(serial);
    bus.Find(serial)->faults() = sim::FaultRules{};
    const std::vector<std::string> files = dir.PersonalityFiles();
    return files.empty() ? std::string() : files.back().substr(0, files.back().size() - 4);
  }

  // Copies the state folder's files into the working folder: what a run
  // killed after the new firmware answered leaves behind.
  void LeaveStateCopies() {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(system.UserStateFolder(), ignored)) {
      fs::copy_file(entry.path(), dir.path() / entry.path().filename(), ignored);
    }
  }

  // Cuts the working folder's personality file(s) to `keep` bytes, as a
  // disk that filled up or a copy that broke off leaves them.
  void CutPersonalityFiles(size_t keep) {
    for (const std::string& name : dir.PersonalityFiles()) {
      std::error_code ignored;
      fs::resize_file(dir.path() / name, keep, ignored);
    }
  }

  BenchOutcome Finish() {
    outcome.ownCompTables = true;
    for (auto& [serial, unit] : units_) {
      outcome.ownCompTables =
          outcome.ownCompTables && (unit.attached ? Held(unit) : unit.heldWhenDetached);
    }
    outcome.personalityFiles = static_cast<int>(dir.PersonalityFiles().size());
    return outcome;
  }

  testing::WorkingDirectory dir;
  ClockedSystemPort system;
  sim::Bus bus{system.clock()};
  BenchOutcome outcome;

 private:
  // The unit's calibration is where it belongs: in its flash, or, while it
  // waits in its bootloader, whole in a personality file.
  bool Held(const Unit& unit) {
    sim::Controller* c = bus.Find(unit.serial);
    if (c != nullptr && c->ReadFlash(kFactoryPageAddress, kCompTableSize) == unit.own) return true;
    for (const fs::path& folder :
         {dir.path(), dir.path() / "elsewhere", fs::path(system.UserStateFolder())}) {
      std::error_code ignored;
      for (const auto& entry : fs::directory_iterator(folder, ignored)) {
        if (entry.path().extension() != ".mem") continue;
        if (Head(testing::WorkingDirectory::ReadFile(entry.path().string())) == unit.own) {
          return true;
        }
      }
    }
    return false;
  }

  std::map<std::string, std::vector<uint8_t>> Flashes() {
    std::map<std::string, std::vector<uint8_t>> flashes;
    for (sim::Controller* c : bus.controllers()) {
      flashes[c->serial()] = c->ReadFlash(0x08000000, 0x10000);
    }
    return flashes;
  }

  BenchCase case_;
  std::string firmwarePath_;
  std::map<std::string, Unit> units_;
};

// Runs a case in a folder of its own below the bench's.
class OtherFolder {
 public:
  explicit OtherFolder(const fs::path& folder) : previous_(fs::current_path()) {
    fs::create_directories(folder);
    fs::current_path(folder);
  }
  ~OtherFolder() { fs::current_path(previous_); }

 private:
  fs::path previous_;
};

}  // namespace

std::vector<BenchCase> BenchCases() {
  std::vector<BenchCase> cases;
  for (BenchKind kind :
       {BenchKind::kStrandedThenAnother, BenchKind::kStrandedBesideRunning,
        BenchKind::kRunningBesideStranded, BenchKind::kRecoveryFromAnotherFolder,
        BenchKind::kLeftByUnfinishedRun, BenchKind::kTwoUnitsOneFolder,
        BenchKind::kEmptyPersonalityFile, BenchKind::kTruncatedPersonalityFile,
        BenchKind::kDiskFull, BenchKind::kReadOnlyFolder, BenchKind::kClockSetBack}) {
    for (bool i2c : {false, true}) {
      for (BootloaderSerial serial :
           {BootloaderSerial::kSame, BootloaderSerial::kNone, BootloaderSerial::kOther}) {
        cases.push_back({kind, i2c, serial});
      }
    }
  }
  return cases;
}

std::string BenchCaseName(const BenchCase& c) {
  static const std::map<BenchKind, const char*> kinds = {
      {BenchKind::kStrandedThenAnother, "stranded unit, then another of its model"},
      {BenchKind::kStrandedBesideRunning, "stranded unit beside a running one"},
      {BenchKind::kRunningBesideStranded, "running unit beside a stranded one"},
      {BenchKind::kRecoveryFromAnotherFolder, "recovery from another folder"},
      {BenchKind::kLeftByUnfinishedRun, "file left by a run killed near its end"},
      {BenchKind::kTwoUnitsOneFolder, "two units, one folder"},
      {BenchKind::kEmptyPersonalityFile, "stranded unit whose file is 0 bytes"},
      {BenchKind::kTruncatedPersonalityFile, "stranded unit whose file is cut short"},
      {BenchKind::kDiskFull, "update with the disk full"},
      {BenchKind::kReadOnlyFolder, "update from a read-only folder"},
      {BenchKind::kClockSetBack, "clock set back between runs"}};
  const char* serial = c.bootloaderSerial == BootloaderSerial::kSame   ? "the firmware's"
                       : c.bootloaderSerial == BootloaderSerial::kNone ? "none"
                                                                       : "another";
  return std::string(kinds.at(c.kind)) + " (" + (c.i2c ? "I2C" : "USB") +
         ", bootloader serial: " + serial + ")";
}

BenchOutcome RunBenchCase(const BenchCase& c) {
  Bench b(c);
  switch (c.kind) {
    case BenchKind::kStrandedThenAnother: {
      b.Attach("PADA", 0x05);
      b.Strand("PADA");
      b.Detach("PADA");
      b.Attach("PADB", kNewRevision);
      b.Run("PADB");
      break;
    }
    case BenchKind::kStrandedBesideRunning: {
      b.Attach("PADA", 0x05);
      const std::string fileOfA = b.Strand("PADA");
      b.Attach("PADB", 0x05);
      b.Run("/sim/PADA", fileOfA);
      break;
    }
    case BenchKind::kRunningBesideStranded: {
      b.Attach("PADA", 0x05);
      const std::string fileOfA = b.Strand("PADA");
      b.Attach("PADB", 0x05);
      b.Run("PADB");
      b.Run("/sim/PADA", fileOfA);
      b.Run("PADB");
      break;
    }
    case BenchKind::kRecoveryFromAnotherFolder: {
      b.Attach("PADA", 0x05);
      const std::string fileOfA = b.Strand("PADA");
      OtherFolder elsewhere(b.dir.path() / "elsewhere");
      b.Run("/sim/PADA", fileOfA);
      break;
    }
    case BenchKind::kLeftByUnfinishedRun: {
      b.Attach("PADA", 0x05);
      b.Run("PADA");
      b.LeaveStateCopies();
      b.Detach("PADA");
      b.Attach("PADB", 0x05);
      b.Run("PADB");
      break;
    }
    case BenchKind::kTwoUnitsOneFolder: {
      b.Attach("PADA", 0x05);
      b.Run("PADA");
      b.Detach("PADA");
      b.Attach("PADB", 0x05);
      b.Run("PADB");
      break;
    }
    case BenchKind::kEmptyPersonalityFile:
    case BenchKind::kTruncatedPersonalityFile: {
      b.Attach("PADA", 0x05);
      const std::string fileOfA = b.Strand("PADA");
      b.CutPersonalityFiles(c.kind == BenchKind::kEmptyPersonalityFile ? 0 : kCompTableSize / 2);
      b.Run("/sim/PADA", fileOfA);
      break;
    }
    case BenchKind::kDiskFull:
    case BenchKind::kReadOnlyFolder: {
      b.Attach("PADA", 0x05);
      b.system.refuseWrites = c.kind == BenchKind::kDiskFull ? ENOSPC : EACCES;
      b.Run("PADA");
      b.system.refuseWrites = 0;
      b.Run("PADA");
      break;
    }
    case BenchKind::kClockSetBack: {
      b.Attach("PADA", 0x05);
      const std::string fileOfA = b.Strand("PADA");
      b.system.setBackS = 3600;
      b.Attach("PADB", 0x05);
      b.Run("PADB");
      b.Run("/sim/PADA", fileOfA);
      break;
    }
  }
  return b.Finish();
}

std::string BenchMarkdown(const std::vector<BenchCase>& cases,
                          const std::vector<BenchOutcome>& outcomes) {
  std::ostringstream md;
  md << "| case | runs (exit code of each) | own comp tables | refusals wrote nothing and said "
        "why | personality files left |\n|---|---|---|---|---|\n";
  int sound = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    const BenchOutcome& o = outcomes[i];
    sound += o.Sound();
    md << "| " << BenchCaseName(cases[i]) << " | " << o.runs << " | "
       << (o.ownCompTables ? "yes" : "**no**") << " | "
       << (o.refusedRunsWroteNothing && o.refusalsExplained ? "yes" : "**no**") << " | "
       << o.personalityFiles << " |\n";
  }
  md << "\n" << sound << " of " << cases.size() << " cases hold.\n";
  return md.str();
}

}  // namespace padflash::reliability
