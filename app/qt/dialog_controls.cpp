#include "app/qt/dialog_controls.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <algorithm>

#include "app/qt/message_box.h"
#include "app/qt/text_display.h"

namespace padflash {
namespace {

constexpr int kDefaultProgressStep = 10;

void ScrollToEnd(QPlainTextEdit* edit) {
  edit->moveCursor(QTextCursor::End);
  edit->ensureCursorVisible();
}

}  // namespace

DialogControls::DialogControls(QWidget& dialog, std::map<int, QWidget*> widgets,
                               std::span<const ControlTemplate> controls)
    : dialog_(dialog), widgets_(std::move(widgets)) {
  for (const ControlTemplate& control : controls) texts_[control.id] = control.text;
}

QWidget* DialogControls::Widget(int control) const {
  auto it = widgets_.find(control);
  return it == widgets_.end() ? nullptr : it->second;
}

void DialogControls::Display(int control) {
  const std::string& text = texts_[control];
  QWidget* widget = Widget(control);
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(label->wordWrap() ? MultiLineText(text) : OneLineText(text));
  } else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
    edit->setPlainText(MultiLineText(text));
    ScrollToEnd(edit);
  } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
    // A path, shown as it stands.
    line->setText(QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
    line->setCursorPosition(0);
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(OneLineText(text));
  }
}

// The verbose pane's printing: the text goes in at the end and the pane
// follows it.
void DialogControls::AppendText(int control, std::string_view text) {
  texts_[control].append(text);
  if (auto* edit = qobject_cast<QPlainTextEdit*>(Widget(control))) {
    edit->moveCursor(QTextCursor::End);
    edit->insertPlainText(MultiLineText(text));
    ScrollToEnd(edit);
    return;
  }
  Display(control);
}

void DialogControls::SetText(int control, std::string_view text) {
  texts_[control] = std::string(text);
  Display(control);
}

std::string DialogControls::GetText(int control) {
  auto it = texts_.find(control);
  return it == texts_.end() ? std::string() : it->second;
}

void DialogControls::Show(int control, bool visible) {
  if (QWidget* widget = Widget(control)) widget->setVisible(visible);
}

// Visible as far as the control itself goes, also before the dialog is
// shown.
bool DialogControls::IsVisible(int control) {
  QWidget* widget = Widget(control);
  return widget != nullptr && widget->isVisibleTo(&dialog_);
}

void DialogControls::Enable(int control, bool enabled) {
  if (QWidget* widget = Widget(control)) widget->setEnabled(enabled);
}

void DialogControls::SetProgressRange(int control, int low, int high) {
  if (auto* bar = qobject_cast<QProgressBar*>(Widget(control))) bar->setRange(low, high);
}

// A position outside the range is taken to its nearer end.
void DialogControls::SetProgressPos(int control, int pos) {
  if (auto* bar = qobject_cast<QProgressBar*>(Widget(control))) {
    bar->setValue(std::clamp(pos, bar->minimum(), std::max(bar->minimum(), bar->maximum())));
  }
}

void DialogControls::SetProgressStep(int control, int step) {
  steps_[control] = step;
}

// A step past the end starts the bar again from its beginning.
void DialogControls::StepProgress(int control) {
  auto* bar = qobject_cast<QProgressBar*>(Widget(control));
  if (bar == nullptr) return;
  auto step = steps_.find(control);
  const int next = bar->value() + (step == steps_.end() ? kDefaultProgressStep : step->second);
  bar->setValue(next > bar->maximum() ? bar->minimum() : next);
}

void DialogControls::SetProgressBarColor(int control, uint32_t colorRef) {
  QWidget* widget = Widget(control);
  if (widget == nullptr) return;
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Highlight,
                   QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF));
  widget->setPalette(palette);
}

// The marquee animates as a busy bar; switched off it stands empty.
void DialogControls::SetMarquee(int control, bool on) {
  auto* bar = qobject_cast<QProgressBar*>(Widget(control));
  if (bar == nullptr) return;
  if (on) {
    bar->setRange(0, 0);
  } else {
    bar->setRange(0, 100);
    bar->setValue(0);
  }
}

int DialogControls::GetLineCount(int control) {
  const std::string& text = texts_[control];
  return static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
}

void DialogControls::DeleteLeadingChars(int control, int count) {
  std::string& text = texts_[control];
  text.erase(0, std::min(text.size(), static_cast<size_t>(std::max(count, 0))));
  Display(control);
}

void DialogControls::ComboClear(int control) {
  if (auto* combo = qobject_cast<QComboBox*>(Widget(control))) {
    const QSignalBlocker quiet(combo);
    combo->clear();
  }
}

void DialogControls::ComboAddItem(int control, std::string_view text) {
  if (auto* combo = qobject_cast<QComboBox*>(Widget(control))) {
    const QSignalBlocker quiet(combo);
    combo->addItem(OneLineText(text));
  }
}

void DialogControls::ComboSelect(int control, int index) {
  auto* combo = qobject_cast<QComboBox*>(Widget(control));
  if (combo == nullptr || index < -1 || index >= combo->count()) return;
  const QSignalBlocker quiet(combo);
  combo->setCurrentIndex(index);
}

void DialogControls::ComboSetDroppedWidth(int control, int pixels) {
  if (auto* combo = qobject_cast<QComboBox*>(Widget(control))) {
    combo->view()->setMinimumWidth(pixels);
  }
}

// Same position and width; the dialog stays fixed in size.
void DialogControls::ResizeDialogHeight(int deltaPixels) {
  dialog_.setFixedSize(dialog_.width(), std::max(1, dialog_.height() + deltaPixels));
}

MessageAnswer DialogControls::ShowMessageBox(std::string_view text, std::string_view caption,
                                             MessageButtons buttons, bool owned) {
  return ShowQtMessageBox(owned ? &dialog_ : nullptr, text, caption, buttons);
}

}  // namespace padflash
