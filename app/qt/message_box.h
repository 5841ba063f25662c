// The engine's modal message boxes on Qt: caption, text and buttons as the
// engine gives them, no icon.
#pragma once

#include <QWidget>
#include <string_view>

#include "platform/window_port.h"

namespace padflash {

// Modal on `owner` (the main dialog), or with no owner (null). A Yes/No box
// closed without a button (Escape) answers No.
MessageAnswer ShowQtMessageBox(QWidget* owner, std::string_view text, std::string_view caption,
                               MessageButtons buttons);

}  // namespace padflash
