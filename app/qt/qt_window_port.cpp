#include "app/qt/qt_window_port.h"

#include <QThread>
#include <type_traits>

#include "app/qt/message_box.h"

namespace padflash {

QtWindowPort::QtWindowPort() = default;

void QtWindowPort::Attach(QWidget* dialog, WindowPort* controls) {
  dialog_ = dialog;
  controls_ = dialog != nullptr ? controls : nullptr;
}

WindowPort* QtWindowPort::Controls() const {
  return dialog_.isNull() ? nullptr : controls_;
}

template <typename Call>
auto QtWindowPort::OnUiThread(Call call) {
  using Result = std::invoke_result_t<Call>;
  if (QThread::currentThread() == uiThread_.thread()) return call();
  if constexpr (std::is_void_v<Result>) {
    QMetaObject::invokeMethod(&uiThread_, call, Qt::BlockingQueuedConnection);
  } else {
    Result result{};
    QMetaObject::invokeMethod(&uiThread_, call, Qt::BlockingQueuedConnection, &result);
    return result;
  }
}

void QtWindowPort::AppendText(int control, std::string_view text) {
  OnUiThread([&] {
    if (WindowPort* c = Controls()) c->AppendText(control, text);
  });
}

void QtWindowPort::SetText(int control, std::string_view text) {
  OnUiThread([&] {
    if (WindowPort* c = Controls()) c->SetText(control, text);
  });
}

std::string QtWindowPort::GetText(int control) {
  return OnUiThread([&] {
    WindowPort* c = Controls();
    return c != nullptr ? c->GetText(control) : std::string();
  });
}

void QtWindowPort::Show(int control, bool visible) {
  OnUiThread([&] {
    if (WindowPort* c = Controls()) c->Show(control, visible);
  });
}

bool QtWindowPort::IsVisible(int control) {
  return OnUiThread([&] {
    WindowPort* c = Controls();
    return c != nullptr && c->IsVisible(control);
  });
}

void QtWindowPort::Enable(int control, bool enabled) {
  OnUiThread([&] {
    if (WindowPort* c = Controls()) c->Enable(control, enabled);
  });
}

void QtWindowPort::SetProgressRange(int control, int low, int high) {
  OnUiThread([&] {
    if (WindowPort* c = Controls()) c->SetProgressRange(control, low, high);
  });
}

void QtWindowPort::SetProgressPos(int control, int pos) {
  OnUiThread([&] {
    if (WindowPort* c = Controls()) c->SetProgressPos(control, pos);
  });
}

void QtWindowPort::SetProgressStep(int control, int step) {
  OnUiThread([&] {
    if (WindowPort* c = Controls()) c->SetProgressStep(control, step);
  });
}

void QtWindowPort::StepProgress(int control) {
  OnUiThread([&] {
    if (WindowPort* c = Controls()) c->StepProgress(control);
  });
}

void QtWindowPort::SetProgressBarColor(int control, uint32_t colorRef) {
  OnUiThread([&] {
    if (WindowPort* c = Controls()) c->SetProgressBarColor(control, colorRef);
  });
}

void QtWindowPort::SetMarquee(int control, bool on) {
  OnUiThread([&] {
    if (WindowPort* c = Controls()) c->SetMarquee(control, on);
  });
}

int QtWindowPort::GetLineCount(int control) {
  return OnUiThread([&] {
    WindowPort* c = Controls();
    return c != nullptr ? c->GetLineCount(control) : 0;
  });
}

void QtWindowPort::DeleteLeadingChars(int control, int count) {
  OnUiThread([&] {
    if (WindowPort* c = Controls()) c->DeleteLeadingChars(control, count);
  });
}

void QtWindowPort::ComboClear(int control) {
  OnUiThread([&] {
    if (WindowPort* c = Controls()) c->ComboClear(control);
  });
}

void QtWindowPort::ComboAddItem(int control, std::string_view text) {
  OnUiThread([&] {
    if (WindowPort* c = Controls()) c->ComboAddItem(control, text);
  });
}

void QtWindowPort::ComboSelect(int control, int index) {
  OnUiThread([&] {
    if (WindowPort* c = Controls()) c->ComboSelect(control, index);
  });
}

void QtWindowPort::ComboSetDroppedWidth(int control, int pixels) {
  OnUiThread([&] {
    if (WindowPort* c = Controls()) c->ComboSetDroppedWidth(control, pixels);
  });
}

void QtWindowPort::ResizeDialogHeight(int deltaPixels) {
  OnUiThread([&] {
    if (WindowPort* c = Controls()) c->ResizeDialogHeight(deltaPixels);
  });
}

// Without a dialog every box stands alone; the command-line help box has no
// owner in any case.
MessageAnswer QtWindowPort::ShowMessageBox(std::string_view text, std::string_view caption,
                                           MessageButtons buttons, bool owned) {
  return OnUiThread([&] {
    WindowPort* c = Controls();
    return c != nullptr ? c->ShowMessageBox(text, caption, buttons, owned)
                        : ShowQtMessageBox(nullptr, text, caption, buttons);
  });
}

}  // namespace padflash
