// The Qt dialog with QTest: the real dialog, port and program host against
// controllers on an in-process simulated bus with the virtual clock. The
// controller's decisions are tested without a toolkit; these cases test
// what the Qt code translates: clicks, keys, drops, closing, the worker's
// calls across threads, the window size and the raise request.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

#include "app/main_window.h"
#include "app/qt/about_box.h"
#include "app/qt/qt_program_host.h"
#include "app/qt/qt_window_port.h"
#include "platform/posix/hidraw_access.h"
#include "session/session.h"
#include "sim/bus.h"
#include "tests/support/test_system_port.h"
#include "tools/fwgen/firmware_generator.h"

namespace padflash {
namespace {

constexpr int kSessionTimeoutMs = 60000;
constexpr int kInputControls[] = {kIdDeviceCombo, kIdExecute,    kIdBrowse,
                                  kIdRefresh,     kIdDeviceInfo, kIdFilePath};

// Holds the update worker at its keep-awake request, after the session has
// disabled the inputs and taken its mutex.
class GatedSystemPort : public testing::TestSystemPort {
 public:
  bool SetExecutionState(uint32_t flags) override {
    if ((flags & kEsSystemRequired) != 0) {
      std::unique_lock<std::mutex> lock(gateMutex_);
      reached_ = true;
      changed_.wait(lock, [this] { return open_; });
    }
    return TestSystemPort::SetExecutionState(flags);
  }
  void CloseGate() { SetOpen(false); }
  void OpenGate() { SetOpen(true); }
  bool Reached() {
    std::lock_guard<std::mutex> lock(gateMutex_);
    return reached_;
  }

 private:
  void SetOpen(bool open) {
    std::lock_guard<std::mutex> lock(gateMutex_);
    open_ = open;
    changed_.notify_all();
  }
  std::mutex gateMutex_;
  std::condition_variable changed_;
  bool open_ = true;
  bool reached_ = false;
};

// One program: session, controller and Qt host over the simulated bus.
struct Rig {
  Rig()
      : bus(system.virtualClock),
        session(window, system, [this] { return sim::CreateBusInterface(bus); }),
        controller(session),
        host(window, "/usr/bin/padflash") {
    session.config.overrideCompatibility = true;  // /o: no downgrade question
  }
  ~Rig() { system.OpenGate(); }

  void Start() {
    QVERIFY(host.CreateMainDialog(controller));
    dialog().onClosed = [this] { ++closings; };
  }
  MainDialog& dialog() { return *host.dialog(); }
  template <typename Widget>
  Widget* control(int id) {
    return qobject_cast<Widget*>(dialog().Control(id));
  }

  GatedSystemPort system;
  sim::Bus bus;
  QtWindowPort window;
  Session session;
  MainWindow controller;
  QtProgramHost host;  // goes first: serves the window until no session runs
  int closings = 0;
};

// Drops `path` at `at` (window coordinates) the way the platform delivers a
// drop: to the window, which finds the widget that takes it.
void DropFile(QWidget& window, QPoint at, const QString& path) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(path)});
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window.windowHandle(), &enter);
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window.windowHandle(), &drop);
}

QPoint CentreOf(QWidget* control) {
  return control->geometry().center();
}

}  // namespace

class QtDialogTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void init();
  void cleanup();
  void startWithFirmwarePathShowsExecute();
  void executeRunsTheUpdateAndCloseWaitsForIt();
  void dropGivesTheSameResultOnFileBoxAndWindow_data();
  void dropGivesTheSameResultOnFileBoxAndWindow();
  void vKeyRevealsMoreButtonThatGrowsAndShrinksTheWindow();
  void workerQuestionIsAModalBoxAndAGoneWindowDoesNotHoldTheWorker();
  void secondStartRaisesTheRunningWindow();
  void programEndsWhenItsDialogCloses();
  void hiddenControllerBoxNamesTheUdevRule();
  void strandedControllerAsksAboutItsFileAndTheDefaults();
  void windowShowsOnlyAfterTheFirstRefresh();
  void changedSelectionPreparesAndTheSameEntryAgainDoesNot();
  void refreshListsAControllerAttachedSinceTheStart();
  void failedUpdateLeavesItsStatusAndEnablesTheInputs();
  void aboutBoxNamesTheProgramAndItsVersion();

 private:
  QString WriteFirmware(uint8_t revision, const QString& name = QStringLiteral("new.hex"));
  // A controller running revision 5, a revision 6 image given on the
  // command line, and the dialog started.
  void StartPrepared();
  void AnswerBoxes();

  std::unique_ptr<QTemporaryDir> folder_;
  QString previousFolder_;
  std::unique_ptr<Rig> rig_;
  QTimer boxWatch_;
  // Answers the next message box; without it a box is unexpected.
  std::function<void(QMessageBox*)> answerBox_;
  QStringList unexpectedBoxes_;
};

// Each case works in a folder of its own: the session writes its
// personality file into the current directory. A message box that a case
// does not answer is recorded and closed, so the case fails instead of
// waiting.
void QtDialogTest::init() {
  folder_ = std::make_unique<QTemporaryDir>();
  QVERIFY(folder_->isValid());
  previousFolder_ = QDir::currentPath();
  QDir::setCurrent(folder_->path());
  rig_ = std::make_unique<Rig>();
  unexpectedBoxes_.clear();
  answerBox_ = nullptr;
  connect(&boxWatch_, &QTimer::timeout, this, &QtDialogTest::AnswerBoxes, Qt::UniqueConnection);
  boxWatch_.start(50);
}

void QtDialogTest::cleanup() {
  boxWatch_.stop();
  rig_.reset();
  QDir::setCurrent(previousFolder_);
  folder_.reset();
  QVERIFY2(unexpectedBoxes_.isEmpty(), qPrintable(unexpectedBoxes_.join(QStringLiteral(" | "))));
}

// Runs inside the box's own event loop, as a timer.
void QtDialogTest::AnswerBoxes() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (box == nullptr) return;
  if (answerBox_) {
    std::exchange(answerBox_, nullptr)(box);
    return;
  }
  unexpectedBoxes_ << box->windowTitle() + QStringLiteral(": ") + box->text();
  box->reject();
}

QString QtDialogTest::WriteFirmware(uint8_t revision, const QString& name) {
  fwgen::FirmwareBuild build;
  build.revision = revision;
  const QString path = folder_->filePath(name);
  std::ofstream(path.toStdString(), std::ios::binary)
      << fwgen::ToIntelHex(fwgen::GenerateFirmware(build));
  return path;
}

void QtDialogTest::StartPrepared() {
  rig_->bus.Attach(sim::ControllerConfig{});
  rig_->session.config.firmwarePath = WriteFirmware(0x06).toStdString();
  rig_->Start();
}

void QtDialogTest::startWithFirmwarePathShowsExecute() {
  StartPrepared();
  MainDialog& dialog = rig_->dialog();
  QVERIFY(dialog.isVisible());
  QCOMPARE(dialog.windowTitle(), QStringLiteral("Velmar Firmware Update Tool"));
  QVERIFY(rig_->control<QPushButton>(kIdExecute)->isVisible());
  QCOMPARE(rig_->control<QLineEdit>(kIdFilePath)->text(),
           QString::fromStdString(rig_->session.config.firmwarePath));
  QCOMPARE(rig_->control<QComboBox>(kIdDeviceCombo)->count(), 1);
  QVERIFY(
      rig_->control<QPlainTextEdit>(kIdDeviceInfo)->toPlainText().startsWith("VendorID: 0x488"));

  // Laid out in dialog units of the dialog font; the verbose pane lies
  // below the visible area.
  const DialogUnits& units = dialog.units();
  QCOMPARE(dialog.size(), units.Map(kMainDialogRect).size());
  QCOMPARE(rig_->control<QPushButton>(kIdExecute)->geometry(), units.Map({132, 157, 72, 16}));
  QVERIFY(rig_->control<QPlainTextEdit>(kIdVerbose)->geometry().top() >= dialog.height());
  QVERIFY(dialog.minimumSize() == dialog.maximumSize());
}

