// The main window's behaviour, free of any toolkit: program start, dialog
// initialisation and every dialog event. The Win32, Qt and console front
// ends translate their native events into these calls and implement the
// window port; nothing here knows which one runs it.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace padflash {

struct Session;
class MainWindow;

// Names of the two named mutexes.
inline constexpr const char* kInstanceMutexName = "FennickFWTool";
inline constexpr const char* kMainDialogCaption = "Velmar Firmware Update Tool";
// The verbose pane lies below the dialog's visible area; "v more v" grows the
// dialog by this much to show it.
inline constexpr int kVerbosePaneHeightPixels = 140;

// What the program start needs from a front end.
class ProgramHost {
 public:
  virtual ~ProgramHost() = default;
  // Another instance runs: find its main window ("Velmar Firmware Update
  // Tool"), restore it when minimised and bring it to the foreground.
  virtual void ActivateRunningInstance() = 0;
  // Creates and shows the main dialog for `controller`; false when it
  // cannot be created. The front end calls controller.OnInitDialog().
  virtual bool CreateMainDialog(MainWindow& controller) = 0;
  // Runs until the dialog is destroyed; returns the quit value.
  virtual int RunMessageLoop() = 0;
};

// Program entry: command line first, then the single-instance mutex, then
// the dialog and its message loop. Returns the process exit status (0).
int RunProgram(Session& session, int argc, const char* const* argv, ProgramHost& host);

class MainWindow {
 public:
  explicit MainWindow(Session& session);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Dialog initialisation (steps after the toolkit's own set-up). The dialog
  // selects the first device; the console front end may start on another,
  // by its index or by its serial string or device path (`deviceKey`; when
  // no entry has it, nothing is selected or prepared).
  void OnInitDialog(int initialSelection = 0, const std::string& deviceKey = {});

  // Dialog commands and messages.
  void OnSelectionChange(int index);
  // The open-file dialog's result: the chosen path, or nothing when cancelled.
  void OnBrowseResult(const std::string* chosenPath);
  void OnRefresh();
  void OnExecute();
  void OnMoreLess();
  // Exit (1) or Cancel (2): false while an update session runs (the command
  // is ignored); otherwise disconnects and returns true: destroy the dialog.
  bool OnExitOrCancel();
  // A key released anywhere in the dialog (virtual-key code / upper-case
  // letter).
  void OnKeyUp(int key);
  // Files dropped on the dialog or on the file-name box.
  void OnFilesDropped(const std::vector<std::string>& files);
  // The dialog is being destroyed: releases the list, the image and the
  // connection. The front end posts its quit message afterwards.
  void OnDestroy();

  // Waits for a running update session to end; its exit code, or 0 when
  // none ran.
  int WaitForSession();
  bool SessionRunning() const;
  // Result of the last preparation run from this window: 0 ready, 1 not
  // ready, -1 when none ran.
  int LastPrepareResult() const { return lastPrepareResult_; }

  // About box texts: static 1016 and static 1018 (with the program's own
  // file name, without its directory).
  static std::string AboutText();
  static std::string AboutUsageText(const std::string& programFileName);

 private:
  // Runs the preparation and shows Execute when it succeeds.
  void PrepareAndShowExecute();
  bool FirmwareFileExists();
  // An update session runs: started by Execute here, or holding the session
  // mutex.
  bool SessionActive();
  void HideExecuteWithHint(const char* status);
  // Takes a chosen or dropped path when it fits the file-name buffer;
  // otherwise says so and leaves nothing to execute.
  bool TakeFirmwarePath(const std::string& path);

  Session& session_;
  std::thread worker_;
  std::atomic<bool> running_{false};
  int sessionExitCode_ = 0;
  int lastPrepareResult_ = -1;
  // A refresh or preparation runs on the UI thread. Its message boxes run a
  // message loop that still delivers the dialog's events; those that would
  // refresh or prepare again are dropped until it has ended.
  bool preparing_ = false;
};

}  // namespace padflash
