#include "app/win32/win32_program_host.h"

#include <commctrl.h>

namespace padflash {
namespace {
// The class of dialog windows.
constexpr const char* kDialogClass = "#32770";
}  // namespace

Win32ProgramHost::Win32ProgramHost(HINSTANCE instance, int showCommand, Win32WindowPort& port,
                                   std::string programPath)
    : instance_(instance),
      showCommand_(showCommand),
      port_(port),
      programPath_(std::move(programPath)) {}

Win32ProgramHost::~Win32ProgramHost() = default;

void Win32ProgramHost::ActivateRunningInstance() {
  HWND running = FindWindowA(kDialogClass, kMainDialogCaption);
  if (running == nullptr) return;
  if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
  SetForegroundWindow(running);
}

bool Win32ProgramHost::CreateMainDialog(MainWindow& controller) {
  const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX),
                                     ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&classes);
  dialog_ = std::make_unique<MainDialog>(instance_, controller, port_, programPath_);
  if (!dialog_->Create()) {
    dialog_.reset();
    return false;
  }
  ShowWindow(dialog_->handle(), showCommand_);
  UpdateWindow(dialog_->handle());
  return true;
}

int Win32ProgramHost::RunMessageLoop() {
  MSG message{};
  BOOL got;
  while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
    if ((message.message == WM_KEYUP || message.message == WM_CHAR) && dialog_->handle()) {
      message.hwnd = dialog_->handle();
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  const int quit = got == 0 ? static_cast<int>(message.wParam) : 0;
  dialog_.reset();
  return quit;
}

}  // namespace padflash
