// The window port of the Windows dialog. A call on the UI thread goes
// straight to the dialog's controls. A call from the update worker is sent
// to the dialog with SendMessage (kPortCallMessage), so it runs on the UI
// thread and the worker waits until it has been applied.
//
// The port outlives the dialog. Without a dialog (before it is created,
// after it is gone) calls do nothing and read back empty values, and
// message boxes have no owner. A send to a dialog that has gone meanwhile
// fails at once, so the worker never waits on a window that is gone.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

#include "platform/window_port.h"

namespace padflash {

// Sent by the worker to the dialog; the dialog procedure hands it to
// Win32WindowPort::Serve. The call itself waits in the port, not in the
// message: anyone can send the dialog this number.
inline constexpr UINT kPortCallMessage = WM_APP + 1;

class Win32WindowPort final : public WindowPort {
 public:
  // Create on the UI thread.
  Win32WindowPort();

  // UI thread only: the dialog and its controls; null detaches.
  void Attach(HWND dialog, WindowPort* controls);
  // The dialog procedure's handling of kPortCallMessage: runs the call the
  // worker has waiting, if any.
  void Serve();

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
  // Runs `call(controls)` on the UI thread when a dialog is attached and
  // returns its result; `fallback` otherwise.
  template <typename Result, typename Call>
  Result OnUiThread(Result fallback, Call call);
  template <typename Call>
  void OnUiThread(Call call);

  const DWORD uiThread_;
  std::atomic<HWND> dialog_{nullptr};
  // The worker's call while it is being sent (there is one worker).
  std::atomic<const std::function<void()>*> pending_{nullptr};
  WindowPort* controls_ = nullptr;  // UI thread only
};

}  // namespace padflash
