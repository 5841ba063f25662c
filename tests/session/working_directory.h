// A fresh temporary folder as the current working directory for one test,
// since personality files live in the current directory. The previous
// directory comes back and the folder goes away afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "session/personality_record.h"
#include "tests/support/temp_folder.h"

namespace padflash::testing {

class WorkingDirectory {
 public:
  WorkingDirectory() {
    previous_ = std::filesystem::current_path();
    path_ = MakeTempFolder("padflash-session");
    if (!path_.empty()) std::filesystem::current_path(path_);
  }
  ~WorkingDirectory() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

  static void WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream file(name, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  // The unit record that says a personality file was saved from the
  // controller showing `serial`.
  static void WriteUnitRecord(const std::string& name, const std::string& serial) {
    PersonalityRecord record;
    record.unit.serial = serial;
    const std::string text = EncodeRecord(record);
    WriteFile(RecordPathFor(name), std::vector<uint8_t>(text.begin(), text.end()));
  }
  static std::vector<uint8_t> ReadFile(const std::string& name) {
    std::ifstream file(name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
  }
  // The sf*.mem files present, sorted.
  std::vector<std::string> PersonalityFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      const std::string name = entry.path().filename().string();
      if (entry.is_regular_file() && name.rfind("sf", 0) == 0 && name.size() > 4 &&
          name.substr(name.size() - 4) == ".mem") {
        names.push_back(name);
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

}  // namespace padflash::testing
