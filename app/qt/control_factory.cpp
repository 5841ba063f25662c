#include "app/qt/control_factory.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "app/main_window.h"
#include "app/qt/file_drop_edit.h"

namespace padflash {
namespace {

// The verbose pane is shown by growing the dialog by a fixed number of
// pixels; with a large dialog font it is cut to fit, keeping the margin it
// has below it with the common 96-dpi font.
constexpr int kPaneBottomMargin = 10;

QPlainTextEdit* CreateMultiLineEdit(QWidget* parent, Qt::ScrollBarPolicy vertical) {
  auto* edit = new QPlainTextEdit(parent);
  edit->setReadOnly(true);
  edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  edit->setVerticalScrollBarPolicy(vertical);
  edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  return edit;
}

QLabel* CreateStatic(QWidget* parent, bool wordWrap, Qt::Alignment alignment) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(wordWrap);
  label->setAlignment(alignment);
  return label;
}

QProgressBar* CreateProgressBar(QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setTextVisible(false);
  bar->setRange(0, 100);
  bar->setValue(0);
  return bar;
}

QPushButton* CreateButton(QWidget* parent, const char* text, bool isDefault) {
  auto* button = new QPushButton(QString::fromLatin1(text), parent);
  button->setAutoDefault(false);
  button->setDefault(isDefault);
  return button;
}

QWidget* CreateWidget(const ControlTemplate& control, QWidget* parent) {
  switch (control.kind) {
    case ControlKind::kDropDownList:
      return new QComboBox(parent);
    case ControlKind::kPushButton:
      return CreateButton(parent, control.text, false);
    case ControlKind::kDefaultPushButton:
      return CreateButton(parent, control.text, true);
    case ControlKind::kFileNameEdit:
      return new FileDropEdit(parent);
    case ControlKind::kReadOnlyMultiLine:
      return CreateMultiLineEdit(parent, Qt::ScrollBarAlwaysOff);
    case ControlKind::kVerbosePane:
      return CreateMultiLineEdit(parent, Qt::ScrollBarAlwaysOn);
    case ControlKind::kStatic:
      return CreateStatic(parent, true, Qt::AlignLeft | Qt::AlignTop);
    case ControlKind::kStatusStatic:
      return CreateStatic(parent, false, Qt::AlignLeft | Qt::AlignVCenter);
    case ControlKind::kSmoothProgress:
    case ControlKind::kMarqueeProgress:
      return CreateProgressBar(parent);
    case ControlKind::kBitmap:
      return new QLabel(parent);
  }
  return new QWidget(parent);
}

// Where the control goes. A combo box's rectangle includes its dropped
// list; the closed box takes the height the style gives it.
QRect Placement(const ControlTemplate& control, const DialogUnits& units, QWidget* widget) {
  QRect rect = units.Map(control.rect);
  if (control.kind == ControlKind::kDropDownList) {
    const int closed = widget->sizeHint().height();
    auto* combo = static_cast<QComboBox*>(widget);
    const int itemHeight = std::max(1, combo->fontMetrics().height());
    combo->setMaxVisibleItems(std::max(1, (rect.height() - closed) / itemHeight));
    rect.setHeight(closed);
  }
  if (control.kind == ControlKind::kVerbosePane) {
    rect.setHeight(std::min(rect.height(), kVerbosePaneHeightPixels - kPaneBottomMargin));
  }
  return rect;
}

}  // namespace

std::map<int, QWidget*> CreateControls(std::span<const ControlTemplate> controls,
                                       const DialogUnits& units, QWidget* parent) {
  std::map<int, QWidget*> widgets;
  for (const ControlTemplate& control : controls) {
    QWidget* widget = CreateWidget(control, parent);
    widget->setGeometry(Placement(control, units, widget));
    if (auto* label = qobject_cast<QLabel*>(widget))
      label->setText(QString::fromLatin1(control.text));
    if (!control.visible) widget->setVisible(false);
    widgets[control.id] = widget;
  }
  return widgets;
}

}  // namespace padflash
