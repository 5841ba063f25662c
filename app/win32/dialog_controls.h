// The window port over the main dialog's real controls: every call is a
// Win32 call or control message to the child with that id. UI thread only;
// Win32WindowPort brings the worker's calls here.
#pragma once

#include <windows.h>

#include "platform/window_port.h"

namespace padflash {

class DialogControls final : public WindowPort {
 public:
  explicit DialogControls(HWND dialog);

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
  // The control, or null when the dialog has no such child.
  HWND Item(int control) const { return GetDlgItem(dialog_, control); }
  LRESULT Send(int control, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

  HWND dialog_;
};

}  // namespace padflash
