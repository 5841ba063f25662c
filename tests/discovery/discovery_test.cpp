// Finding the controller on the simulated bus under its own IDs or as its
// bootloader, with the virtual clock.
#include <gtest/gtest.h>

#include <string>

#include "session/output.h"
#include "session/session.h"
#include "sim/bus.h"
#include "tests/support/forwarding_interface.h"
#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"
#include "update/discovery.h"

namespace padflash {
namespace {

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A connection whose feature reads all fail; everything else is the bus's.
class ReadsFail : public testing::ForwardingInterface {
 public:
  using ForwardingInterface::ForwardingInterface;
  int ReadFeatureReport(uint8_t*, uint16_t) override { return -1; }
};

class DiscoveryTest : public ::testing::Test {
 protected:
  sim::Controller& Attach(bool i2c, bool inBootloader, uint8_t bootloaderVersion = 5) {
    sim::ControllerConfig config;
    config.i2c = i2c;
    config.inBootloader = inBootloader;
    config.bootloaderVersion = bootloaderVersion;
    return bus.Attach(config);
  }

  // What the preparation flow does around the discovery: a fresh connection
  // object, the device's IDs, "Connecting .".
  DiscoveryOutcome Discover(uint16_t vendorId, uint16_t productId, bool i2c,
                            DiscoveryCaller caller = DiscoveryCaller::kPreparation) {
    if (caller == DiscoveryCaller::kPreparation) BeginDeviceConnection(session);
    session.device.vendorId = vendorId;
    session.device.productId = productId;
    session.device.isI2C = i2c ? 1 : 0;
    Print(session, "Connecting .");
    start = system.NowMs();
    before = window.verbose().size();
    return DiscoverDevice(session, caller);
  }

  // Output of the discovery itself, after "Connecting .".
  std::string Output() { return window.verbose().substr(before); }
  uint64_t Elapsed() { return system.NowMs() - start; }

