// The device list against the simulated bus.
#include "update/device_list_refresh.h"

#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "session/session.h"
#include "sim/bus.h"
#include "tests/support/forwarding_interface.h"
#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"

namespace padflash {
namespace {

// A bus connection object that lets a test change the bus between the two
// enumeration passes of a refresh.
class BetweenPassesInterface : public testing::ForwardingInterface {
 public:
  // What each EnumDevices call was given.
  struct Call {
    bool withEntries;
    int count;
    int maxPathBytes;
  };

  BetweenPassesInterface(VirtualVLMHIDInterface* inner, std::function<void()> betweenPasses,
                         std::vector<Call>& record)
      : ForwardingInterface(inner), calls(record), betweenPasses_(std::move(betweenPasses)) {}
  int EnumDevices(const DeviceFilter* filters, int filterCount, DeviceEntry* entries, int* count,
                  int* maxPathBytes) override {
    calls.push_back({entries != nullptr, *count, *maxPathBytes});
    const int result =
        ForwardingInterface::EnumDevices(filters, filterCount, entries, count, maxPathBytes);
    if (betweenPasses_) std::exchange(betweenPasses_, nullptr)();
    return result;
  }

  std::vector<Call>& calls;

 private:
  std::function<void()> betweenPasses_;
};

class DeviceListTest : public ::testing::Test {
 protected:
  sim::ControllerConfig Touchpad(uint16_t vendorId = 0x0488, uint16_t productId = 0x0101) {
    sim::ControllerConfig config;
    config.vendorId = vendorId;
    config.productId = productId;
    return config;
  }

