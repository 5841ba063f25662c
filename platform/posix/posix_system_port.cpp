#include "platform/posix/posix_system_port.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "platform/posix/hidraw_access.h"
#include "platform/posix/power_supply.h"
#include "platform/posix/sleep_inhibitor.h"

namespace padflash {
namespace {

// A named mutex is an flock on a lock file; the kernel releases it when the
// process dies. flock locks belong to the open file description, so a second
// acquire in the same process conflicts like one from another process.
class FlockMutex final : public NamedMutex {
 public:
  explicit FlockMutex(int fd) : fd_(fd) {}
  ~FlockMutex() override {
    flock(fd_, LOCK_UN);
    close(fd_);
  }

 private:
  int fd_;
};

class DlLibrary final : public LoadedLibrary {
 public:
  explicit DlLibrary(void* handle) : handle_(handle) {}
  ~DlLibrary() override { dlclose(handle_); }
  void* Symbol(const char* name) override { return dlsym(handle_, name); }

 private:
  void* handle_;
};

// A file name against a search pattern as the Windows file search matches
// them: '*' stands for any run of characters, '?' for one; every other
// character, '[', ']' and '\\' included, stands for itself.
bool MatchesPattern(const char* name, const char* pattern) {
  const char* star = nullptr;  // the last '*' met, and where its run ends now
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || *pattern == *name) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

std::string LockPath(const std::string& name) {
  return PosixSystemPort::LockDirectory() + "/" + name + ".lock";
}

}  // namespace

PosixSystemPort::PosixSystemPort() = default;
PosixSystemPort::~PosixSystemPort() = default;

std::string PosixSystemPort::LockDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] != '\0') return runtime;
  return "/tmp";
}

UtcTime PosixSystemPort::NowUtc() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  return UtcTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::unique_ptr<NamedMutex> PosixSystemPort::AcquireNamedMutex(const std::string& name) {
  int fd = open(LockPath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<FlockMutex>(fd);
}

bool PosixSystemPort::IsNamedMutexHeld(const std::string& name) {
  int fd = open(LockPath(name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
  if (!held) flock(fd, LOCK_UN);
  close(fd);
  return held;
}

bool PosixSystemPort::GetPowerStatus(PowerStatus& status) {
  return ReadPowerSupplyStatus(kPowerSupplyRoot, status);
}

bool PosixSystemPort::SetExecutionState(uint32_t flags) {
  return SetInhibitorExecutionState(flags);
}

// The folder is the part of the pattern before its last '/'; wildcards count
// in the name after it only, as in the Windows search. Names come sorted.
std::vector<FoundFile> PosixSystemPort::FindFiles(const std::string& pattern) {
  const size_t slash = pattern.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : pattern.substr(0, slash);
  const std::string namePattern = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  std::vector<FoundFile> found;
  if (namePattern.empty()) return found;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return found;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || !MatchesPattern(name.c_str(), namePattern.c_str())) {
      continue;
    }
    struct stat st {};
    FoundFile file;
    file.name = name;
    // A link counts as what it points to.
    file.isDirectory = stat((folder + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    found.push_back(std::move(file));
  }
  closedir(dir);
  std::sort(found.begin(), found.end(),
            [](const FoundFile& a, const FoundFile& b) { return a.name < b.name; });
  return found;
}

bool PosixSystemPort::FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PosixSystemPort::RemoveFile(const std::string& path) {
  return unlink(path.c_str()) == 0;
}

bool PosixSystemPort::ReadFileBytes(const std::string& path, size_t maxBytes,
                                    std::vector<uint8_t>& out) {
  out.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out.resize(maxBytes);
  size_t total = 0;
  bool ok = true;
  while (total < maxBytes) {
    ssize_t n = read(fd, out.data() + total, maxBytes - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  close(fd);
  out.resize(total);
  return ok;
}

bool PosixSystemPort::CreateNewFile(const std::string& path, const uint8_t* data, size_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t total = 0;
  while (total < size) {
    ssize_t n = write(fd, data + total, size - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    total += static_cast<size_t>(n);
  }
  bool closed = close(fd) == 0;
  return closed && total == size;
}

std::unique_ptr<LoadedLibrary> PosixSystemPort::OpenLibrary(const std::string& path) {
  // dlopen searches the library path for a name without a slash; a package
  // library is always loaded from the file that was chosen.
  std::string full = path.find('/') == std::string::npos ? "./" + path : path;
  void* handle = dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return nullptr;
  return std::make_unique<DlLibrary>(handle);
}

int PosixSystemPort::LastError() {
  return errno;
}

void PosixSystemPort::WriteStdout(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

std::string PosixSystemPort::DeviceAccessNotice(const std::vector<uint16_t>& vendorIds) {
  return HidrawAccessNotice(UnopenableHidrawNodes("/sys", vendorIds));
}

}  // namespace padflash
