// Connecting, disconnecting and moving reports with VLMHIDInterface over the
// hidraw backend, with scripted node answers and the virtual clock.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <memory>

#include "tests/hidlib/hidraw_bench.h"

namespace {

using hidtest::Bytes;
using hidtest::FixtureDevice;
using hidtest::HidrawBench;
using hidtest::ScriptedNode;
namespace d = hidtest::descriptors;

constexpr uint16_t kLength = 531;

FixtureDevice Usb(uint16_t vendorId, uint16_t productId, Bytes descriptor) {
  FixtureDevice device;
  device.vendorId = vendorId;
  device.productId = productId;
  device.bcdDevice = 0x1205;
  device.name = "Velmar Touchpad";
  device.descriptor = std::move(descriptor);
  return device;
}

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

// hidraw0: a touchpad (feature report 7 in its first collection, a mouse
// second, vendor input 9 / output 10 third); hidraw1: its bootloader
// (feature report 3).
class Connection : public ::testing::Test {
 protected:
  void SetUp() override {
    touchpad = &bench.Attach(
        0, Usb(0x0488, 0x0101,
               d::Join({d::VendorFeature(7), d::Mouse(1), d::VendorInputOutput(9, 10)})));
    bootloader = &bench.Attach(1, Usb(0x0488, 0xD0C0, d::VendorFeature(3)));
    hid = bench.NewInterface();
  }

  HidrawBench bench;
  ScriptedNode* touchpad = nullptr;
  ScriptedNode* bootloader = nullptr;
  std::unique_ptr<VLMHIDInterface> hid;
};

TEST_F(Connection, FeatureReportsCarryTheReportIdInFrontOfTheCallersBytes) {
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 7, kVLMHIDModeFeature), 0);

  const Bytes out = Pattern(kLength, 1);
  ASSERT_EQ(hid->WriteFeatureReport(out.data(), kLength), 0);
  ASSERT_EQ(touchpad->featureSets.size(), 1u);
  Bytes expected = {7};
  expected.insert(expected.end(), out.begin(), out.end());
  EXPECT_EQ(touchpad->featureSets[0], expected);

  touchpad->featureReply = Pattern(kLength + 1, 40);
  touchpad->featureReply[0] = 7;
  Bytes in(kLength, 0);
  ASSERT_EQ(hid->ReadFeatureReport(in.data(), kLength), 0);
  ASSERT_EQ(touchpad->featureGets.size(), 1u);
  EXPECT_EQ(touchpad->featureGets[0].size(), kLength + 1u);
  EXPECT_EQ(touchpad->featureGets[0][0], 7);
  EXPECT_EQ(in, Bytes(touchpad->featureReply.begin() + 1, touchpad->featureReply.end()));
}

TEST_F(Connection, FailedFeatureReadLeavesTheCallersBufferUntouched) {
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0xD0C0, 3, kVLMHIDModeFeature), 0);
  bootloader->failFeature = true;
  Bytes in(kLength, 0xEE);
  EXPECT_EQ(hid->ReadFeatureReport(in.data(), kLength), -1);
  EXPECT_EQ(in, Bytes(kLength, 0xEE));
  EXPECT_EQ(hid->WriteFeatureReport(in.data(), kLength), -1);
}

TEST_F(Connection, AnotherReportIdFailsAndLeavesNothingOpen) {
  EXPECT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 3, kVLMHIDModeFeature), -1);
  EXPECT_EQ(bench.nodes->OpenCount(), 0u);
  EXPECT_EQ(touchpad->openFlags.size(), 3u);  // every collection examined
  Bytes buffer(kLength);
  EXPECT_EQ(hid->ReadFeatureReport(buffer.data(), kLength), -1);
  // The object can still connect afterwards.
  EXPECT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 7, kVLMHIDModeFeature), 0);
}

TEST_F(Connection, WrongIdsOrModeNeverConnect) {
  EXPECT_EQ(hid->ConnectToDevice(0x0488, 0x0102, 7, kVLMHIDModeFeature), -1);
  EXPECT_EQ(hid->ConnectToDevice(0x044E, 0x0101, 7, kVLMHIDModeFeature), -1);
  EXPECT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 7, 3), -1);
  EXPECT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 7, -1), -1);
  // Input and output modes look at their own kind of capability.
  EXPECT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 7, kVLMHIDModeInput), -1);
  EXPECT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 9, kVLMHIDModeOutput), -1);
  EXPECT_EQ(bench.nodes->OpenCount(), 0u);
}

TEST_F(Connection, SecondConnectFailsAndTheFirstKeepsWorking) {
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 7, kVLMHIDModeFeature), 0);
  EXPECT_EQ(hid->ConnectToDevice(0x0488, 0xD0C0, 3, kVLMHIDModeFeature), -1);
  EXPECT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 7, kVLMHIDModeFeature), -1);
  EXPECT_EQ(bench.nodes->OpenCount(), 1u);

  const Bytes out = Pattern(kLength, 9);
  ASSERT_EQ(hid->WriteFeatureReport(out.data(), kLength), 0);
  ASSERT_EQ(touchpad->featureSets.size(), 1u);
  EXPECT_EQ(touchpad->featureSets[0][0], 7);
  EXPECT_TRUE(bootloader->featureSets.empty());
}

