#include "app/win32/about_box.h"

#include "app/control_table.h"
#include "app/main_window.h"

namespace padflash {
namespace {

constexpr int kAboutTemplate = 104;
constexpr int kAboutBitmapResource = 131;

struct AboutBox {
  HINSTANCE instance;
  HBRUSH white;
  const std::string& programPath;
  HBITMAP bitmap = nullptr;  // loaded with the box, released with it
};

void OnInit(HWND box, AboutBox& about) {
  SetDlgItemTextA(box, kIdAboutText, MainWindow::AboutText().c_str());
  SetDlgItemTextA(box, kIdAboutUsage, MainWindow::AboutUsageText(about.programPath).c_str());
  about.bitmap = static_cast<HBITMAP>(LoadImageA(
      about.instance, MAKEINTRESOURCEA(kAboutBitmapResource), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  SendDlgItemMessageA(box, kIdAboutBitmap, STM_SETIMAGE, IMAGE_BITMAP,
                      reinterpret_cast<LPARAM>(about.bitmap));
}

INT_PTR CALLBACK AboutProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(box, DWLP_USER, lParam);
    OnInit(box, *reinterpret_cast<AboutBox*>(lParam));
    return TRUE;
  }
  auto* about = reinterpret_cast<AboutBox*>(GetWindowLongPtrA(box, DWLP_USER));
  if (about == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(box, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    // The statics are transparent on the box's white.
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return reinterpret_cast<INT_PTR>(about->white);
    case WM_DESTROY:
      SendDlgItemMessageA(box, kIdAboutBitmap, STM_SETIMAGE, IMAGE_BITMAP, 0);
      if (about->bitmap != nullptr) DeleteObject(about->bitmap);
      about->bitmap = nullptr;
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void ShowAboutBox(HINSTANCE instance, HWND owner, HBRUSH white, const std::string& programPath) {
  AboutBox about{instance, white, programPath};
  DialogBoxParamA(instance, MAKEINTRESOURCEA(kAboutTemplate), owner, AboutProc,
                  reinterpret_cast<LPARAM>(&about));
}

}  // namespace padflash
