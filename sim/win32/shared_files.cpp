// The shared files of the simulated bus on Windows: LockFileEx on the lock
// file, MoveFileExA over the state file, FILE_APPEND_DATA for the trace.
// Every file is opened sharing read, write and delete, so that a reader in
// another process never stands in the way of a replacement.
#include "sim/shared_files.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace sim {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A file that another program (a virus scanner, an editor) holds open
// without delete sharing refuses the replacement for a moment: 50 attempts
// 20 ms apart.
constexpr int kReplaceAttempts = 50;
// How many names a save tries for its temporary file.
constexpr int kTemporaryNames = 16;
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
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return ReadOutcome::kMissing;
    error = SystemError("cannot open the state file", path);
    return ReadOutcome::kFailed;
  }
  // In blocks of the file's size (one read for a file that stays put), and
  // one byte more so that a file over the limit is seen as such.
  LARGE_INTEGER size{};
  const size_t block =
      GetFileSizeEx(file, &size) && size.QuadPart > 0
          ? std::min<size_t>({static_cast<size_t>(size.QuadPart), maxBytes, 1u << 30}) + 1
          : size_t{65536};
  size_t used = 0;
  for (;;) {
    if (text.size() - used == 0) text.resize(used + block);
    const DWORD want = static_cast<DWORD>(std::min<size_t>(text.size() - used, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file, text.data() + used, want, &got, nullptr)) {
      error = SystemError("cannot read the state file", path);
      CloseHandle(file);
      text.clear();
      return ReadOutcome::kFailed;
    }
    if (got == 0) break;
    used += got;
    if (used > maxBytes) {
      CloseHandle(file);
      text.clear();
      error = "state file " + path + ": larger than a bus of simulated controllers can be";
      return ReadOutcome::kFailed;
    }
  }
  CloseHandle(file);
  text.resize(used);
  return ReadOutcome::kRead;
}

ReadOutcome ReadFileIdentity(const std::string& path, FileIdentity& identity, std::string& error) {
  identity = FileIdentity{};
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return ReadOutcome::kMissing;
    error = SystemError("cannot open the state file", path);
    return ReadOutcome::kFailed;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  char head[FileIdentity::kHeadBytes];
  DWORD got = 0;
  if (!GetFileInformationByHandle(file, &info)) {
    error = SystemError("cannot look at the state file", path);
    CloseHandle(file);
    return ReadOutcome::kFailed;
  }
  if (!ReadFile(file, head, sizeof head, &got, nullptr)) {
    error = SystemError("cannot read the state file", path);
    CloseHandle(file);
    return ReadOutcome::kFailed;
  }
  CloseHandle(file);
  identity.exists = true;
  identity.volume = info.dwVolumeSerialNumber;
  identity.fileNumber = uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
  identity.size = uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
  identity.modified =
      uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 | info.ftLastWriteTime.dwLowDateTime;
  identity.head.assign(head, got);
  return ReadOutcome::kRead;
}

void RemoveFile(const std::string& path) {
  DeleteFileA(path.c_str());
}

uint64_t CurrentProcessId() {
  return GetCurrentProcessId();
}

namespace {

// Creates the temporary file exclusively (CREATE_NEW), so never through a
// link planted at its name: a name that is taken (a link, a leftover of a
// process that had this id) is passed over for the next one.
HANDLE CreateTemporary(const std::string& path, std::string& temp, std::string& error) {
  const std::string base = path + ".tmp." + std::to_string(GetCurrentProcessId());
  for (int attempt = 0; attempt < kTemporaryNames; ++attempt) {
    temp = attempt == 0 ? base : base + "." + std::to_string(attempt);
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) break;
  }
  error = SystemError("cannot create", temp);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

bool ReplaceWholeFile(const std::string& path, const std::string& text, std::string& error) {
  std::string temp;
  HANDLE file = CreateTemporary(path, temp, error);
  if (file == INVALID_HANDLE_VALUE) return false;
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
