#include "app/win32/main_dialog.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <vector>

#include "app/main_window.h"
#include "app/win32/about_box.h"
#include "app/win32/open_file_dialog.h"
#include "app/win32/win32_window_port.h"

namespace padflash {
namespace {

constexpr int kMainDialogTemplate = 129;
constexpr int kIconResource = 107;
constexpr UINT_PTR kFileBoxSubclassId = 1;
constexpr COLORREF kWhite = RGB(255, 255, 255);
// How long the destroyed dialog waits between looks at the session.
constexpr DWORD kSessionPollMs = 50;
// While an update runs the dialog refuses to let Windows end the user's
// session, and says why; this timer looks for the update's end.
constexpr UINT_PTR kShutdownBlockTimer = 1;
constexpr UINT kShutdownBlockPollMs = 500;
constexpr const wchar_t* kShutdownBlockReason = L"padflash is updating the touchpad firmware";
// The verbose pane keeps up to 8000 lines, each printed through a 512-byte
// buffer; the edit control's own default limit (30,000 characters) would
// drop new text long before that trim acts.
constexpr WPARAM kVerboseTextLimit = 8000 * 512;

HICON LoadIconOfSize(HINSTANCE instance, int pixels) {
  return static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(kIconResource), IMAGE_ICON,
                                       pixels, pixels, LR_DEFAULTCOLOR));
}

}  // namespace

MainDialog::MainDialog(HINSTANCE instance, MainWindow& controller, Win32WindowPort& port,
                       std::string programPath)
    : instance_(instance),
      controller_(controller),
      port_(port),
      programPath_(std::move(programPath)),
      white_(CreateSolidBrush(kWhite)) {}

MainDialog::~MainDialog() {
  if (dialog_ != nullptr) DestroyWindow(dialog_);
  DeleteObject(white_);
  if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
  if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
}

bool MainDialog::Create() {
  return CreateDialogParamA(instance_, MAKEINTRESOURCEA(kMainDialogTemplate), nullptr, DialogProc,
                            reinterpret_cast<LPARAM>(this)) != nullptr;
}

INT_PTR CALLBACK MainDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<MainDialog*>(lParam);
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    self->OnInitDialog(dialog);
    return FALSE;  // the focus is set
  }
  auto* self = reinterpret_cast<MainDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
  return self != nullptr ? self->OnMessage(message, wParam) : FALSE;
}

// Box 1003's own procedure: dropped files, and everything else to the edit
// control's.
LRESULT CALLBACK MainDialog::FileBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR self) {
  if (message == WM_DROPFILES) {
    reinterpret_cast<MainDialog*>(self)->OnDropFiles(reinterpret_cast<HDROP>(wParam));
    return 0;
  }
  return DefSubclassProc(box, message, wParam, lParam);
}

INT_PTR MainDialog::OnMessage(UINT message, WPARAM wParam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      SetWindowLongPtrA(dialog_, DWLP_MSGRESULT, controller_.SessionRunning() ? FALSE : TRUE);
      return TRUE;
    case WM_ENDSESSION:
      if (wParam != FALSE) OnEndSession();
      return TRUE;
    case WM_TIMER:
      if (wParam == kShutdownBlockTimer && !controller_.SessionRunning()) {
        KillTimer(dialog_, kShutdownBlockTimer);
        ShutdownBlockReasonDestroy(dialog_);
      }
      return TRUE;
    case kPortCallMessage:
      port_.Serve();
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_KEYUP:
      controller_.OnKeyUp(static_cast<int>(wParam));
      return TRUE;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      return TRUE;
    // Read-only edit boxes ask as statics.
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(wParam), kWhite);
      return reinterpret_cast<INT_PTR>(white_);
    case WM_DESTROY:
      OnDestroy();
      return TRUE;
    default:
      return FALSE;
  }
}

