// Dialog units to pixels, from the base units of the dialog font, so that a
// dialog keeps its proportions with whatever font the desktop has.
#pragma once

#include <QFont>
#include <QRect>

#include "app/control_table.h"

namespace padflash {

// The dialogs' font: the desktop's default family at 8 points.
QFont DialogFont();

class DialogUnits {
 public:
  // Base units of `font`: the average width of the 52 letters of the Latin
  // alphabet and the line height, in pixels.
  explicit DialogUnits(const QFont& font);
  DialogUnits(int baseX, int baseY) : baseX_(baseX), baseY_(baseY) {}

  int baseX() const { return baseX_; }
  int baseY() const { return baseY_; }
  // x and widths in quarters of baseX, y and heights in eighths of baseY,
  // each rounded to the nearest pixel.
  QRect Map(const DialogRect& rect) const;

 private:
  int baseX_;
  int baseY_;
};

}  // namespace padflash
