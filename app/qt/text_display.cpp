#include "app/qt/text_display.h"

#include <QFile>

#include "app/one_line_text.h"

namespace padflash {

QString MultiLineText(std::string_view text) {
  std::string lines;
  lines.reserve(text.size());
  for (char c : text) {
    if (c != '\r') lines.push_back(c);
  }
  return QString::fromLocal8Bit(lines.data(), static_cast<qsizetype>(lines.size()));
}

QString OneLineText(std::string_view text) {
  const std::string line = AsOneLine(text);
  return QString::fromLocal8Bit(line.data(), static_cast<qsizetype>(line.size()));
}

std::string EnginePath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

}  // namespace padflash
