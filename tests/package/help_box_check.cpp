// Starts the padflash.exe named on the command line with "/?", in its own
// folder, and checks what a user sees there: the help box, owned by no
// window, holding the switches; OK ends the program with exit code 0.
// Prints each fault found; exit code 0 when there is none. The Windows zip's
// test runs it on the padflash.exe unpacked from the zip.
//
//   help_box_check.exe C:\folder\padflash.exe
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/win32_dialog/padflash_world.h"

using padflash::testing::PadflashProcess;
using padflash::testing::TextOf;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: help_box_check PADFLASH.EXE\n");
    return 2;
  }
  const std::string program = argv[1];
  const std::string folder = std::filesystem::path(program).parent_path().string();
  std::string commandLine = "\"" + program + "\" /?";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &started)) {
    std::printf("cannot start %s (error %lu)\n", commandLine.c_str(), GetLastError());
    return 1;
  }
  PadflashProcess process(started);
  int faults = 0;
  HWND box = process.WaitForWindow("/? help and usage");
  if (box == nullptr) {
    std::printf("no \"/? help and usage\" box\n");
    return 1;
  }
  if (GetWindow(box, GW_OWNER) != nullptr) {
    std::printf("the help box has an owner\n");
    ++faults;
  }
  const std::string text = TextOf(GetDlgItem(box, 0xFFFF));
  if (text.rfind("Cmd Arg # 1 /?", 0) != 0 || text.find("Displays help and exits") == text.npos) {
    std::printf("the help box reads:\n%s\n", text.c_str());
    ++faults;
  }
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  const long code = process.WaitForExit(30000);
  if (code != 0) {
    std::printf("padflash.exe ended with %ld after OK\n", code);
    ++faults;
  }
  if (faults == 0) std::printf("padflash.exe /? shows its help box and ends with 0\n");
  return faults == 0 ? 0 : 1;
}
