// The main window's behaviour without a toolkit: the dialog start, every
// dialog event and the program start, driven through the recording window,
// the test system port (virtual clock, in-process named mutexes) and
// controllers on the simulated bus.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "session/session.h"
#include "sim/bus.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_system_port.h"
#include "tools/fwgen/firmware_generator.h"
#include "update/update_session.h"

namespace padflash {
namespace {

using testing::RecordingWindow;
using testing::TestSystemPort;

constexpr const char* kHint =
    "For detailed info please provide a valid file path or attached device";
constexpr const char* kNoDevice = "Invalid file path or device not attached";

// A recording window that can hold the update worker at the session's first
// status line, "BEGIN FW Update", before the session takes its mutex.
class GatedWindow : public RecordingWindow {
 public:
  // Runs while a message box is up, as the dialog's events that a box's
  // message loop delivers.
  std::function<void()> whileBoxIsUp;
  MessageAnswer ShowMessageBox(std::string_view text, std::string_view caption,
                               MessageButtons buttons, bool owned) override {
    if (whileBoxIsUp) std::exchange(whileBoxIsUp, nullptr)();
    return RecordingWindow::ShowMessageBox(text, caption, buttons, owned);
  }
  void SetText(int control, std::string_view text) override {
    if (control == kIdStatus && text.rfind("BEGIN FW Update", 0) == 0) {
      std::unique_lock<std::mutex> lock(gateMutex_);
      reached_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return open_; });
    }
    RecordingWindow::SetText(control, text);
  }
  void CloseGate() {
    std::lock_guard<std::mutex> lock(gateMutex_);
    open_ = false;
  }
  void WaitUntilHeld() {
    std::unique_lock<std::mutex> lock(gateMutex_);
    changed_.wait(lock, [this] { return reached_; });
  }
  void OpenGate() {
    std::lock_guard<std::mutex> lock(gateMutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex gateMutex_;
  std::condition_variable changed_;
  bool open_ = true;
  bool reached_ = false;
};

// Opens the gate when the case ends, failed or not, so the worker can finish
// before the controller waits for it.
struct GateOpener {
  GatedWindow& window;
  ~GateOpener() { window.OpenGate(); }
};

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Each case works in a fresh folder of its own: the update session writes
// its personality file into the current directory.
class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest()
      : bus(system.virtualClock),
        session(window, system, [this] { return sim::CreateBusInterface(bus); }) {}

  void SetUp() override {
    folder = testing::MakeTempFolder("padflash-mainwindow");
    ASSERT_FALSE(folder.empty());
    previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
  }
  void TearDown() override {
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
  }

  // A USB firmware image for the default simulated controller (chip 0x12),
  // written as Intel HEX; returns its path.
  std::string WriteFirmware(uint8_t revision, const std::string& name = "new.hex") {
    fwgen::FirmwareBuild build;
    build.revision = revision;
    std::string path = (folder / name).string();
    std::ofstream(path, std::ios::binary) << fwgen::ToIntelHex(fwgen::GenerateFirmware(build));
    return path;
  }
  sim::Controller& AttachOld() { return bus.Attach(sim::ControllerConfig{}); }

  // A controller running revision 5 and a revision 6 image, prepared at
  // the dialog start.
  sim::Controller& StartPrepared(MainWindow& controller) {
    sim::Controller& c = AttachOld();
    session.config.firmwarePath = WriteFirmware(0x06);
    controller.OnInitDialog();
    return c;
  }

  GatedWindow window;
  TestSystemPort system;
  sim::Bus bus;
  Session session;
  std::filesystem::path folder;
  std::filesystem::path previous;
};

// --- Dialog start ---------------------------------------------------------

TEST_F(MainWindowTest, StartWithMissingPathLeavesFileBoxEmptyAndStatusLine) {
  AttachOld();
  session.config.firmwarePath = (folder / "missing.hex").string();
  MainWindow controller(session);
  controller.OnInitDialog();

  EXPECT_EQ(window.GetText(kIdFilePath), "");
  EXPECT_EQ(window.status(), "Status:");
  EXPECT_TRUE(window.statusHistory().empty());
  EXPECT_FALSE(window.IsVisible(kIdExecute));
  EXPECT_EQ(controller.LastPrepareResult(), -1);
  // The device list was still filled and its first entry selected.
  EXPECT_EQ(window.comboItems().size(), 1u);
  EXPECT_EQ(session.selectedDevice, 0);
}

TEST_F(MainWindowTest, StartWithFileButNoDeviceSaysSoAndHidesExecute) {
  const std::string path = WriteFirmware(0x06);
  session.config.firmwarePath = path;
  MainWindow controller(session);
  controller.OnInitDialog();

  EXPECT_EQ(window.GetText(kIdFilePath), path);
  EXPECT_EQ(window.status(), kNoDevice);
  EXPECT_FALSE(window.IsVisible(kIdExecute));
  EXPECT_EQ(controller.LastPrepareResult(), -1);
  ASSERT_FALSE(window.messageBoxes().empty());
  EXPECT_EQ(window.messageBoxes().front().caption, "No Devices Attched");
}

TEST_F(MainWindowTest, StartWithDeviceAndFilePreparesAndShowsExecute) {
  MainWindow controller(session);
  StartPrepared(controller);

  EXPECT_EQ(controller.LastPrepareResult(), 0);
  EXPECT_TRUE(window.IsVisible(kIdExecute));
  EXPECT_EQ(window.GetText(kIdFilePath), session.config.firmwarePath);
  EXPECT_NE(window.GetText(kIdNewFw), "");
  // The start hides the progress bars and Exit; "v more v" stays hidden
  // without /v.
  EXPECT_FALSE(window.IsVisible(kIdProgress));
  EXPECT_FALSE(window.IsVisible(kIdMarquee));
  EXPECT_FALSE(window.IsVisible(kIdExit));
  EXPECT_FALSE(window.IsVisible(kIdMore));
}

TEST_F(MainWindowTest, StartWithVerboseSwitchShowsMoreButton) {
  session.config.verbose = true;
  MainWindow controller(session);
  controller.OnInitDialog();
  EXPECT_TRUE(window.IsVisible(kIdMore));
  EXPECT_FALSE(window.IsVisible(kIdVerbose));
}

TEST_F(MainWindowTest, StartOnAnotherListEntrySelectsAndPreparesIt) {
  sim::ControllerConfig other;
  other.productId = 0x0202;
  bus.Attach(sim::ControllerConfig{});
  bus.Attach(other);
  fwgen::FirmwareBuild build;
  build.productId = 0x0202;
  build.revision = 0x06;
  std::ofstream(folder / "other.hex", std::ios::binary)
      << fwgen::ToIntelHex(fwgen::GenerateFirmware(build));
  session.config.firmwarePath = (folder / "other.hex").string();
  MainWindow controller(session);
  controller.OnInitDialog(1);

  EXPECT_EQ(session.selectedDevice, 1);
  EXPECT_EQ(window.comboSelection(), 1);
  EXPECT_EQ(controller.LastPrepareResult(), 0);
  EXPECT_EQ(session.device.productId, 0x0202);
}

// --- Selection, Browse, Refresh ---------------------------------------------

TEST_F(MainWindowTest, SelectionChangeWithoutFileHidesExecuteWithHint) {
  MainWindow controller(session);
  StartPrepared(controller);
  ASSERT_TRUE(window.IsVisible(kIdExecute));
  std::filesystem::remove(session.config.firmwarePath);

  controller.OnSelectionChange(0);
  EXPECT_FALSE(window.IsVisible(kIdExecute));
  EXPECT_EQ(window.status(), kHint);
}

TEST_F(MainWindowTest, SelectionChangeWithFilePreparesAgain) {
  AttachOld();
  session.config.firmwarePath = WriteFirmware(0x06);
  MainWindow controller(session);
  controller.OnInitDialog();
  window.Show(kIdExecute, false);

  controller.OnSelectionChange(0);
  EXPECT_EQ(controller.LastPrepareResult(), 0);
  EXPECT_TRUE(window.IsVisible(kIdExecute));
}

TEST_F(MainWindowTest, SelectionOfAnIncompatibleDeviceKeepsExecuteHidden) {
  sim::ControllerConfig other;
  other.productId = 0x0202;
  bus.Attach(sim::ControllerConfig{});
  bus.Attach(other);
  session.config.firmwarePath = WriteFirmware(0x06);  // built for product 0x0101
  MainWindow controller(session);
  controller.OnInitDialog();
  ASSERT_TRUE(window.IsVisible(kIdExecute));

  controller.OnSelectionChange(1);
  EXPECT_EQ(session.selectedDevice, 1);
  EXPECT_EQ(controller.LastPrepareResult(), 1);
  EXPECT_FALSE(window.IsVisible(kIdExecute));
}

TEST_F(MainWindowTest, BrowseCancelledChangesNothing) {
  MainWindow controller(session);
  StartPrepared(controller);
  const std::vector<std::string> before = window.events();
  const std::string path = session.config.firmwarePath;

  controller.OnBrowseResult(nullptr);
  EXPECT_EQ(window.events(), before);
  EXPECT_EQ(session.config.firmwarePath, path);
  EXPECT_TRUE(window.IsVisible(kIdExecute));
}

TEST_F(MainWindowTest, BrowseWithDeviceAndFilePrepares) {
  AttachOld();
  MainWindow controller(session);
  controller.OnInitDialog();
  const std::string path = WriteFirmware(0x06);

  controller.OnBrowseResult(&path);
  EXPECT_EQ(window.GetText(kIdFilePath), path);
  EXPECT_EQ(session.config.firmwarePath, path);
  EXPECT_EQ(controller.LastPrepareResult(), 0);
  EXPECT_TRUE(window.IsVisible(kIdExecute));
}

TEST_F(MainWindowTest, BrowseWithoutDeviceShowsPathAndHint) {
  MainWindow controller(session);
  controller.OnInitDialog();
  const std::string path = WriteFirmware(0x06);

  controller.OnBrowseResult(&path);
  EXPECT_EQ(window.GetText(kIdFilePath), path);
  EXPECT_EQ(session.config.firmwarePath, path);
  EXPECT_EQ(controller.LastPrepareResult(), -1);
  EXPECT_FALSE(window.IsVisible(kIdExecute));
  EXPECT_EQ(window.status(), kHint);
}

// A longer path cut to the buffer could name another file: it is refused,
// and what was prepared before is not left to execute.
TEST_F(MainWindowTest, BrowseAndDropRefuseAPathLongerThan259Characters) {
  MainWindow controller(session);
  StartPrepared(controller);
  const std::string prepared = session.config.firmwarePath;
  const std::string longPath = "/" + std::string(400, 'a') + ".hex";

  controller.OnBrowseResult(&longPath);
  EXPECT_EQ(window.status(),
            "The file path is longer than 259 characters: move the firmware file to a shorter "
            "path");
  EXPECT_FALSE(window.IsVisible(kIdExecute));
  EXPECT_EQ(session.config.firmwarePath, prepared);
  EXPECT_EQ(window.GetText(kIdFilePath), prepared);

  controller.OnRefresh();
  ASSERT_TRUE(window.IsVisible(kIdExecute));
  controller.OnFilesDropped({longPath});
  EXPECT_FALSE(window.IsVisible(kIdExecute));
  EXPECT_EQ(session.config.firmwarePath, prepared);
}

// A drop or a click that the box of a running preparation lets through
// neither prepares inside it nor leaves Execute after its failure.
TEST_F(MainWindowTest, EventsDuringAPreparationsMessageBoxAreDropped) {
  MainWindow controller(session);
  AttachOld();
  controller.OnInitDialog();
  const std::string good = WriteFirmware(0x06), older = WriteFirmware(0x04, "older.hex");
  window.defaultAnswer = MessageAnswer::kNo;  // no downgrade
  int asked = 0;
  window.whileBoxIsUp = [&] {
    ++asked;
    controller.OnFilesDropped({good});
    const std::string other = good;
    controller.OnBrowseResult(&other);
    controller.OnRefresh();
    controller.OnSelectionChange(0);
    controller.OnExecute();
  };

  controller.OnFilesDropped({older});
  ASSERT_EQ(asked, 1);
  EXPECT_EQ(controller.LastPrepareResult(), 1);
  EXPECT_FALSE(window.IsVisible(kIdExecute));
  EXPECT_FALSE(controller.SessionRunning());
  EXPECT_EQ(session.config.firmwarePath, older);
  EXPECT_EQ(window.GetText(kIdFilePath), older);
}

// A dropped name that names no file is not prepared.
TEST_F(MainWindowTest, DropOfAMissingFileShowsTheHint) {
  MainWindow controller(session);
  StartPrepared(controller);
  const std::string missing = (folder / "missing.hex").string();

  controller.OnFilesDropped({missing});
  EXPECT_EQ(window.GetText(kIdFilePath), missing);
  EXPECT_EQ(controller.LastPrepareResult(), 0);  // the start's
  EXPECT_FALSE(window.IsVisible(kIdExecute));
  EXPECT_EQ(window.status(), kHint);
}

TEST_F(MainWindowTest, RefreshWithoutFileHidesExecuteWithHint) {
  AttachOld();
  MainWindow controller(session);
  controller.OnInitDialog();

  controller.OnRefresh();
  EXPECT_EQ(window.comboItems().size(), 1u);
  EXPECT_FALSE(window.IsVisible(kIdExecute));
  EXPECT_EQ(window.status(), kHint);
  EXPECT_EQ(controller.LastPrepareResult(), -1);
}

TEST_F(MainWindowTest, RefreshAfterAttachingPreparesTheNewDevice) {
  session.config.firmwarePath = WriteFirmware(0x06);
  MainWindow controller(session);
  controller.OnInitDialog();
  ASSERT_EQ(window.status(), kNoDevice);

  AttachOld();
  controller.OnRefresh();
  EXPECT_EQ(window.comboItems().size(), 1u);
  EXPECT_EQ(controller.LastPrepareResult(), 0);
  EXPECT_TRUE(window.IsVisible(kIdExecute));
}

TEST_F(MainWindowTest, RefreshAfterDetachingHidesExecuteWithHint) {
  MainWindow controller(session);
  sim::Controller& c = StartPrepared(controller);
  ASSERT_TRUE(window.IsVisible(kIdExecute));

  bus.Detach(c.serial());
  controller.OnRefresh();
  EXPECT_TRUE(window.comboItems().empty());
  EXPECT_FALSE(window.IsVisible(kIdExecute));
  EXPECT_EQ(window.status(), kHint);
}

// --- Keys and "v more v" ------------------------------------------------------

TEST_F(MainWindowTest, OnlyDAndVKeyReleasesRevealMoreButton) {
  MainWindow controller(session);
  controller.OnInitDialog();
  for (int key : {int{'A'}, int{'X'}, int{'d'}, int{'v'}, 13, 0x20}) {
    controller.OnKeyUp(key);
    EXPECT_FALSE(window.IsVisible(kIdMore)) << "key " << key;
  }
  controller.OnKeyUp('V');
  EXPECT_TRUE(window.IsVisible(kIdMore));
  EXPECT_EQ(window.GetText(kIdMore), "v more v");
}

TEST_F(MainWindowTest, DKeyRevealsMoreButtonAndItStays) {
  MainWindow controller(session);
  controller.OnInitDialog();
  controller.OnKeyUp('D');
  controller.OnKeyUp('Q');
  EXPECT_TRUE(window.IsVisible(kIdMore));
}

TEST_F(MainWindowTest, MoreLessGrowsAndShrinksBackBy140Pixels) {
  MainWindow controller(session);
  StartPrepared(controller);
  // The preparation printed its protocol into the hidden pane.
  ASSERT_FALSE(window.IsVisible(kIdVerbose));
  const std::string printed = window.verbose();
  ASSERT_NE(printed, "");
  controller.OnKeyUp('V');
  const int start = window.dialogHeight();

  controller.OnMoreLess();
  EXPECT_EQ(window.dialogHeight(), start + 140);
  EXPECT_EQ(window.GetText(kIdMore), "^ less ^");
  EXPECT_TRUE(window.IsVisible(kIdVerbose));
  EXPECT_EQ(window.verbose(), printed);

  controller.OnMoreLess();
  EXPECT_EQ(window.dialogHeight(), start);
  EXPECT_EQ(window.GetText(kIdMore), "v more v");
  EXPECT_FALSE(window.IsVisible(kIdVerbose));
}

// --- Exit, Cancel, destruction ---------------------------------------------

TEST_F(MainWindowTest, CloseIsIgnoredWhileSessionMutexIsHeld) {
  MainWindow controller(session);
  StartPrepared(controller);
  ASSERT_TRUE(session.deviceConnected);
  std::vector<uint8_t> report(531);

  {
    std::unique_ptr<NamedMutex> held = system.AcquireNamedMutex(kSessionMutexName);
    ASSERT_NE(held, nullptr);
    EXPECT_FALSE(controller.OnExitOrCancel());
    EXPECT_TRUE(session.deviceConnected);
    EXPECT_EQ(session.connection->ReadFeatureReport(report.data(), 531), 0);
  }

  EXPECT_TRUE(controller.OnExitOrCancel());
  EXPECT_FALSE(session.deviceConnected);
  EXPECT_NE(session.connection->ReadFeatureReport(report.data(), 531), 0);
}

TEST_F(MainWindowTest, CloseWithoutConnectionCloses) {
  MainWindow controller(session);
  controller.OnInitDialog();
  EXPECT_TRUE(controller.OnExitOrCancel());
}

TEST_F(MainWindowTest, DestroyReleasesListImageAndConnection) {
  MainWindow controller(session);
  StartPrepared(controller);
  ASSERT_NE(session.image, nullptr);
  ASSERT_FALSE(session.deviceList.empty());

  controller.OnDestroy();
  EXPECT_TRUE(session.deviceList.empty());
  EXPECT_EQ(session.image, nullptr);
  EXPECT_EQ(session.firmware.image, nullptr);
  EXPECT_FALSE(session.deviceConnected);
  std::vector<uint8_t> report(531);
  EXPECT_NE(session.connection->ReadFeatureReport(report.data(), 531), 0);
}

// --- Drops ------------------------------------------------------------------

TEST_F(MainWindowTest, DropWithoutFilesDoesNothing) {
  MainWindow controller(session);
  StartPrepared(controller);
  const std::vector<std::string> before = window.events();
  const std::string path = session.config.firmwarePath;

  controller.OnFilesDropped({});
  EXPECT_EQ(window.events(), before);
  EXPECT_EQ(session.config.firmwarePath, path);
}

TEST_F(MainWindowTest, DropTakesFirstFileAndPrepares) {
  AttachOld();
  MainWindow controller(session);
  controller.OnInitDialog();
  const std::string path = WriteFirmware(0x06);

  controller.OnFilesDropped({path, (folder / "second.hex").string()});
  EXPECT_EQ(window.GetText(kIdFilePath), path);
  EXPECT_EQ(session.config.firmwarePath, path);
  EXPECT_EQ(controller.LastPrepareResult(), 0);
  EXPECT_TRUE(window.IsVisible(kIdExecute));
}

TEST_F(MainWindowTest, DropWithoutDeviceOnlyShowsThePath) {
  MainWindow controller(session);
  controller.OnInitDialog();
  const std::string path = WriteFirmware(0x06);

  controller.OnFilesDropped({path});
  EXPECT_EQ(window.GetText(kIdFilePath), path);
  EXPECT_EQ(session.config.firmwarePath, path);
  EXPECT_EQ(controller.LastPrepareResult(), -1);
  EXPECT_FALSE(window.IsVisible(kIdExecute));
}

TEST_F(MainWindowTest, DropOfABrokenFileFailsPreparationAndHidesExecute) {
  MainWindow controller(session);
  StartPrepared(controller);
  ASSERT_TRUE(window.IsVisible(kIdExecute));
  const std::string broken = (folder / "broken.hex").string();
  std::ofstream(broken) << "this is no hex file\r\n";

  controller.OnFilesDropped({broken});
  EXPECT_EQ(controller.LastPrepareResult(), 1);
  EXPECT_FALSE(window.IsVisible(kIdExecute));
  EXPECT_EQ(session.image, nullptr);
}

// --- Execute ------------------------------------------------------------------

TEST_F(MainWindowTest, ExecuteRunsWholeUpdateOnWorker) {
  MainWindow controller(session);
  sim::Controller& c = StartPrepared(controller);
  ASSERT_TRUE(window.IsVisible(kIdExecute));

  controller.OnExecute();
  EXPECT_EQ(controller.WaitForSession(), kExitSuccess);
  EXPECT_FALSE(controller.SessionRunning());
  EXPECT_EQ(c.runningRevision(), 0x06);
  EXPECT_FALSE(c.inBootloader());
  EXPECT_TRUE(
      Contains(window.statusHistory(), "Firmware was successfully updated to version: 12.6\r\n"));
  // The session let go of its mutex and gave the inputs back, so the
  // window closes now.
  EXPECT_FALSE(system.IsNamedMutexHeld(kSessionMutexName));
  EXPECT_TRUE(window.IsEnabled(kIdExecute));
  EXPECT_TRUE(controller.OnExitOrCancel());
}

TEST_F(MainWindowTest, ExecuteReportsAFailedSessionsExitCode) {
  MainWindow controller(session);
  sim::Controller& c = StartPrepared(controller);
  c.faults().noReturnAfterInvoke = true;

  controller.OnExecute();
  EXPECT_EQ(controller.WaitForSession(), kExitFailure);
  EXPECT_NE(c.runningRevision(), 0x06);
  EXPECT_TRUE(Contains(window.statusHistory(), "The Firmware update was NOT completed\r\n"));
}

// Between Execute and the session taking its mutex the worker already uses
// the connection: closing then must not disconnect under it.
TEST_F(MainWindowTest, CloseRightAfterExecuteIsIgnored) {
  MainWindow controller(session);
  sim::Controller& c = StartPrepared(controller);
  window.CloseGate();
  GateOpener opener{window};
  controller.OnExecute();
  window.WaitUntilHeld();

  EXPECT_FALSE(system.IsNamedMutexHeld(kSessionMutexName));
  EXPECT_FALSE(controller.OnExitOrCancel());
  EXPECT_TRUE(session.deviceConnected);

  window.OpenGate();
  EXPECT_EQ(controller.WaitForSession(), kExitSuccess);
  EXPECT_EQ(c.runningRevision(), 0x06);
  EXPECT_TRUE(controller.OnExitOrCancel());
}

// The dialog accepts drops while a session runs; a preparation then would
// replace the image and the connection under the worker.
TEST_F(MainWindowTest, DropDuringSessionIsIgnored) {
  MainWindow controller(session);
  sim::Controller& c = StartPrepared(controller);
  const std::string other = WriteFirmware(0x07, "other.hex");
  window.CloseGate();
  GateOpener opener{window};
  controller.OnExecute();
  window.WaitUntilHeld();
  const HexFile* image = session.image.get();

  controller.OnFilesDropped({other});
  controller.OnRefresh();
  controller.OnSelectionChange(0);
  controller.OnBrowseResult(&other);
  EXPECT_EQ(session.image.get(), image);
  EXPECT_NE(session.config.firmwarePath, other);
  EXPECT_NE(window.GetText(kIdFilePath), other);

  window.OpenGate();
  EXPECT_EQ(controller.WaitForSession(), kExitSuccess);
  EXPECT_EQ(c.runningRevision(), 0x06);
  // Once the session has ended, a drop prepares again.
  controller.OnFilesDropped({other});
  EXPECT_EQ(session.config.firmwarePath, other);
  EXPECT_EQ(controller.LastPrepareResult(), 0);
}

TEST_F(MainWindowTest, WaitWithoutSessionReturnsZero) {
  MainWindow controller(session);
  controller.OnInitDialog();
  EXPECT_EQ(controller.WaitForSession(), 0);
  EXPECT_FALSE(controller.SessionRunning());
}

// --- Program start --------------------------------------------------------------

class FakeHost : public ProgramHost {
 public:
  FakeHost(TestSystemPort& system, bool canCreate) : system_(system), canCreate_(canCreate) {}
  void ActivateRunningInstance() override { ++activations; }
  bool CreateMainDialog(MainWindow& controller) override {
    ++dialogsCreated;
    if (!canCreate_) return false;
    controller.OnInitDialog();
    return true;
  }
  int RunMessageLoop() override {
    ++loops;
    instanceHeldDuringLoop = system_.IsNamedMutexHeld(kInstanceMutexName);
    return 0;
  }

