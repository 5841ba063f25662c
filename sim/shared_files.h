// The files that the processes of one simulated bus share (the state file,
// its lock and the trace), over the platform's own file calls: POSIX in
// sim/posix/, kernel32 in sim/win32/ (CMake picks one).
//
// The contract both keep:
// - FileLock is exclusive between processes and between two FileLock
//   objects of one process; Lock waits for it. The system drops the lock of
//   a process that dies (flock / LockFileEx).
// - ReplaceWholeFile writes "<path>.tmp.<process id>" and moves it over the file
//   in one step (rename / MoveFileExA with MOVEFILE_REPLACE_EXISTING), so a
//   reader sees the old or the new text, never a mix; the bytes are written
//   as they are (no line-end translation). The temporary file is created
//   new (O_CREAT | O_EXCL | O_NOFOLLOW / CREATE_NEW), never opened through
//   a link someone planted at its name; a taken name is passed over for
//   "<path>.tmp.<process id>.<n>".
// - ReadFileIdentity tells whether the file is still the one read before
//   without reading it all: its identity (volume and file number), size,
//   last-write time and first bytes. A save moves a new file in and writes a
//   fresh save stamp near the start, so every save changes it.
// - An AppendFile adds each line whole at the end of the file, also when
//   other processes append to it at the same time (O_APPEND /
//   FILE_APPEND_DATA).
// Every failure comes back as a one-line text naming the file and the
// system's reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

class FileLock {
 public:
  explicit FileLock(std::string path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Creates the lock file when it is missing and waits for the lock.
  [[nodiscard]] bool Lock(std::string& error);
  void Unlock();

 private:
  std::string path_;
  intptr_t handle_ = -1;  // file descriptor or HANDLE; -1 while not open
};

enum class ReadOutcome { kRead, kMissing, kFailed };

// The whole file into `text`. A file that does not exist is kMissing (text
// empty); one larger than `maxBytes` is kFailed.
ReadOutcome ReadWholeFile(const std::string& path, size_t maxBytes, std::string& text,
                          std::string& error);

// What ReadFileIdentity compares. A missing file has `exists` false and
// nothing else set.
struct FileIdentity {
  static constexpr size_t kHeadBytes = 256;
  bool exists = false;
  uint64_t volume = 0;
  uint64_t fileNumber = 0;
  uint64_t size = 0;
  uint64_t modified = 0;  // the system's last-write time in its own units
  std::string head;       // the first kHeadBytes bytes (fewer in a shorter file)
  bool operator==(const FileIdentity&) const = default;
};

// kRead or kMissing (exists false), else kFailed with the reason.
ReadOutcome ReadFileIdentity(const std::string& path, FileIdentity& identity, std::string& error);

// Deletes the file; a file that is not there is no error.
void RemoveFile(const std::string& path);

// This process's id, for names and stamps that must differ between processes.
uint64_t CurrentProcessId();

// Replaces the file with `text` in one step (see above).
[[nodiscard]] bool ReplaceWholeFile(const std::string& path, const std::string& text,
                                    std::string& error);

class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens (creating it when missing) for appending.
  [[nodiscard]] bool Open(const std::string& path, std::string& error);
  // `text` lands whole at the end of the file, in one write.
  void Append(const std::string& text);

 private:
  intptr_t handle_ = -1;
};

}  // namespace sim
