// The dialog's one-line status static under Wine: it keeps the text it was
// given, line ends and tabs included, and draws it as one line.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/win32/dialog_controls.h"
#include "app/win32/one_line_static.h"

namespace padflash {
namespace {

constexpr int kStatusId = 7;
constexpr int kPlainId = 8;
constexpr int kWidth = 400, kHeight = 24;

// The control's client area as WM_PRINTCLIENT draws it, pixel by pixel.
std::vector<DWORD> Drawing(HWND control) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, kWidth, kHeight);
  HGDIOBJ before = SelectObject(dc, bitmap);
  SendMessageA(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  SelectObject(dc, before);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<DWORD> pixels(static_cast<size_t>(kWidth) * kHeight);
  GetDIBits(dc, bitmap, 0, kHeight, pixels.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return pixels;
}

HWND Static(HWND parent, int id) {
  HWND control =
      CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_CENTERIMAGE,
                      0, id == kStatusId ? 0 : kHeight, kWidth, kHeight, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
               FALSE);
  return control;
}

// A second static with the one-line form set as its plain text draws what
// the status line must draw.
TEST(StatusLineTest, KeepsTheTextAsSetAndDrawsItAsOneLine) {
  HWND dialog = CreateWindowExA(0, "Static", "", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, 2 * kHeight,
                                nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(dialog, nullptr);
  Static(dialog, kStatusId);
  HWND plain = Static(dialog, kPlainId);
  DialogControls controls(dialog);
  const std::string text = "Bootloader error.\r\nPower the unit\tand run again.\r\n";
  controls.SetText(kStatusId, text);
  EXPECT_EQ(controls.GetText(kStatusId), text);
  SetWindowTextA(plain, "Bootloader error. Power the unit and run again.");
  EXPECT_TRUE(Drawing(GetDlgItem(dialog, kStatusId)) == Drawing(plain));
  DestroyWindow(dialog);
}

}  // namespace
}  // namespace padflash
