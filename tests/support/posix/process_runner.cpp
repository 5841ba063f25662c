// Child processes on POSIX: fork, exec, waitpid.
#include "tests/support/process_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace padflash::testing {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

struct ChildProcess::Platform {
  pid_t pid = -1;
};

ChildProcess::ChildProcess(const std::vector<std::string>& args,
                           const std::filesystem::path& folder,
                           const std::vector<std::string>& environment)
    : platform_(std::make_unique<Platform>()) {
  static int serial = 0;
  ++serial;
  outPath_ = folder / ("process" + std::to_string(serial) + ".out");
  errPath_ = folder / ("process" + std::to_string(serial) + ".err");
  std::vector<std::string> words = args;
  words[0] = NativePath(words[0]);
  std::vector<char*> argv;
  for (const std::string& a : words) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  platform_->pid = fork();
  if (platform_->pid != 0) return;
  // The child: only async-signal-safe work until exec, but for the
  // environment, which is this child's own copy.
  const int in = open("/dev/null", O_RDONLY);
  const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0 || err < 0 || chdir(folder.c_str()) != 0) _exit(126);
  dup2(in, 0);
  dup2(out, 1);
  dup2(err, 2);
  for (const std::string& e : environment) {
    if (e[0] == '-') {
      unsetenv(e.c_str() + 1);
    } else {
      putenv(strdup(e.c_str()));
    }
  }
  execv(argv[0], argv.data());
  _exit(127);
}

ChildProcess::~ChildProcess() {
  if (platform_->pid > 0) {
    kill(platform_->pid, SIGKILL);
    waitpid(platform_->pid, nullptr, 0);
  }
}

bool ChildProcess::Signal(int signal) {
  return platform_->pid > 0 && kill(platform_->pid, signal) == 0;
}

bool ChildProcess::started() const {
  return platform_->pid > 0;
}

ProcessOutcome ChildProcess::Wait(std::chrono::seconds limit) {
  ProcessOutcome outcome;
  if (platform_->pid <= 0) return outcome;
  int wstatus = 0;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  pid_t ended = 0;
  while ((ended = waitpid(platform_->pid, &wstatus, WNOHANG)) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(platform_->pid, SIGKILL);
      waitpid(platform_->pid, nullptr, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (ended == platform_->pid && WIFEXITED(wstatus)) outcome.status = WEXITSTATUS(wstatus);
  platform_->pid = -1;
  outcome.out = ReadAll(outPath_);
  outcome.err = ReadAll(errPath_);
  return outcome;
}

void UseLockFolder(const std::filesystem::path& folder) {
  setenv("PADFLASH_LOCK_DIR", folder.c_str(), 1);
  setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

}  // namespace padflash::testing