  testing::RecordingWindow window;
  testing::TestSystemPort system;
  sim::Bus bus{system.virtualClock};
  Session session{window, system, [this] { return sim::CreateBusInterface(bus); }};
  uint64_t start = 0;
  size_t before = 0;
};

TEST_F(DiscoveryTest, DeviceAnsweringUnderItsOwnIdsIsFoundInTheFirstPass) {
  Attach(false, false);
  ASSERT_EQ(Discover(0x0488, 0x0101, false), DiscoveryOutcome::kDeviceFound);

  const std::string out = Output();
  const std::string found =
      "\r\nUsing the following IDs -  Vendor: 0x488       Attempt: 0\r\n"
      "                           Product: 0x101\r\n"
      " Device found\r\n";
  ASSERT_EQ(out.rfind(found, 0), 0u) << out;
  EXPECT_EQ(Count(out, "Using the following IDs"), 1u);
  EXPECT_EQ(Count(out, "Bootloader IDs"), 0u);
  // The status read follows, answered by the running firmware.
  const std::string status = out.substr(found.size());
  EXPECT_EQ(status.rfind("Getting Bootloader status. ", 0), 0u) << status;
  EXPECT_NE(status.find("(Valid - Aquired via Image Access)\r\n"), std::string::npos);
  EXPECT_TRUE(EndsWith(out, "Done\r\n"));

  // One second of waiting before the connect, then the status read's short
  // pause.
  EXPECT_GE(Elapsed(), 1000u);
  EXPECT_LT(Elapsed(), 1100u);
  EXPECT_EQ(system.virtualClock.sleeps().front(), 1000u);

  EXPECT_TRUE(session.deviceConnected);
  EXPECT_FALSE(session.bootloaderMode);
  EXPECT_FALSE(session.retryAdvised);
  EXPECT_TRUE(session.readConfigFromDevice);
  EXPECT_TRUE(session.preserveFactoryConfig);
  EXPECT_FALSE(session.config.overrideCompatibility);
  EXPECT_EQ(session.UpdateResult, 0);
  auto statuses = window.statusHistory();
  ASSERT_GE(statuses.size(), 2u);
  EXPECT_EQ(statuses[0], "Connecting to the device...\r\n");
  EXPECT_EQ(statuses[1], " Device found\r\n");
  EXPECT_EQ(window.verbose().rfind("Connecting to the device...\r\nConnecting .", 0), 0u);
}

TEST_F(DiscoveryTest, BootloaderOnlyIsConnectedInTheSecondHalfOfThePass) {
  Attach(false, true);
  ASSERT_EQ(Discover(0x0488, 0x0101, false), DiscoveryOutcome::kBootloaderFound);

  const std::string out = Output();
  const std::string pass =
      "\r\nUsing the following IDs -  Vendor: 0x488       Attempt: 0\r\n"
      "                           Product: 0x101\r\n"
      " .Looking for Bootloader\r\n"
      "     Trying the following Bootloader IDs -  Vendor: 0x488\r\n"
      "                                            Product: 0xD0C0\r\n"
      " Bootloader connected\r\n";
  ASSERT_EQ(out.rfind(pass, 0), 0u) << out;
  EXPECT_NE(out.find("(Valid - Aquired via Bootloader Access)\r\n"), std::string::npos);
  // Once from the loop, once from the status read.
  EXPECT_EQ(Count(out, " Bootloader connected\r\n"), 2u);
  EXPECT_TRUE(EndsWith(out, " Bootloader connected\r\nDone\r\n")) << out;
  EXPECT_GE(Elapsed(), 2000u);
  EXPECT_LT(Elapsed(), 2100u);

  EXPECT_TRUE(session.config.overrideCompatibility);
  EXPECT_TRUE(session.bootloaderMode);
  EXPECT_TRUE(session.retryAdvised);
  EXPECT_FALSE(session.readConfigFromDevice);
  EXPECT_FALSE(session.preserveFactoryConfig);
  EXPECT_TRUE(session.deviceConnected);
  EXPECT_EQ(session.UpdateResult, 0);
}

TEST_F(DiscoveryTest, UpdateSessionRunReusesTheConnectionAndLeavesTheLineOpen) {
  Attach(false, true);
  ASSERT_EQ(Discover(0x0488, 0x0101, false), DiscoveryOutcome::kBootloaderFound);
  VirtualVLMHIDInterface* object = session.connection.get();

  // The session runs it again on the same object, still connected.
  ASSERT_EQ(Discover(0x0488, 0x0101, false, DiscoveryCaller::kUpdateSession),
            DiscoveryOutcome::kBootloaderFound);
  EXPECT_EQ(session.connection.get(), object);
  const std::string out = Output();
  EXPECT_EQ(Count(out, " Bootloader connected\r\n"), 1u);
  EXPECT_TRUE(EndsWith(out, " Bootloader connectedDone\r\n")) << out;
  EXPECT_TRUE(session.deviceConnected);
}

TEST_F(DiscoveryTest, SecondDiscoveryClosesTheFirstConnection) {
  Attach(false, false);
  ASSERT_EQ(Discover(0x0488, 0x0101, false), DiscoveryOutcome::kDeviceFound);
  // Without the disconnect at the top of the pass the still-open object
  // would refuse the connect.
  ASSERT_EQ(Discover(0x0488, 0x0101, false, DiscoveryCaller::kUpdateSession),
            DiscoveryOutcome::kDeviceFound);
  EXPECT_EQ(Count(Output(), "Attempt: 0"), 1u);
  EXPECT_EQ(Count(Output(), "Attempt: 1"), 0u);
}

TEST_F(DiscoveryTest, DeviceListedUnderTheBootloaderIdsIsFoundByTheFirstConnect) {
  Attach(false, true);
  ASSERT_EQ(Discover(0x0488, 0xD0C0, false), DiscoveryOutcome::kDeviceFound);
  const std::string out = Output();
  EXPECT_NE(out.find(" Device found\r\n"), std::string::npos);
  EXPECT_EQ(Count(out, " Bootloader connected\r\n"), 1u);  // the status read's
  EXPECT_TRUE(session.bootloaderMode);
  EXPECT_TRUE(session.config.overrideCompatibility);
}

TEST_F(DiscoveryTest, MinimumBootloaderVersionIsFourForI2CAndTwoForUSB) {
  struct Case {
    bool i2c;
    uint8_t version;
    bool accepted;
  };
  const Case cases[] = {
      {true, 3, false}, {true, 4, true}, {false, 3, true}, {false, 2, true}, {false, 1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.i2c ? "I2C" : "USB") + " version " + std::to_string(c.version));
    testing::RecordingWindow caseWindow;
    testing::TestSystemPort caseSystem;
    sim::Bus caseBus(caseSystem.virtualClock);
    sim::ControllerConfig config;
    config.i2c = c.i2c;
    config.bootloaderVersion = c.version;
    caseBus.Attach(config);
    Session s(caseWindow, caseSystem, [&] { return sim::CreateBusInterface(caseBus); });
    BeginDeviceConnection(s);
    s.device.vendorId = 0x0488;
    s.device.productId = 0x0101;
    s.device.isI2C = c.i2c ? 1 : 0;

    DiscoveryOutcome outcome = DiscoverDevice(s);
    if (c.accepted) {
      EXPECT_EQ(outcome, DiscoveryOutcome::kDeviceFound);
      EXPECT_TRUE(caseWindow.messageBoxes().empty());
      EXPECT_TRUE(s.deviceConnected);
      continue;
    }
    EXPECT_EQ(outcome, DiscoveryOutcome::kFailed);
    EXPECT_EQ(s.UpdateResult, 17);
    EXPECT_TRUE(s.retryAdvised);
    EXPECT_FALSE(s.deviceConnected);
    EXPECT_TRUE(EndsWith(caseWindow.verbose(), "Outdated Bootloader Version\r\n"));
    EXPECT_EQ(caseWindow.status(), "Outdated Bootloader Version\r\n");
    auto boxes = caseWindow.messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Outdated Bootloader Version");
    EXPECT_EQ(boxes[0].text,
              "The version of the bootloader in this device is outdated. A fix can be provided "
              "to update the fw bootloader.");
    EXPECT_EQ(boxes[0].buttons, MessageButtons::kOk);
    EXPECT_TRUE(boxes[0].owned);
  }
}

TEST_F(DiscoveryTest, NothingAttachedGivesUpAfterTwentyNumberedPasses) {
  ASSERT_EQ(Discover(0x0488, 0x0101, false), DiscoveryOutcome::kFailed);
  const std::string out = Output();
  EXPECT_EQ(Count(out, "Using the following IDs"), 20u);
  EXPECT_EQ(Count(out, "Trying the following Bootloader IDs"), 20u);
  for (int pass = 0; pass < 20; ++pass) {
    EXPECT_NE(out.find("       Attempt: " + std::to_string(pass) + "\r\n"), std::string::npos)
        << pass;
  }
  EXPECT_EQ(out.find("Attempt: 20"), std::string::npos);
  EXPECT_TRUE(EndsWith(out,
                       "                                            Product: 0xD0C0\r\n .ERROR "
                       "unable to connect to device - device not present in Device Manager\r\n"
                       " - Initial connect could not find Device or Bootloader after 20 "
                       "attempts\r\n"))
      << out;
  EXPECT_EQ(window.status(),
            "ERROR unable to connect to device - device not present in Device Manager\r\n");
  EXPECT_EQ(Elapsed(), 40000u);
  EXPECT_EQ(system.virtualClock.sleeps().size(), 40u);
  EXPECT_EQ(session.UpdateResult, 17);
  EXPECT_TRUE(session.retryAdvised);
  EXPECT_FALSE(session.deviceConnected);
  EXPECT_FALSE(session.bootloaderMode);
}

TEST_F(DiscoveryTest, UnreadableStatusFailsTheDiscovery) {
  Attach(false, false);
  Session failing(window, system, [this] { return new ReadsFail(sim::CreateBusInterface(bus)); });
  BeginDeviceConnection(failing);
  failing.device.vendorId = 0x0488;
  failing.device.productId = 0x0101;
  EXPECT_EQ(DiscoverDevice(failing), DiscoveryOutcome::kFailed);
  EXPECT_TRUE(EndsWith(window.verbose(), "ERROR connecting to Bootloader\r\n"));
  EXPECT_EQ(window.status(), "ERROR connecting to Bootloader\r\n");
  EXPECT_EQ(failing.UpdateResult, 17);
  EXPECT_TRUE(failing.retryAdvised);
  EXPECT_FALSE(failing.deviceConnected);
}

TEST_F(DiscoveryTest, NoConnectionObjectFailsAtOnce) {
  EXPECT_EQ(DiscoverDevice(session), DiscoveryOutcome::kFailed);
  EXPECT_EQ(session.UpdateResult, 17);
  EXPECT_TRUE(system.virtualClock.sleeps().empty());
}

}  // namespace
}  // namespace padflash
