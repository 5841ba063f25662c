#include "app/qt/main_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QIcon>
#include <QKeyEvent>
#include <QPushButton>

#include "app/main_window.h"
#include "app/qt/about_box.h"
#include "app/qt/control_factory.h"
#include "app/qt/file_drop_edit.h"
#include "app/qt/text_display.h"

namespace padflash {
namespace {

// The open-file dialog's filters, the first one chosen.
constexpr const char* kBrowseFilters = "Hex file (*.HEX);;dll (*.dll);;All (*.*)";

// The key code the controller takes: letters and digits as their upper-case
// character; a key without such a code arrives as 0.
int VirtualKey(int qtKey) {
  if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) {
    return qtKey;
  }
  return 0;
}

void PaintOnWhite(QWidget& widget) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Window, Qt::white);
  palette.setColor(QPalette::Base, Qt::white);
  widget.setPalette(palette);
  widget.setAutoFillBackground(true);
}

}  // namespace

MainDialog::MainDialog(MainWindow& controller, std::string programPath)
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      controller_(controller),
      programPath_(std::move(programPath)),
      units_(DialogFont()) {
  setFont(DialogFont());
  setWindowTitle(QString::fromLatin1(kMainDialogCaption));
  setWindowIcon(QIcon(QStringLiteral(":/padflash/padflash.png")));
  PaintOnWhite(*this);
  setFixedSize(units_.Map(kMainDialogRect).size());
  setAcceptDrops(true);
  controls_ = std::make_unique<DialogControls>(
      *this, CreateControls(kMainDialogControls, units_, this), kMainDialogControls);
  ConnectControls();
  qApp->installEventFilter(this);
}

MainDialog::~MainDialog() {
  qApp->removeEventFilter(this);
}

void MainDialog::ConnectControls() {
  auto button = [this](int id) { return static_cast<QPushButton*>(Control(id)); };
  // The user's changed selection, as CBN_SELCHANGE reports it: picking the
  // entry already selected changes nothing, and the engine's own changes to
  // the list are made with the combo's signals blocked.
  connect(static_cast<QComboBox*>(Control(kIdDeviceCombo)), &QComboBox::currentIndexChanged, this,
          [this](int index) { controller_.OnSelectionChange(index); });
  connect(button(kIdRefresh), &QPushButton::clicked, this, [this] { controller_.OnRefresh(); });
  connect(button(kIdBrowse), &QPushButton::clicked, this, [this] { Browse(); });
  connect(button(kIdExecute), &QPushButton::clicked, this, [this] { controller_.OnExecute(); });
  connect(button(kIdMore), &QPushButton::clicked, this, [this] { controller_.OnMoreLess(); });
  connect(button(kIdAbout), &QPushButton::clicked, this, [this] { ShowAbout(); });
  connect(button(kIdExit), &QPushButton::clicked, this, [this] { close(); });
  static_cast<FileDropEdit*>(Control(kIdFilePath))->onFilesDropped =
      [this](const std::vector<std::string>& files) { controller_.OnFilesDropped(files); };
}

// Qt's own file dialog matches the filters without regard to case, as the
// platform's dialog on Windows does; the desktop's native one may not and
// would hide "new.hex" under "*.HEX".
void MainDialog::Browse() {
  const QString chosen =
      QFileDialog::getOpenFileName(this, QString(), QString(), QString::fromLatin1(kBrowseFilters),
                                   nullptr, QFileDialog::DontUseNativeDialog);
  if (chosen.isEmpty()) {
    controller_.OnBrowseResult(nullptr);
    return;
  }
  const std::string path = EnginePath(chosen);
  controller_.OnBrowseResult(&path);
}

void MainDialog::ShowAbout() {
  AboutBox about(this, programPath_);
  about.exec();
}

void MainDialog::RaiseOnRequest() {
  if (closed_) return;
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

// The window's close button and Exit: the controller refuses while an
// update session runs; otherwise the dialog goes.
void MainDialog::closeEvent(QCloseEvent* event) {
  if (!controller_.OnExitOrCancel()) {
    event->ignore();
    return;
  }
  event->accept();
  if (closed_) return;
  closed_ = true;
  controller_.OnDestroy();
  if (onClosed) onClosed();
}

// Files dropped on any control that takes no drops of its own reach the
// dialog.
void MainDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (CarriesFiles(event->mimeData())) event->acceptProposedAction();
}

void MainDialog::dragMoveEvent(QDragMoveEvent* event) {
  if (CarriesFiles(event->mimeData())) event->acceptProposedAction();
}

void MainDialog::dropEvent(QDropEvent* event) {
  event->acceptProposedAction();
  controller_.OnFilesDropped(DroppedFiles(event->mimeData()));
}

// The combo box's drop-down list is a popup window of its own; it belongs
// to the dialog too. Other windows (message boxes, About) do not.
bool MainDialog::IsInDialog(QObject* object) const {
  if (!object->isWidgetType()) return false;
  QWidget* window = static_cast<QWidget*>(object)->window();
  while (window != this && window->windowType() == Qt::Popup && window->parentWidget()) {
    window = window->parentWidget()->window();
  }
  return window == this;
}

// Every key release in the dialog goes to the controller, whichever control
// has the focus, and no control sees it; typed characters and Tab never
// reach the controls.
bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) || !IsInDialog(watched)) {
    return QWidget::eventFilter(watched, event);
  }
  auto* key = static_cast<QKeyEvent*>(event);
  if (type == QEvent::KeyRelease) {
    if (!key->isAutoRepeat()) controller_.OnKeyUp(VirtualKey(key->key()));
    return true;
  }
  const bool typed = !key->text().isEmpty() && key->text().at(0).isPrint();
  return typed || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
}

}  // namespace padflash
