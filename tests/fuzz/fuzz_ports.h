// The ports a fuzz target runs the engine on: a window that records nothing
// and answers every question No, a system whose files live in memory, whose
// clock never waits and whose one shared library is made of the functions a
// target hands it; and a HID library with no device, for a target to give
// the reports it fuzzes.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/system_port.h"
#include "platform/window_port.h"
#include "session/session.h"

namespace padflash::fuzz {

class NullWindow final : public WindowPort {
 public:
  void AppendText(int, std::string_view) override {}
  void SetText(int, std::string_view) override {}
  std::string GetText(int) override { return {}; }
  void Show(int, bool) override {}
  bool IsVisible(int) override { return false; }
  void Enable(int, bool) override {}
  void SetProgressRange(int, int, int) override {}
  void SetProgressPos(int, int) override {}
  void SetProgressStep(int, int) override {}
  void StepProgress(int) override {}
  void SetProgressBarColor(int, uint32_t) override {}
  void SetMarquee(int, bool) override {}
  int GetLineCount(int) override { return 0; }
  void DeleteLeadingChars(int, int) override {}
  void ComboClear(int) override {}
  void ComboAddItem(int, std::string_view) override {}
  void ComboSelect(int, int) override {}
  void ComboSetDroppedWidth(int, int) override {}
  void ResizeDialogHeight(int) override {}
  MessageAnswer ShowMessageBox(std::string_view, std::string_view, MessageButtons buttons,
                               bool) override {
    return buttons == MessageButtons::kOk ? MessageAnswer::kOk : MessageAnswer::kNo;
  }
};

class InstantClock final : public Clock {
 public:
  uint64_t NowMs() override { return now_; }
  void SleepMs(uint32_t ms) override { now_ += ms; }

 private:
  uint64_t now_ = 0;
};

class MemorySystemPort final : public SystemPort {
 public:
  Clock& clock() override { return clock_; }
  UtcTime NowUtc() override { return {2015, 8, 11, 10, 10, 10}; }
  std::unique_ptr<NamedMutex> AcquireNamedMutex(const std::string&) override;
  bool IsNamedMutexHeld(const std::string&) override { return false; }
  bool GetPowerStatus(PowerStatus&) override { return false; }
  bool SetExecutionState(uint32_t) override { return true; }
  // Every file: the fuzz world is one folder of a few files.
  std::vector<FoundFile> FindFiles(const std::string&) override;
  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  bool RemoveFile(const std::string& path) override { return files.erase(path) != 0; }
  bool ReadFileBytes(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out) override;
  bool CreateNewFile(const std::string& path, const uint8_t* data, size_t size) override;
  bool OverwriteFile(const std::string& path, const uint8_t* data, size_t size) override {
    files[path].assign(data, data + size);
    return true;
  }
  bool RenameFile(const std::string& from, const std::string& to) override;
  bool MakeFolder(const std::string&) override { return true; }
  std::string CurrentFolder() override { return "."; }
  // The library's exports, by name; a name not in the table is missing.
  std::unique_ptr<LoadedLibrary> OpenLibrary(const std::string& path) override;
  int LastError() override { return 0; }
  void WriteStdout(std::string_view) override {}

  std::map<std::string, std::vector<uint8_t>> files;
  std::map<std::string, void*> libraryExports;

 private:
  InstantClock clock_;
};

// A session over the two ports, with no connection object factory.
struct World {
  NullWindow window;
  MemorySystemPort system;
  Session session{window, system, nullptr};
};

// Lists nothing, connects to nothing, moves no report.
class NoDeviceLibrary : public VirtualVLMHIDInterface {
 public:
  int EnumDevices(const DeviceFilter*, int, DeviceEntry*, int* count, int*) override {
    if (count != nullptr) *count = 0;
    return 0;
  }
  int EnumDevicesEx(const uint16_t*, int, const uint16_t*, int, const uint16_t*, int, DeviceEntry*,
                    int* count, int*) override {
    if (count != nullptr) *count = 0;
    return 0;
  }
  int ConnectToDevice(uint16_t, uint16_t, uint8_t, int) override { return -1; }
  int ConnectToDeviceEx(uint16_t, uint16_t, uint8_t, int, const wchar_t*, uint32_t, const wchar_t*,
                        uint32_t) override {
    return -1;
  }
  int DisconnectFromDevice() override { return 0; }
  int WriteOutputReport(const uint8_t*, uint16_t, int, int) override { return -1; }
  int ReadInputReport(uint8_t*, uint16_t, int, int) override { return -1; }
  int WriteFeatureReport(const uint8_t*, uint16_t) override { return -1; }
  int ReadFeatureReport(uint8_t*, uint16_t) override { return -1; }
};

}  // namespace padflash::fuzz
