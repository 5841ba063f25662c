// What the reliability cases share: a technician who answers the program's
// questions, a system port whose UTC time runs with the virtual clock, and
// the firmware they install.
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"
#include "tools/fwgen/firmware_generator.h"

namespace padflash::reliability {

inline constexpr uint8_t kNewRevision = 0x06;

// Answers as a careful technician would: yes to the ID questions of a
// controller found as its bootloader and to installing the newer revision;
// no to removing a personality file, which may hold the only copy of a
// calibration, to programming the defaults over a calibration and to
// writing saved settings over a controller's own. Asked whether a file of
// unknown controller is this one's, the technician, who knows which laptop
// the file came from, answers by `knows` (by default: yes).
class TechnicianWindow final : public testing::RecordingWindow {
 public:
  std::function<bool(std::string_view text)> knows = [](std::string_view) { return true; };

  MessageAnswer ShowMessageBox(std::string_view text, std::string_view caption,
                               MessageButtons buttons, bool owned) override {
    if (buttons == MessageButtons::kYesNo) {
      bool yes = true;
      if (caption == "Incompatible Personality File Found" ||
          caption == "No Saved Factory Settings" || caption == "Saved Factory Settings Differ") {
        yes = false;
      } else if (caption == "Personality File of Unknown Controller") {
        yes = knows(text);
      }
      QueueAnswer(yes ? MessageAnswer::kYes : MessageAnswer::kNo);
    }
    return RecordingWindow::ShowMessageBox(text, caption, buttons, owned);
  }
};

// The test system port whose UTC time runs with the virtual clock, so two
// personality files saved a minute apart get different names. The
// computer's clock can be set back (`setBackS` seconds, less than a day
// from the start), and writing files can fail as on a full disk (ENOSPC) or
// in a read-only folder (EACCES): `refuseWrites`.
class ClockedSystemPort final : public testing::TestSystemPort {
 public:
  uint64_t setBackS = 0;
  int refuseWrites = 0;

  bool CreateNewFile(const std::string& path, const uint8_t* data, size_t size) override {
    if (refuseWrites != 0) return Refuse();
    return TestSystemPort::CreateNewFile(path, data, size);
  }
  bool OverwriteFile(const std::string& path, const uint8_t* data, size_t size) override {
    if (refuseWrites != 0) return Refuse();
    return TestSystemPort::OverwriteFile(path, data, size);
  }

  UtcTime NowUtc() override {
    uint64_t s = 86400 + virtualClock.NowMs() / 1000 - setBackS;
    UtcTime t = utcNow;
    t.second = static_cast<int>(s % 60);
    t.minute = static_cast<int>(s / 60 % 60);
    t.hour = static_cast<int>(s / 3600 % 24);
    t.day = 1 + static_cast<int>(s / 86400 % 28);
    return t;
  }

 private:
  bool Refuse() {
    errno = refuseWrites;
    return false;
  }
};

inline std::string FirmwareText(bool i2c) {
  fwgen::FirmwareBuild build;
  build.i2c = i2c;
  build.revision = kNewRevision;
  build.codeBytes = 0x1000;
  return fwgen::ToIntelHex(fwgen::GenerateFirmware(build));
}

}  // namespace padflash::reliability
