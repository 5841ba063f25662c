// Finding the attached controllers this user may not open, on a fixture
// sysfs tree with a scripted open.
#include "platform/posix/hidraw_access.h"

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

}  // namespace
}  // namespace padflash
