// The lock files that stand for the named mutexes on Linux: one folder for
// the whole computer, shared by every user's runs, never reached through a
// link.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/posix/posix_system_port.h"
#include "tests/support/temp_folder.h"

namespace padflash {
namespace {

constexpr uid_t kNobody = 65534;

// A lock folder like /tmp or /run/lock: open to everyone, sticky.
class LockFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = testing::MakeTempFolder("locks");
    ASSERT_FALSE(folder_.empty());
    ASSERT_EQ(chmod(folder_.c_str(), 01777), 0);
    setenv("PADFLASH_LOCK_DIR", folder_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("PADFLASH_LOCK_DIR");
    std::filesystem::remove_all(folder_);
  }

  // Runs `job` as the user nobody in a child; true when it returned true.
  template <typename Job>
  static bool AsNobody(Job job) {
    const pid_t child = fork();
    if (child == 0) {
      if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(2);
      _exit(job() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  std::filesystem::path folder_;
};

TEST_F(LockFiles, ALockOfOneUserHoldsOffAnotherBothWays) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a second user";
  const mode_t oldMask = umask(077);  // a strict umask must not lock the other user out
  PosixSystemPort system;

  // The sudo run makes the lock file and holds it: the desktop user's run
  // cannot take it.
  std::unique_ptr<NamedMutex> mine = system.AcquireNamedMutex("FennickFWTool");
  ASSERT_NE(mine, nullptr);
  EXPECT_TRUE(AsNobody([] {
    PosixSystemPort own;
    return own.AcquireNamedMutex("FennickFWTool") == nullptr &&
           own.IsNamedMutexHeld("FennickFWTool");
  }));
  mine.reset();

  // Once it has ended the desktop user's run takes the same file and
  // holds it; now the sudo run finds it held.
  int ready[2], go[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(go), 0);
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(2);
    PosixSystemPort own;
    std::unique_ptr<NamedMutex> held = own.AcquireNamedMutex("FennickFWTool");
    char c = held ? 1 : 0;
    (void)!write(ready[1], &c, 1);
    (void)!read(go[0], &c, 1);
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  EXPECT_EQ(c, 1);
  EXPECT_EQ(system.AcquireNamedMutex("FennickFWTool"), nullptr);
  EXPECT_TRUE(system.IsNamedMutexHeld("FennickFWTool"));
  (void)!write(go[1], &c, 1);
  waitpid(child, nullptr, 0);
  EXPECT_NE(system.AcquireNamedMutex("FennickFWTool"), nullptr);
  umask(oldMask);
  for (int fd : {ready[0], ready[1], go[0], go[1]}) close(fd);
}

TEST_F(LockFiles, ALinkAtTheLockNameIsNotFollowed) {
  const std::filesystem::path target = folder_ / "elsewhere";
  std::filesystem::create_symlink(target, folder_ / "padflash-FennickFWTool.lock");
  PosixSystemPort system;
  EXPECT_EQ(system.AcquireNamedMutex("FennickFWTool"), nullptr);
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(LockFiles, EveryUsersRunsChooseTheSameFolder) {
  const char* old = getenv("XDG_RUNTIME_DIR");
  const std::string saved = old != nullptr ? old : "";
  unsetenv("PADFLASH_LOCK_DIR");
  setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
  const std::string desktop = PosixSystemPort::LockDirectory();
  unsetenv("XDG_RUNTIME_DIR");  // as under sudo
  const std::string sudo = PosixSystemPort::LockDirectory();
  if (old != nullptr) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  EXPECT_EQ(sudo, desktop);
  EXPECT_NE(desktop, folder_.string());
}

}  // namespace
}  // namespace padflash
