// What the engine asks of the operating system: time, named mutexes, power
// status, keeping the computer awake, files, library loading and the UTC
// time. One implementation per platform (platform/posix, platform/win32);
// tests derive from the platform's own (NativeSystemPort) and replace what
// they script.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace padflash {

// A named mutex held by this process; released when destroyed.
class NamedMutex {
 public:
  virtual ~NamedMutex() = default;
};

// A loaded shared library; unloaded when destroyed.
class LoadedLibrary {
 public:
  virtual ~LoadedLibrary() = default;
  // Address of an exported symbol, or null.
  virtual void* Symbol(const char* name) = 0;
  // The platform's own handle of the library: the HMODULE on Windows, the
  // dlopen handle on Linux.
  virtual void* Handle() = 0;
};

// The fields of the platform's system power status that the update uses.
struct PowerStatus {
  uint8_t acLineStatus = 255;    // 0 offline, 1 online, 255 unknown
  uint8_t batteryFlag = 255;     // 1 high, 2 low, 4 critical, 8 charging, 128 none, 255 unknown
  int32_t batteryLifeTime = -1;  // seconds, -1 unknown
};

// Battery flag bits.
inline constexpr uint8_t kBatteryHigh = 1;
inline constexpr uint8_t kBatteryLow = 2;
inline constexpr uint8_t kBatteryCritical = 4;
inline constexpr uint8_t kBatteryCharging = 8;
inline constexpr uint8_t kBatteryNone = 128;
inline constexpr uint8_t kBatteryUnknown = 255;

// Execution-state flags (the values of the Win32 ES_* constants).
inline constexpr uint32_t kEsSystemRequired = 0x00000001;
inline constexpr uint32_t kEsDisplayRequired = 0x00000002;
inline constexpr uint32_t kEsAwayModeRequired = 0x00000040;
inline constexpr uint32_t kEsContinuous = 0x80000000;

struct UtcTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct FoundFile {
  std::string name;  // file name without its directory
  bool isDirectory = false;
};

class SystemPort {
 public:
  virtual ~SystemPort() = default;

  // Time.
  virtual Clock& clock() = 0;
  uint64_t NowMs() { return clock().NowMs(); }
  void SleepMs(uint32_t ms) { clock().SleepMs(ms); }
  virtual UtcTime NowUtc() = 0;

  // Named mutexes ("FennickFWTool", "FennickFWTool_Thread"). Acquire returns
  // null when another holder (this process included) already owns the name.
  virtual std::unique_ptr<NamedMutex> AcquireNamedMutex(const std::string& name) = 0;
  // True when someone holds the name; tests without waiting.
  virtual bool IsNamedMutexHeld(const std::string& name) = 0;

  // Power and sleep.
  virtual bool GetPowerStatus(PowerStatus& status) = 0;
  // Sets the execution state (kEs* flags); false when refused.
  virtual bool SetExecutionState(uint32_t flags) = 0;

  // Files. Paths are the platform's; relative paths are taken from the
  // current working directory.
  // Entries matching a pattern that may hold wildcards, in platform order.
  virtual std::vector<FoundFile> FindFiles(const std::string& pattern) = 0;
  // True when `path` names an existing regular file.
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  // Reads at most maxBytes; false when the file cannot be opened or read.
  virtual bool ReadFileBytes(const std::string& path, size_t maxBytes,
                             std::vector<uint8_t>& out) = 0;
  // Creates a new file (failing when it exists) and writes all bytes
  // durably: written under a temporary name, flushed to the disk, then given
  // its name, so that a crash or a power loss leaves either no file or the
  // whole one, never a short one.
  virtual bool CreateNewFile(const std::string& path, const uint8_t* data, size_t size) = 0;
  // Writes a file as CreateNewFile does, replacing one of that name.
  virtual bool OverwriteFile(const std::string& path, const uint8_t* data, size_t size) = 0;
  // Gives a file another name in its folder; false (nothing changed) when
  // the new name exists.
  virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
  // Creates a folder and the folders above it that are missing, readable
  // by this user only; true when it exists afterwards.
  virtual bool MakeFolder(const std::string& path) = 0;
  // The folder where this user's program state is kept between runs, from
  // whatever folder the program is started ($PADFLASH_STATE_DIR, else
  // $XDG_STATE_HOME/padflash or ~/.local/state/padflash on Linux,
  // %LOCALAPPDATA%\padflash on Windows); empty when there is none. It may
  // not exist yet.
  virtual std::string UserStateFolder() { return {}; }
  // The path separator of the platform's file names.
  virtual char PathSeparator() { return '/'; }
  // The current working folder, where relative paths start; empty when it
  // cannot be told.
  virtual std::string CurrentFolder() = 0;

  // Shared libraries, loaded by full path; null on failure.
  virtual std::unique_ptr<LoadedLibrary> OpenLibrary(const std::string& path) = 0;

  // The last operating-system error code (GetLastError, errno).
  virtual int LastError() = 0;

  // The few messages that go to the process's standard output.
  virtual void WriteStdout(std::string_view text) = 0;

  // Devices. One line telling that attached HID devices of these vendors
  // are hidden because this user may not open them, and how to grant access;
  // empty when there are none (or the platform cannot tell).
  virtual std::string DeviceAccessNotice(const std::vector<uint16_t>& vendorIds) {
    (void)vendorIds;
    return {};
  }
  // Where the HID device of an interface path sits: the port or bus address
  // of the physical device, which stays the same while the controller
  // restarts into its bootloader and back. Empty when the platform cannot
  // tell (a virtual device, a path of another kind).
  virtual std::string DeviceLocation(const std::wstring& devicePath) {
    (void)devicePath;
    return {};
  }
};

}  // namespace padflash
