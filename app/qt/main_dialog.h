// The main dialog on Qt: a fixed-size window with the controls of template
// 129 on white. It only translates Qt's events into calls of the main-window
// controller, which decides everything; its controls are reached by the
// engine through DialogControls.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/qt/dialog_controls.h"
#include "app/qt/dialog_units.h"

namespace padflash {

class MainWindow;

class MainDialog final : public QWidget {
 public:
  // `programPath`: the running program's file, for the About box.
  MainDialog(MainWindow& controller, std::string programPath);
  ~MainDialog() override;

  DialogControls& controls() { return *controls_; }
  QWidget* Control(int id) const { return controls_->Widget(id); }
  const DialogUnits& units() const { return units_; }

  // Another start of the program asks for this window: restore it when
  // minimised and bring it to the front.
  void RaiseOnRequest();

  // Called once the controller has let the dialog close (after its
  // OnDestroy); the program ends its message loop there.
  std::function<void()> onClosed;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // Keys of the whole dialog, whichever control has the focus.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ConnectControls();
  void Browse();
  void ShowAbout();
  bool IsInDialog(QObject* object) const;

  MainWindow& controller_;
  std::string programPath_;
  DialogUnits units_;
  std::unique_ptr<DialogControls> controls_;
  bool closed_ = false;
};

}  // namespace padflash
