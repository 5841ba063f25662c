// The fault matrix: reference updates of a simulated controller, each run
// again once per fault point with one fault injected at one feature report,
// then run as a technician would until a run ends with exit code 0 (a run
// that ends 3010 advises another one) or three runs fail; every case records
// what became of the controller and its factory calibration.
//
// Everything runs in this process on the virtual clock: the main-window
// controller (with its worker thread), the preparation, the session and the
// simulated bus; each case in a fresh working directory of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace padflash::reliability {

// One feature report of the reference update, in order.
struct Exchange {
  int index = 0;        // 1-based among all reports
  bool isSet = false;   // SET_FEATURE, else GET_FEATURE
  int ordinal = 0;      // 1-based among the SETs, or among the GETs
  int readReply = 0;    // a GET that hands out the reply of memory read n (1-based), else 0
  uint8_t command = 0;  // a SET's command code
  bool inSession = false;
  std::string what;  // "SET read-memory 0xC2C4", "GET status", ...
};

enum class FaultKind {
  kTransportFailure,       // the report fails
  kCorruptReply,           // the memory-read reply it hands out has a wrong checksum
  kBootloaderError,        // the SET is refused with a bootloader error code
  kNoReturn,               // after this invoke or reset the controller never comes back
  kSlowReturn,             // ... comes back after 30 s only
  kPowerLoss,              // power fails at this report
  kHostDeath,              // the program's process ends right after this report
  kHostDeathAndPowerLoss,  // ... and power fails at this report as well
};

// Execute once; or Execute, then in the same program run Execute again
// (after Refresh only when the failed session hid Execute), or Refresh and
// Execute again. The second session runs without the fault.
enum class SessionPlan { kExecuteOnce, kExecuteTwice, kRefreshAndExecute };

// A reference update: how the controller is attached, where the firmware
// comes from, and whether it starts in its bootloader, left there (with its
// personality file) by an update that lost power at its third data chunk.
struct Scenario {
  const char* name = "";
  bool i2c = false;
  bool package = false;  // the sample package library, else an Intel HEX file
  bool leftInBootloader = false;
};

// USB and I2C from HEX files, USB from a package library, and USB and I2C
// left in their bootloaders.
const std::vector<Scenario>& Scenarios();

struct FaultCase {
  const char* scenario = "";
  Exchange at;
  FaultKind kind = FaultKind::kTransportFailure;
  SessionPlan plan = SessionPlan::kExecuteOnce;
};

struct CaseOutcome {
  std::string firstRun;      // "0", "3010", "1603 (result 28)", "not prepared (result 17)",
                             // "killed"
  std::string secondRun;     // the second Execute of kExecuteTwice, else ""
  int recoveryRuns = 0;      // program runs after the faulty one (at most 3)
  bool recovered = false;    // a run ended with exit code 0
  bool powerCycled = false;  // the controller never came back: the technician restarted
  bool newFirmware = false;
  bool compTableIntact = false;
  bool factoryValuesIntact = false;
  uint8_t feedConfig1 = 0;  // in RAM at the end (0x3C before the update)
  int personalityFiles = 0;
  // Every case is meant to end recovered, on the new firmware, with the comp
  // table and the three factory values intact.
  bool Sound() const { return recovered && newFirmware && compTableIntact && factoryValuesIntact; }
};

const char* KindName(FaultKind kind);
const char* PlanName(SessionPlan plan);

// The reference update of a scenario: the controller (chip 0x12, revision
// 5, FeedConfig1 0x3C) updated to revision 6.
class FaultMatrix {
 public:
  // Runs the reference update once and records its reports; ok() says
  // whether it succeeded as it must.
  explicit FaultMatrix(const Scenario& scenario);
  bool ok() const { return referenceOk_; }
  const std::string& referenceProblem() const { return referenceProblem_; }
  const std::vector<Exchange>& exchanges() const { return exchanges_; }

  // Every fault kind that applies, at every report, under each plan (a
  // host's death under the first only: the dead host runs nothing more); or,
  // for the default test run, a bounded subset that still meets every kind,
  // every command and both plans.
  std::vector<FaultCase> AllCases() const;
  std::vector<FaultCase> SubsetCases() const;

  CaseOutcome Run(const FaultCase& c) const;

 private:
  Scenario scenario_;
  std::vector<Exchange> exchanges_;
  bool referenceOk_ = false;
  std::string referenceProblem_;
};

// The table as CSV, one line per case, and a Markdown summary.
std::string CsvHeader();
std::string CsvLine(const FaultCase& c, const CaseOutcome& o);
std::string MarkdownSummary(const std::vector<FaultCase>& cases,
                            const std::vector<CaseOutcome>& outcomes);

}  // namespace padflash::reliability