  int activations = 0;
  int dialogsCreated = 0;
  int loops = 0;
  bool instanceHeldDuringLoop = false;

 private:
  TestSystemPort& system_;
  bool canCreate_;
};

TEST_F(MainWindowTest, ProgramRunsDialogHoldingInstanceMutex) {
  FakeHost host(system, true);
  const char* argv[] = {"padflash", "/v"};
  EXPECT_EQ(RunProgram(session, 2, argv, host), 0);
  EXPECT_EQ(host.dialogsCreated, 1);
  EXPECT_EQ(host.loops, 1);
  EXPECT_TRUE(host.instanceHeldDuringLoop);
  EXPECT_EQ(host.activations, 0);
  EXPECT_TRUE(session.config.verbose);
  EXPECT_TRUE(window.IsVisible(kIdMore));
  EXPECT_FALSE(system.IsNamedMutexHeld(kInstanceMutexName));
}

TEST_F(MainWindowTest, HelpSwitchEndsBeforeMutexAndDialog) {
  // Another instance runs; the help box is shown all the same.
  std::unique_ptr<NamedMutex> other = system.AcquireNamedMutex(kInstanceMutexName);
  FakeHost host(system, true);
  const char* argv[] = {"/usr/bin/padflash", "/?"};
  EXPECT_EQ(RunProgram(session, 2, argv, host), 0);
  EXPECT_EQ(host.activations, 0);
  EXPECT_EQ(host.dialogsCreated, 0);
  ASSERT_EQ(window.messageBoxes().size(), 1u);
  EXPECT_EQ(window.messageBoxes()[0].caption, "/? help and usage");
  EXPECT_FALSE(window.messageBoxes()[0].owned);
}

TEST_F(MainWindowTest, SecondInstanceOnlyActivatesTheFirst) {
  std::unique_ptr<NamedMutex> first = system.AcquireNamedMutex(kInstanceMutexName);
  FakeHost host(system, true);
  const char* argv[] = {"padflash"};
  EXPECT_EQ(RunProgram(session, 1, argv, host), 0);
  EXPECT_EQ(host.activations, 1);
  EXPECT_EQ(host.dialogsCreated, 0);
  EXPECT_EQ(host.loops, 0);
}

TEST_F(MainWindowTest, DialogThatCannotBeCreatedEndsAndReleasesMutex) {
  FakeHost host(system, false);
  const char* argv[] = {"padflash"};
  EXPECT_EQ(RunProgram(session, 1, argv, host), 0);
  EXPECT_EQ(host.dialogsCreated, 1);
  EXPECT_EQ(host.loops, 0);
  EXPECT_FALSE(system.IsNamedMutexHeld(kInstanceMutexName));
}

// --- About box --------------------------------------------------------------------

TEST(AboutTextTest, StartsWithTitleAndVersion) {
  const std::string text = MainWindow::AboutText();
  EXPECT_EQ(text.substr(0, text.find("\r\n") + 2), "Velmar Firmware Update Tool - v2.0.3.13\r\n");
  // The notice line is indented by four spaces and followed by an empty
  // line; the text ends with the restart advice.
  const size_t second = text.find("\r\n") + 2;
  EXPECT_EQ(text.substr(second, 4), "    ");
  EXPECT_NE(text.find("\r\n\r\nThis program updates the touchpad or touchscreen firmware,  if "
                      "appropriate.\r\n\r\n"),
            std::string::npos);
  const std::string last =
      "To restore operation, re - start the computer and run this program again.\r\n";
  EXPECT_EQ(text.substr(text.size() - last.size()), last);
}

TEST(AboutTextTest, UsageNamesProgramFileWithoutDirectory) {
  const std::string rest =
      "\r\n    /?    Options\r\n"
      "    /v    Shows verbose mode button\r\n"
      "    /o    Overrides FW compatibility check\r\n       -won't ask to confirm\r\n"
      "    /r    Don't Save Flash Config \r\n       -uses default values from new FW file\n";
  EXPECT_EQ(MainWindow::AboutUsageText("/usr/local/bin/padflash"),
            "Command Line Arguments:\r\n\r\npadflash" + rest);
  EXPECT_EQ(MainWindow::AboutUsageText("C:\\Tools\\padflash.exe"),
            "Command Line Arguments:\r\n\r\npadflash.exe" + rest);
  EXPECT_EQ(MainWindow::AboutUsageText("padflash"),
            "Command Line Arguments:\r\n\r\npadflash" + rest);
}

}  // namespace
}  // namespace padflash