TEST_F(Connection, PathTokensMustLieAtOrAfterTheirOffsetsInsideThePath) {
  // "/dev/hidraw0&col01" is 18 characters, the token starts at 12.
  EXPECT_EQ(hid->ConnectToDeviceEx(0x0488, 0x0101, 7, 0, L"&col01", 18, nullptr, 0), -1);
  EXPECT_EQ(hid->ConnectToDeviceEx(0x0488, 0x0101, 7, 0, L"&col01", 500, nullptr, 0), -1);
  EXPECT_EQ(hid->ConnectToDeviceEx(0x0488, 0x0101, 7, 0, L"&col01", 13, nullptr, 0), -1);
  EXPECT_EQ(hid->ConnectToDeviceEx(0x0488, 0x0101, 7, 0, L"&COL01", 0, nullptr, 0), -1);
  EXPECT_EQ(hid->ConnectToDeviceEx(0x0488, 0x0101, 7, 0, L"&col01", 0, L"hidraw0", 12), -1);
  // An empty token is found anywhere inside the path, never beyond it.
  EXPECT_EQ(hid->ConnectToDeviceEx(0x0488, 0x0101, 7, 0, L"", 18, nullptr, 0), -1);
  EXPECT_EQ(bench.nodes->OpenCount(), 0u);
  EXPECT_TRUE(touchpad->openFlags.empty());
  EXPECT_EQ(hid->ConnectToDeviceEx(0x0488, 0x0101, 7, 0, L"", 17, nullptr, 0), 0);
  EXPECT_EQ(hid->DisconnectFromDevice(), 0);

  EXPECT_EQ(hid->ConnectToDeviceEx(0x0488, 0x0101, 7, 0, L"&col01", 12, L"hidraw0", 5), 0);
  EXPECT_EQ(hid->DisconnectFromDevice(), 0);
  // Only the first token is needed; the second is not looked at when null.
  EXPECT_EQ(hid->ConnectToDeviceEx(0x0488, 0x0101, 7, 0, L"&col0", 0, nullptr, 99), 0);
}

TEST_F(Connection, EveryTransferFailsAfterDisconnect) {
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 9, kVLMHIDModeInput), 0);
  EXPECT_EQ(bench.nodes->OpenCount(), 2u);
  EXPECT_EQ(hid->DisconnectFromDevice(), 0);
  EXPECT_EQ(hid->DisconnectFromDevice(), 0);
  EXPECT_EQ(bench.nodes->OpenCount(), 0u);

  touchpad->pendingInputs.push_back(Pattern(65, 9));
  Bytes buffer(64, 0);
  EXPECT_EQ(hid->ReadFeatureReport(buffer.data(), 64), -1);
  EXPECT_EQ(hid->WriteFeatureReport(buffer.data(), 64), -1);
  EXPECT_EQ(hid->ReadInputReport(buffer.data(), 64, 0, 0), -1);
  EXPECT_EQ(hid->WriteOutputReport(buffer.data(), 64, 0, 1), -1);
  EXPECT_TRUE(touchpad->featureGets.empty());
  EXPECT_TRUE(touchpad->readLengths.empty());
  EXPECT_EQ(bench.nodes->badCloses, 0);
}

TEST_F(Connection, NeverConnectedObjectRefusesTransfers) {
  Bytes buffer(8, 0);
  EXPECT_EQ(hid->ReadFeatureReport(buffer.data(), 8), -1);
  EXPECT_EQ(hid->WriteFeatureReport(buffer.data(), 8), -1);
  EXPECT_EQ(hid->ReadInputReport(buffer.data(), 8, 0, 1), -1);
  EXPECT_EQ(hid->WriteOutputReport(buffer.data(), 8, 1, 1), -1);
  EXPECT_EQ(hid->DisconnectFromDevice(), 0);
}

TEST_F(Connection, DestroyingAConnectedObjectClosesItsHandles) {
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 10, kVLMHIDModeOutput), 0);
  EXPECT_EQ(bench.nodes->OpenCount(), 2u);
  hid.reset();
  EXPECT_EQ(bench.nodes->OpenCount(), 0u);
  EXPECT_EQ(bench.nodes->badCloses, 0);
}

TEST_F(Connection, FeatureModeHasNoInputOrOutputButOtherModesKeepFeatures) {
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0xD0C0, 3, kVLMHIDModeFeature), 0);
  Bytes buffer(8, 0);
  bootloader->pendingInputs.push_back(Bytes(9, 3));
  EXPECT_EQ(hid->ReadInputReport(buffer.data(), 8, 100, 0), -1);
  EXPECT_EQ(hid->WriteOutputReport(buffer.data(), 8, 0, 1), -1);
  EXPECT_TRUE(bootloader->writes.empty());
  EXPECT_TRUE(bench.clock.sleeps().empty());
  hid->DisconnectFromDevice();

  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 10, kVLMHIDModeOutput), 0);
  EXPECT_EQ(hid->ReadInputReport(buffer.data(), 8, 100, 0), -1);  // no read handle
  EXPECT_EQ(hid->WriteFeatureReport(buffer.data(), 8), 0);
  EXPECT_EQ(touchpad->featureSets.at(0)[0], 10);
  EXPECT_EQ(touchpad->openFlags.back(), O_WRONLY);
}

