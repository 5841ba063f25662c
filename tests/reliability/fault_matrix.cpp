#include "tests/reliability/fault_matrix.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

#include "app/main_window.h"
#include "session/session.h"
#include "sim/bus.h"
#include "tests/reliability/host_death.h"
#include "tests/reliability/technician.h"
#include "tests/session/working_directory.h"
#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"
#include "tools/fwgen/firmware_generator.h"
#include "update/bootloader_protocol.h"
#include "update/update_session.h"

namespace padflash::reliability {
namespace {

using testing::RecordingWindow;
using testing::TestSystemPort;
using testing::WorkingDirectory;

constexpr uint8_t kOldRevision = 0x05;
constexpr uint8_t kFeedConfig1 = 0x3C;  // differs from the image's default 0x5A
constexpr uint32_t kCompTableSize = 480;
constexpr uint32_t kFactoryValuesOffset = kCompTableSize + 72;
constexpr uint8_t kErrorCode = NV_err_timeout;
constexpr uint32_t kSlowReturnMs = 30000;  // longer than the 20 s reconnect
// Between two starts of the program the technician takes a minute.
constexpr uint64_t kTechnicianPauseMs = 60000;
constexpr int kMaxRecoveryRuns = 3;
constexpr int kStrandingChunk = 3;

#ifndef PADFLASH_SAMPLE_PACKAGE_DIR
#error "PADFLASH_SAMPLE_PACKAGE_DIR must name the folder of the sample packages"
#endif

// One case's world: its own folder, clock, bus and controller, and the
// firmware file in the folder.
struct World {
  explicit World(const Scenario& scenario)
      : firmwarePath(scenario.package ? "release.dll" : "new.hex") {
    bus.SetTraceRecording(false);  // the reference turns it on
    sim::ControllerConfig config;
    config.i2c = scenario.i2c;
    config.revision = kOldRevision;
    config.feedConfig1 = kFeedConfig1;
    controller = &bus.Attach(config);
    compTable = controller->ReadFlash(kFactoryPageAddress, kCompTableSize);
    factoryValues = controller->ReadFlash(kFactoryPageAddress + kFactoryValuesOffset, 3);
    if (scenario.package) {
      std::filesystem::copy_file(PADFLASH_SAMPLE_PACKAGE_DIR "/sample_usb_1206.dll", firmwarePath);
    } else {
      static const std::string usb = FirmwareText(false);
      static const std::string i2c = FirmwareText(true);
      std::ofstream(firmwarePath, std::ios::binary) << (scenario.i2c ? i2c : usb);
    }
  }

