// The shared files of the simulated bus on Windows: LockFileEx on the lock
// file, MoveFileExA over the state file, FILE_APPEND_DATA for the trace.
// Every file is opened sharing read, write and delete, so that a reader in
// another process never stands in the way of a replacement.
#include "sim/shared_files.h"

#include <windows.h>

#include <cstdio>

namespace sim {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A file that another program (a virus scanner, an editor) holds open
// without delete sharing refuses the replacement for a moment: 50 attempts
// 20 ms apart.
constexpr int kReplaceAttempts = 50;
constexpr DWORD kReplacePauseMs = 20;

// "<what> <path>: <system text> (error N)", the error read first.
std::string SystemError(const std::string& what, const std::string& path) {
  const DWORD code = GetLastError();
  char text[256] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == ' ' || text[length - 1] == '.')) {
    text[--length] = '\0';
  }
  char number[32];
  std::snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(code));
  return what + " " + path + ": " + (length > 0 ? std::string(text) + " (" + number + ")" : number);
}

HANDLE Handle(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

bool WriteAll(HANDLE file, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 20));
    DWORD wrote = 0;
    if (!WriteFile(file, text.data() + done, chunk, &wrote, nullptr) || wrote == 0) return false;
    done += wrote;
  }
  return true;
}

}  // namespace

FileLock::FileLock(std::string path) : path_(std::move(path)) {}

FileLock::~FileLock() {
  if (handle_ != -1) CloseHandle(Handle(handle_));
}

bool FileLock::Lock(std::string& error) {
  if (handle_ == -1) {
    HANDLE file = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      error = SystemError("cannot open the lock file", path_);
      return false;
    }
    handle_ = reinterpret_cast<intptr_t>(file);
  }
  // The first byte, whether or not the file holds one; a synchronous
  // handle waits here until the lock is granted.
  OVERLAPPED at{};
  if (!LockFileEx(Handle(handle_), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
    error = SystemError("cannot lock", path_);
    return false;
  }
  return true;
}

void FileLock::Unlock() {
  if (handle_ == -1) return;
  OVERLAPPED at{};
  UnlockFileEx(Handle(handle_), 0, 1, 0, &at);
}

ReadOutcome ReadWholeFile(const std::string& path, size_t maxBytes, std::string& text,
                          std::string& error) {
  text.clear();
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return ReadOutcome::kMissing;
    error = SystemError("cannot open the state file", path);
    return ReadOutcome::kFailed;
  }
  char buffer[16384];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      error = SystemError("cannot read the state file", path);
      CloseHandle(file);
      return ReadOutcome::kFailed;
    }
    if (got == 0) break;
    text.append(buffer, got);
    if (text.size() > maxBytes) {
      CloseHandle(file);
      error = "state file " + path + ": larger than a bus of simulated controllers can be";
      return ReadOutcome::kFailed;
    }
  }
  CloseHandle(file);
  return ReadOutcome::kRead;
}

bool ReplaceWholeFile(const std::string& path, const std::string& text, std::string& error) {
  const std::string temp = path + ".tmp." + std::to_string(GetCurrentProcessId());
  HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = SystemError("cannot create", temp);
    return false;
  }
  if (!WriteAll(file, text)) {
    error = SystemError("cannot write", temp);
    CloseHandle(file);
    DeleteFileA(temp.c_str());
    return false;
  }
  CloseHandle(file);
  // rename() does not replace an existing file on Windows.
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    const DWORD code = GetLastError();
    const bool held = code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION;
    if (!held || attempt == kReplaceAttempts) break;
    Sleep(kReplacePauseMs);
  }
  error = SystemError("cannot replace", path);
  DeleteFileA(temp.c_str());
  return false;
}

AppendFile::~AppendFile() {
  if (handle_ != -1) CloseHandle(Handle(handle_));
}

bool AppendFile::Open(const std::string& path, std::string& error) {
  // Append rights only: every write goes to the end of the file as it is
  // then, whoever else writes to it.
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, kShareAll, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = SystemError("cannot open", path);
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  return true;
}

void AppendFile::Append(const std::string& text) {
  if (handle_ == -1) return;
  DWORD wrote = 0;
  WriteFile(Handle(handle_), text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
}

}  // namespace sim