void QtDialogTest::executeRunsTheUpdateAndCloseWaitsForIt() {
  StartPrepared();
  MainDialog& dialog = rig_->dialog();
  rig_->system.CloseGate();
  QTest::mouseClick(rig_->control<QPushButton>(kIdExecute), Qt::LeftButton);
  QTRY_VERIFY(rig_->system.Reached());

  for (int id : kInputControls)
    QVERIFY2(!dialog.Control(id)->isEnabled(), qPrintable(QString::number(id)));
  QVERIFY(!dialog.close());
  QVERIFY(dialog.isVisible());
  QCOMPARE(rig_->closings, 0);

  rig_->system.OpenGate();
  QTRY_VERIFY_WITH_TIMEOUT(!rig_->controller.SessionRunning(), kSessionTimeoutMs);
  QCOMPARE(rig_->control<QLabel>(kIdStatus)->text(),
           QStringLiteral("Firmware was successfully updated to version: 12.6"));
  QCOMPARE(rig_->bus.controllers().front()->runningRevision(), 0x06);
  for (int id : kInputControls)
    QVERIFY2(dialog.Control(id)->isEnabled(), qPrintable(QString::number(id)));
  QVERIFY(rig_->control<QPlainTextEdit>(kIdVerbose)->toPlainText().contains("BEGIN FW Update\n"));

  QVERIFY(dialog.close());
  QCOMPARE(rig_->closings, 1);
}

void QtDialogTest::dropGivesTheSameResultOnFileBoxAndWindow_data() {
  QTest::addColumn<int>("target");
  QTest::newRow("file-name box") << int{kIdFilePath};
  QTest::newRow("new firmware static, which takes no drops") << int{kIdNewFw};
}

void QtDialogTest::dropGivesTheSameResultOnFileBoxAndWindow() {
  QFETCH(int, target);
  rig_->bus.Attach(sim::ControllerConfig{});
  rig_->Start();
  MainDialog& dialog = rig_->dialog();
  auto* execute = rig_->control<QPushButton>(kIdExecute);
  QVERIFY(!execute->isVisible());
  const QString good = WriteFirmware(0x06);
  const QString broken = folder_->filePath(QStringLiteral("broken.hex"));
  std::ofstream(broken.toStdString()) << "this is no hex file\r\n";

  DropFile(dialog, CentreOf(dialog.Control(target)), good);
  QCOMPARE(rig_->control<QLineEdit>(kIdFilePath)->text(), good);
  QVERIFY(execute->isVisible());

  DropFile(dialog, CentreOf(dialog.Control(target)), broken);
  QCOMPARE(rig_->control<QLineEdit>(kIdFilePath)->text(), broken);
  QVERIFY(!execute->isVisible());
}

void QtDialogTest::vKeyRevealsMoreButtonThatGrowsAndShrinksTheWindow() {
  StartPrepared();
  MainDialog& dialog = rig_->dialog();
  auto* more = rig_->control<QPushButton>(kIdMore);
  auto* pane = rig_->control<QPlainTextEdit>(kIdVerbose);
  QVERIFY(!more->isVisible());

  // Released on whichever control has the focus.
  QTest::keyClick(rig_->control<QComboBox>(kIdDeviceCombo), Qt::Key_B);
  QVERIFY(!more->isVisible());
  QTest::keyClick(rig_->control<QComboBox>(kIdDeviceCombo), Qt::Key_V);
  QVERIFY(more->isVisible());

  const int height = dialog.height();
  QTest::mouseClick(more, Qt::LeftButton);
  QCOMPARE(dialog.height(), height + kVerbosePaneHeightPixels);
  QCOMPARE(more->text(), QStringLiteral("^ less ^"));
  QVERIFY(pane->isVisible());
  QVERIFY(pane->geometry().bottom() < dialog.height());
  // What the preparation printed while the pane was hidden.
  QVERIFY(pane->toPlainText().contains("Checking Firmware Compatibility...\n"));

  QTest::mouseClick(more, Qt::LeftButton);
  QCOMPARE(dialog.height(), height);
  QCOMPARE(more->text(), QStringLiteral("v more v"));
  QVERIFY(!pane->isVisible());
}

