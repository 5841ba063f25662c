// The bench cases: several controllers of one model on one computer, as a
// technician's bench has them, each case a short sequence of program runs
// in process on the virtual clock. A case holds when every controller ends
// with its own factory comp table (in its flash, or, for one still in its
// bootloader, in a personality file that holds it), and a run that stopped
// did so before anything was written, with a message that says why.
#pragma once

#include <string>
#include <vector>

namespace padflash::reliability {

enum class BenchKind {
  kStrandedThenAnother,        // A stranded and unplugged; B of its model updated
  kStrandedBesideRunning,      // A stranded, B running: A's bootloader picked
  kRunningBesideStranded,      // A stranded, B running: B picked first, then A, then B
  kRecoveryFromAnotherFolder,  // A stranded; recovered from another working folder
  kLeftByUnfinishedRun,        // A's file left behind by a run killed near its end; B updated
  kTwoUnitsOneFolder,          // A updated, then B in its place, from one folder
  kEmptyPersonalityFile,       // A stranded, its file cut to 0 bytes; A recovered
  kTruncatedPersonalityFile,   // A stranded, its file cut short; A recovered
  kDiskFull,                   // A updated while no file can be written (ENOSPC)
  kReadOnlyFolder,             // ... (EACCES)
  kClockSetBack,               // A stranded; the clock set back; B updated, then A
};

// What a unit's bootloader shows as its serial string.
enum class BootloaderSerial { kSame, kNone, kOther };

struct BenchCase {
  BenchKind kind = BenchKind::kStrandedThenAnother;
  bool i2c = false;
  BootloaderSerial bootloaderSerial = BootloaderSerial::kSame;
};

struct BenchOutcome {
  std::string runs;            // each run's exit code or "not prepared (result N)", in order
  bool ownCompTables = false;  // every unit's calibration where it belongs
  bool refusedRunsWroteNothing = true;
  bool refusalsExplained = true;  // each refusal showed a message box
  int personalityFiles = 0;       // left in the working folder
  bool Sound() const { return ownCompTables && refusedRunsWroteNothing && refusalsExplained; }
};

// Every kind on USB and I2C with each kind of bootloader serial.
std::vector<BenchCase> BenchCases();
std::string BenchCaseName(const BenchCase& c);
BenchOutcome RunBenchCase(const BenchCase& c);

// The table of the cases for docs/reliability.md.
std::string BenchMarkdown(const std::vector<BenchCase>& cases,
                          const std::vector<BenchOutcome>& outcomes);

}  // namespace padflash::reliability
