// Finding the attached controllers this user may not open, on a fixture
// sysfs tree with a scripted open.
#include "platform/posix/hidraw_access.h"

#include "platform/posix/device_location.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace padflash {
namespace {

namespace fs = std::filesystem;

class HidrawAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/hidraw-access-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
  }
  void TearDown() override { fs::remove_all(root); }
  void AddNode(const std::string& name, const std::string& hidId) {
    const fs::path device = root / "devices/virtual" / name / "device";
    fs::create_directories(device);
    std::ofstream(device / "uevent") << "DRIVER=hid-generic\nHID_ID=" << hidId << "\nHID_NAME=x\n";
    fs::create_directories(root / "class/hidraw");
    fs::create_directory_symlink(device.parent_path(), root / "class/hidraw" / name);
  }
  fs::path root;
};

TEST_F(HidrawAccess, ListsOnlyRefusedNodesOfTheGivenVendors) {
  AddNode("hidraw11", "0018:0000044E:00001234");  // refused, I2C
  AddNode("hidraw2", "0003:00000488:00000101");   // refused
  AddNode("hidraw3", "0003:00000488:0000D0C0");   // opens
  AddNode("hidraw4", "0003:0000046D:0000C52B");   // refused, another vendor
  AddNode("hidraw5", "garbage");
  auto refused = [](const std::string& node) { return node != "/dev/hidraw3"; };
  const auto nodes = UnopenableHidrawNodes(root.string(), {0x0488, 0x044E}, refused);
  EXPECT_EQ(nodes, (std::vector<std::string>{"/dev/hidraw2", "/dev/hidraw11"}));

  const std::string line = HidrawAccessNotice(nodes);
  EXPECT_NE(line.find("/dev/hidraw2 and more"), std::string::npos) << line;
  EXPECT_NE(line.find("udev rule 70-padflash.rules"), std::string::npos) << line;
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(HidrawAccessNotice({}), "");
}

// The place of a node's HID device: the USB device above its interface, or
// the I2C client; a virtual (uhid) device has none.
TEST_F(HidrawAccess, LocationIsTheUsbDeviceOrTheI2cClient) {
  auto node = [this](const std::string& name, const std::string& device) {
    fs::create_directories(root / device);
    fs::create_directories(root / "class/hidraw" / name);
    fs::create_directory_symlink(root / device, root / "class/hidraw" / name / "device");
  };
  const std::string usb = "devices/pci0000:00/0000:00:14.0/usb1/1-2";
  node("hidraw0", usb + "/1-2:1.0/0003:0488:0101.0005");
  node("hidraw1", usb + "/1-2:1.0/0003:0488:D0C0.0006");
  node("hidraw2", "devices/platform/i2c_designware.0/i2c-1/i2c-ELAN0001:00/0018:0488:0101.0007");
  node("hidraw3", "devices/virtual/misc/uhid/0003:0488:0101.0008");
  const std::string root_ = root.string();
  EXPECT_EQ(HidrawDeviceLocation(root_, "/dev", L"/dev/hidraw0&col01"), "/" + usb);
  // The bootloader of that controller: another HID device on the same port.
  EXPECT_EQ(HidrawDeviceLocation(root_, "/dev", L"/dev/hidraw1"), "/" + usb);
  EXPECT_EQ(HidrawDeviceLocation(root_, "/dev", L"/dev/hidraw2&col02"),
            "/devices/platform/i2c_designware.0/i2c-1/i2c-ELAN0001:00");
  EXPECT_EQ(HidrawDeviceLocation(root_, "/dev", L"/dev/hidraw3&col01"), "");
  EXPECT_EQ(HidrawDeviceLocation(root_, "/dev", L"/dev/hidraw9"), "");
  EXPECT_EQ(HidrawDeviceLocation(root_, "/dev", L"/sim/PADA&col01"), "");
  EXPECT_EQ(HidrawDeviceLocation(root_, "/dev", L"/dev/../hidraw0"), "");
}

}  // namespace
}  // namespace padflash
