// Runs a built program as a separate process, the way a user or a
// deployment tool starts it: standard input from the null device, standard
// output and error captured, a working folder of its own, and the whole
// exit code. One implementation per platform (tests/support/posix,
// tests/support/win32), chosen by CMake.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace padflash::testing {

struct ProcessOutcome {
  // The exit code: on Windows the whole 32-bit value as GetExitCodeProcess
  // reads it (3010, or 4294967295 for -1), on Linux the 8-bit status; -1
  // when the program did not end by itself.
  int64_t status = -1;
  // What it wrote, line ends read as "\n" (a Windows program's standard
  // streams are in text mode, which writes "\r\n").
  std::string out;
  std::string err;
};

// `path` made absolute in this process's terms, with the platform's
// separators: a build path such as "/work/build/bin/vlmsim.exe" names
// Z:\work\... for a Windows program whose working folder is on C:.
std::string NativePath(const std::string& path);

class ChildProcess {
 public:
  // Starts args[0] (taken as NativePath) with the other words as its
  // arguments, in `folder`,
  // where its output is captured. `environment` changes this process's
  // environment for the child: "NAME=value" sets, "-NAME" removes.
  ChildProcess(const std::vector<std::string>& args, const std::filesystem::path& folder,
               const std::vector<std::string>& environment = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const;
  // Waits for the end; a program still running after `limit` is killed (its
  // status stays -1).
  ProcessOutcome Wait(std::chrono::seconds limit = std::chrono::minutes(10));
#ifndef _WIN32
  // Sends a signal to the running program (true when it was sent).
  bool Signal(int signal);
#endif
  // Where its standard output is captured while it runs.
  const std::filesystem::path& outPath() const {
    return outPath_;
  }

 private:
  struct Platform;
  std::unique_ptr<Platform> platform_;
  std::filesystem::path outPath_;
  std::filesystem::path errPath_;
};

inline ProcessOutcome RunProcess(const std::vector<std::string>& args,
                                 const std::filesystem::path& folder,
                                 const std::vector<std::string>& environment = {}) {
  return ChildProcess(args, folder, environment).Wait();
}

// Named locks (the programs' single-instance lock "FennickFWTool" and the
// session's) of this process and of the programs it starts live in
// `folder` from now on, so that tests running side by side do not meet
// there. On Windows named mutexes are one per session whatever is set:
// tests that take them are never run side by side (CTest RESOURCE_LOCK).
void UseLockFolder(const std::filesystem::path& folder);

inline std::string NativePath(const std::string& path) {
  return std::filesystem::absolute(path).make_preferred().string();
}

}  // namespace padflash::testing