TEST_F(Connection, InputModeFailsWhenTheReadHandleCannotBeOpened) {
  touchpad->refuseAccessMode = O_RDONLY;
  EXPECT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 9, kVLMHIDModeInput), -1);
  EXPECT_EQ(bench.nodes->OpenCount(), 0u);
}

TEST_F(Connection, InputReportsArriveWithinTheTimeoutOrNotAtAll) {
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 9, kVLMHIDModeInput), 0);
  Bytes buffer(64, 0xAA);
  EXPECT_EQ(hid->ReadInputReport(buffer.data(), 64, 0, 0), -1);  // nothing waiting
  EXPECT_EQ(buffer, Bytes(64, 0xAA));

  Bytes report = Pattern(65, 5);
  report[0] = 9;
  touchpad->pendingInputs.push_back(report);
  ASSERT_EQ(hid->ReadInputReport(buffer.data(), 64, 250, 0), 0);
  EXPECT_EQ(buffer, Bytes(report.begin() + 1, report.end()));
  EXPECT_EQ(touchpad->pollTimeouts, (std::vector<int>{0, 250}));
  EXPECT_EQ(touchpad->readLengths, std::vector<size_t>{65});

  // No wait at all still takes a report that is already there.
  report[1] ^= 0xFF;
  touchpad->pendingInputs.push_back(report);
  ASSERT_EQ(hid->ReadInputReport(buffer.data(), 64, 0, 0), 0);
  EXPECT_EQ(buffer, Bytes(report.begin() + 1, report.end()));

  touchpad->inputReply = Pattern(65, 77);
  ASSERT_EQ(hid->ReadInputReport(buffer.data(), 64, 0, 1), 0);
  EXPECT_EQ(touchpad->inputGetLengths, std::vector<size_t>{65});
  EXPECT_EQ(buffer, Bytes(touchpad->inputReply.begin() + 1, touchpad->inputReply.end()));
}

TEST_F(Connection, UnnumberedInputReportsAreReadAfterByteZero) {
  bench.Attach(2, Usb(0x044E, 0x0001,
                      {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x09, 0x02, 0x75, 0x08, 0x95, 0x08,
                       0x81, 0x02, 0xC0}));
  ASSERT_EQ(hid->ConnectToDevice(0x044E, 0x0001, 0, kVLMHIDModeInput), 0);
  ScriptedNode& node = bench.nodes->Node("/dev/hidraw2");
  node.pendingInputs.push_back(Pattern(8, 30));
  Bytes buffer(8, 0);
  ASSERT_EQ(hid->ReadInputReport(buffer.data(), 8, 10, 0), 0);
  EXPECT_EQ(node.readLengths, std::vector<size_t>{8});
  EXPECT_EQ(buffer, Pattern(8, 30));
}

TEST_F(Connection, OutputWritesRetryWithPausesOnTheVirtualClock) {
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 10, kVLMHIDModeOutput), 0);
  const Bytes out = Pattern(64, 3);
  touchpad->refuseWrites = -1;
  EXPECT_EQ(hid->WriteOutputReport(out.data(), 64, 0, 3), -1);
  EXPECT_EQ(touchpad->writeAttempts, 3);
  EXPECT_EQ(bench.clock.sleeps(), (std::vector<uint32_t>{100, 100, 100}));

  // At least one attempt, and its pause, with no retries asked for.
  bench.clock.ClearSleeps();
  touchpad->writeAttempts = 0;
  EXPECT_EQ(hid->WriteOutputReport(out.data(), 64, 0, 0), -1);
  EXPECT_EQ(touchpad->writeAttempts, 1);
  EXPECT_EQ(bench.clock.sleeps(), std::vector<uint32_t>{100});

  // Success on the second attempt stops there.
  bench.clock.ClearSleeps();
  touchpad->writeAttempts = 0;
  touchpad->refuseWrites = 1;
  EXPECT_EQ(hid->WriteOutputReport(out.data(), 64, 0, 5), 0);
  EXPECT_EQ(touchpad->writeAttempts, 2);
  EXPECT_EQ(bench.clock.sleeps(), std::vector<uint32_t>{100});
  ASSERT_EQ(touchpad->writes.size(), 1u);
  Bytes expected = {10};
  expected.insert(expected.end(), out.begin(), out.end());
  EXPECT_EQ(touchpad->writes[0], expected);

  // The set-output path is one ioctl, without retries.
  bench.clock.ClearSleeps();
  EXPECT_EQ(hid->WriteOutputReport(out.data(), 64, 1, 5), 0);
  ASSERT_EQ(touchpad->outputSets.size(), 1u);
  EXPECT_EQ(touchpad->outputSets[0], expected);
  EXPECT_TRUE(bench.clock.sleeps().empty());
}

}  // namespace
