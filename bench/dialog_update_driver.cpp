// The padflash dialog program with a technician's one click: the same
// start as padflash (command line, dialog, Qt's event loop), then Execute
// is clicked as soon as the preparation shows it, and the dialog is closed
// once the update session has ended. bench_update runs it as a child
// process to measure the dialog's CPU and memory during an update.
//
//   dialog_update_driver [switches] firmware-path
//
// Exit status 0 when the status line ends with the update's success, 1
// when the update did not succeed, 2 when Execute never showed. When
// DIALOG_UPDATE_REPORT names a file, the process's user+sys CPU and the wall
// time from the click to the session's end are written there, in
// milliseconds: "<cpu> <wall>".
#include <sys/resource.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "VLMHID.h"
#include "app/main_window.h"
#include "app/qt/qt_program_host.h"
#include "app/qt/qt_window_port.h"
#include "platform/posix/posix_system_port.h"
#include "session/session.h"

using namespace padflash;

namespace {

double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

}  // namespace

int main(int argc, char** argv) {
  static int qtArgc = 1;
  static char* qtArgv[] = {argv[0], nullptr};
  QApplication app(qtArgc, qtArgv);
  QApplication::setQuitOnLastWindowClosed(false);

  QtWindowPort window;
  PosixSystemPort system;
  Session session(window, system, [] { return CreateVLMHIDInterface(); });
  QtProgramHost host(window, QCoreApplication::applicationFilePath().toStdString());
  if (ParseCommandLine(session, argc, argv) != 0) return 2;
  MainWindow controller(session);
  if (!host.CreateMainDialog(controller)) return 2;

  // Looks ten times a second: a click once Execute shows, then the end.
  constexpr int kLookMs = 100;
  constexpr int kGiveUpMs = 120000;
  bool clicked = false;
  int status = 2;
  int waitedMs = 0;
  double cpuAtClick = 0;
  std::chrono::steady_clock::time_point clickTime;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    waitedMs += kLookMs;
    auto* execute = qobject_cast<QPushButton*>(host.dialog()->Control(kIdExecute));
    if (!clicked && execute != nullptr && execute->isVisible() && execute->isEnabled()) {
      cpuAtClick = CpuMs();
      clickTime = std::chrono::steady_clock::now();
      execute->click();
      clicked = true;
      return;
    }
    if (clicked && !controller.SessionRunning()) {
      const std::string line = window.GetText(kIdStatus);
      status = line.find("Firmware was successfully updated") == std::string::npos ? 1 : 0;
      const double wallMs =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - clickTime)
              .count();
      if (const char* report = std::getenv("DIALOG_UPDATE_REPORT")) {
        if (std::FILE* out = std::fopen(report, "w")) {
          std::fprintf(out, "%.1f %.1f\n", CpuMs() - cpuAtClick, wallMs);
          std::fclose(out);
        }
      }
      look.stop();
      host.dialog()->close();
    } else if (!clicked && waitedMs >= kGiveUpMs) {
      look.stop();
      host.dialog()->close();
    }
  });
  look.start(kLookMs);
  host.RunMessageLoop();
  controller.WaitForSession();
  return status;
}