void MainDialog::OnInitDialog(HWND dialog) {
  comInitialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  dialog_ = dialog;
  controls_ = std::make_unique<DialogControls>(dialog);
  port_.Attach(dialog, controls_.get());

  bigIcon_ = LoadIconOfSize(instance_, 32);
  smallIcon_ = LoadIconOfSize(instance_, 16);
  SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
  SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

  HWND fileBox = GetDlgItem(dialog, kIdFilePath);
  SetWindowSubclass(fileBox, FileBoxProc, kFileBoxSubclassId, reinterpret_cast<DWORD_PTR>(this));
  DragAcceptFiles(fileBox, TRUE);
  SendDlgItemMessageA(dialog, kIdVerbose, EM_SETLIMITTEXT, kVerboseTextLimit, 0);

  controller_.OnInitDialog();
  SetFocus(dialog);
}

void MainDialog::OnCommand(int id, int notification) {
  if (id == kIdDeviceCombo) {
    if (notification == CBN_SELCHANGE) {
      controller_.OnSelectionChange(
          static_cast<int>(SendDlgItemMessageA(dialog_, kIdDeviceCombo, CB_GETCURSEL, 0, 0)));
    }
    return;
  }
  if (notification != BN_CLICKED) return;
  switch (id) {
    case kIdBrowse:
      Browse();
      break;
    case kIdRefresh:
      controller_.OnRefresh();
      break;
    case kIdExecute:
      controller_.OnExecute();
      if (controller_.SessionRunning()) {
        ShutdownBlockReasonCreate(dialog_, kShutdownBlockReason);
        SetTimer(dialog_, kShutdownBlockTimer, kShutdownBlockPollMs, nullptr);
      }
      break;
    case kIdMore:
      controller_.OnMoreLess();
      break;
    case kIdAbout:
      ShowAboutBox(instance_, dialog_, white_, programPath_);
      break;
    case kIdExit:
    case kIdCancel:
      if (controller_.OnExitOrCancel()) DestroyWindow(dialog_);
      break;
    default:
      break;
  }
}

void MainDialog::Browse() {
  if (!ChooseFirmwareFile(dialog_, fileName_)) {
    controller_.OnBrowseResult(nullptr);
    return;
  }
  const std::string path = fileName_;
  controller_.OnBrowseResult(&path);
}

// The first dropped file goes into the file-name buffer and the drop is
// finished before the preparation runs. A name longer than the buffer is
// not cut to another path: such a drop, like one without a readable name,
// is only finished.
void MainDialog::OnDropFiles(HDROP drop) {
  std::vector<std::string> files;
  const UINT length = DragQueryFileA(drop, 0, nullptr, 0);
  if (length > 0 && length < kMaxPathChars &&
      DragQueryFileA(drop, 0, fileName_, kMaxPathChars) == length) {
    files.emplace_back(fileName_);
  }
  DragFinish(drop);
  controller_.OnFilesDropped(files);
}

// The user's session ends although asked not to (the user chose to shut
// down anyway): Windows ends the program once this returns. An update that
// runs is served until it ends or the program is ended; either way the
// dialog then goes as Exit would have it, and a controller left in its
// bootloader keeps its saved personality file for the next run.
void MainDialog::OnEndSession() {
  ServeUntilSessionEnds();
  if (controller_.OnExitOrCancel()) DestroyWindow(dialog_);
}

// Destroyed while an update session runs (the program was told to quit):
// the session goes on to its end with the window it writes to, then the
// dialog releases what the session used.
void MainDialog::OnDestroy() {
  ServeUntilSessionEnds();
  KillTimer(dialog_, kShutdownBlockTimer);
  ShutdownBlockReasonDestroy(dialog_);
  controller_.OnDestroy();
  RemoveWindowSubclass(GetDlgItem(dialog_, kIdFilePath), FileBoxProc, kFileBoxSubclassId);
  port_.Attach(nullptr, nullptr);
  dialog_ = nullptr;
  if (comInitialised_) CoUninitialize();
  comInitialised_ = false;
  PostQuitMessage(0);
}

// Only the messages the worker sends are taken: the dialog, already being
// destroyed, answers nothing else.
void MainDialog::ServeUntilSessionEnds() {
  while (controller_.SessionRunning()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kSessionPollMs, QS_SENDMESSAGE);
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace padflash