  testing::RecordingWindow window;
  testing::TestSystemPort system;
  sim::Bus bus{system.virtualClock};
  std::function<void()> betweenPasses;
  std::vector<BetweenPassesInterface::Call> enumCalls;
  Session session{window, system, [this]() -> VirtualVLMHIDInterface* {
                    return new BetweenPassesInterface(sim::CreateBusInterface(bus), betweenPasses,
                                                      enumCalls);
                  }};
};

TEST_F(DeviceListTest, ControllerWithThreeCollectionsIsListedOnceAndShown) {
  bus.Attach(Touchpad());
  ASSERT_TRUE(RefreshDeviceList(session));
  EXPECT_EQ(window.comboItems(),
            (std::vector<std::string>{"0x488 - 0x101 - 0x1205 -Velmar Touchpad - SIM0001"}));
  ASSERT_EQ(session.deviceList.size(), 1u);
  EXPECT_EQ(session.deviceList[0].devicePath, L"/sim/SIM0001&col01");
  EXPECT_EQ(session.deviceList[0].versionNumber, 0x1205);
  EXPECT_EQ(session.selectedDevice, 0);
  EXPECT_EQ(window.comboSelection(), 0);
  EXPECT_EQ(window.comboDroppedWidth(), 600);
  EXPECT_EQ(window.GetText(kIdDeviceInfo),
            "VendorID: 0x488 ProductID: 0x101 VersionID: 0x1205\r\n"
            "Velmar Touchpad\r\nSIM0001\r\n/sim/SIM0001&col01");
  EXPECT_TRUE(window.messageBoxes().empty());
}

TEST_F(DeviceListTest, BootloaderWithOneCollectionIsListed) {
  sim::ControllerConfig config = Touchpad();
  config.inBootloader = true;
  bus.Attach(config);
  ASSERT_TRUE(RefreshDeviceList(session));
  EXPECT_EQ(
      window.comboItems(),
      (std::vector<std::string>{"0x488 - 0xD0C0 - 0x5 -Velmar Touchpad Bootloader - SIM0001"}));
  EXPECT_EQ(session.deviceList[0].devicePath, L"/sim/SIM0001");
}

TEST_F(DeviceListTest, BothVendorsAreListedInEnumerationOrderAndOthersLeftOut) {
  bus.Attach(Touchpad(0x044E, 0x1234));
  bus.Attach(Touchpad(0x1111, 0x0101));
  bus.Attach(Touchpad(0x0488, 0x0101));
  ASSERT_TRUE(RefreshDeviceList(session));
  ASSERT_EQ(session.deviceList.size(), 2u);
  EXPECT_EQ(session.deviceList[0].vendorId, 0x044E);
  EXPECT_EQ(session.deviceList[1].vendorId, 0x0488);
  EXPECT_EQ(window.comboItems().size(), 2u);
}

TEST_F(DeviceListTest, TwoIdenticalControllersAreRefusedAndTheListEmptied) {
  bus.Attach(Touchpad());
  bus.Attach(Touchpad());
  EXPECT_FALSE(RefreshDeviceList(session));
  const auto boxes = window.messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Duplicate Devices Found");
  EXPECT_EQ(boxes[0].text,
            "Identical VID/PID combinations were found attached to this computer. \r\n\n 488 - "
            "101\r\n\nRemove one of them and refresh the device list.");
  EXPECT_EQ(boxes[0].buttons, MessageButtons::kOk);
  EXPECT_TRUE(boxes[0].owned);
  EXPECT_TRUE(window.comboItems().empty());
  EXPECT_TRUE(session.deviceList.empty());
  EXPECT_EQ(session.selectedDevice, -1);
  EXPECT_EQ(window.comboSelection(), -1);
  EXPECT_EQ(window.GetText(kIdDeviceInfo), "");
}

TEST_F(DeviceListTest, Bridge18IsRefusedEvenAfterOthersWereListed) {
  bus.Attach(Touchpad());
  sim::ControllerConfig bridge = Touchpad(0x044E, 0x0202);
  bridge.product = L"USB Bridge 1.8";
  bus.Attach(bridge);
  EXPECT_FALSE(RefreshDeviceList(session));
  const auto boxes = window.messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Incompatible Device Found");
  EXPECT_EQ(boxes[0].text,
            "An invalid Bridge version 1.8 was found attached to this computer. \r\n\n 44E - "
            "202\r\n\nRemove the device then refresh the device list.");
  EXPECT_TRUE(window.comboItems().empty());
  EXPECT_TRUE(session.deviceList.empty());
  EXPECT_EQ(session.selectedDevice, -1);
  EXPECT_EQ(window.GetText(kIdDeviceInfo), "");
}

TEST_F(DeviceListTest, BridgeTestIsExactAndCaseSensitive) {
  sim::ControllerConfig bridge = Touchpad(0x044E, 0x0202);
  bridge.product = L"USB bridge 1.8";
  bus.Attach(bridge);
  EXPECT_TRUE(RefreshDeviceList(session));
  EXPECT_EQ(session.deviceList.size(), 1u);
}

TEST_F(DeviceListTest, HiddenControllersAddTheAccessLineToTheNoDevicesBox) {
  system.deviceAccessNotice = "A controller is attached at /dev/hidraw2 ... 70-padflash.rules ...";
  EXPECT_FALSE(RefreshDeviceList(session));
  const auto boxes = window.messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "No compatible devices were detected. \r\n\nUse the refresh button after you have "
            "attached an appropriate device.\r\n\nA controller is attached at /dev/hidraw2 ... "
            "70-padflash.rules ...");
}

TEST_F(DeviceListTest, NothingAttachedShowsTheNoDevicesBox) {
  bus.Attach(Touchpad(0x1111, 0x0101));  // another vendor only
  window.Show(kIdExecute, true);
  window.SetText(kIdDeviceInfo, "old details");
  EXPECT_FALSE(RefreshDeviceList(session));
  const auto boxes = window.messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "No Devices Attched");
  EXPECT_EQ(boxes[0].text,
            "No compatible devices were detected. \r\n\nUse the refresh button after you have "
            "attached an appropriate device.");
  EXPECT_TRUE(boxes[0].owned);
  EXPECT_FALSE(window.IsVisible(kIdExecute));
  EXPECT_EQ(window.GetText(kIdDeviceInfo), "");
  EXPECT_TRUE(window.comboItems().empty());
}

TEST_F(DeviceListTest, RefreshRebuildsFromNothing) {
  sim::Controller& first = bus.Attach(Touchpad());
  ASSERT_TRUE(RefreshDeviceList(session));
  bus.Detach(first.serial());
  bus.Attach(Touchpad(0x0488, 0x0202));
  ASSERT_TRUE(RefreshDeviceList(session));
  ASSERT_EQ(session.deviceList.size(), 1u);
  EXPECT_EQ(session.deviceList[0].productId, 0x0202);
  EXPECT_EQ(window.comboItems().size(), 1u);
}

TEST_F(DeviceListTest, StringWithoutAnEightBitFormIsLeftOut) {
  ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
  sim::ControllerConfig config = Touchpad();
  // Beyond U+00FF: no 8-bit form in the C locale of any runtime (Windows'
  // C locale passes U+0080..U+00FF through as single bytes).
  config.product = L"Touchpad \u4e2d";
  bus.Attach(config);
  ASSERT_TRUE(RefreshDeviceList(session));
  EXPECT_EQ(window.comboItems(), (std::vector<std::string>{"0x488 - 0x101 - 0x1205 -SIM0001"}));
  EXPECT_EQ(window.GetText(kIdDeviceInfo),
            "VendorID: 0x488 ProductID: 0x101 VersionID: 0x1205\r\nSIM0001\r\n"
            "/sim/SIM0001&col01");
  // The entry keeps the string itself.
  EXPECT_EQ(session.deviceList[0].productString, L"Touchpad \u4e2d");
}

