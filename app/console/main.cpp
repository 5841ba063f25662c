// padflash-cli: the console front end. Same switches and the same engine
// as the dialog program; the verbose protocol on standard output, status
// changes on standard error, questions answered on the terminal or by
// --answer. With --json standard output holds one JSON document written
// when the run ends, and --log appends the protocol to a file. Its exit
// codes are the platform's own (cli_exit_codes.h).
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "VLMHID.h"
#include "app/console/cli_options.h"
#include "app/console/cli_system_port.h"
#include "app/console/console_streams.h"
#include "app/console/console_window.h"
#include "app/console/protocol_log.h"
#include "app/console/run_report.h"
#include "app/console/stop_requests.h"
#include "app/main_window.h"
#include "session/program_version.h"
#include "session/session.h"

using namespace padflash;

namespace {

// Prints the device list as the combo box shows it, one entry a line.
int ListDevices(Session& session, ConsoleWindow& window, bool json) {
  RefreshDeviceList(session);
  std::vector<std::string> items = window.ComboItems();
  if (!json) {
    for (size_t i = 0; i < items.size(); ++i) std::printf("%zu: %s\n", i, items[i].c_str());
  }
  return items.empty() ? kCliNotPrepared : 0;
}

// Prints why the run ends without an update and keeps it for the report.
int Stop(CliRun& run, int status, const std::string& reason, bool withUsage = false) {
  std::fprintf(stderr, "padflash-cli: %s\n%s%s", reason.c_str(), withUsage ? "\n" : "",
               withUsage ? CliUsage() : "");
  run.error = reason;
  return status;
}

// Everything between the options and the report: the checks, then the
// device list or the preparation and the update session.
int Run(const CliOptions& cli, const std::string& logError, Session& session, ConsoleWindow& window,
        CliSystemPort& system, CliRun& run) {
  if (!cli.error.empty()) return Stop(run, kCliBadUsage, cli.error, true);
  // Asked for, the log is part of the run: without it nothing is done.
  if (!logError.empty()) {
    return Stop(run, kCliNotPrepared, "cannot open the log file " + cli.logPath + ": " + logError);
  }
  std::unique_ptr<NamedMutex> instance = system.AcquireNamedMutex(kInstanceMutexName);
  if (!instance) return Stop(run, kCliAlreadyRunning, "another instance of padflash is running");
  if (cli.list) return ListDevices(session, window, cli.json);

  if (session.config.firmwarePath.empty()) {
    return Stop(run, kCliBadUsage, "no firmware file given", true);
  }
  if (!system.FileExists(session.config.firmwarePath)) {
    return Stop(run, kCliNotPrepared, "firmware file not found: " + session.config.firmwarePath);
  }

  MainWindow controller(session);
  controller.OnInitDialog(cli.device, cli.deviceKey);
  run.prepared = controller.LastPrepareResult() != -1;
  if (session.selectedDevice >= 0 &&
      static_cast<size_t>(session.selectedDevice) < session.deviceList.size()) {
    run.controller = session.deviceList[static_cast<size_t>(session.selectedDevice)];
  }
  run.foundAsBootloader = session.bootloaderMode;
  run.chipIdBefore = session.device.chipId;
  run.revisionBefore = session.device.firmwareRevision;
  if (!window.IsVisible(kIdExecute)) {
    window.Finish();
    const std::string reason = controller.LastPrepareResult() == 1
                                   ? ResultMessages[session.UpdateResult]
                                   : window.StatusLine();
    run.imageLoaded = session.image != nullptr;
    controller.OnDestroy();
    return Stop(run, kCliNotPrepared, "not prepared: " + reason);
  }
  int sessionExit = 0;
  {
    // From here on the controller is written to: a stop request waits for
    // the session's end, and the program then ends as it would anyway.
    StopRequestsDeferred stopRequests;
    controller.OnExecute();
    sessionExit = controller.WaitForSession();
    if (stopRequests.Deferred() != nullptr) {
      window.Finish();
      std::fprintf(stderr, "padflash-cli: the update has ended; stopping as asked by %s\n",
                   stopRequests.Deferred());
    }
  }
  run.sessionExitCode = sessionExit;
  run.imageLoaded = session.image != nullptr;
  controller.OnDestroy();
  return CliExitForSession(sessionExit);
}

}  // namespace

int main(int argc, char** argv) {
  const CliOptions cli = ParseCliOptions(argc, argv);
  if (cli.help && cli.error.empty()) {
    std::fputs(CliUsage(), stdout);
    return 0;
  }
  if (cli.version && cli.error.empty()) {
    std::printf("padflash-cli %s\n", FormatProgramVersion().c_str());
    return 0;
  }

  CliRun run;
  run.start = WallClock::now();
  run.arguments.assign(argv + (argc > 0 ? 1 : 0), argv + argc);

  // The log's header line opens every run that asked for one.
  ProtocolLog log;
  std::string logError;
  if (!cli.logPath.empty() && log.Open(cli.logPath, logError)) {
    run.logPath = cli.logPath;
    log.WriteLine("==== padflash-cli " + FormatProgramVersion() + " started " +
                  FormatUtcTimestamp(run.start) + " arguments " +
                  nlohmann::ordered_json(run.arguments)
                      .dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
  }

  // Device strings are converted with the user's character set.
  std::setlocale(LC_ALL, "");
  ConsoleStreams streams;
  ConsoleOptions console;
  console.answer = cli.answer;
  console.interactive = streams.interactive();
  console.liveStatus = streams.liveStatus();
  console.clearLine = streams.clearLine();
  console.protocolOnOut = !cli.json;
  console.log = log.IsOpen() ? &log : nullptr;
  ConsoleWindow window(console, stdout, stderr, stdin);
  CliSystemPort system(cli.json);
  Session session(window, system, [] { return CreateVLMHIDInterface(); });

  std::vector<const char*> args;
  for (const std::string& a : cli.rest) args.push_back(a.c_str());
  // "/?" prints the switches' help and ends the program: no run, no report.
  const bool switchHelp =
      ParseCommandLine(session, static_cast<int>(args.size()), args.data()) != 0;

  const int status = switchHelp ? 0 : Run(cli, logError, session, window, system, run);
  window.Finish();
  run.end = WallClock::now();
  run.exitStatus = status;
  if (log.IsOpen()) {
    log.WriteLine("==== padflash-cli ended " + FormatUtcTimestamp(run.end) + " exit status " +
                  std::to_string(status) + " (" +
                  (switchHelp ? "help" : CliOutcomeName(status, cli.list)) + ")");
    run.logComplete = log.Close();
    if (!run.logComplete) {
      std::fprintf(stderr, "padflash-cli: writing the log file %s failed\n", cli.logPath.c_str());
    }
  }
  if (cli.json && !switchHelp) {
    const nlohmann::ordered_json document =
        cli.list ? DeviceListJson(session, window.ShownMessages(), status, run.error)
                 : RunReportJson(run, session, window);
    std::fputs(DumpJson(document).c_str(), stdout);
    std::fflush(stdout);
  }
  return status;
}
