#include "app/qt/about_box.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "app/main_window.h"
#include "app/qt/control_factory.h"
#include "app/qt/text_display.h"

namespace padflash {

AboutBox::AboutBox(QWidget* owner, const std::string& programPath) : QDialog(owner) {
  setFont(DialogFont());
  setWindowTitle(QString::fromLatin1(kAboutBoxCaption));
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);
  setAutoFillBackground(true);

  const DialogUnits units(font());
  setFixedSize(units.Map(kAboutBoxRect).size());
  std::map<int, QWidget*> controls = CreateControls(kAboutBoxControls, units, this);
  static_cast<QLabel*>(controls[kIdAboutText])->setText(MultiLineText(MainWindow::AboutText()));
  static_cast<QLabel*>(controls[kIdAboutUsage])
      ->setText(MultiLineText(MainWindow::AboutUsageText(programPath)));

  // The bitmap static takes the size of its picture.
  auto* bitmap = static_cast<QLabel*>(controls[kIdAboutBitmap]);
  const QPixmap picture(QStringLiteral(":/padflash/padflash-about.png"));
  bitmap->setPixmap(picture);
  if (!picture.isNull()) bitmap->resize(picture.size() / picture.devicePixelRatio());

  connect(static_cast<QPushButton*>(controls[kIdAboutOk]), &QPushButton::clicked, this,
          &QDialog::accept);
}

}  // namespace padflash
