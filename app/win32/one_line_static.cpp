#include "app/win32/one_line_static.h"

#include <commctrl.h>

#include <vector>

#include "app/one_line_text.h"

namespace padflash {
namespace {

constexpr UINT_PTR kOneLineSubclassId = 0x4F4C;

std::string WindowText(HWND control) {
  std::vector<char> text(static_cast<size_t>(GetWindowTextLengthA(control)) + 1);
  const int copied = GetWindowTextA(control, text.data(), static_cast<int>(text.size()));
  return std::string(text.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

// As the static draws its text: the parent's colours and brush
// (WM_CTLCOLORSTATIC), the control's font, left-aligned, vertically
// centred with SS_CENTERIMAGE, '&' as a mnemonic unless SS_NOPREFIX, grey
// while disabled.
void Paint(HWND control, HDC dc) {
  RECT client{};
  GetClientRect(control, &client);
  const LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE);
  HWND parent = GetParent(control);
  auto brush = reinterpret_cast<HBRUSH>(SendMessageA(
      parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
  if (brush == nullptr) brush = GetSysColorBrush(COLOR_BTNFACE);
  FillRect(dc, &client, brush);
  if (!IsWindowEnabled(control)) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  SetBkMode(dc, TRANSPARENT);
  auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
  HGDIOBJ before = font != nullptr ? SelectObject(dc, font) : nullptr;
  UINT format = DT_LEFT | DT_SINGLELINE | DT_NOCLIP;
  if (style & SS_CENTERIMAGE) format |= DT_VCENTER;
  if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
  const std::string line = AsOneLine(WindowText(control));
  DrawTextA(dc, line.c_str(), static_cast<int>(line.size()), &client, format);
  if (before != nullptr) SelectObject(dc, before);
}

LRESULT CALLBACK OneLineProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                             DWORD_PTR) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      if (HDC dc = BeginPaint(control, &paint)) Paint(control, dc);
      EndPaint(control, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(control, reinterpret_cast<HDC>(wParam));
      return 0;
    // The static may draw its text at once on these (Wine's does), past
    // WM_PAINT: the one-line form is drawn over it before they return.
    case WM_SETTEXT:
    case WM_ENABLE: {
      const LRESULT result = DefSubclassProc(control, message, wParam, lParam);
      RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
      return result;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(control, OneLineProc, kOneLineSubclassId);
      break;
    default:
      break;
  }
  return DefSubclassProc(control, message, wParam, lParam);
}

}  // namespace

bool IsOneLineStatic(HWND control) {
  char name[16] = {};
  return GetClassNameA(control, name, sizeof name) > 0 && lstrcmpiA(name, "Static") == 0 &&
         (GetWindowLongPtrA(control, GWL_STYLE) & SS_TYPEMASK) == SS_LEFTNOWORDWRAP;
}

void DrawAsOneLine(HWND control) {
  SetWindowSubclass(control, OneLineProc, kOneLineSubclassId, 0);
}

}  // namespace padflash