void QtDialogTest::workerQuestionIsAModalBoxAndAGoneWindowDoesNotHoldTheWorker() {
  rig_->bus.Attach(sim::ControllerConfig{});
  rig_->Start();
  QString caption, text;
  QWidget* owner = nullptr;
  QMessageBox::StandardButtons buttons;
  answerBox_ = [&](QMessageBox* box) {
    caption = box->windowTitle();
    text = box->text();
    owner = box->parentWidget();
    buttons = box->standardButtons();
    box->button(QMessageBox::Yes)->click();
  };
  std::atomic<MessageAnswer> answer = MessageAnswer::kOk;
  std::thread worker([&] {
    answer = rig_->window.ShowMessageBox("Remove it?\r\n\tY-remove", "A Question",
                                         MessageButtons::kYesNo, true);
  });
  QTRY_VERIFY(answer != MessageAnswer::kOk);
  worker.join();
  QCOMPARE(answer.load(), MessageAnswer::kYes);
  QCOMPARE(caption, QStringLiteral("A Question"));
  QCOMPARE(text, QStringLiteral("Remove it?\n\tY-remove"));
  QCOMPARE(owner, &rig_->dialog());
  QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);

  // The dialog goes; a worker's calls still come back.
  rig_->host.DestroyDialog();
  std::atomic<bool> done = false;
  std::string readBack = "unread";
  std::thread late([&] {
    rig_->window.SetText(kIdStatus, "after the window");
    readBack = rig_->window.GetText(kIdStatus);
    done = true;
  });
  QTRY_VERIFY(done);
  late.join();
  QCOMPARE(readBack, std::string());
}

void QtDialogTest::secondStartRaisesTheRunningWindow() {
  rig_->bus.Attach(sim::ControllerConfig{});
  rig_->Start();
  MainDialog& dialog = rig_->dialog();
  std::unique_ptr<NamedMutex> first = rig_->system.AcquireNamedMutex(kInstanceMutexName);
  QVERIFY(first != nullptr);
  dialog.showMinimized();
  QTRY_VERIFY(dialog.isMinimized());

  QtWindowPort window;
  Session second(window, rig_->system, [this] { return sim::CreateBusInterface(rig_->bus); });
  QtProgramHost host(window, "padflash");
  const char* argv[] = {"padflash"};
  QCOMPARE(RunProgram(second, 1, argv, host), 0);
  QCOMPARE(host.dialog(), nullptr);
  QTRY_VERIFY(!dialog.isMinimized());
}

// The whole program start on Qt: the event loop runs until the dialog
// closes, and the host outlives the controller that RunProgram made.
void QtDialogTest::programEndsWhenItsDialogCloses() {
  rig_->bus.Attach(sim::ControllerConfig{});
  QtWindowPort window;
  Session program(window, rig_->system, [this] { return sim::CreateBusInterface(rig_->bus); });
  auto host = std::make_unique<QtProgramHost>(window, "padflash");
  QTimer::singleShot(0, [&] { host->dialog()->close(); });
  const char* argv[] = {"padflash", "/v"};
  QCOMPARE(RunProgram(program, 2, argv, *host), 0);
  QCOMPARE(host->dialog(), nullptr);
  QVERIFY(!rig_->system.IsNamedMutexHeld(kInstanceMutexName));
  host.reset();
}

