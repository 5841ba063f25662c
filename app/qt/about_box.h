// The About box (template 104): the program's title, version and notices,
// its command-line switches and its bitmap, on white. Modal on the main
// dialog; OK or Escape closes it.
#pragma once

#include <QDialog>
#include <string>

namespace padflash {

class AboutBox final : public QDialog {
 public:
  // `programPath`: the running program's file; the box names it without
  // its directory.
  AboutBox(QWidget* owner, const std::string& programPath);
};

}  // namespace padflash
