// What the dialog tests drive: padflash.exe in a folder of its own with the
// simulated VLMHID.dll beside it (the program's folder comes first in the
// library search), a simulated bus in a state file there, and the dialog's
// real windows, reached from this process as a user's tools would.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace padflash::testing {

// Polls `done` every 50 ms; false when it is still false at the deadline.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);
// Window text through WM_GETTEXT (edit controls keep theirs); a window that
// does not answer within seconds reads as "".
std::string TextOf(HWND window);
bool HasStyle(HWND window, LONG_PTR bits);
// BM_CLICK, waiting until the button has been handled.
void Click(HWND button);
// A real HDROP with one file, posted as WM_DROPFILES to a window of
// `process`. Wine carries no drop memory across processes, so the block is
// written into that process's memory as a fixed block (its handle is its
// address), which DragQueryFile reads as any other.
void PostDrop(HANDLE process, HWND target, const std::string& path);

// A started padflash.exe; ended by force if it still runs at the end.
class PadflashProcess {
 public:
  explicit PadflashProcess(PROCESS_INFORMATION process) : process_(process) {}
  ~PadflashProcess();
  PadflashProcess(const PadflashProcess&) = delete;
  PadflashProcess& operator=(const PadflashProcess&) = delete;

  // Its top-level dialog with that caption, once initialised, or null at the
  // deadline.
  HWND WaitForWindow(const std::string& caption, int timeoutMs = 30000);
  // The full exit code, or -1 while it still runs at the deadline.
  long WaitForExit(int timeoutMs);
  DWORD threadId() const { return process_.dwThreadId; }
  HANDLE handle() const { return process_.hProcess; }

 private:
  PROCESS_INFORMATION process_;
};

class PadflashWorld {
 public:
  PadflashWorld();
  ~PadflashWorld();

  std::string Path(const std::string& name) const { return folder_ + "\\" + name; }
  // Runs vlmsim.exe on the world's state file; its standard output.
  std::string Vlmsim(const std::string& arguments);
  // Writes an image of the given revision (chip 0x12, USB build).
  std::string WriteFirmware(const std::string& name, int revision);
  // Starts padflash.exe with these arguments, in the world's folder.
  std::unique_ptr<PadflashProcess> Start(const std::string& arguments);

 private:
  std::string folder_;
};

}  // namespace padflash::testing
