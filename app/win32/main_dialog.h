// The main dialog (template 129) on Win32: a modeless dialog whose procedure
// translates Windows messages into calls of the main-window controller and
// serves the window port. No decision of the main window is taken here.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/win32/dialog_controls.h"
#include "session/session.h"

namespace padflash {

class MainWindow;
class Win32WindowPort;

class MainDialog {
 public:
  MainDialog(HINSTANCE instance, MainWindow& controller, Win32WindowPort& port,
             std::string programPath);
  ~MainDialog();
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // Creates the dialog modelessly from template 129; its initialisation
  // runs the controller's. False when it cannot be created.
  bool Create();
  // The dialog, or null once it has been destroyed.
  HWND handle() const { return dialog_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK FileBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR self);
  INT_PTR OnMessage(UINT message, WPARAM wParam);
  void OnInitDialog(HWND dialog);
  void OnCommand(int id, int notification);
  void Browse();
  void OnDropFiles(HDROP drop);
  void OnEndSession();
  void OnDestroy();
  // Serves the worker's window calls until the update session has ended.
  void ServeUntilSessionEnds();

  HINSTANCE instance_;
  MainWindow& controller_;
  Win32WindowPort& port_;
  std::string programPath_;
  HWND dialog_ = nullptr;
  std::unique_ptr<DialogControls> controls_;
  // The white of the dialog and its statics, created once.
  HBRUSH white_;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  bool comInitialised_ = false;
  // Filled by the open-file dialog and by dropped files.
  char fileName_[kMaxPathChars] = {};
};

}  // namespace padflash
