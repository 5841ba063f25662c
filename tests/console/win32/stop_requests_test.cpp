// A Ctrl+C that reaches padflash-cli's console while the update session
// holds stop requests off is noted, and the program goes on. (On
// Linux the end-to-end tests send the signals to padflash-cli itself.)
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/console/stop_requests.h"

namespace padflash {
namespace {

// The console's handlers run on a thread of their own, shortly after the
// event was generated.
std::string WaitForDeferred(const StopRequestsDeferred& guard) {
  for (int i = 0; i < 200 && guard.Deferred() == nullptr; ++i) Sleep(25);
  return guard.Deferred() == nullptr ? "(none)" : guard.Deferred();
}

class StopRequestsOnTheConsole : public ::testing::Test {
 protected:
  // A console of this process's own, so that the events reach no other
  // program that shares the test runner's console.
  void SetUp() override {
    FreeConsole();
    ASSERT_TRUE(AllocConsole()) << "AllocConsole failed: " << GetLastError();
  }
  void TearDown() override { FreeConsole(); }
};

// Ctrl+C is the request a console delivers to every program on it (Wine
// refuses to generate Ctrl+Break for process group 0, with error 6).
TEST_F(StopRequestsOnTheConsole, CtrlCIsNotedAndTheProcessGoesOn) {
  {
    StopRequestsDeferred guard;
    EXPECT_EQ(guard.Deferred(), nullptr);
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
    EXPECT_EQ(WaitForDeferred(guard), "Ctrl+C");
  }
  StopRequestsDeferred next;
  EXPECT_EQ(next.Deferred(), nullptr) << "a new session starts with no request";
  ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
  EXPECT_EQ(WaitForDeferred(next), "Ctrl+C");
}

}  // namespace
}  // namespace padflash
