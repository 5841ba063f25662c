#include "tests/win32_dialog/padflash_world.h"

#include <shlobj.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "tools/fwgen/firmware_generator.h"

namespace padflash::testing {
namespace {

constexpr UINT kAnswerMs = 5000;

// This program's folder, the build's bin folder: padflash.exe and
// vlmsim.exe are there, the simulated VLMHID.dll in sim-lib beside it.
std::string BinFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path().string();
}

}  // namespace

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
  while (!done()) {
    if (GetTickCount64() > deadline) return false;
    Sleep(50);
  }
  return true;
}

std::string TextOf(HWND window) {
  DWORD_PTR length = 0, copied = 0;
  SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &length);
  std::string text(length + 1, '\0');
  SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, kAnswerMs, &copied);
  text.resize(copied);
  return text;
}

bool HasStyle(HWND window, LONG_PTR bits) {
  return (GetWindowLongPtrA(window, GWL_STYLE) & bits) == bits;
}

void Click(HWND button) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &ignored);
}

void PostDrop(HANDLE process, HWND target, const std::string& path) {
  std::vector<char> drop(sizeof(DROPFILES) + path.size() + 2);  // name, list end
  reinterpret_cast<DROPFILES*>(drop.data())->pFiles = sizeof(DROPFILES);
  path.copy(drop.data() + sizeof(DROPFILES), path.size());
  void* block = VirtualAllocEx(process, nullptr, drop.size(), MEM_COMMIT, PAGE_READWRITE);
  WriteProcessMemory(process, block, drop.data(), drop.size(), nullptr);
  PostMessageA(target, WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
}

PadflashProcess::~PadflashProcess() {
  if (WaitForExit(0) == -1) TerminateProcess(process_.hProcess, 1);
  WaitForSingleObject(process_.hProcess, INFINITE);
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

HWND PadflashProcess::WaitForWindow(const std::string& caption, int timeoutMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", caption.c_str()));) {
          DWORD owner = 0;
          GetWindowThreadProcessId(w, &owner);
          if (owner == process_.dwProcessId) found = w;
        }
        return found != nullptr;
      },
      timeoutMs);
  // A window shows up while it is still being initialised; once it answers
  // a sent message, its thread has finished that.
  DWORD_PTR ignored = 0;
  if (found != nullptr)
    SendMessageTimeoutA(found, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 30000, &ignored);
  return found;
}

long PadflashProcess::WaitForExit(int timeoutMs) {
  DWORD code = 0;
  if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process_.hProcess, &code)) {
    return -1;
  }
  return static_cast<long>(code);
}

PadflashWorld::PadflashWorld() {
  static int worlds = 0;
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  folder_ = std::string(temp) + "padflash-dialog-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++worlds);
  std::filesystem::create_directories(folder_);
  std::filesystem::copy_file(BinFolder() + "\\padflash.exe", Path("padflash.exe"));
  std::filesystem::copy_file(BinFolder() + "\\..\\sim-lib\\VLMHID.dll", Path("VLMHID.dll"));
  SetEnvironmentVariableA("VLMHID_SIM_STATE", Path("bus.json").c_str());
  // The saved factory settings of this world's controllers stay in it.
  SetEnvironmentVariableA("PADFLASH_STATE_DIR", Path("padflash-state").c_str());
}

PadflashWorld::~PadflashWorld() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string PadflashWorld::Vlmsim(const std::string& arguments) {
  std::string output;
  FILE* pipe = _popen(("\"" + BinFolder() + "\\vlmsim.exe\" " + arguments).c_str(), "r");
  if (pipe == nullptr) return output;
  char line[256];
  while (std::fgets(line, sizeof line, pipe) != nullptr) output += line;
  _pclose(pipe);
  return output;
}

std::string PadflashWorld::WriteFirmware(const std::string& name, int revision) {
  fwgen::FirmwareBuild build;
  build.revision = static_cast<uint8_t>(revision);
  std::ofstream(Path(name), std::ios::binary) << fwgen::ToIntelHex(fwgen::GenerateFirmware(build));
  return Path(name);
}

std::unique_ptr<PadflashProcess> PadflashWorld::Start(const std::string& arguments) {
  std::string commandLine = "\"" + Path("padflash.exe") + "\" " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder_.c_str(), &startup, &process)) {
    throw std::runtime_error("cannot start " + commandLine);
  }
  return std::make_unique<PadflashProcess>(process);
}

}  // namespace padflash::testing
