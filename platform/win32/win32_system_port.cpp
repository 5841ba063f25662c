#include "platform/win32/win32_system_port.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "platform/win32/long_name_match.h"
#include "platform/win32/mutex_probe.h"
#include "platform/win32/win32_power_status.h"

namespace padflash {

namespace {

// A mutex this process owns. ReleaseMutex only works on the owning thread;
// closing the last handle frees the name in any case.
class Win32Mutex final : public NamedMutex {
 public:
  explicit Win32Mutex(HANDLE handle) : handle_(handle) {}
  ~Win32Mutex() override {
    ReleaseMutex(handle_);
    CloseHandle(handle_);
  }

 private:
  HANDLE handle_;
};

class Win32Library final : public LoadedLibrary {
 public:
  explicit Win32Library(HMODULE module) : module_(module) {}
  ~Win32Library() override { FreeLibrary(module_); }
  void* Symbol(const char* name) override {
    return reinterpret_cast<void*>(GetProcAddress(module_, name));
  }
  void* Handle() override { return module_; }

 private:
  HMODULE module_;
};

// The part of a search pattern after its last separator.
std::string LastComponent(const std::string& pattern) {
  const size_t separator = pattern.find_last_of("/\\:");
  return separator == std::string::npos ? pattern : pattern.substr(separator + 1);
}

// The absolute form of a path, or "" when Windows cannot make one.
std::string FullPath(const std::string& path) {
  const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::string();
  std::string full(needed, '\0');
  const DWORD length = GetFullPathNameA(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return std::string();
  full.resize(length);
  return full;
}

}  // namespace

uint64_t Win32Clock::NowMs() {
  return GetTickCount64();
}

void Win32Clock::SleepMs(uint32_t ms) {
  Sleep(ms);
}

Win32SystemPort::Win32SystemPort() = default;
Win32SystemPort::~Win32SystemPort() = default;

UtcTime Win32SystemPort::NowUtc() {
  SYSTEMTIME now{};
  GetSystemTime(&now);
  return UtcTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::unique_ptr<NamedMutex> Win32SystemPort::AcquireNamedMutex(const std::string& name) {
  HANDLE handle = CreateMutexA(nullptr, TRUE, name.c_str());
  if (handle == nullptr) return nullptr;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(handle);
    SetLastError(ERROR_ALREADY_EXISTS);
    return nullptr;
  }
  return std::make_unique<Win32Mutex>(handle);
}

bool Win32SystemPort::IsNamedMutexHeld(const std::string& name) {
  return ProbeNamedMutexHeld(SystemMutexCalls(), name);
}

bool Win32SystemPort::GetPowerStatus(PowerStatus& status) {
  SYSTEM_POWER_STATUS power{};
  if (!GetSystemPowerStatus(&power)) return false;
  status = ToPowerStatus(power);
  return true;
}

bool Win32SystemPort::SetExecutionState(uint32_t flags) {
  return SetThreadExecutionState(static_cast<EXECUTION_STATE>(flags)) != 0;
}

std::vector<FoundFile> Win32SystemPort::FindFiles(const std::string& pattern) {
  std::vector<FoundFile> found;
  WIN32_FIND_DATAA data{};
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return found;
  const std::string namePattern = LastComponent(pattern);
  do {
    if (!FitsPattern(data, namePattern)) continue;
    FoundFile file;
    file.name = data.cFileName;
    file.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    found.push_back(std::move(file));
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return found;
}

bool Win32SystemPort::FileExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Win32SystemPort::RemoveFile(const std::string& path) {
  return DeleteFileA(path.c_str()) != FALSE;
}

bool Win32SystemPort::ReadFileBytes(const std::string& path, size_t maxBytes,
                                    std::vector<uint8_t>& out) {
  out.clear();
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  out.resize(maxBytes);
  size_t total = 0;
  bool ok = true;
  while (total < maxBytes) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(maxBytes - total, 1 << 20));
    DWORD got = 0;
    if (!ReadFile(file, out.data() + total, want, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    total += got;
  }
  CloseHandle(file);
  out.resize(total);
  return ok;
}

namespace {

// Writes every byte to a new file of that name and flushes it to the disk.
// A file left there by a write that was cut short is replaced.
bool WriteFlushed(const std::string& path, const uint8_t* data, size_t size) {
  DeleteFileA(path.c_str());
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  size_t total = 0;
  while (total < size) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(size - total, 1 << 20));
    DWORD written = 0;
    if (!WriteFile(file, data + total, want, &written, nullptr) || written == 0) break;
    total += written;
  }
  const bool flushed = total == size && FlushFileBuffers(file) != FALSE;
  const bool closed = CloseHandle(file) != FALSE;
  if (flushed && closed) return true;
  DeleteFileA(path.c_str());
  return false;
}

bool MoveDurably(const std::string& from, const std::string& to, DWORD flags) {
  return MoveFileExA(from.c_str(), to.c_str(), flags | MOVEFILE_WRITE_THROUGH) != FALSE;
}

std::string TemporaryName(const std::string& path) {
  return path + ".part";
}

}  // namespace

bool Win32SystemPort::CreateNewFile(const std::string& path, const uint8_t* data, size_t size) {
  if (path.empty() || GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  const std::string temporary = TemporaryName(path);
  if (!WriteFlushed(temporary, data, size)) return false;
  // Without MOVEFILE_REPLACE_EXISTING the move fails when the name exists.
  if (MoveDurably(temporary, path, 0)) return true;
  const DWORD error = GetLastError();
  DeleteFileA(temporary.c_str());
  SetLastError(error);
  return false;
}

bool Win32SystemPort::OverwriteFile(const std::string& path, const uint8_t* data, size_t size) {
  if (path.empty()) return false;
  const std::string temporary = TemporaryName(path);
  if (!WriteFlushed(temporary, data, size)) return false;
  if (MoveDurably(temporary, path, MOVEFILE_REPLACE_EXISTING)) return true;
  DeleteFileA(temporary.c_str());
  return false;
}

bool Win32SystemPort::RenameFile(const std::string& from, const std::string& to) {
  return MoveDurably(from, to, 0);
}

bool Win32SystemPort::MakeFolder(const std::string& path) {
  if (path.empty()) return false;
  for (size_t at = path.find_first_of("\\/", 0);; at = path.find_first_of("\\/", at + 1)) {
    const std::string part = at == std::string::npos ? path : path.substr(0, at);
    // "C:" and "\\server\share" are no folders to create.
    if (!part.empty() && part.back() != ':' && part.find_first_not_of("\\/") != std::string::npos) {
      CreateDirectoryA(part.c_str(), nullptr);
    }
    if (at == std::string::npos) break;
  }
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string Win32SystemPort::CurrentFolder() {
  char folder[MAX_PATH];
  const DWORD n = GetCurrentDirectoryA(sizeof folder, folder);
  return n > 0 && n < sizeof folder ? std::string(folder) : std::string();
}

std::string Win32SystemPort::UserStateFolder() {
  char value[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("PADFLASH_STATE_DIR", value, sizeof value);
  if (n > 0 && n < sizeof value) return value;
  n = GetEnvironmentVariableA("LOCALAPPDATA", value, sizeof value);
  if (n > 0 && n < sizeof value) return std::string(value) + "\\padflash";
  return {};
}

std::unique_ptr<LoadedLibrary> Win32SystemPort::OpenLibrary(const std::string& path) {
  const std::string full = FullPath(path);
  if (full.empty()) return nullptr;
  // A library that cannot load must fail the call, not open a system
  // error box that waits for a click.
  DWORD previousMode = 0;
  const BOOL modeSet =
      SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
  // The libraries the package depends on come from the package's own folder
  // and System32 only, never from the current folder or PATH.
  HMODULE module = LoadLibraryExA(full.c_str(), nullptr,
                                  LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  const DWORD error = GetLastError();
  if (modeSet) SetThreadErrorMode(previousMode, nullptr);
  if (module == nullptr) {
    SetLastError(error);
    return nullptr;
  }
  return std::make_unique<Win32Library>(module);
}

int Win32SystemPort::LastError() {
  return static_cast<int>(GetLastError());
}

void Win32SystemPort::WriteStdout(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace padflash
