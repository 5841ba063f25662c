// padflash.exe under Wine, driven from outside through its real windows
// against the simulated VLMHID.dll: the dialog as the resource script and
// the Win32 code build it, the message loop, the window port across
// threads, drops, Browse, the About box and the program start. The
// main-window decisions themselves are the controller's, tested without a
// toolkit.
#include <windows.h>
// (after windows.h)
#include <commctrl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/control_table.h"
#include "tests/win32_dialog/padflash_world.h"

namespace padflash::testing {
namespace {

constexpr const char* kCaption = "Velmar Firmware Update Tool";
constexpr const char* kSuccess = "Firmware was successfully updated to version: 12.6";
constexpr int kUpdateMs = 180000;
constexpr int kInputs[] = {kIdDeviceCombo, kIdExecute,    kIdBrowse,
                           kIdRefresh,     kIdDeviceInfo, kIdFilePath};

// Class and style of each kind of control (in ControlKind's order): the
// bits under `mask` equal `type`, `bits` are all set, and an edit box's
// border has become a client edge. (A combo box hands its scroll bars on to
// its list; a progress bar draws its border itself and clears the bit.)
struct KindStyle {
  const char* className;
  LONG_PTR mask, type, bits;
  bool clientEdge;
};
constexpr KindStyle kStyles[] = {
    {"ComboBox", 3, CBS_DROPDOWNLIST, 0, false},
    {"Button", BS_TYPEMASK, BS_PUSHBUTTON, 0, false},
    {"Button", BS_TYPEMASK, BS_DEFPUSHBUTTON, 0, false},
    {"Edit", ES_MULTILINE, 0, ES_READONLY | ES_AUTOHSCROLL, true},
    {"Edit", ES_MULTILINE, ES_MULTILINE, ES_READONLY, true},
    {"Edit", ES_MULTILINE, ES_MULTILINE, ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL, true},
    {"Static", SS_TYPEMASK, SS_LEFT, 0, false},
    {"Static", SS_TYPEMASK, SS_LEFTNOWORDWRAP, SS_CENTERIMAGE, false},
    {"msctls_progress32", 0, 0, PBS_SMOOTH, false},
    {"msctls_progress32", 0, 0, PBS_MARQUEE, false},
    {"Static", SS_TYPEMASK, SS_BITMAP, 0, false},
};
static_assert(std::size(kStyles) == static_cast<size_t>(ControlKind::kBitmap) + 1);

// Dialog units of "MS Shell Dlg" 8 point in pixels, as Windows maps them
// in a dialog of our own with that font: x, y, width and height each on its
// own, as the dialog manager places controls.
RECT ToPixels(const DialogRect& units) {
  const DWORD style = DS_SETFONT | DS_FIXEDSYS | WS_POPUP;
  std::vector<WORD> dialog = {1,  0xFFFF, 0, 0, 0, 0, LOWORD(style), HIWORD(style), 0, 0, 0,
                              10, 10,     0, 0, 0, 8, FW_NORMAL,     0x0100};  // charset 1
  for (char c : std::string("MS Shell Dlg")) dialog.push_back(static_cast<WORD>(c));
  dialog.push_back(0);
  HWND reference = CreateDialogIndirectParamA(
      GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(dialog.data()), nullptr,
      [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
  RECT rect{units.x, units.y, units.width, units.height};
  MapDialogRect(reference, &rect);
  DestroyWindow(reference);
  return RECT{rect.left, rect.top, rect.left + rect.right, rect.top + rect.bottom};
}

RECT RectIn(HWND dialog, HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool Visible(HWND dialog, int id) {
  return HasStyle(GetDlgItem(dialog, id), WS_VISIBLE);
}

bool InputsEnabled(HWND dialog, bool enabled) {
  for (int id : kInputs) {
    if ((IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE) != enabled) return false;
  }
  return true;
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    serial_ = world_.Vlmsim("attach --rev 0x05");
    serial_ = serial_.substr(0, serial_.find('\n'));
  }
  // Starts padflash and waits for its dialog.
  HWND Open(const std::string& arguments) {
    padflash_ = world_.Start(arguments);
    return padflash_->WaitForWindow(kCaption);
  }
  // Starts an update of the controller to 0x06 and waits until it runs.
  HWND StartUpdate() {
    HWND dialog = Open("/o " + world_.WriteFirmware("new.hex", 0x06));
    EXPECT_TRUE(WaitUntil([&] { return Visible(dialog, kIdExecute); }, 30000));
    Click(GetDlgItem(dialog, kIdExecute));
    EXPECT_TRUE(WaitUntil([&] { return InputsEnabled(dialog, false); }, 30000));
    return dialog;
  }
  // Browse's open-file dialog, owned by the main dialog; null when it does
  // not come.
  HWND Browse(HWND dialog) {
    PostMessageA(GetDlgItem(dialog, kIdBrowse), BM_CLICK, 0, 0);
    return padflash_->WaitForWindow("Open");
  }
  // Types a path into the open-file dialog's name box and presses Open.
  static void Choose(HWND open, const std::string& path) {
    SendMessageA(GetDlgItem(open, 0x47C), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageA(open, WM_COMMAND, IDOK, 0);
  }
  // Answers the message box with that caption, which the dialog owns, with
  // `button` once the messages already posted to the dialog are handled;
  // its text.
  std::string Answer(const char* caption, WPARAM button) {
    HWND box = padflash_->WaitForWindow(caption);
    EXPECT_NE(box, nullptr) << caption;
    if (box == nullptr) return std::string();
    EXPECT_EQ(TextOf(GetWindow(box, GW_OWNER)), kCaption);
    const std::string text = TextOf(GetDlgItem(box, 0xFFFF));
    PostMessageA(box, WM_COMMAND, button, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 10000));
    return text;
  }
  // The controller replaced by one in its bootloader (its product ID is
  // the bootloader's), beside a personality file of an older program; that
  // file's path.
  std::string StrandController() {
    world_.Vlmsim("detach " + serial_);
    world_.Vlmsim("attach --in-bootloader");
    const std::string file = world_.Path("sf20150811_101010.mem");
    std::ofstream(file, std::ios::binary) << std::string(600, '\x33');
    return file;
  }
  std::string Revision() {
    const std::string show = world_.Vlmsim("show " + serial_);
    const size_t at = show.find("revision:");
    return at == std::string::npos ? show : show.substr(at, show.find('\n', at) - at);
  }

  PadflashWorld world_;
  std::string serial_;
  std::unique_ptr<PadflashProcess> padflash_;
};

// Nothing listed and nothing prepared: the start state, after the device
// list's message box, which the dialog owns.
TEST_F(DialogTest, TemplateHoldsEveryControlOfTheTable) {
  world_.Vlmsim("detach " + serial_);
  padflash_ = world_.Start("/o missing.hex");
  HWND box = padflash_->WaitForWindow("No Devices Attched");
  ASSERT_NE(box, nullptr);
  HWND dialog = GetWindow(box, GW_OWNER);
  EXPECT_EQ(TextOf(dialog), kCaption);
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_EQ(padflash_->WaitForWindow(kCaption), dialog);
  EXPECT_TRUE(HasStyle(dialog, WS_POPUP | WS_CAPTION | WS_SYSMENU));
  EXPECT_FALSE(HasStyle(dialog, WS_MINIMIZEBOX) || HasStyle(dialog, WS_MAXIMIZEBOX));
  EXPECT_TRUE(GetWindowLongPtrA(dialog, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  RECT client{};
  GetClientRect(dialog, &client);
  EXPECT_EQ(client.right, ToPixels(kMainDialogRect).right);
  EXPECT_EQ(client.bottom, ToPixels(kMainDialogRect).bottom);

  for (const ControlTemplate& control : kMainDialogControls) {
    SCOPED_TRACE("control " + std::to_string(control.id));
    HWND item = GetDlgItem(dialog, control.id);
    ASSERT_NE(item, nullptr);
    const KindStyle& expected = kStyles[static_cast<int>(control.kind)];
    char className[32] = {};
    GetClassNameA(item, className, sizeof className);
    EXPECT_STREQ(className, expected.className);
    const LONG_PTR style = GetWindowLongPtrA(item, GWL_STYLE);
    EXPECT_EQ(style & expected.mask, expected.type);
    EXPECT_EQ(style & expected.bits, expected.bits);
    EXPECT_EQ((GetWindowLongPtrA(item, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0, expected.clientEdge);
    EXPECT_EQ((style & WS_VISIBLE) != 0, control.visible);
    EXPECT_EQ(TextOf(item), control.text);
    const RECT at = RectIn(dialog, item), want = ToPixels(control.rect);
    EXPECT_EQ(at.left, want.left);
    EXPECT_EQ(at.top, want.top);
    EXPECT_EQ(at.right, want.right);
    // A combo box is as high as its edit field; 144 is its list's height.
    if (control.kind != ControlKind::kDropDownList) {
      EXPECT_EQ(at.bottom, want.bottom);
    }
  }
  EXPECT_TRUE(GetWindowLongPtrA(GetDlgItem(dialog, kIdFilePath), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}

// A key released on any control reaches the dialog; "v more v" grows it by
// the pane's 140 pixels and back; About is modal and owned by the dialog.
// A stranger's message with the window port's number changes nothing.
TEST_F(DialogTest, KeyReleaseMoreLessAndAbout) {
  HWND dialog = Open("/o missing.hex");
  ASSERT_NE(dialog, nullptr);
  HWND more = GetDlgItem(dialog, kIdMore);
  PostMessageA(dialog, WM_APP + 1, 0, 0x10);  // the port's own number, from a stranger
  PostMessageA(GetDlgItem(dialog, kIdDeviceCombo), WM_KEYUP, 'V', 0xC0000001);
  ASSERT_TRUE(WaitUntil([&] { return Visible(dialog, kIdMore); }, 10000));
  auto frame = [&] {
    RECT rect{};
    GetWindowRect(dialog, &rect);
    return std::vector<LONG>{rect.left, rect.top, rect.right, rect.bottom};
  };
  const std::vector<LONG> start = frame();
  Click(more);
  EXPECT_EQ(frame(), (std::vector<LONG>{start[0], start[1], start[2], start[3] + 140}));
  EXPECT_EQ(TextOf(more), "^ less ^");
  EXPECT_TRUE(Visible(dialog, kIdVerbose));
  Click(more);
  EXPECT_EQ(frame(), start);
  EXPECT_EQ(TextOf(more), "v more v");
  EXPECT_FALSE(Visible(dialog, kIdVerbose));

  PostMessageA(GetDlgItem(dialog, kIdAbout), BM_CLICK, 0, 0);
  HWND about = padflash_->WaitForWindow(kAboutBoxCaption);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(GetWindow(about, GW_OWNER), dialog);
  const std::string text = TextOf(GetDlgItem(about, kIdAboutText));
  EXPECT_EQ(text.substr(0, text.find("\r\n")), "Velmar Firmware Update Tool - v2.0.3.13");
  DWORD_PTR bitmap = 0;
  SendMessageTimeoutA(GetDlgItem(about, kIdAboutBitmap), STM_GETIMAGE, IMAGE_BITMAP, 0,
                      SMTO_ABORTIFHUNG, 5000, &bitmap);
  EXPECT_NE(bitmap, 0u);
  Click(GetDlgItem(about, kIdAboutOk));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }, 10000));
}

// The worker reaches the window only through sent messages: the inputs go
// grey, close is refused while it runs, and its last status line shows.
TEST_F(DialogTest, ExecuteRunsTheUpdateAndCloseWaitsForItsEnd) {
  HWND dialog = StartUpdate();
  DWORD_PTR ignored = 0, endAllowed = 2;
  SendMessageTimeoutA(dialog, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
  EXPECT_EQ(padflash_->WaitForExit(500), -1);
  EXPECT_TRUE(IsWindow(dialog));
  SendMessageTimeoutA(dialog, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &endAllowed);
  EXPECT_EQ(endAllowed, static_cast<DWORD_PTR>(FALSE));  // Windows may not end the session now

  ASSERT_TRUE(WaitUntil([&] { return InputsEnabled(dialog, true); }, kUpdateMs));
  EXPECT_EQ(TextOf(GetDlgItem(dialog, kIdStatus)), std::string(kSuccess) + "\r\n");  // as set
  EXPECT_NE(TextOf(GetDlgItem(dialog, kIdVerbose)).find(kSuccess), std::string::npos);
  SendMessageTimeoutA(dialog, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &endAllowed);
  EXPECT_EQ(endAllowed, static_cast<DWORD_PTR>(TRUE));
  SendMessageTimeoutA(dialog, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
  EXPECT_EQ(padflash_->WaitForExit(30000), 0);
  EXPECT_EQ(Revision(), "revision:           0x06");
}

// Told to quit in the middle of an update, the program neither cuts the
// session nor waits for ever on its window.
TEST_F(DialogTest, QuitDuringAnUpdateLetsTheSessionFinish) {
  StartUpdate();
  PostThreadMessageA(padflash_->threadId(), WM_QUIT, 0, 0);
  EXPECT_EQ(padflash_->WaitForExit(kUpdateMs), 0);
  EXPECT_EQ(Revision(), "revision:           0x06");
}

TEST_F(DialogTest, DropOnTheFileBoxAndOnTheDialogGiveTheSameResult) {
  const std::string good = world_.WriteFirmware("new.hex", 0x06), bad = world_.Path("bad.hex");
  std::ofstream(bad) << ":zz\n";
  HWND dialog = Open("/o");
  ASSERT_NE(dialog, nullptr);
  HWND fileBox = GetDlgItem(dialog, kIdFilePath);
  auto drop = [&](HWND target, const std::string& path) {
    PostDrop(padflash_->handle(), target, path);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(fileBox) == path; }, 30000));
    return TextOf(GetDlgItem(dialog, kIdNewFw)) + "|" + TextOf(GetDlgItem(dialog, kIdStatus)) +
           (Visible(dialog, kIdExecute) ? "|Execute" : "");
  };
  const std::string goodOnBox = drop(fileBox, good);
  EXPECT_NE(goodOnBox.find("|Execute"), std::string::npos);
  const std::string badOnDialog = drop(dialog, bad);
  EXPECT_NE(badOnDialog, goodOnBox);
  EXPECT_EQ(drop(dialog, good), goodOnBox);
  EXPECT_EQ(drop(fileBox, bad), badOnDialog);
}

// Many preparations in one run (some 1,800 characters each): the pane
// keeps taking text past the edit control's default 30,000 characters.
TEST_F(DialogTest, VerbosePaneKeepsLoggingAfterManyPreparations) {
  const std::string first = world_.WriteFirmware("new.hex", 0x06);
  const std::string second = world_.WriteFirmware("other.hex", 0x06);
  HWND dialog = Open("/o");
  ASSERT_NE(dialog, nullptr);
  HWND fileBox = GetDlgItem(dialog, kIdFilePath), pane = GetDlgItem(dialog, kIdVerbose);
  for (int i = 0; i < 18; ++i) {
    const std::string& path = i % 2 == 0 ? first : second;
    PostDrop(padflash_->handle(), fileBox, path);
    ASSERT_TRUE(WaitUntil([&] { return TextOf(fileBox) == path; }, 30000));
  }
  ASSERT_TRUE(WaitUntil([&] { return Visible(dialog, kIdExecute); }, 30000));
  const std::string text = TextOf(pane);
  EXPECT_GT(text.size(), 30000u);
  const size_t last = text.rfind("Using the following file: ");
  ASSERT_NE(last, std::string::npos);
  EXPECT_EQ(text.compare(last + 26, second.size(), second), 0) << text.substr(last, 200);
}

TEST_F(DialogTest, BrowseOffersThreeFiltersAndPreparesTheChosenFile) {
  const std::string firmware = world_.WriteFirmware("new.hex", 0x06);
  HWND dialog = Open("/o");
  ASSERT_NE(dialog, nullptr);
  HWND open = Browse(dialog);
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(GetWindow(open, GW_OWNER), dialog);
  HWND filters = GetDlgItem(open, 0x470);  // the file dialog's cmb1; its controls are Unicode
  WaitUntil([&] { return SendMessageW(filters, CB_GETCOUNT, 0, 0) > 0; }, 10000);
  std::vector<std::wstring> names;
  for (LRESULT i = 0; i < SendMessageW(filters, CB_GETCOUNT, 0, 0); ++i) {
    wchar_t name[64] = {};
    SendMessageW(filters, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(name));
    names.emplace_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Hex file", L"dll", L"All"}));
  EXPECT_EQ(SendMessageW(filters, CB_GETCURSEL, 0, 0), 0);
  Choose(open, firmware);
  EXPECT_TRUE(
      WaitUntil([&] { return TextOf(GetDlgItem(dialog, kIdFilePath)) == firmware; }, 30000));
  EXPECT_TRUE(WaitUntil([&] { return Visible(dialog, kIdExecute); }, 30000));
}

// A second start only brings the first forward, minimised or not; "/?"
// shows its box first, with no owner, even then.
TEST_F(DialogTest, SecondStartBringsTheFirstForwardAndHelpComesFirst) {
  HWND dialog = Open("/o missing.hex");
  ASSERT_NE(dialog, nullptr);
  ShowWindow(dialog, SW_MINIMIZE);
  ASSERT_TRUE(WaitUntil([&] { return IsIconic(dialog) != FALSE; }, 10000));
  EXPECT_EQ(world_.Start("missing.hex")->WaitForExit(30000), 0);
  EXPECT_FALSE(IsIconic(dialog));
  EXPECT_EQ(GetForegroundWindow(), dialog);

  auto help = world_.Start("/?");
  HWND box = help->WaitForWindow("/? help and usage");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)).rfind("Cmd Arg # 1 /?", 0), 0u);  // the box's text
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(help->WaitForExit(30000), 0);
}

// A controller in its bootloader beside a personality file of an older
// program: the dialog asks whether the file is this controller's, naming it
// and its date, then whether the defaults may be programmed, naming the
// folders searched; two Noes leave nothing to execute and the file as it is.
// The firmware is chosen with Browse in another folder, which does not
// become the working folder (Windows moves it there unless told not to;
// Wine never does).
TEST_F(DialogTest, StrandedControllerAsksAboutItsFileAndTheDefaults) {
  const std::string file = StrandController();
  std::filesystem::create_directory(world_.Path("release"));
  const std::string firmware = world_.WriteFirmware("release\\new.hex", 0x06);
  HWND dialog = Open("/o");
  ASSERT_NE(dialog, nullptr);
  HWND open = Browse(dialog);
  ASSERT_NE(open, nullptr);
  Choose(open, firmware);
  Answer("ProductID does not Match", IDYES);
  EXPECT_NE(Answer("Personality File of Unknown Controller", IDNO)
                .find("sf20150811_101010.mem (saved 2015-08-11 10:10:10 UTC)"),
            std::string::npos);
  std::string folder = world_.Path("");
  folder.pop_back();  // without its separator
  const std::string searched = Answer("No Saved Factory Settings", IDNO);
  EXPECT_NE(searched.find(folder + "\r\n"), std::string::npos) << searched;
  EXPECT_EQ(searched.find("release"), std::string::npos) << searched;
  EXPECT_TRUE(WaitUntil(
      [&] {
        return TextOf(GetDlgItem(dialog, kIdStatus)).find("Stopped") != std::string::npos ||
               TextOf(GetDlgItem(dialog, kIdVerbose)).find("Stopped: nothing was written") !=
                   std::string::npos;
      },
      30000));
  EXPECT_FALSE(Visible(dialog, kIdExecute));
  EXPECT_TRUE(std::filesystem::exists(file));
}

// A preparation asks whether to take the bootloader's product ID; a file dropped
// while its box is up is not prepared inside it: the box's answer ends the
// first preparation, and the dropped file stays unused.
TEST_F(DialogTest, DropDuringAPreparationsQuestionIsIgnored) {
  StrandController();
  const std::string first = world_.WriteFirmware("new.hex", 0x06);
  const std::string second = world_.WriteFirmware("other.hex", 0x06);
  HWND dialog = Open("/o");
  ASSERT_NE(dialog, nullptr);
  PostDrop(padflash_->handle(), dialog, first);
  ASSERT_NE(padflash_->WaitForWindow("ProductID does not Match"), nullptr)
      << TextOf(GetDlgItem(dialog, kIdVerbose)) << "|" << TextOf(GetDlgItem(dialog, kIdStatus));
  PostDrop(padflash_->handle(), dialog, second);
  Answer("ProductID does not Match", IDNO);
  EXPECT_EQ(padflash_->WaitForWindow("ProductID does not Match", 2000), nullptr);
  EXPECT_EQ(padflash_->WaitForExit(0), -1);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, kIdFilePath)), first);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, kIdVerbose)).find(second), std::string::npos);
  EXPECT_FALSE(Visible(dialog, kIdExecute));
}

