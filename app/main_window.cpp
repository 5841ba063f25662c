#include "app/main_window.h"

#include <string>

#include "session/program_version.h"
#include "session/run_config.h"
#include "session/session.h"
#include "update/device_list_refresh.h"
#include "update/preparation.h"
#include "update/update_session.h"

namespace padflash {

namespace {
constexpr const char* kNoFileOrDeviceHint =
    "For detailed info please provide a valid file path or attached device";
constexpr const char* kNoDeviceAtStart = "Invalid file path or device not attached";
constexpr const char* kPathTooLong =
    "The file path is longer than 259 characters: move the firmware file to a shorter path";

// Marks a refresh or preparation as running for its scope.
class PreparingScope {
 public:
  explicit PreparingScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~PreparingScope() { flag_ = false; }
  PreparingScope(const PreparingScope&) = delete;
  PreparingScope& operator=(const PreparingScope&) = delete;

 private:
  bool& flag_;
};
}  // namespace

int RunProgram(Session& session, int argc, const char* const* argv, ProgramHost& host) {
  if (ParseCommandLine(session, argc, argv) != 0) return 0;
  std::unique_ptr<NamedMutex> instance = session.system.AcquireNamedMutex(kInstanceMutexName);
  if (!instance) {
    host.ActivateRunningInstance();
    return 0;
  }
  MainWindow controller(session);
  if (!host.CreateMainDialog(controller)) return 0;
  int quit = host.RunMessageLoop();
  controller.WaitForSession();
  return quit;
}

MainWindow::MainWindow(Session& session) : session_(session) {}

MainWindow::~MainWindow() {
  WaitForSession();
}

bool MainWindow::FirmwareFileExists() {
  return session_.system.FileExists(session_.config.firmwarePath);
}

void MainWindow::PrepareAndShowExecute() {
  lastPrepareResult_ = PrepareUpdate(session_);
  if (lastPrepareResult_ == 0) session_.window.Show(kIdExecute, true);
}

// From Execute until its worker ends, or while any session holds the session
// mutex. The worker takes the mutex only after its power check, so the
// worker's own flag covers the start of a session.
bool MainWindow::SessionActive() {
  return running_ || session_.system.IsNamedMutexHeld(kSessionMutexName);
}

void MainWindow::HideExecuteWithHint(const char* status) {
  session_.window.Show(kIdExecute, false);
  SetStatus(session_, status);
}

bool MainWindow::TakeFirmwarePath(const std::string& path) {
  if (path.size() >= kMaxPathChars) {
    HideExecuteWithHint(kPathTooLong);
    return false;
  }
  session_.window.SetText(kIdFilePath, path);
  session_.config.firmwarePath = path;
  return true;
}

void MainWindow::OnInitDialog(int initialSelection, const std::string& deviceKey) {
  PreparingScope preparing(preparing_);
  WindowPort& window = session_.window;
  window.Show(kIdProgress, false);
  window.Show(kIdMarquee, false);
  window.Show(kIdExit, false);
  RefreshDeviceList(session_);
  session_.selectedDevice = 0;
  if (!deviceKey.empty()) {
    initialSelection = FindDeviceEntry(session_.deviceList, deviceKey);
    if (initialSelection < 0) {
      session_.selectedDevice = -1;
      window.ComboSelect(kIdDeviceCombo, -1);
      HideExecuteWithHint(("No attached controller has the serial or path " + deviceKey).c_str());
      return;
    }
  }
  if (initialSelection != 0) {
    session_.selectedDevice = initialSelection;
    window.ComboSelect(kIdDeviceCombo, initialSelection);
    ShowDeviceInfo(session_);
  }
  if (FirmwareFileExists()) {
    window.SetText(kIdFilePath, session_.config.firmwarePath);
    if (!session_.deviceList.empty()) {
      PrepareAndShowExecute();
    } else {
      HideExecuteWithHint(kNoDeviceAtStart);
    }
  }
  if (session_.config.verbose) window.Show(kIdMore, true);
}

void MainWindow::OnSelectionChange(int index) {
  // A preparation replaces the image and the connection the session works
  // with; the session disables these inputs, and events already on their
  // way are dropped here.
  if (preparing_ || SessionActive()) return;
  PreparingScope preparing(preparing_);
  session_.selectedDevice = index;
  ShowDeviceInfo(session_);
  if (FirmwareFileExists()) {
    PrepareAndShowExecute();
  } else {
    HideExecuteWithHint(kNoFileOrDeviceHint);
  }
}

void MainWindow::OnBrowseResult(const std::string* chosenPath) {
  if (chosenPath == nullptr) return;  // cancelled: nothing changes
  if (preparing_ || SessionActive()) return;
  PreparingScope preparing(preparing_);
  if (!TakeFirmwarePath(*chosenPath)) return;
  if (!session_.deviceList.empty() && FirmwareFileExists()) {
    PrepareAndShowExecute();
  } else {
    HideExecuteWithHint(kNoFileOrDeviceHint);
  }
}

void MainWindow::OnRefresh() {
  if (preparing_ || SessionActive()) return;
  PreparingScope preparing(preparing_);
  RefreshDeviceList(session_);
  if (!session_.deviceList.empty() && FirmwareFileExists()) {
    PrepareAndShowExecute();
  } else {
    HideExecuteWithHint(kNoFileOrDeviceHint);
  }
}

void MainWindow::OnExecute() {
  // Execute is disabled while a session runs; a second press cannot start
  // a second worker.
  if (running_ || preparing_) return;
  if (worker_.joinable()) worker_.join();
  running_ = true;
  worker_ = std::thread([this] {
    sessionExitCode_ = UpdateThread(session_);
    running_ = false;
  });
}

void MainWindow::OnMoreLess() {
  WindowPort& window = session_.window;
  if (window.IsVisible(kIdVerbose)) {
    window.SetText(kIdMore, "v more v");
    window.ResizeDialogHeight(-kVerbosePaneHeightPixels);
    window.Show(kIdVerbose, false);
  } else {
    window.SetText(kIdMore, "^ less ^");
    window.ResizeDialogHeight(kVerbosePaneHeightPixels);
    window.Show(kIdVerbose, true);
  }
}

bool MainWindow::OnExitOrCancel() {
  if (SessionActive()) return false;
  if (session_.connection && session_.deviceConnected) {
    session_.connection->DisconnectFromDevice();
    session_.deviceConnected = false;
  }
  return true;
}

void MainWindow::OnKeyUp(int key) {
  if (key == 'D' || key == 'V') session_.window.Show(kIdMore, true);
}

void MainWindow::OnFilesDropped(const std::vector<std::string>& files) {
  if (files.empty()) return;  // no file name could be read: the drop is only finished
  // The dialog keeps accepting drops while a session runs; a preparation
  // then would destroy the image and the connection under the worker.
  if (preparing_ || SessionActive()) return;
  PreparingScope preparing(preparing_);
  if (!TakeFirmwarePath(files.front())) return;
  if (session_.deviceList.empty()) return;
  if (FirmwareFileExists()) {
    PrepareAndShowExecute();
  } else {
    HideExecuteWithHint(kNoFileOrDeviceHint);
  }
}

void MainWindow::OnDestroy() {
  WaitForSession();
  session_.deviceList.clear();
  session_.selectedDevice = -1;
  session_.firmware.image = nullptr;
  session_.image.reset();
  if (session_.connection) {
    session_.connection->DisconnectFromDevice();
    session_.deviceConnected = false;
  }
}

int MainWindow::WaitForSession() {
  if (worker_.joinable()) worker_.join();
  return sessionExitCode_;
}

bool MainWindow::SessionRunning() const {
  return running_;
}

std::string MainWindow::AboutText() {
  std::string text = "Velmar Firmware Update Tool - v" + FormatProgramVersion() + "\r\n";
  text += kNoticeLine;
  text += "\r\n\r\n";
  text += "This program updates the touchpad or touchscreen firmware,  if appropriate.\r\n\r\n";
  text += "Please don't unplug power and don't unplug the device.\r\n\r\n";
  text += "If any errors are encountered, the device could be disabled.\r\n";
  text += "To restore operation, re - start the computer and run this program again.\r\n";
  return text;
}

std::string MainWindow::AboutUsageText(const std::string& programFileName) {
  size_t slash = programFileName.find_last_of("/\\");
  std::string name =
      slash == std::string::npos ? programFileName : programFileName.substr(slash + 1);
  std::string text = "Command Line Arguments:\r\n\r\n" + name + "\r\n";
  text += "    /?    Options\r\n";
  text += "    /v    Shows verbose mode button\r\n";
  text += "    /o    Overrides FW compatibility check\r\n       -won't ask to confirm\r\n";
  text += "    /r    Don't Save Flash Config \r\n       -uses default values from new FW file\n";
  return text;
}

}  // namespace padflash
