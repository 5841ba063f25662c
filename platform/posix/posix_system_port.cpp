#include "platform/posix/posix_system_port.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "platform/posix/device_location.h"
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
  void* Handle() override { return handle_; }

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
  return PosixSystemPort::LockDirectory() + "/padflash-" + name + ".lock";
}

// Opens a lock file for flock (which needs no write access), never through a
// link and never a FIFO or device planted at its name. A missing file is
// created readable by everyone, whatever the umask, so a desktop run and a
// sudo run open the same file. An existing file is opened without O_CREAT:
// in a sticky folder such as /tmp the kernel refuses O_CREAT on another
// user's file (fs.protected_regular), to root too.
int OpenLockFile(const std::string& path, bool create) {
  constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = open(path.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT && create) {
      fd = open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0644);
      if (fd >= 0) fchmod(fd, 0644);
      if (fd < 0 && errno == EEXIST) continue;  // another run made it just now
    }
    if (fd < 0) return -1;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      close(fd);
      return -1;
    }
    return fd;
  }
  return -1;
}

}  // namespace

PosixSystemPort::PosixSystemPort() = default;
PosixSystemPort::~PosixSystemPort() = default;

std::string PosixSystemPort::LockDirectory() {
  const char* chosen = std::getenv("PADFLASH_LOCK_DIR");
  if (chosen != nullptr && chosen[0] != '\0') return chosen;
  // The folder is chosen by what it is, never by who asks: a folder that is
  // writable for root only would send a desktop run elsewhere.
  for (const char* folder : {"/run/lock", "/var/lock"}) {
    struct stat info {};
    if (stat(folder, &info) == 0 && S_ISDIR(info.st_mode) &&
        (info.st_mode & (S_ISVTX | S_IRWXO)) == (S_ISVTX | S_IRWXO)) {
      return folder;
    }
  }
  return "/tmp";
}

std::string PosixSystemPort::RuntimeDirectory() {
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
  const int fd = OpenLockFile(LockPath(name), true);
  if (fd < 0) return nullptr;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<FlockMutex>(fd);
}

bool PosixSystemPort::IsNamedMutexHeld(const std::string& name) {
  const int fd = OpenLockFile(LockPath(name), false);
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

namespace {

// The folder part of a path ("." for a bare name).
std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Flushes a folder's entries, so that a name given to a file survives a
// power loss.
bool SyncFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  close(fd);
  return synced;
}

// Writes every byte to a new file of that name and flushes it to the disk.
// A file left there by a write that was cut short is replaced.
bool WriteFlushed(const std::string& path, const uint8_t* data, size_t size) {
  unlink(path.c_str());
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
  const bool synced = total == size && fsync(fd) == 0;
  const bool closed = close(fd) == 0;
  if (synced && closed) return true;
  unlink(path.c_str());
  return false;
}

// Gives `from` the name `to` unless `to` exists. A hard link does that in
// one step; file systems without links (a FAT stick) get a test and a
// rename, which the session mutex keeps from racing another session.
bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return true;
  }
  if (errno == EEXIST) return false;
  struct stat st {};
  if (lstat(to.c_str(), &st) == 0 || errno != ENOENT) return false;
  return rename(from.c_str(), to.c_str()) == 0;
}

std::string TemporaryName(const std::string& path) {
  return path + ".part";
}

}  // namespace

bool PosixSystemPort::CreateNewFile(const std::string& path, const uint8_t* data, size_t size) {
  if (path.empty() || FileExists(path)) return false;
  const std::string temporary = TemporaryName(path);
  if (!WriteFlushed(temporary, data, size)) return false;
  if (!RenameNoReplace(temporary, path)) {
    unlink(temporary.c_str());
    return false;
  }
  SyncFolder(FolderOf(path));
  return true;
}

bool PosixSystemPort::OverwriteFile(const std::string& path, const uint8_t* data, size_t size) {
  if (path.empty()) return false;
  const std::string temporary = TemporaryName(path);
  if (!WriteFlushed(temporary, data, size)) return false;
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  SyncFolder(FolderOf(path));
  return true;
}

bool PosixSystemPort::RenameFile(const std::string& from, const std::string& to) {
  if (!RenameNoReplace(from, to)) return false;
  SyncFolder(FolderOf(to));
  return true;
}

bool PosixSystemPort::MakeFolder(const std::string& path) {
  if (path.empty()) return false;
  for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
    const std::string part = at == std::string::npos ? path : path.substr(0, at);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (at == std::string::npos) break;
  }
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string PosixSystemPort::CurrentFolder() {
  char folder[4096];
  return getcwd(folder, sizeof folder) != nullptr ? std::string(folder) : std::string();
}

std::string PosixSystemPort::UserStateFolder() {
  auto absolute = [](const char* value) { return value != nullptr && value[0] == '/'; };
  const char* own = std::getenv("PADFLASH_STATE_DIR");
  if (absolute(own)) return own;
  const char* state = std::getenv("XDG_STATE_HOME");
  if (absolute(state)) return std::string(state) + "/padflash";
  const char* home = std::getenv("HOME");
  if (!absolute(home)) {
    const passwd* user = getpwuid(getuid());
    home = user != nullptr ? user->pw_dir : nullptr;
  }
  if (!absolute(home)) return {};
  std::string folder = home;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return (folder == "/" ? std::string() : folder) + "/.local/state/padflash";
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

std::string PosixSystemPort::DeviceLocation(const std::wstring& devicePath) {
  return HidrawDeviceLocation("/sys", "/dev", devicePath);
}

}  // namespace padflash
