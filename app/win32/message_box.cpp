#include "app/win32/message_box.h"

#include <string>

namespace padflash {

MessageAnswer ShowWin32MessageBox(HWND owner, std::string_view text, std::string_view caption,
                                  MessageButtons buttons) {
  const std::string textZ(text);
  const std::string captionZ(caption);
  if (buttons == MessageButtons::kOk) {
    MessageBoxA(owner, textZ.c_str(), captionZ.c_str(), MB_OK);
    return MessageAnswer::kOk;
  }
  return MessageBoxA(owner, textZ.c_str(), captionZ.c_str(), MB_YESNO) == IDYES
             ? MessageAnswer::kYes
             : MessageAnswer::kNo;
}

}  // namespace padflash
