#include "app/qt/dialog_units.h"

#include <QApplication>
#include <QFontMetrics>
#include <algorithm>

namespace padflash {
namespace {

// value * numerator / denominator, rounded half away from zero.
int ScaleRounded(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : (product - half) / denominator);
}

}  // namespace

QFont DialogFont() {
  QFont font = QApplication::font();
  font.setPointSize(8);
  return font;
}

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int alphabet = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = std::max(1, ScaleRounded(alphabet, 1, 52));
  baseY_ = std::max(1, metrics.height());
}

QRect DialogUnits::Map(const DialogRect& rect) const {
  return QRect(ScaleRounded(rect.x, baseX_, 4), ScaleRounded(rect.y, baseY_, 8),
               ScaleRounded(rect.width, baseX_, 4), ScaleRounded(rect.height, baseY_, 8));
}

}  // namespace padflash