// A controller attached after the start is listed after Refresh; picking it
// in the list prepares it (its other product ID is asked about).
TEST_F(DialogTest, RefreshListsALaterControllerAndPickingItPreparesIt) {
  HWND dialog = Open("/o " + world_.WriteFirmware("new.hex", 0x06));
  ASSERT_NE(dialog, nullptr);
  HWND combo = GetDlgItem(dialog, kIdDeviceCombo);
  ASSERT_TRUE(WaitUntil([&] { return Visible(dialog, kIdExecute); }, 30000));
  EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 1);
  world_.Vlmsim("attach --pid 0x0202");
  Click(GetDlgItem(dialog, kIdRefresh));
  ASSERT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 2);
  EXPECT_TRUE(Visible(dialog, kIdExecute));

  const WPARAM other = SendMessageA(combo, CB_GETCURSEL, 0, 0) == 0 ? 1 : 0;
  SendMessageA(combo, CB_SETCURSEL, other, 0);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(kIdDeviceCombo, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
  Answer("ProductID does not Match", IDNO);
  EXPECT_TRUE(WaitUntil([&] { return !Visible(dialog, kIdExecute); }, 30000));
  EXPECT_NE(TextOf(GetDlgItem(dialog, kIdDeviceInfo)).find("0x202"), std::string::npos)
      << TextOf(GetDlgItem(dialog, kIdDeviceInfo));
}

// Power fails while the image is written: the worker's box, owned by the
// dialog, says so; then the status line reads the failure and the inputs
// are enabled again.
TEST_F(DialogTest, FailedUpdateAsksFromTheWorkerAndLeavesItsTextOnScreen) {
  world_.Vlmsim("fault " + serial_ + " power-loss-at-chunk 3");
  HWND dialog = StartUpdate();
  EXPECT_NE(Answer("FW Update Incomplete", IDOK).find("Check the verbos output window."),
            std::string::npos);
  ASSERT_TRUE(WaitUntil([&] { return InputsEnabled(dialog, true); }, kUpdateMs));
  EXPECT_EQ(TextOf(GetDlgItem(dialog, kIdStatus)), "ERROR: Bootloader error.");
  EXPECT_FALSE(Visible(dialog, kIdExecute));
}

}  // namespace
}  // namespace padflash::testing
