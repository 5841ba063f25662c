#include "platform/posix/sleep_inhibitor.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

#include "platform/system_port.h"

namespace padflash {
namespace {

// Points sd-bus at a system bus that does not exist, for one test.
class NoSystemBus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = getenv("DBUS_SYSTEM_BUS_ADDRESS")) saved_ = old;
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/padflash/system_bus_socket", 1);
  }
  void TearDown() override {
    SetInhibitorExecutionState(kEsContinuous);
    if (saved_) {
      setenv("DBUS_SYSTEM_BUS_ADDRESS", saved_->c_str(), 1);
    } else {
      unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }
  }
  std::optional<std::string> saved_;
};

TEST_F(NoSystemBus, KeepAwakeRequestsFailAndReleaseSucceeds) {
  EXPECT_FALSE(SetInhibitorExecutionState(kEsContinuous | kEsSystemRequired | kEsAwayModeRequired));
  EXPECT_FALSE(SetInhibitorExecutionState(kEsContinuous | kEsSystemRequired | kEsDisplayRequired));
  EXPECT_FALSE(InhibitorHeld());
  EXPECT_TRUE(SetInhibitorExecutionState(kEsContinuous));
  EXPECT_FALSE(InhibitorHeld());
}

}  // namespace
}  // namespace padflash
