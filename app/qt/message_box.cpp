#include "app/qt/message_box.h"

#include <QMessageBox>

#include "app/qt/text_display.h"

namespace padflash {

MessageAnswer ShowQtMessageBox(QWidget* owner, std::string_view text, std::string_view caption,
                               MessageButtons buttons) {
  QMessageBox box(owner);
  box.setIcon(QMessageBox::NoIcon);
  box.setTextFormat(Qt::PlainText);
  box.setWindowTitle(MultiLineText(caption));
  box.setText(MultiLineText(text));
  if (buttons == MessageButtons::kOk) {
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MessageAnswer::kOk;
  }
  box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes ? MessageAnswer::kYes : MessageAnswer::kNo;
}

}  // namespace padflash
