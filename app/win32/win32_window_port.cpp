#include "app/win32/win32_window_port.h"

#include "app/win32/message_box.h"

namespace padflash {

Win32WindowPort::Win32WindowPort() : uiThread_(GetCurrentThreadId()) {}

void Win32WindowPort::Attach(HWND dialog, WindowPort* controls) {
  controls_ = dialog != nullptr ? controls : nullptr;
  dialog_ = dialog;
}

void Win32WindowPort::Serve() {
  if (const std::function<void()>* call = pending_.exchange(nullptr)) (*call)();
}

template <typename Result, typename Call>
Result Win32WindowPort::OnUiThread(Result fallback, Call call) {
  Result result = fallback;
  const std::function<void()> onUiThread = [&] {
    if (controls_ != nullptr) result = call(*controls_);
  };
  if (GetCurrentThreadId() == uiThread_) {
    onUiThread();
  } else if (HWND dialog = dialog_.load()) {
    pending_ = &onUiThread;
    SendMessageA(dialog, kPortCallMessage, 0, 0);
    pending_ = nullptr;  // not served: the dialog went meanwhile
  }
  return result;
}

template <typename Call>
void Win32WindowPort::OnUiThread(Call call) {
  OnUiThread(false, [&](WindowPort& controls) {
    call(controls);
    return true;
  });
}

void Win32WindowPort::AppendText(int control, std::string_view text) {
  OnUiThread([&](WindowPort& c) { c.AppendText(control, text); });
}

void Win32WindowPort::SetText(int control, std::string_view text) {
  OnUiThread([&](WindowPort& c) { c.SetText(control, text); });
}

std::string Win32WindowPort::GetText(int control) {
  return OnUiThread(std::string(), [&](WindowPort& c) { return c.GetText(control); });
}

void Win32WindowPort::Show(int control, bool visible) {
  OnUiThread([&](WindowPort& c) { c.Show(control, visible); });
}

bool Win32WindowPort::IsVisible(int control) {
  return OnUiThread(false, [&](WindowPort& c) { return c.IsVisible(control); });
}

void Win32WindowPort::Enable(int control, bool enabled) {
  OnUiThread([&](WindowPort& c) { c.Enable(control, enabled); });
}

void Win32WindowPort::SetProgressRange(int control, int low, int high) {
  OnUiThread([&](WindowPort& c) { c.SetProgressRange(control, low, high); });
}

void Win32WindowPort::SetProgressPos(int control, int pos) {
  OnUiThread([&](WindowPort& c) { c.SetProgressPos(control, pos); });
}

void Win32WindowPort::SetProgressStep(int control, int step) {
  OnUiThread([&](WindowPort& c) { c.SetProgressStep(control, step); });
}

void Win32WindowPort::StepProgress(int control) {
  OnUiThread([&](WindowPort& c) { c.StepProgress(control); });
}

void Win32WindowPort::SetProgressBarColor(int control, uint32_t colorRef) {
  OnUiThread([&](WindowPort& c) { c.SetProgressBarColor(control, colorRef); });
}

void Win32WindowPort::SetMarquee(int control, bool on) {
  OnUiThread([&](WindowPort& c) { c.SetMarquee(control, on); });
}

int Win32WindowPort::GetLineCount(int control) {
  return OnUiThread(0, [&](WindowPort& c) { return c.GetLineCount(control); });
}

void Win32WindowPort::DeleteLeadingChars(int control, int count) {
  OnUiThread([&](WindowPort& c) { c.DeleteLeadingChars(control, count); });
}

void Win32WindowPort::ComboClear(int control) {
  OnUiThread([&](WindowPort& c) { c.ComboClear(control); });
}

void Win32WindowPort::ComboAddItem(int control, std::string_view text) {
  OnUiThread([&](WindowPort& c) { c.ComboAddItem(control, text); });
}

void Win32WindowPort::ComboSelect(int control, int index) {
  OnUiThread([&](WindowPort& c) { c.ComboSelect(control, index); });
}

void Win32WindowPort::ComboSetDroppedWidth(int control, int pixels) {
  OnUiThread([&](WindowPort& c) { c.ComboSetDroppedWidth(control, pixels); });
}

void Win32WindowPort::ResizeDialogHeight(int deltaPixels) {
  OnUiThread([&](WindowPort& c) { c.ResizeDialogHeight(deltaPixels); });
}

// With the dialog the box is the controls' (owned by the dialog when asked);
// without one it stands alone, on the calling thread.
MessageAnswer Win32WindowPort::ShowMessageBox(std::string_view text, std::string_view caption,
                                              MessageButtons buttons, bool owned) {
  bool shown = false;
  const MessageAnswer answer = OnUiThread(MessageAnswer::kNo, [&](WindowPort& c) {
    shown = true;
    return c.ShowMessageBox(text, caption, buttons, owned);
  });
  return shown ? answer : ShowWin32MessageBox(nullptr, text, caption, buttons);
}

}  // namespace padflash
