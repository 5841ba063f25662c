// The window port of the Qt dialog. The engine may call it from the update
// worker: such a call is delivered to the UI thread with
// Qt::BlockingQueuedConnection and the worker waits until it has been
// applied. A call on the UI thread itself is made directly (a blocking
// queued call to one's own thread would wait for ever).
//
// The port outlives the dialog. Without a dialog (before it is created,
// after it is gone) calls do nothing and read back empty values, and message
// boxes have no owner; so a worker never waits on a window that is gone, as
// long as the UI thread keeps taking events.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "platform/window_port.h"

namespace padflash {

class QtWindowPort final : public WindowPort {
 public:
  // Create on the UI thread.
  QtWindowPort();

  // UI thread only: the dialog's widget and its controls; null detaches.
  void Attach(QWidget* dialog, WindowPort* controls);

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
  // Runs `call` on the UI thread and returns its result.
  template <typename Call>
  auto OnUiThread(Call call);
  // The attached controls, or null; UI thread only.
  WindowPort* Controls() const;

  QObject uiThread_;
  QPointer<QWidget> dialog_;
  WindowPort* controls_ = nullptr;
};

}  // namespace padflash
