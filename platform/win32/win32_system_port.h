// The system port on Windows: kernel32 with the 8-bit API.
#pragma once

#include <memory>
#include <string>

#include "platform/system_port.h"

namespace padflash {

// The tick count of the machine; sleeps with Sleep.
class Win32Clock final : public Clock {
 public:
  uint64_t NowMs() override;
  void SleepMs(uint32_t ms) override;
};

class Win32SystemPort : public SystemPort {
 public:
  Win32SystemPort();
  ~Win32SystemPort() override;

  Clock& clock() override { return clock_; }
  UtcTime NowUtc() override;

  // CreateMutexA with initial ownership; a name that already exists (error
  // 183) is not acquired. Release it on the thread that took it.
  std::unique_ptr<NamedMutex> AcquireNamedMutex(const std::string& name) override;
  // A wait of no time on the mutex, made on a thread of its own.
  bool IsNamedMutexHeld(const std::string& name) override;

  bool GetPowerStatus(PowerStatus& status) override;
  bool SetExecutionState(uint32_t flags) override;

  // FindFirstFileA/FindNextFileA. Directories are flagged, not skipped. A
  // long name that matched a wildcard pattern only through its 8.3 short
  // name ("x.binx" as X~1.BIN for "*.bin") is left out.
  std::vector<FoundFile> FindFiles(const std::string& pattern) override;
  bool FileExists(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool ReadFileBytes(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out) override;
  // Written under a temporary name with FlushFileBuffers, then moved onto
  // its name with MOVEFILE_WRITE_THROUGH.
  bool CreateNewFile(const std::string& path, const uint8_t* data, size_t size) override;
  bool OverwriteFile(const std::string& path, const uint8_t* data, size_t size) override;
  bool RenameFile(const std::string& from, const std::string& to) override;
  bool MakeFolder(const std::string& path) override;
  // $PADFLASH_STATE_DIR, else %LOCALAPPDATA%\padflash.
  std::string UserStateFolder() override;
  std::string CurrentFolder() override;
  char PathSeparator() override { return '\\'; }

  // LoadLibraryExA with the full path of the file, so the library search
  // order never puts a same-named library elsewhere in its place; the
  // libraries it imports are looked for in its own folder and in System32
  // only, never in the program's folder, the current directory or PATH.
  std::unique_ptr<LoadedLibrary> OpenLibrary(const std::string& path) override;
  int LastError() override;
  void WriteStdout(std::string_view text) override;

 private:
  Win32Clock clock_;
};

}  // namespace padflash
