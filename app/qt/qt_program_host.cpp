#include "app/qt/qt_program_host.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

namespace padflash {
namespace {
constexpr int kSessionPollMs = 20;
}  // namespace

QtProgramHost::QtProgramHost(QtWindowPort& port, std::string programPath)
    : port_(port), programPath_(std::move(programPath)), instanceServer_([this] {
        if (dialog_) dialog_->RaiseOnRequest();
      }) {}

QtProgramHost::~QtProgramHost() {
  DestroyDialog();
}

void QtProgramHost::ActivateRunningInstance() {
  AskRunningInstanceToRaise();
}

bool QtProgramHost::CreateMainDialog(MainWindow& controller) {
  controller_ = &controller;
  dialog_ = std::make_unique<MainDialog>(controller, programPath_);
  dialog_->onClosed = [] { QCoreApplication::exit(0); };
  port_.Attach(dialog_.get(), &dialog_->controls());
  instanceServer_.Listen();
  // Created and initialised first, then shown: the first refresh and
  // preparation may take long, and a window shown before them would stand
  // there unpainted.
  controller.OnInitDialog();
  dialog_->show();
  dialog_->activateWindow();
  return true;
}

int QtProgramHost::RunMessageLoop() {
  const int quit = QCoreApplication::exec();
  DestroyDialog();
  return quit;
}

// An update session reaches the window through the UI thread's events;
// until it has ended they keep being taken, so it never waits for ever.
void QtProgramHost::DestroyDialog() {
  instanceServer_.Close();
  if (controller_ != nullptr && controller_->SessionRunning()) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
      if (!controller_->SessionRunning()) loop.quit();
    });
    poll.start(kSessionPollMs);
    loop.exec();
  }
  port_.Attach(nullptr, nullptr);
  dialog_.reset();
  // The controller belongs to the program start and may go once the dialog
  // has.
  controller_ = nullptr;
}

}  // namespace padflash
