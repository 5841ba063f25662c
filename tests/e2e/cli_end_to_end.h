// The end-to-end cases' fixture: padflash-cli run as a separate process
// through the padflash-sim launcher (a shell script on Linux,
// padflash-sim.cmd in sim-bin on Windows), against the simulated VLMHID
// library and a state file in a fresh folder, with controllers made by
// vlmsim and firmware images made by padflash-fwgen.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/process_runner.h"
#include "tests/support/temp_folder.h"

namespace e2e {

namespace fs = std::filesystem;
using padflash::testing::ProcessOutcome;
using Outcome = ProcessOutcome;

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The value of one "name:   value" line of `vlmsim show`.
inline std::string Field(const std::string& show, const std::string& name) {
  for (const std::string& line : Lines(show)) {
    if (line.rfind(name + ":", 0) != 0) continue;
    const size_t value = line.find_first_not_of(' ', name.size() + 1);
    return value == std::string::npos ? std::string() : line.substr(value);
  }
  return "(no " + name + " line)";
}

inline size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Runs a program in `folder` (no terminal: questions take the safe
// answer), with no simulator settings inherited from the test's caller. A
// program that hangs is killed after ten minutes and the case fails.
inline Outcome RunProcess(const std::vector<std::string>& args, const fs::path& folder) {
  Outcome outcome = padflash::testing::RunProcess(
      args, folder, {"-VLMHID_SIM_STATE", "-VLMHID_SIM_TRACE", "-PADFLASH_STATE_DIR"});
  if (outcome.status == -1) ADD_FAILURE() << args[0] << " did not end; killed";
  return outcome;
}

inline std::string Describe(const Outcome& o) {
  return "status " + std::to_string(o.status) + "\n--- stdout\n" + o.out + "\n--- stderr\n" + o.err;
}

class CliEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    // The launcher finds the simulated library there.
    ASSERT_TRUE(fs::exists(SIM_LIBRARY)) << SIM_LIBRARY;
    folder = padflash::testing::MakeTempFolder("padflash-e2e");
    ASSERT_FALSE(folder.empty());
    // The programs' single-instance lock is this case's own.
    padflash::testing::UseLockFolder(folder);
    state = folder / "bus.json";
    trace = folder / "trace.txt";
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(folder);
  }

  Outcome Vlmsim(std::vector<std::string> args) {
    args.insert(args.begin(), {VLMSIM, "--state", state.string()});
    return RunProcess(args, folder);
  }
  // Attaches a controller; returns its serial.
  std::string Attach(std::vector<std::string> options) {
    options.insert(options.begin(), "attach");
    const Outcome o = Vlmsim(options);
    EXPECT_EQ(o.status, 0) << Describe(o);
    std::string serial = o.out;
    while (!serial.empty() && (serial.back() == '\n' || serial.back() == ' ')) serial.pop_back();
    return serial;
  }
  Outcome Show(const std::string& serial) { return Vlmsim({"show", serial}); }
  // Writes a USB image for chip 0x12 with the given revision.
  std::string Firmware(const std::string& revision, const std::string& name) {
    const std::string path = (folder / name).string();
    const Outcome o = RunProcess({FWGEN, "--rev", revision, "-o", path}, folder);
    EXPECT_EQ(o.status, 0) << Describe(o);
    return path;
  }
  Outcome Cli(std::vector<std::string> args) { return CliIn(folder, std::move(args)); }
  // padflash-cli started in another working folder, on the same bus.
  Outcome CliIn(const fs::path& workingFolder, std::vector<std::string> args) {
    args.insert(args.begin(), {PADFLASH_SIM, "--state", state.string(), "--trace", trace.string(),
                               "padflash-cli"});
    return RunProcess(args, workingFolder);
  }
  // The factory comp table in a controller's flash, as vlmsim dumps it.
  std::string CompTable(const std::string& serial) {
    const Outcome dump = Vlmsim({"read", serial, "0x0800FC00", "480"});
    EXPECT_EQ(dump.status, 0) << Describe(dump);
    return dump.out;
  }
  // The personality files (sf*.mem) of the working folder, or another.
  std::vector<std::string> PersonalityFiles() { return PersonalityFilesIn(folder); }
  static std::vector<std::string> PersonalityFilesIn(const fs::path& where) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(where)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("sf", 0) == 0 && entry.path().extension() == ".mem") names.push_back(name);
    }
    return names;
  }

  fs::path folder, state, trace;
};

}  // namespace e2e
