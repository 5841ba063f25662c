// The system port on Linux and other POSIX systems.
#pragma once

#include <string>

#include "platform/system_port.h"

namespace padflash {

class PosixSystemPort : public SystemPort {
 public:
  PosixSystemPort();
  ~PosixSystemPort() override;

  Clock& clock() override { return clock_; }
  UtcTime NowUtc() override;

  std::unique_ptr<NamedMutex> AcquireNamedMutex(const std::string& name) override;
  bool IsNamedMutexHeld(const std::string& name) override;

  bool GetPowerStatus(PowerStatus& status) override;
  bool SetExecutionState(uint32_t flags) override;

  std::vector<FoundFile> FindFiles(const std::string& pattern) override;
  bool FileExists(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool ReadFileBytes(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out) override;
  bool CreateNewFile(const std::string& path, const uint8_t* data, size_t size) override;
  bool OverwriteFile(const std::string& path, const uint8_t* data, size_t size) override;
  bool RenameFile(const std::string& from, const std::string& to) override;
  bool MakeFolder(const std::string& path) override;
  std::string UserStateFolder() override;
  std::string CurrentFolder() override;

  std::unique_ptr<LoadedLibrary> OpenLibrary(const std::string& path) override;
  int LastError() override;
  void WriteStdout(std::string_view text) override;
  // Scans the hidraw nodes in /sys/class/hidraw (hidraw_access.h).
  std::string DeviceAccessNotice(const std::vector<uint16_t>& vendorIds) override;
  // The USB device or I2C client above a hidraw node (device_location.h).
  std::string DeviceLocation(const std::wstring& devicePath) override;

  // Folder of the lock files that stand for named mutexes
  // ("padflash-<name>.lock"), one for the whole computer so that every user's
  // runs (a desktop run and a sudo run) take the same locks:
  // $PADFLASH_LOCK_DIR when set, else /run/lock or /var/lock when it is a
  // sticky folder open to everyone, else /tmp.
  static std::string LockDirectory();
  // The user's own runtime folder (the single-instance socket):
  // $XDG_RUNTIME_DIR, else /tmp.
  static std::string RuntimeDirectory();

 private:
  RealClock clock_;
};

}  // namespace padflash
