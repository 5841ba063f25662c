// The shared files of the simulated bus on POSIX: flock, rename, O_APPEND.
#include "sim/shared_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {
namespace {

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

int Fd(intptr_t handle) {
  return static_cast<int>(handle);
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
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return ReadOutcome::kMissing;
    error = SystemError("cannot open the state file", path);
    return ReadOutcome::kFailed;
  }
  char buffer[16384];
  ssize_t got = 0;
  while ((got = read(fd, buffer, sizeof buffer)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = SystemError("cannot read the state file", path);
      close(fd);
      return ReadOutcome::kFailed;
    }
    text.append(buffer, static_cast<size_t>(got));
    if (text.size() > maxBytes) {
      close(fd);
      error = "state file " + path + ": larger than a bus of simulated controllers can be";
      return ReadOutcome::kFailed;
    }
  }
  close(fd);
  return ReadOutcome::kRead;
}

bool ReplaceWholeFile(const std::string& path, const std::string& text, std::string& error) {
  const std::string temp = path + ".tmp." + std::to_string(getpid());
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = SystemError("cannot create", temp);
    return false;
  }
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
