// padflash-cli: the console front end. Same switches and the same engine
// as the dialog program; the verbose protocol on standard output, status
// changes on standard error, questions answered on the terminal or by
// --answer. Its exit codes are the platform's own (cli_exit_codes.h).
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "VLMHID.h"
#include "app/console/cli_options.h"
#include "app/console/console_streams.h"
#include "app/console/console_window.h"
#include "app/main_window.h"
#include "app/session.h"
#include "native_system_port.h"

using namespace padflash;

namespace {

// Prints the device list as the combo box shows it, one entry a line.
int ListDevices(Session& session, ConsoleWindow& window) {
  RefreshDeviceList(session);
  std::vector<std::string> items = window.ComboItems();
  for (size_t i = 0; i < items.size(); ++i) std::printf("%zu: %s\n", i, items[i].c_str());
  return items.empty() ? kCliNotPrepared : 0;
}

}  // namespace

int main(int argc, char** argv) {
  CliOptions cli = ParseCliOptions(argc, argv);
  if (!cli.error.empty()) {
    std::fprintf(stderr, "padflash-cli: %s\n\n%s", cli.error.c_str(), CliUsage());
    return kCliBadUsage;
  }
  if (cli.help) {
    std::fputs(CliUsage(), stdout);
    return 0;
  }

  // Device strings are converted with the user's character set.
  std::setlocale(LC_ALL, "");
  ConsoleStreams streams;
  ConsoleOptions console;
  console.answer = cli.answer;
  console.interactive = streams.interactive();
  console.liveStatus = streams.liveStatus();
  console.clearLine = streams.clearLine();
  ConsoleWindow window(console, stdout, stderr, stdin);
  NativeSystemPort system;
  Session session(window, system, [] { return CreateVLMHIDInterface(); });

  std::vector<const char*> args;
  for (const std::string& a : cli.rest) args.push_back(a.c_str());
  if (ParseCommandLine(session, static_cast<int>(args.size()), args.data()) != 0) return 0;

  std::unique_ptr<NamedMutex> instance = system.AcquireNamedMutex(kInstanceMutexName);
  if (!instance) {
    std::fputs("padflash-cli: another instance of padflash is running\n", stderr);
    return kCliAlreadyRunning;
  }
  if (cli.list) return ListDevices(session, window);

  if (session.config.firmwarePath.empty()) {
    std::fprintf(stderr, "padflash-cli: no firmware file given\n\n%s", CliUsage());
    return kCliBadUsage;
  }
  if (!system.FileExists(session.config.firmwarePath)) {
    std::fprintf(stderr, "padflash-cli: firmware file not found: %s\n",
                 session.config.firmwarePath.c_str());
    return kCliNotPrepared;
  }

  MainWindow controller(session);
  controller.OnInitDialog(cli.device);
  if (!window.IsVisible(kIdExecute)) {
    window.Finish();
    if (controller.LastPrepareResult() == 1) {
      std::fprintf(stderr, "padflash-cli: not prepared: %s\n",
                   ResultMessages[session.UpdateResult]);
    } else {
      std::fprintf(stderr, "padflash-cli: not prepared: %s\n", window.GetText(kIdStatus).c_str());
    }
    controller.OnDestroy();
    return kCliNotPrepared;
  }
  controller.OnExecute();
  int sessionExit = controller.WaitForSession();
  controller.OnDestroy();
  window.Finish();
  return CliExitForSession(sessionExit);
}
