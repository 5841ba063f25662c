// The shared files of the simulated bus on POSIX: flock, rename, O_APPEND.
#include "sim/shared_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sim {
namespace {

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// How many names a save tries for its temporary file.
constexpr int kTemporaryNames = 16;

int Fd(intptr_t handle) {
  return static_cast<int>(handle);
}

// Opens the state file for reading: kRead with `fd` set, kMissing when
// there is none, else kFailed with the reason.
ReadOutcome OpenForReading(const std::string& path, int& fd, std::string& error) {
  fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) return ReadOutcome::kRead;
  if (errno == ENOENT) return ReadOutcome::kMissing;
  error = SystemError("cannot open the state file", path);
  return ReadOutcome::kFailed;
}

}  // namespace

FileLock::FileLock(std::string path) : path_(std::move(path)) {}

FileLock::~FileLock() {
  if (handle_ >= 0) close(Fd(handle_));
}

bool FileLock::Lock(std::string& error) {
  if (handle_ < 0) {
    const int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      error = SystemError("cannot open the lock file", path_);
      return false;
    }
    handle_ = fd;
  }
  while (flock(Fd(handle_), LOCK_EX) != 0) {
    if (errno != EINTR) {
      error = SystemError("cannot lock", path_);
      return false;
    }
  }
  return true;
}

void FileLock::Unlock() {
  if (handle_ >= 0) flock(Fd(handle_), LOCK_UN);
}

ReadOutcome ReadWholeFile(const std::string& path, size_t maxBytes, std::string& text,
                          std::string& error) {
  text.clear();
  int fd = -1;
  if (const ReadOutcome opened = OpenForReading(path, fd, error); opened != ReadOutcome::kRead) {
    return opened;
  }
  // In blocks of the file's size (one read for a file that stays put), and
  // one byte more so that a file over the limit is seen as such.
  struct stat info {};
  const size_t block = fstat(fd, &info) == 0 && info.st_size > 0
                           ? std::min(static_cast<size_t>(info.st_size), maxBytes) + 1
                           : size_t{65536};
  size_t used = 0;
  for (;;) {
    if (text.size() - used == 0) text.resize(used + block);
    const ssize_t got = read(fd, text.data() + used, text.size() - used);
    if (got == 0) break;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = SystemError("cannot read the state file", path);
      close(fd);
      text.clear();
      return ReadOutcome::kFailed;
    }
    used += static_cast<size_t>(got);
    if (used > maxBytes) {
      close(fd);
      text.clear();
      error = "state file " + path + ": larger than a bus of simulated controllers can be";
      return ReadOutcome::kFailed;
    }
  }
  close(fd);
  text.resize(used);
  return ReadOutcome::kRead;
}

ReadOutcome ReadFileIdentity(const std::string& path, FileIdentity& identity, std::string& error) {
  identity = FileIdentity{};
  int fd = -1;
  if (const ReadOutcome opened = OpenForReading(path, fd, error); opened != ReadOutcome::kRead) {
    return opened;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    error = SystemError("cannot look at the state file", path);
    close(fd);
    return ReadOutcome::kFailed;
  }
  identity.exists = true;
  identity.volume = static_cast<uint64_t>(info.st_dev);
  identity.fileNumber = static_cast<uint64_t>(info.st_ino);
  identity.size = static_cast<uint64_t>(info.st_size);
  identity.modified = static_cast<uint64_t>(info.st_mtim.tv_sec) * 1000000000u +
                      static_cast<uint64_t>(info.st_mtim.tv_nsec);
  char head[FileIdentity::kHeadBytes];
  ssize_t got = 0;
  while ((got = pread(fd, head, sizeof head, 0)) < 0 && errno == EINTR) {
  }
  close(fd);
  if (got < 0) {
    error = SystemError("cannot read the state file", path);
    return ReadOutcome::kFailed;
  }
  identity.head.assign(head, static_cast<size_t>(got));
  return ReadOutcome::kRead;
}

void RemoveFile(const std::string& path) {
  unlink(path.c_str());
}

uint64_t CurrentProcessId() {
  return static_cast<uint64_t>(getpid());
}

namespace {

// Creates the temporary file exclusively, never through a link planted at
// its name: a name that is taken (a link, a leftover of a process that had
// this id) is passed over for the next one.
int CreateTemporary(const std::string& path, std::string& temp, std::string& error) {
  const std::string base = path + ".tmp." + std::to_string(getpid());
  for (int attempt = 0; attempt < kTemporaryNames; ++attempt) {
    temp = attempt == 0 ? base : base + "." + std::to_string(attempt);
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  error = SystemError("cannot create", temp);
  return -1;
}

}  // namespace

bool ReplaceWholeFile(const std::string& path, const std::string& text, std::string& error) {
  std::string temp;
  const int fd = CreateTemporary(path, temp, error);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      error = SystemError("cannot write", temp);
      close(fd);
      unlink(temp.c_str());
      return false;
    }
    done += static_cast<size_t>(wrote);
  }
  if (close(fd) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
    error = SystemError("cannot replace", path);
    unlink(temp.c_str());
    return false;
  }
  return true;
}

AppendFile::~AppendFile() {
  if (handle_ >= 0) close(Fd(handle_));
}

bool AppendFile::Open(const std::string& path, std::string& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = SystemError("cannot open", path);
    return false;
  }
  handle_ = fd;
  return true;
}

void AppendFile::Append(const std::string& text) {
  if (handle_ < 0) return;
  // O_APPEND: the one write lands whole at the end, even with other writers.
  while (write(Fd(handle_), text.data(), text.size()) < 0 && errno == EINTR) {
  }
}

}  // namespace sim
