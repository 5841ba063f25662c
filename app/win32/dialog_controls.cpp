#include "app/win32/dialog_controls.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/win32/message_box.h"
#include "app/win32/one_line_static.h"

namespace padflash {

// The dialog's one-line statics keep their text as given and draw it as one
// line.
DialogControls::DialogControls(HWND dialog) : dialog_(dialog) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (IsOneLineStatic(child)) DrawAsOneLine(child);
  }
}

LRESULT DialogControls::Send(int control, UINT message, WPARAM wParam, LPARAM lParam) const {
  HWND item = Item(control);
  return item != nullptr ? SendMessageA(item, message, wParam, lParam) : 0;
}

// The verbose pane's printing: an empty selection at the end of the text,
// replaced by the new text. It works while the pane is hidden.
void DialogControls::AppendText(int control, std::string_view text) {
  HWND item = Item(control);
  if (item == nullptr) return;
  const std::string textZ(text);
  const int length = GetWindowTextLengthA(item);
  SendMessageA(item, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
  SendMessageA(item, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(textZ.c_str()));
}

void DialogControls::SetText(int control, std::string_view text) {
  HWND item = Item(control);
  if (item == nullptr) return;
  SetWindowTextA(item, std::string(text).c_str());
}

std::string DialogControls::GetText(int control) {
  HWND item = Item(control);
  if (item == nullptr) return std::string();
  std::vector<char> text(static_cast<size_t>(GetWindowTextLengthA(item)) + 1);
  const int copied = GetWindowTextA(item, text.data(), static_cast<int>(text.size()));
  return std::string(text.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

void DialogControls::Show(int control, bool visible) {
  if (HWND item = Item(control)) ShowWindow(item, visible ? SW_SHOW : SW_HIDE);
}

// The control's own visibility, also while the dialog itself is hidden.
bool DialogControls::IsVisible(int control) {
  HWND item = Item(control);
  return item != nullptr && (GetWindowLongPtrA(item, GWL_STYLE) & WS_VISIBLE) != 0;
}

void DialogControls::Enable(int control, bool enabled) {
  if (HWND item = Item(control)) EnableWindow(item, enabled ? TRUE : FALSE);
}

void DialogControls::SetProgressRange(int control, int low, int high) {
  Send(control, PBM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
}

void DialogControls::SetProgressPos(int control, int pos) {
  Send(control, PBM_SETPOS, static_cast<WPARAM>(pos));
}

void DialogControls::SetProgressStep(int control, int step) {
  Send(control, PBM_SETSTEP, static_cast<WPARAM>(step));
}

void DialogControls::StepProgress(int control) {
  Send(control, PBM_STEPIT);
}

void DialogControls::SetProgressBarColor(int control, uint32_t colorRef) {
  Send(control, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(colorRef));
}

// The marquee bar (PBS_MARQUEE) at its default interval.
void DialogControls::SetMarquee(int control, bool on) {
  Send(control, PBM_SETMARQUEE, on ? TRUE : FALSE, 0);
}

int DialogControls::GetLineCount(int control) {
  return static_cast<int>(Send(control, EM_GETLINECOUNT));
}

void DialogControls::DeleteLeadingChars(int control, int count) {
  if (count <= 0) return;
  Send(control, EM_SETSEL, 0, static_cast<LPARAM>(count));
  Send(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
}

void DialogControls::ComboClear(int control) {
  Send(control, CB_RESETCONTENT);
}

void DialogControls::ComboAddItem(int control, std::string_view text) {
  const std::string textZ(text);
  Send(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(textZ.c_str()));
}

void DialogControls::ComboSelect(int control, int index) {
  Send(control, CB_SETCURSEL, static_cast<WPARAM>(index));
}

void DialogControls::ComboSetDroppedWidth(int control, int pixels) {
  Send(control, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(pixels));
}

// Same position and width; only the outer height changes.
void DialogControls::ResizeDialogHeight(int deltaPixels) {
  RECT frame{};
  if (!GetWindowRect(dialog_, &frame)) return;
  SetWindowPos(dialog_, nullptr, 0, 0, frame.right - frame.left,
               frame.bottom - frame.top + deltaPixels, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

MessageAnswer DialogControls::ShowMessageBox(std::string_view text, std::string_view caption,
                                             MessageButtons buttons, bool owned) {
  return ShowWin32MessageBox(owned ? dialog_ : nullptr, text, caption, buttons);
}

}  // namespace padflash
