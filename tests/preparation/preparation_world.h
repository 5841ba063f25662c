// What a preparation runs in for these tests: a fresh temporary working
// directory (personality files live in the current directory), the recording
// window, the test system port with its virtual clock, a simulated bus and a
// session whose connection objects live on that bus.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "session/session.h"
#include "sim/bus.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_system_port.h"
#include "tools/fwgen/firmware_generator.h"
#include "update/device_list_refresh.h"

namespace padflash::testing {

class TemporaryWorkingDirectory {
 public:
  TemporaryWorkingDirectory() : previous_(std::filesystem::current_path()) {
    path_ = MakeTempFolder("padflash-preparation");
    if (path_.empty()) {
      ADD_FAILURE() << "no temporary folder";
      return;
    }
    std::filesystem::current_path(path_);
  }
  ~TemporaryWorkingDirectory() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TemporaryWorkingDirectory(const TemporaryWorkingDirectory&) = delete;
  TemporaryWorkingDirectory& operator=(const TemporaryWorkingDirectory&) = delete;

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

// A sample package library built with the tests.
inline std::string SamplePackage(const std::string& name) {
  return std::string(PADFLASH_SAMPLE_PACKAGE_DIR) + "/" + name + ".dll";
}

// Copies a sample package library to `to`, making its folder first.
inline void CopySamplePackage(const std::string& name, const std::string& to) {
  const std::filesystem::path target(to);
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path());
  std::filesystem::copy_file(SamplePackage(name), target,
                             std::filesystem::copy_options::overwrite_existing);
}

inline void WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
  std::ofstream file(name, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// Each piece appears in `text`, in this order, each after the one before.
inline ::testing::AssertionResult InOrder(const std::string& text,
                                          std::initializer_list<std::string> pieces) {
  size_t at = 0;
  for (const std::string& piece : pieces) {
    const size_t found = text.find(piece, at);
    if (found == std::string::npos) {
      return ::testing::AssertionFailure()
             << "missing (in order): \"" << piece << "\"\nafter offset " << at << " of:\n"
             << text;
    }
    at = found + piece.size();
  }
  return ::testing::AssertionSuccess();
}

inline bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class PreparationWorld : public ::testing::Test {
 protected:
  // A firmware build that fits a controller, with another revision if wanted.
  static fwgen::FirmwareBuild BuildFor(const sim::ControllerConfig& config, uint8_t revision) {
    fwgen::FirmwareBuild build;
    build.i2c = config.i2c;
    build.chipId = config.chipId;
    build.revision = revision;
    build.vendorId = config.vendorId;
    build.productId = config.productId;
    build.i2cAddress = config.i2cAddress;
    build.hidDescriptorAddress = config.hidDescriptorAddress;
    return build;
  }

  void WriteFirmwareFile(const fwgen::FirmwareBuild& build, const std::string& name = "fw.hex") {
    std::ofstream(name, std::ios::binary) << fwgen::ToIntelHex(fwgen::GenerateFirmware(build));
    session.config.firmwarePath = name;
  }

  // The device list as the window builds it.
  void ListDevices() {
    ASSERT_TRUE(RefreshDeviceList(session));
    ASSERT_FALSE(session.deviceList.empty());
  }

  // The list entry of a controller as it was listed while its firmware ran.
  void ListAsFirmware(const sim::ControllerConfig& config) {
    DeviceListEntry entry;
    entry.vendorId = config.vendorId;
    entry.productId = config.productId;
    entry.versionNumber = static_cast<uint16_t>(config.chipId << 8 | config.revision);
    session.deviceList = {entry};
    session.selectedDevice = 0;
  }

  bool ExecuteHidden() {
    for (const std::string& event : window.events()) {
      if (event == "show 1004 0") return true;
    }
    return false;
  }

  TemporaryWorkingDirectory dir;
  RecordingWindow window;
  TestSystemPort system;
  sim::Bus bus{system.clock()};
  Session session{window, system, [this] { return sim::CreateBusInterface(bus); }};
};

}  // namespace padflash::testing