TEST_F(DeviceListTest, LongStringsStayWithinTheirBuffers) {
  sim::ControllerConfig config = Touchpad();
  config.product = std::wstring(400, L'P');
  config.serial = std::string(300, 'S');
  bus.Attach(config);
  ASSERT_TRUE(RefreshDeviceList(session));
  ASSERT_EQ(session.deviceList.size(), 1u);
  EXPECT_EQ(session.deviceList[0].productString.size(), 255u);
  ASSERT_EQ(window.comboItems().size(), 1u);
  EXPECT_LE(window.comboItems()[0].size(), 511u);
  const std::string info = window.GetText(kIdDeviceInfo);
  EXPECT_EQ(info.size(), 511u);
  EXPECT_EQ(info.rfind("VendorID: 0x488 ProductID: 0x101 VersionID: 0x1205\r\nPPP", 0), 0u);
}

TEST_F(DeviceListTest, DeviceAppearingBetweenThePassesIsNotWalked) {
  sim::ControllerConfig boot = Touchpad();
  boot.inBootloader = true;
  bus.Attach(boot);
  betweenPasses = [this] { bus.Attach(Touchpad(0x044E, 0x0300)); };
  ASSERT_TRUE(RefreshDeviceList(session));
  ASSERT_EQ(session.deviceList.size(), 1u);
  EXPECT_EQ(session.deviceList[0].productId, 0xD0C0);
}

TEST_F(DeviceListTest, LongerPathAppearingBetweenThePassesIsCutToTheBuffer) {
  sim::ControllerConfig first = Touchpad();
  first.inBootloader = true;
  first.serial = "A";
  sim::Controller& a = bus.Attach(first);
  // "/sim/A" is 6 characters: the first pass reports 6 * sizeof(wchar_t) + 1
  // and the path buffers hold that many wide characters.
  const size_t pathChars = 6 * sizeof(wchar_t) + 1;
  betweenPasses = [&] {
    bus.Detach(a.serial());
    sim::ControllerConfig longer = Touchpad();
    longer.inBootloader = true;
    longer.serial = std::string(200, 'L');
    bus.Attach(longer);
  };
  ASSERT_TRUE(RefreshDeviceList(session));
  ASSERT_EQ(session.deviceList.size(), 1u);
  EXPECT_EQ(session.deviceList[0].devicePath, L"/sim/" + std::wstring(pathChars - 1 - 5, L'L'));
  // The first pass asks with nothing; the second tells the library what the
  // path buffers hold, so that it can bound the copy.
  ASSERT_EQ(enumCalls.size(), 2u);
  EXPECT_FALSE(enumCalls[0].withEntries);
  EXPECT_EQ(enumCalls[0].count, 0);
  EXPECT_EQ(enumCalls[0].maxPathBytes, 0);
  EXPECT_TRUE(enumCalls[1].withEntries);
  EXPECT_EQ(enumCalls[1].count, 1);
  EXPECT_EQ(enumCalls[1].maxPathBytes, static_cast<int>(pathChars));
}

TEST_F(DeviceListTest, ShowDeviceInfoFollowsTheSelection) {
  bus.Attach(Touchpad(0x0488, 0x0101));
  bus.Attach(Touchpad(0x0488, 0x0202));
  ASSERT_TRUE(RefreshDeviceList(session));

  session.selectedDevice = 1;
  EXPECT_TRUE(ShowDeviceInfo(session));
  EXPECT_EQ(window.GetText(kIdDeviceInfo).rfind("VendorID: 0x488 ProductID: 0x202 ", 0), 0u);

  session.selectedDevice = 2;
  EXPECT_FALSE(ShowDeviceInfo(session));
  EXPECT_EQ(window.GetText(kIdDeviceInfo), "");

  // No selection on a filled list: entry 0 is selected and shown.
  session.selectedDevice = -1;
  EXPECT_TRUE(ShowDeviceInfo(session));
  EXPECT_EQ(session.selectedDevice, 0);
  EXPECT_EQ(window.comboSelection(), 0);
  EXPECT_EQ(window.GetText(kIdDeviceInfo).rfind("VendorID: 0x488 ProductID: 0x101 ", 0), 0u);

  session.deviceList.clear();
  session.selectedDevice = -1;
  EXPECT_FALSE(ShowDeviceInfo(session));
  EXPECT_EQ(window.GetText(kIdDeviceInfo), "");
}

}  // namespace
}  // namespace padflash