// A controller whose hidraw node this user may not open: the empty list's
// box says so in one line that names the udev rule.
void QtDialogTest::hiddenControllerBoxNamesTheUdevRule() {
  rig_->system.deviceAccessNotice = HidrawAccessNotice({"/dev/hidraw3"});
  QString title;
  QString text;
  answerBox_ = [&](QMessageBox* box) {
    title = box->windowTitle();
    text = box->text();
    box->accept();
  };
  rig_->Start();
  QTRY_COMPARE(title, QStringLiteral("No Devices Attched"));
  QVERIFY2(text.contains(QStringLiteral("No compatible devices were detected.")), qPrintable(text));
  QVERIFY2(text.contains(QString::fromStdString(rig_->system.deviceAccessNotice)),
           qPrintable(text));
}

// The first refresh and preparation run before the window shows: their
// boxes come up with no window behind them that is not painted yet.
void QtDialogTest::windowShowsOnlyAfterTheFirstRefresh() {
  bool shownDuringRefresh = true;
  answerBox_ = [&](QMessageBox* box) {
    shownDuringRefresh = rig_->dialog().isVisible();
    box->accept();
  };
  rig_->Start();
  QVERIFY(answerBox_ == nullptr);
  QVERIFY(!shownDuringRefresh);
  QVERIFY(rig_->dialog().isVisible());
}

