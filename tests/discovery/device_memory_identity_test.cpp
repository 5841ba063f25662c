// The device identity read from a running controller's memory.
#include <gtest/gtest.h>

#include "firmware/device_identity.h"
#include "session/session.h"
#include "sim/bus.h"
#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"
#include "update/discovery.h"
#include "update/identity_reading.h"

namespace padflash {
namespace {

class DeviceMemoryIdentityTest : public ::testing::Test {
 protected:
  sim::Controller& Connect(bool i2c) {
    sim::ControllerConfig config;
    config.i2c = i2c;
    config.chipId = 0x12;
    config.revision = 0x05;
    sim::Controller& controller = bus.Attach(config);
    session.connection.reset(sim::CreateBusInterface(bus));
    EXPECT_EQ(session.connection->ConnectToDevice(0x0488, 0x0101, 7, 0), 0);
    return controller;
  }

  testing::RecordingWindow window;
  testing::TestSystemPort system;
  sim::Bus bus{system.virtualClock};
  Session session{window, system, [this] { return sim::CreateBusInterface(bus); }};
};

TEST_F(DeviceMemoryIdentityTest, ReadsVersionAndAddressingButNotTheIds) {
  sim::Controller& controller = Connect(true);
  DeviceIdentity& d = session.device;
  d.vendorId = 0x1111;
  d.productId = 0x2222;
  d.reportId = 9;
  ASSERT_EQ(ReadDeviceIdentity(session, d), 0);

  const std::vector<uint8_t> block = controller.ReadRam(kDeviceIdentityBlock, 0x14);
  const std::vector<uint8_t> tag = controller.ReadRam(kDeviceIdentityTag, 10);
  EXPECT_EQ(d.chipId, 0x12);
  EXPECT_EQ(d.firmwareRevision, 0x05);
  EXPECT_EQ(d.i2cAddress, block[0x11]);
  EXPECT_EQ(d.hidDescriptorAddress, block[0x12] | (block[0x13] << 8));
  EXPECT_NE(d.i2cAddress, 0);
  EXPECT_EQ(d.isI2C, 1);
  EXPECT_TRUE(std::equal(tag.begin(), tag.end(), d.firmwareTag.begin()));
  EXPECT_EQ(d.bootloaderI2cAddress, d.i2cAddress);
  EXPECT_EQ(d.bootloaderHidDescriptorAddress, d.hidDescriptorAddress);
  EXPECT_EQ(d.vendorId, 0x1111);
  EXPECT_EQ(d.productId, 0x2222);
  EXPECT_EQ(d.reportId, 9);
  EXPECT_EQ(d.fromDevice, 1);
  EXPECT_EQ(d.fromHexFile, 0);
  EXPECT_EQ(d.fromPackage, 0);
  EXPECT_EQ(window.verbose().rfind("Getting Device Info from Image...\r\n", 0), 0u);
  EXPECT_EQ(window.statusHistory().front(), "Getting Device Info from Image...\r\n");
}

TEST_F(DeviceMemoryIdentityTest, BlockWithoutI2CAddressingMakesAUsbDevice) {
  sim::Controller& controller = Connect(false);
  for (uint32_t offset : {0x11u, 0x12u, 0x13u}) controller.state().ram[offset] = 0;
  session.device.isI2C = 1;
  ASSERT_EQ(ReadDeviceIdentity(session, session.device), 0);
  EXPECT_EQ(session.device.isI2C, 0);
  EXPECT_EQ(session.device.i2cAddress, 0);
  EXPECT_EQ(session.device.hidDescriptorAddress, 0);

  // The HID descriptor address alone is enough for I2C.
  controller.state().ram[0x13] = 0x01;
  ASSERT_EQ(ReadDeviceIdentity(session, session.device), 0);
  EXPECT_EQ(session.device.isI2C, 1);
  EXPECT_EQ(session.device.hidDescriptorAddress, 0x0100);
}

TEST_F(DeviceMemoryIdentityTest, UnreadableMemoryReportsResult6) {
  sim::Controller& controller = Connect(true);
  controller.faults().corruptEveryReadReply = true;
  EXPECT_EQ(ReadDeviceIdentity(session, session.device), -1);
  EXPECT_EQ(session.UpdateResult, 6);
  const std::string verbose = window.verbose();
  const std::string tail = "ERROR - Cannot read memory location\r\n";
  ASSERT_GE(verbose.size(), tail.size());
  EXPECT_EQ(verbose.substr(verbose.size() - tail.size()), tail);
  EXPECT_EQ(session.device.fromDevice, 0);
}

}  // namespace
}  // namespace padflash
