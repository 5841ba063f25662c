// Brings padflash.exe to the state of the README's screenshot: a simulated
// controller updated from revision 0x05 to 0x06, the verbose pane open. It
// prints the dialog's screen rectangle ("x y width height") and waits until
// a file named "shot-taken" appears in its working directory, then closes
// the dialog. tools/screenshot-windows.sh takes the picture in between.
#include <windows.h>

#include <cstdio>

#include "app/control_table.h"
#include "tests/win32_dialog/padflash_world.h"

using namespace padflash;
using namespace padflash::testing;

namespace {
constexpr int kUpdateTimeoutMs = 180000;
constexpr const char* kSuccess = "Firmware was successfully updated to version: 12.6";

int Fail(const char* why) {
  std::fprintf(stderr, "screenshot pilot: %s\n", why);
  return 1;
}
}  // namespace

int main() {
  PadflashWorld world;
  world.Vlmsim("attach --rev 0x05");
  world.WriteFirmware("new.hex", 0x06);
  auto padflash = world.Start("/o /v new.hex");
  HWND dialog = padflash->WaitForWindow("Velmar Firmware Update Tool");
  if (dialog == nullptr) return Fail("no dialog");
  HWND execute = GetDlgItem(dialog, kIdExecute);
  if (!WaitUntil([&] { return HasStyle(execute, WS_VISIBLE); }, 30000)) return Fail("not prepared");
  Click(execute);
  if (!WaitUntil([&] { return TextOf(GetDlgItem(dialog, kIdStatus)) == kSuccess; },
                 kUpdateTimeoutMs)) {
    return Fail("the update did not succeed");
  }
  Click(GetDlgItem(dialog, kIdMore));
  // Under Xvfb no window manager gives Wine's desktop the X focus, so the
  // foreground dialog would keep an inactive caption.
  SetForegroundWindow(dialog);
  SendMessageA(dialog, WM_NCACTIVATE, TRUE, 0);
  Sleep(1000);  // painted
  RECT frame{};
  GetWindowRect(dialog, &frame);
  std::printf("%ld %ld %ld %ld\n", frame.left, frame.top, frame.right - frame.left,
              frame.bottom - frame.top);
  std::fflush(stdout);
  WaitUntil([] { return GetFileAttributesA("shot-taken") != INVALID_FILE_ATTRIBUTES; }, 60000);
  PostMessageA(dialog, WM_CLOSE, 0, 0);
  return padflash->WaitForExit(30000) == 0 ? 0 : Fail("padflash did not end");
}