  WorkingDirectory dir;
  std::string firmwarePath;
  ClockedSystemPort system;
  sim::Bus bus{system.clock()};
  sim::Controller* controller = nullptr;
  std::vector<uint8_t> compTable;
  std::vector<uint8_t> factoryValues;
};

struct ExecuteResult {
  std::string text;
  bool updated = false;  // 0 or 3010
  bool done = false;     // 0: nothing more to do
};

// One start of the program: the dialog prepares at its start (and once
// more after Refresh when it could not); then Execute, `executes` times,
// with Refresh first whenever Execute is hidden (or always, `refresh`).
// `between` runs between two Executes.
std::vector<ExecuteResult> ProgramRun(World& w, int executes, bool refresh = false,
                                      const std::function<void()>& between = {}) {
  TechnicianWindow window;
  Session session(window, w.system, [&w] { return sim::CreateBusInterface(w.bus); });
  session.config.firmwarePath = w.firmwarePath;
  std::vector<ExecuteResult> results;
  MainWindow dialog(session);
  dialog.OnInitDialog();
  for (int i = 0; i < executes; ++i) {
    if (i > 0) {
      if (between) between();
      w.system.virtualClock.Advance(kTechnicianPauseMs);
    }
    if (!window.IsVisible(kIdExecute) || (i > 0 && refresh)) dialog.OnRefresh();
    if (!window.IsVisible(kIdExecute)) {
      results.push_back(
          {session.deviceList.empty()
               ? std::string("not prepared (no device listed)")
               : "not prepared (result " + std::to_string(session.UpdateResult) + ")"});
      continue;
    }
    dialog.OnExecute();
    const int exit = dialog.WaitForSession();
    ExecuteResult r;
    r.updated = exit == kExitSuccess || exit == kExitSuccessRetryAdvised;
    r.done = exit == kExitSuccess;
    r.text = std::to_string(exit);
    if (!r.updated) r.text += " (result " + std::to_string(session.UpdateResult) + ")";
    results.push_back(r);
  }
  dialog.OnExitOrCancel();
  dialog.OnDestroy();
  return results;
}

// An update that loses power at its third data chunk leaves the controller
// in its bootloader with its page erased and the personality file on disk.
bool Strand(World& w) {
  w.controller->faults().powerLossAtChunk = kStrandingChunk;
  const bool updated = ProgramRun(w, 1)[0].updated;
  w.controller->faults() = sim::FaultRules{};
  w.system.virtualClock.Advance(kTechnicianPauseMs);
  return !updated && w.controller->inBootloader() && w.dir.PersonalityFiles().size() == 1;
}

bool Stuck(const sim::Controller& c) {
  return c.state().restart.active && c.state().restart.forever;
}

void Arm(sim::Controller& c, const FaultCase& fc) {
  sim::FaultRules& f = c.faults();
  switch (fc.kind) {
    case FaultKind::kTransportFailure:
      (fc.at.isSet ? f.failSetAt : f.failGetAt) = fc.at.ordinal;
      break;
    case FaultKind::kCorruptReply:
      f.corruptReadReplyAt = fc.at.readReply;
      break;
    case FaultKind::kBootloaderError:
      f.bootloaderErrorAtSet = fc.at.ordinal;
      f.bootloaderErrorCode = kErrorCode;
      break;
    case FaultKind::kNoReturn:
      (fc.at.command == kCmdInvoke ? f.noReturnAfterInvoke : f.noReturnAfterReset) = true;
      break;
    case FaultKind::kSlowReturn:  // armed when its SET goes out (Run)
      break;
    case FaultKind::kPowerLoss:
      f.powerLossAtReport = fc.at.index;
      break;
    case FaultKind::kHostDeath:
      f.hostDeathAtReport = fc.at.index;
      break;
    case FaultKind::kHostDeathAndPowerLoss:
      f.hostDeathAtReport = fc.at.index;
      f.powerLossAtReport = fc.at.index;
      break;
  }
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%" PRIX32, value);
  return text;
}

uint32_t ReportU32(const std::vector<uint8_t>& report, size_t at) {
  return report[at] | report[at + 1] << 8 | report[at + 2] << 16 |
         static_cast<uint32_t>(report[at + 3]) << 24;
}

const char* CommandName(uint8_t command) {
  switch (command) {
    case kCmdWriteData:
      return "write-data";
    case kCmdFlush:
      return "flush";
    case kCmdValidate:
      return "validate";
    case kCmdReset:
      return "reset";
    case kCmdFormatImage:
      return "format-image";
    case kCmdFormatRegion:
      return "format-region";
    case kCmdInvoke:
      return "invoke";
    case kCmdWriteMemory:
      return "write-memory";
    case kCmdReadMemory:
      return "read-memory";
    default:
      return "unknown";
  }
}

// "<ms> <SET|GET|SET-FAIL|GET-FAIL> <serial> <hex>" into the report bytes.
bool ParseTraceLine(const std::string& line, std::string& kind, std::vector<uint8_t>& report) {
  std::istringstream in(line);
  std::string ms, serial, hex;
  if (!(in >> ms >> kind >> serial >> hex) || hex.size() % 2 != 0) return false;
  report.clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    report.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return report.size() > 1;
}

}  // namespace

const char* KindName(FaultKind kind) {
  switch (kind) {
    case FaultKind::kTransportFailure:
      return "transport failure";
    case FaultKind::kCorruptReply:
      return "corrupt reply checksum";
    case FaultKind::kBootloaderError:
      return "bootloader error";
    case FaultKind::kNoReturn:
      return "no return";
    case FaultKind::kSlowReturn:
      return "slow return";
    case FaultKind::kPowerLoss:
      return "power loss";
    case FaultKind::kHostDeath:
      return "host death";
    case FaultKind::kHostDeathAndPowerLoss:
      return "host death with power loss";
  }
  return "?";
}

const char* PlanName(SessionPlan plan) {
  switch (plan) {
    case SessionPlan::kExecuteOnce:
      return "execute once";
    case SessionPlan::kExecuteTwice:
      return "execute twice";
    case SessionPlan::kRefreshAndExecute:
      return "execute then refresh and execute";
  }
  return "?";
}

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> scenarios = {
      {"usb-hex", false, false, false},
      {"i2c-hex", true, false, false},
      {"usb-package", false, true, false},
      {"usb-hex-from-bootloader", false, false, true},
      {"i2c-hex-from-bootloader", true, false, true},
  };
  return scenarios;
}

