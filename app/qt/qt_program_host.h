// The program start on Qt: the running instance's raise request, the main
// dialog and Qt's event loop, for RunProgram.
#pragma once

#include <memory>
#include <string>

#include "app/main_window.h"
#include "app/qt/instance_channel.h"
#include "app/qt/main_dialog.h"
#include "app/qt/qt_window_port.h"

namespace padflash {

class QtProgramHost final : public ProgramHost {
 public:
  QtProgramHost(QtWindowPort& port, std::string programPath);
  ~QtProgramHost() override;

  void ActivateRunningInstance() override;
  // Creates the dialog, attaches it to the port, listens for raise requests,
  // shows the dialog and lets the controller initialise it.
  bool CreateMainDialog(MainWindow& controller) override;
  // Qt's event loop until the dialog has closed; then the window is served
  // until no update session needs it, and goes.
  int RunMessageLoop() override;

  MainDialog* dialog() const { return dialog_.get(); }
  // Detaches and deletes the dialog, after serving the window until no
  // update session runs.
  void DestroyDialog();

 private:
  QtWindowPort& port_;
  std::string programPath_;
  MainWindow* controller_ = nullptr;
  std::unique_ptr<MainDialog> dialog_;
  InstanceServer instanceServer_;
};

}  // namespace padflash
