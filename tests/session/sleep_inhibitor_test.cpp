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

// logind reads "what" as a colon-separated list: shutdown (poweroff and
// reboot), sleep and idle are all held off, in block mode (a delay lock would
// only postpone them by seconds).
TEST(UpdateInhibitor, HoldsOffShutdownSleepAndIdleWithAReasonNamingTheFirmware) {
  const InhibitorRequest request = UpdateInhibitorRequest();
  std::string what = std::string(":") + request.what + ":";
  for (const char* kind : {":shutdown:", ":sleep:", ":idle:"}) {
    EXPECT_NE(what.find(kind), std::string::npos) << kind;
  }
  EXPECT_STREQ(request.mode, "block");
  EXPECT_STREQ(request.who, "padflash");
  EXPECT_NE(std::string(request.why).find("firmware"), std::string::npos);
}

TEST_F(NoSystemBus, KeepAwakeRequestsFailAndReleaseSucceeds) {
  EXPECT_FALSE(SetInhibitorExecutionState(kEsContinuous | kEsSystemRequired | kEsAwayModeRequired));
  EXPECT_FALSE(SetInhibitorExecutionState(kEsContinuous | kEsSystemRequired | kEsDisplayRequired));
  EXPECT_FALSE(InhibitorHeld());
  EXPECT_TRUE(SetInhibitorExecutionState(kEsContinuous));
  EXPECT_FALSE(InhibitorHeld());
}

}  // namespace
}  // namespace padflash