// The user picks from the list: another entry is prepared; the entry that
// is already selected, picked again, changes nothing.
void QtDialogTest::changedSelectionPreparesAndTheSameEntryAgainDoesNot() {
  sim::ControllerConfig other;
  other.productId = 0x0202;  // the image is built for 0x0101
  rig_->bus.Attach(sim::ControllerConfig{});
  rig_->bus.Attach(other);
  rig_->session.config.firmwarePath = WriteFirmware(0x06).toStdString();
  rig_->Start();
  auto* combo = rig_->control<QComboBox>(kIdDeviceCombo);
  auto* execute = rig_->control<QPushButton>(kIdExecute);
  auto* verbose = rig_->control<QPlainTextEdit>(kIdVerbose);
  QVERIFY(execute->isVisible());
  auto pick = [&](int index) {
    combo->showPopup();
    QAbstractItemView* list = combo->view();
    QTRY_VERIFY(list->isVisible());
    const QRect item = list->visualRect(list->model()->index(index, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, item.center());
    QTRY_VERIFY(!list->isVisible());
  };

  const QString printed = verbose->toPlainText();
  pick(0);
  QCOMPARE(verbose->toPlainText(), printed);
  QVERIFY(execute->isVisible());

  answerBox_ = [](QMessageBox* box) { box->button(QMessageBox::No)->click(); };
  pick(1);
  QVERIFY(answerBox_ == nullptr);  // asked whether to take the other product ID
  QCOMPARE(rig_->session.selectedDevice, 1);
  QCOMPARE(rig_->controller.LastPrepareResult(), 1);
  QVERIFY(!execute->isVisible());
}

// A controller in its bootloader and a personality file of an older
// program beside it: the dialog asks whether the file is this controller's
// (naming it and its date), then, on No, whether the defaults may be
// programmed (naming the folders searched); No leaves nothing to execute.
void QtDialogTest::strandedControllerAsksAboutItsFileAndTheDefaults() {
  sim::ControllerConfig config;
  config.inBootloader = true;
  rig_->bus.Attach(config);
  std::ofstream("sf20150811_101010.mem", std::ios::binary) << std::string(600, '\x33');
  rig_->session.config.firmwarePath = WriteFirmware(0x06).toStdString();
  QStringList captions, texts;
  QList<QMessageBox::StandardButton> answers = {QMessageBox::Yes, QMessageBox::No, QMessageBox::No};
  std::function<void(QMessageBox*)> answer = [&](QMessageBox* box) {
    captions << box->windowTitle();
    texts << box->text();
    QCOMPARE(box->parentWidget(), &rig_->dialog());
    QCOMPARE(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    box->button(answers.takeFirst())->click();
    if (!answers.isEmpty()) answerBox_ = answer;
  };
  answerBox_ = answer;
  rig_->Start();
  QTRY_COMPARE(captions.size(), 3);
  QCOMPARE(captions, (QStringList{QStringLiteral("ProductID does not Match"),
                                  QStringLiteral("Personality File of Unknown Controller"),
                                  QStringLiteral("No Saved Factory Settings")}));
  QVERIFY2(
      texts[1].contains(QStringLiteral("sf20150811_101010.mem (saved 2015-08-11 10:10:10 UTC)")),
      qPrintable(texts[1]));
  QVERIFY2(texts[2].contains(QDir::currentPath()), qPrintable(texts[2]));
  QVERIFY2(texts[2].contains(QString::fromStdString(rig_->system.UserStateFolder())),
           qPrintable(texts[2]));
  QVERIFY(!rig_->control<QPushButton>(kIdExecute)->isVisible());
  QVERIFY(QFile::exists(QStringLiteral("sf20150811_101010.mem")));
}

void QtDialogTest::refreshListsAControllerAttachedSinceTheStart() {
  StartPrepared();
  auto* combo = rig_->control<QComboBox>(kIdDeviceCombo);
  QCOMPARE(combo->count(), 1);
  sim::ControllerConfig other;
  other.productId = 0x0202;  // the same IDs twice would be refused as duplicates
  rig_->bus.Attach(other);
  QTest::mouseClick(rig_->control<QPushButton>(kIdRefresh), Qt::LeftButton);
  QCOMPARE(combo->count(), 2);
  QVERIFY(rig_->control<QPushButton>(kIdExecute)->isVisible());
}

// Power fails while the image is written: the worker's box says so, then
// the status line holds the failure and the inputs take clicks again.
void QtDialogTest::failedUpdateLeavesItsStatusAndEnablesTheInputs() {
  StartPrepared();
  rig_->bus.controllers().front()->faults().powerLossAtChunk = 3;
  QString caption;
  answerBox_ = [&](QMessageBox* box) {
    caption = box->windowTitle();
    box->accept();
  };
  QTest::mouseClick(rig_->control<QPushButton>(kIdExecute), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!rig_->controller.SessionRunning(), kSessionTimeoutMs);
  QCOMPARE(caption, QStringLiteral("FW Update Incomplete"));
  QTRY_COMPARE(rig_->control<QLabel>(kIdStatus)->text(),
               QStringLiteral("ERROR: Bootloader error."));
  for (int id : kInputControls)
    QVERIFY2(rig_->dialog().Control(id)->isEnabled(), qPrintable(QString::number(id)));
  QVERIFY(!rig_->control<QPushButton>(kIdExecute)->isVisible());
}

void QtDialogTest::aboutBoxNamesTheProgramAndItsVersion() {
  StartPrepared();
  QStringList texts;
  QWidget* owner = nullptr;
  QTimer::singleShot(0, [&] {
    auto* about = dynamic_cast<AboutBox*>(QApplication::activeModalWidget());
    if (about == nullptr) return;
    owner = about->parentWidget();
    for (QLabel* label : about->findChildren<QLabel*>()) texts << label->text();
    about->accept();
  });
  QTest::mouseClick(rig_->control<QPushButton>(kIdAbout), Qt::LeftButton);
  QCOMPARE(owner, &rig_->dialog());
  QVERIFY2(
      texts.filter(QRegularExpression("^Velmar Firmware Update Tool - v2\\.0\\.3\\.13\n")).size() ==
          1,
      qPrintable(texts.join(QStringLiteral(" | "))));
}

}  // namespace padflash

// Lock files and the instance socket go into a fresh 0700 runtime folder,
// whatever the caller's.
int main(int argc, char** argv) {
  QTemporaryDir runtime;
  if (!runtime.isValid()) return 1;
  QFile::setPermissions(runtime.path(),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);
  setenv("PADFLASH_LOCK_DIR", runtime.path().toLocal8Bit().constData(), 1);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  padflash::QtDialogTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "qt_dialog_test.moc"