FaultMatrix::FaultMatrix(const Scenario& scenario) : scenario_(scenario) {
  World w(scenario_);
  if (scenario_.leftInBootloader && !Strand(w)) {
    referenceProblem_ = "the interrupted update did not leave the controller in its bootloader";
    return;
  }
  w.bus.SetTraceRecording(true);
  TechnicianWindow window;
  Session session(window, w.system, [&w] { return sim::CreateBusInterface(w.bus); });
  session.config.firmwarePath = w.firmwarePath;
  MainWindow dialog(session);
  dialog.OnInitDialog();
  const size_t prepared = w.bus.TraceLines().size();
  int exit = -2;
  if (window.IsVisible(kIdExecute)) {
    dialog.OnExecute();
    exit = dialog.WaitForSession();
  }
  dialog.OnDestroy();
  const std::vector<std::string> lines = w.bus.TraceLines();

  int sets = 0, gets = 0, reads = 0;
  bool replyPending = false;
  uint32_t readAddress = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string kind;
    std::vector<uint8_t> report;
    if (!ParseTraceLine(lines[i], kind, report) || (kind != "SET" && kind != "GET")) {
      referenceProblem_ = "unexpected trace line: " + lines[i].substr(0, 40);
      return;
    }
    Exchange e;
    e.index = static_cast<int>(i) + 1;
    e.isSet = kind == "SET";
    e.inSession = i >= prepared;
    if (e.isSet) {
      e.ordinal = ++sets;
      e.command = report[1];
      e.what = std::string("SET ") + CommandName(e.command);
      replyPending = e.command == kCmdReadMemory;
      if (replyPending) {
        ++reads;
        readAddress = ReportU32(report, 2);
      }
      if (e.command == kCmdReadMemory || e.command == kCmdWriteMemory ||
          e.command == kCmdWriteData) {
        e.what += " " + Hex(ReportU32(report, 2));
      } else if (e.command == kCmdFormatRegion) {
        e.what += " " + std::to_string(report[2]);
      }
    } else {
      e.ordinal = ++gets;
      if (replyPending) {
        e.readReply = reads;
        e.what = "GET read reply " + Hex(readAddress);
      } else {
        e.what = "GET status";
      }
      replyPending = false;
    }
    exchanges_.push_back(e);
  }

  const sim::Controller& c = *w.controller;
  const int expected = scenario_.leftInBootloader ? kExitSuccessRetryAdvised : kExitSuccess;
  if (exit != expected) {
    referenceProblem_ = "the reference update ended with " + std::to_string(exit);
  } else if (c.runningRevision() != kNewRevision ||
             c.ReadFlash(kFactoryPageAddress, kCompTableSize) != w.compTable) {
    referenceProblem_ = "the reference update did not keep the comp table";
  } else {
    referenceOk_ = true;
  }
}

std::vector<FaultCase> FaultMatrix::AllCases() const {
  std::vector<FaultCase> cases;
  for (SessionPlan plan :
       {SessionPlan::kExecuteOnce, SessionPlan::kExecuteTwice, SessionPlan::kRefreshAndExecute}) {
    for (const Exchange& e : exchanges_) {
      const bool restart = e.isSet && (e.command == kCmdInvoke || e.command == kCmdReset);
      std::vector<FaultKind> kinds = {FaultKind::kTransportFailure, FaultKind::kPowerLoss};
      if (e.isSet) kinds.push_back(FaultKind::kBootloaderError);
      if (e.readReply != 0) kinds.push_back(FaultKind::kCorruptReply);
      if (restart) {
        kinds.push_back(FaultKind::kNoReturn);
        kinds.push_back(FaultKind::kSlowReturn);
      }
      if (plan == SessionPlan::kExecuteOnce) {
        kinds.push_back(FaultKind::kHostDeath);
        kinds.push_back(FaultKind::kHostDeathAndPowerLoss);
      }
      for (FaultKind kind : kinds) cases.push_back({scenario_.name, e, kind, plan});
    }
  }
  return cases;
}

