// padflash: the dialog program on Linux, Qt 6 Widgets over the same engine
// and main-window controller as the Windows dialog.
#include <QApplication>
#include <QIcon>

#include "VLMHID.h"
#include "app/main_window.h"
#include "app/qt/qt_program_host.h"
#include "app/qt/qt_window_port.h"
#include "platform/posix/posix_system_port.h"
#include "session/session.h"

using namespace padflash;

int main(int argc, char** argv) {
  // Qt reads none of the program's arguments: they are all the program's
  // own switches and firmware path (Qt takes its settings from the
  // environment, e.g. QT_QPA_PLATFORM).
  static int qtArgc = 1;
  static char* qtArgv[] = {argv[0], nullptr};
  QApplication app(qtArgc, qtArgv);
  QApplication::setApplicationName(QStringLiteral("padflash"));
  QApplication::setDesktopFileName(QStringLiteral("padflash"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/padflash/padflash.png")));
  // The program ends when the main dialog closes, not when a message box
  // shown before it does.
  QApplication::setQuitOnLastWindowClosed(false);

  QtWindowPort window;
  PosixSystemPort system;
  Session session(window, system, [] { return CreateVLMHIDInterface(); });
  QtProgramHost host(window, QCoreApplication::applicationFilePath().toStdString());
  return RunProgram(session, argc, argv, host);
}
