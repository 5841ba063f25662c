// The window port on the UI thread: each call applied to the main dialog's
// widgets, found by control id. Only QtWindowPort calls it, on the UI thread.
//
// Every control keeps the text the engine gave it, byte for byte, so that
// reading a text back returns what was set; the widgets show it as Qt wants
// it (line ends, one-line status).
#pragma once

#include <QWidget>
#include <map>
#include <span>
#include <string>

#include "app/control_table.h"
#include "platform/window_port.h"

namespace padflash {

class DialogControls final : public WindowPort {
 public:
  // `widgets` by control id, children of `dialog`; texts start as the
  // template gives them.
  DialogControls(QWidget& dialog, std::map<int, QWidget*> widgets,
                 std::span<const ControlTemplate> controls);

  QWidget* Widget(int control) const;

  void AppendText(int control, std::string_view text) override;
  void SetText(int control, std::string_view text) override;
  std::string GetText(int control) override;
  void Show(int control, bool visible) override;
  bool IsVisible(int control) override;
  void Enable(int control, bool enabled) override;
  void SetProgressRange(int control, int low, int high) override;
  void SetProgressPos(int control, int pos) override;
  void SetProgressStep(int control, int step) override;
  void StepProgress(int control) override;
  void SetProgressBarColor(int control, uint32_t colorRef) override;
  void SetMarquee(int control, bool on) override;
  int GetLineCount(int control) override;
  void DeleteLeadingChars(int control, int count) override;
  void ComboClear(int control) override;
  void ComboAddItem(int control, std::string_view text) override;
  void ComboSelect(int control, int index) override;
  void ComboSetDroppedWidth(int control, int pixels) override;
  void ResizeDialogHeight(int deltaPixels) override;
  MessageAnswer ShowMessageBox(std::string_view text, std::string_view caption,
                               MessageButtons buttons, bool owned) override;

 private:
  // Shows the control's kept text in its widget.
  void Display(int control);

  QWidget& dialog_;
  std::map<int, QWidget*> widgets_;
  std::map<int, std::string> texts_;
  // Progress bar step sizes (the platform's default step is 10).
  std::map<int, int> steps_;
};

}  // namespace padflash