// Every case at a report whose command or reply occurs only a few times,
// every sixth case elsewhere; the two-session plans at every twelfth case.
std::vector<FaultCase> FaultMatrix::SubsetCases() const {
  std::map<std::string, int> seen;
  for (const Exchange& e : exchanges_) ++seen[e.what.substr(0, e.what.find(" 0x"))];
  std::vector<FaultCase> subset;
  int n = 0;
  for (const FaultCase& c : AllCases()) {
    ++n;
    const bool rare = seen[c.at.what.substr(0, c.at.what.find(" 0x"))] <= 3;
    if (c.plan == SessionPlan::kExecuteOnce ? (rare || n % 6 == 0) : n % 12 == 0) {
      subset.push_back(c);
    }
  }
  return subset;
}

CaseOutcome FaultMatrix::Run(const FaultCase& fc) const {
  World w(scenario_);
  sim::Controller& c = *w.controller;
  CaseOutcome o;
  if (scenario_.leftInBootloader && !Strand(w)) return o;

  Arm(c, fc);
  if (fc.kind == FaultKind::kSlowReturn) {
    // Slow from the chosen restart on: armed when its SET goes out.
    const uint64_t target = c.state().counters.sets + static_cast<uint64_t>(fc.at.ordinal);
    w.bus.SetBeforeAccessHook([&c, target] {
      if (c.state().counters.sets + 1 == target) {
        c.faults().returnDelayMs = kSlowReturnMs;
      }
    });
  }
  bool done = false;
  if (fc.kind == FaultKind::kHostDeath || fc.kind == FaultKind::kHostDeathAndPowerLoss) {
    // The program's process ends at the report; the next start is a new one.
    ExecuteResult result;
    const HostRun host =
        RunHostThatMayDie(w.bus, w.system.virtualClock, [&] { result = ProgramRun(w, 1)[0]; });
    o.firstRun = !host.ran     ? "not run (" + host.problem + ")"
                 : host.killed ? "killed"
                               : result.text;
    done = host.ran && !host.killed && result.done;
  } else {
    const int executes = fc.plan == SessionPlan::kExecuteOnce ? 1 : 2;
    const bool refresh = fc.plan == SessionPlan::kRefreshAndExecute;
    const std::vector<ExecuteResult> first = ProgramRun(w, executes, refresh, [&w, &c] {
      w.bus.SetBeforeAccessHook({});
      c.faults() = sim::FaultRules{};
    });
    w.bus.SetBeforeAccessHook({});
    o.firstRun = first[0].text;
    if (first.size() > 1) o.secondRun = first[1].text;
    done = first.back().done;
  }

  while (!done && o.recoveryRuns < kMaxRecoveryRuns) {
    w.system.virtualClock.Advance(kTechnicianPauseMs);
    c.faults() = sim::FaultRules{};
    if (Stuck(c)) {
      c.PowerCycle();
      o.powerCycled = true;
    }
    ++o.recoveryRuns;
    done = ProgramRun(w, 1)[0].done;
  }
  o.recovered = done;

  // What the technician finds afterwards; a controller that never came back
  // is brought back by restarting the computer.
  w.system.virtualClock.Advance(kTechnicianPauseMs);
  c.faults() = sim::FaultRules{};
  if (Stuck(c)) {
    c.PowerCycle();
    o.powerCycled = true;
  }
  o.newFirmware =
      c.present() && !c.inBootloader() && c.imageValid() && c.runningRevision() == kNewRevision;
  o.compTableIntact = c.ReadFlash(kFactoryPageAddress, kCompTableSize) == w.compTable;
  o.factoryValuesIntact =
      c.ReadFlash(kFactoryPageAddress + kFactoryValuesOffset, 3) == w.factoryValues;
  o.feedConfig1 = c.feedConfig1();
  o.personalityFiles = static_cast<int>(w.dir.PersonalityFiles().size());
  return o;
}

