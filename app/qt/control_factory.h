// Builds the widgets of a dialog template: one Qt widget per control, placed
// by the dialog units of the dialog font.
#pragma once

#include <QWidget>
#include <map>
#include <span>

#include "app/control_table.h"
#include "app/qt/dialog_units.h"

namespace padflash {

// The widgets by control id, children of `parent`; hidden where the template
// says so.
std::map<int, QWidget*> CreateControls(std::span<const ControlTemplate> controls,
                                       const DialogUnits& units, QWidget* parent);

}  // namespace padflash
