#include "app/qt/text_display.h"

#include <QFile>

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
  std::string line;
  line.reserve(text.size());
  bool inBreak = false;
  for (char c : text) {
    const bool breaks = c == '\r' || c == '\n' || c == '\t';
    if (breaks && !inBreak) line.push_back(' ');
    if (!breaks) line.push_back(c);
    inBreak = breaks;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return QString::fromLocal8Bit(line.data(), static_cast<qsizetype>(line.size()));
}

std::string EnginePath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

}  // namespace padflash
