// The program start on Windows, for RunProgram: the running instance
// brought forward, the main dialog and the message loop.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/main_window.h"
#include "app/win32/main_dialog.h"

namespace padflash {

class Win32WindowPort;

class Win32ProgramHost final : public ProgramHost {
 public:
  Win32ProgramHost(HINSTANCE instance, int showCommand, Win32WindowPort& port,
                   std::string programPath);
  ~Win32ProgramHost() override;

  // The top-level dialog captioned "Velmar Firmware Update Tool": restored
  // when minimised, then brought to the foreground.
  void ActivateRunningInstance() override;
  // Creates the dialog modelessly (its initialisation runs the
  // controller's), shows it with the start-up show command and paints it.
  bool CreateMainDialog(MainWindow& controller) override;
  // Until the quit message. Key releases and characters go to the dialog,
  // whichever control has the focus; there is no dialog keyboard
  // navigation. A quit that comes while the dialog still exists destroys
  // it, which lets a running update session end first.
  int RunMessageLoop() override;

 private:
  HINSTANCE instance_;
  int showCommand_;
  Win32WindowPort& port_;
  std::string programPath_;
  std::unique_ptr<MainDialog> dialog_;
};

}  // namespace padflash