std::string CsvHeader() {
  return "scenario,report,phase,exchange,fault,plan,first_run,second_run,recovery_runs,recovered,"
         "power_cycled,new_firmware,comp_table_intact,factory_values_intact,feedconfig1,"
         "personality_files_left\n";
}

std::string CsvLine(const FaultCase& c, const CaseOutcome& o) {
  auto yes = [](bool b) { return b ? "yes" : "no"; };
  char feed[8];
  std::snprintf(feed, sizeof feed, "0x%02X", o.feedConfig1);
  std::ostringstream line;
  line << c.scenario << ',' << c.at.index << ',' << (c.at.inSession ? "session" : "prepare") << ','
       << c.at.what << ',' << KindName(c.kind) << ',' << PlanName(c.plan) << ',' << o.firstRun
       << ',' << o.secondRun << ',' << o.recoveryRuns << ',' << yes(o.recovered) << ','
       << yes(o.powerCycled) << ',' << yes(o.newFirmware) << ',' << yes(o.compTableIntact) << ','
       << yes(o.factoryValuesIntact) << ',' << feed << ',' << o.personalityFiles << '\n';
  return line.str();
}

std::string MarkdownSummary(const std::vector<FaultCase>& cases,
                            const std::vector<CaseOutcome>& outcomes) {
  struct Tally {
    int cases = 0, recovered = 0, compTable = 0, factoryValues = 0, newFirmware = 0;
    int doneAtOnce = 0, powerCycled = 0, feedConfig1Kept = 0, filesLeft = 0;
    int recoveryRuns[kMaxRecoveryRuns + 1] = {};
  };
  std::map<std::string, Tally> byScenario;
  std::map<std::string, Tally> byKind;
  Tally all;
  std::string unsound;
  for (size_t i = 0; i < cases.size(); ++i) {
    const CaseOutcome& o = outcomes[i];
    for (Tally* t : {&all, &byScenario[cases[i].scenario], &byKind[KindName(cases[i].kind)]}) {
      ++t->cases;
      t->recovered += o.recovered;
      t->compTable += o.compTableIntact;
      t->factoryValues += o.factoryValuesIntact;
      t->newFirmware += o.newFirmware;
      t->doneAtOnce += o.recoveryRuns == 0 && o.recovered;
      t->powerCycled += o.powerCycled;
      t->feedConfig1Kept += o.feedConfig1 == kFeedConfig1;
      t->filesLeft += o.personalityFiles > 0;
      ++t->recoveryRuns[std::min(o.recoveryRuns, kMaxRecoveryRuns)];
    }
    if (!o.Sound()) unsound += CsvLine(cases[i], o);
  }

  std::ostringstream md;
  auto table = [&md](const char* what, const std::map<std::string, Tally>& rows,
                     const Tally& total) {
    md << "| " << what
       << " | cases | 0 at once | recovered (0) | recovery runs 0/1/2/3 | on the new firmware | "
          "comp table intact | factory values intact | FeedConfig1 kept | restart needed | "
          "personality file left |\n|---|---|---|---|---|---|---|---|---|---|---|\n";
    auto row = [&md](const std::string& name, const Tally& t) {
      md << "| " << name << " | " << t.cases << " | " << t.doneAtOnce << " | " << t.recovered
         << " | " << t.recoveryRuns[0] << "/" << t.recoveryRuns[1] << "/" << t.recoveryRuns[2]
         << "/" << t.recoveryRuns[3] << " | " << t.newFirmware << " | " << t.compTable << " | "
         << t.factoryValues << " | " << t.feedConfig1Kept << " | " << t.powerCycled << " | "
         << t.filesLeft << " |\n";
    };
    for (const auto& [name, tally] : rows) row(name, tally);
    row("**all**", total);
    md << "\n";
  };
  table("scenario", byScenario, all);
  table("fault", byKind, all);
  if (unsound.empty()) {
    md << "Every case ended with a run that exited 0, on the new firmware, with its comp table "
          "and its three factory values intact.\n";
  } else {
    md << "Cases that did not end so (CSV lines):\n\n```\n" << CsvHeader() << unsound << "```\n";
  }
  return md.str();
}

}  // namespace padflash::reliability
