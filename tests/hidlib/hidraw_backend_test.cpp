// The hidraw backend on fixture sysfs trees: which interfaces it lists, how
// it opens them and what it reads from sysfs and the node.
#include "hidlib/linux/hidraw_backend.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "hidlib/linux/sysfs_nodes.h"
#include "tests/hidlib/hidraw_bench.h"

namespace {

using hidtest::FixtureDevice;
using hidtest::HidrawBench;
using vlmhid::HidAttributes;
using vlmhid::HidCaps;
using vlmhid::OpenAccess;
namespace d = hidtest::descriptors;

FixtureDevice Touchpad(uint16_t vendorId, uint16_t productId, uint8_t reportId) {
  FixtureDevice device;
  device.vendorId = vendorId;
  device.productId = productId;
  device.bcdDevice = 0x1205;
  device.name = "Velmar Touchpad";
  device.uniq = "SN-0001";
  device.descriptor = d::Join({d::VendorFeature(reportId), d::Mouse(1), d::ConsumerArray(3)});
  return device;
}

FixtureDevice Bootloader() {
  FixtureDevice device;
  device.vendorId = 0x0488;
  device.productId = 0xD0C0;
  device.bcdDevice = 0x0005;
  device.name = "Velmar Bootloader";
  device.descriptor = d::VendorFeature(3);
  return device;
}

TEST(HidrawBackend, SeveralCollectionsGiveOneInterfacePerCollectionInNodeOrder) {
  HidrawBench bench;
  bench.Attach(10, Bootloader());
  bench.Attach(2, Touchpad(0x0488, 0x0101, 7));
  bench.tree.WriteFile("class/hidraw/hidrawX/dev", "241:9\n");  // not a node name
  bench.tree.WriteFile("class/hidraw/hidraw5/device/uevent", "HID_NAME=no id\n");

  EXPECT_EQ(bench.NewBackend()->ListInterfaces(),
            (std::vector<std::wstring>{L"/dev/hidraw2&col01", L"/dev/hidraw2&col02",
                                       L"/dev/hidraw2&col03", L"/dev/hidraw10"}));
}

TEST(HidrawBackend, EachCollectionInterfaceHasItsOwnCapabilitiesAndOpensTheNode) {
  HidrawBench bench;
  bench.Attach(0, Touchpad(0x0488, 0x0101, 7));
  auto backend = bench.NewBackend();

  HidCaps caps;
  auto first = backend->Open(L"/dev/hidraw0&col01", OpenAccess::kNone);
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(first->GetCaps(caps));
  EXPECT_EQ(caps.numberFeatureValueCaps, 1);
  EXPECT_EQ(caps.firstFeatureReportId, 7);

  auto second = backend->Open(L"/dev/hidraw0&col02", OpenAccess::kNone);
  ASSERT_NE(second, nullptr);
  ASSERT_TRUE(second->GetCaps(caps));
  EXPECT_EQ(caps.numberFeatureValueCaps, 0);
  EXPECT_EQ(caps.numberInputValueCaps, 2);

  EXPECT_EQ(bench.nodes->OpenCount(), 2u);
  EXPECT_EQ(bench.nodes->Node("/dev/hidraw0").openFlags.size(), 2u);
  first.reset();
  second.reset();
  EXPECT_EQ(bench.nodes->OpenCount(), 0u);
  EXPECT_EQ(bench.nodes->badCloses, 0);
}

TEST(HidrawBackend, OnlyPathsItListsCanBeOpened) {
  HidrawBench bench;
  bench.Attach(0, Touchpad(0x0488, 0x0101, 7));
  bench.Attach(1, Bootloader());
  auto backend = bench.NewBackend();
  for (const wchar_t* path :
       {L"/dev/hidraw0", L"/dev/hidraw0&col04", L"/dev/hidraw0&col", L"/dev/hidraw0&COL01",
        L"/dev/hidraw0&col00", L"/dev/hidraw0&col1", L"/dev/hidraw0&col001", L"/dev/hidraw0&col0x",
        L"/dev/hidraw1&col01", L"/dev/hidraw7", L"/dev/hidrawA", L"/tmp/hidraw1", L"/dev/hidraw",
        L""}) {
    EXPECT_EQ(backend->Open(path, OpenAccess::kNone), nullptr) << std::wstring(path).size();
  }
  EXPECT_NE(backend->Open(L"/dev/hidraw1", OpenAccess::kNone), nullptr);
  EXPECT_EQ(bench.nodes->Node("/dev/hidraw0").openFlags.size(), 0u);
}

// The backend keeps what it read of a node while the node belongs to the
// same HID device; a controller that restarts into its bootloader comes
// back as another HID device, often under the same node name.
TEST(HidrawBackend, NodeMadeAgainForAnotherDeviceIsReadAgain) {
  HidrawBench bench;
  bench.Attach(0, Touchpad(0x0488, 0x0101, 7));
  auto backend = bench.NewBackend();
  EXPECT_EQ(backend->ListInterfaces().size(), 3u);

  std::filesystem::remove(bench.tree.root() + "/class/hidraw/hidraw0");
  bench.tree.AddNode(0, Bootloader());
  EXPECT_EQ(backend->ListInterfaces(), std::vector<std::wstring>{L"/dev/hidraw0"});
  auto handle = backend->Open(L"/dev/hidraw0", OpenAccess::kNone);
  ASSERT_NE(handle, nullptr);
  HidAttributes attributes;
  ASSERT_TRUE(handle->GetAttributes(attributes));
  EXPECT_EQ(attributes.versionNumber, 0x0005);
}

TEST(HidrawBackend, OpenAccessChoosesTheNodeFlags) {
  HidrawBench bench;
  bench.Attach(1, Bootloader());
  auto backend = bench.NewBackend();
  ASSERT_NE(backend->Open(L"/dev/hidraw1", OpenAccess::kNone), nullptr);
  ASSERT_NE(backend->Open(L"/dev/hidraw1", OpenAccess::kRead), nullptr);
  ASSERT_NE(backend->Open(L"/dev/hidraw1", OpenAccess::kWrite), nullptr);
  EXPECT_EQ(bench.nodes->Node("/dev/hidraw1").openFlags,
            (std::vector<int>{O_RDWR, O_RDONLY | O_NONBLOCK, O_WRONLY}));

  bench.nodes->Node("/dev/hidraw1").refuseOpen = true;
  EXPECT_EQ(backend->Open(L"/dev/hidraw1", OpenAccess::kNone), nullptr);
}

// The version number is the HID device's own on every bus: the uevent's
// HID_FIRMWARE_VERSION first, then the input child's id/version, then (a USB
// device with vendor collections only) the bcdDevice.
TEST(HidrawBackend, AttributesTakeSignedKernelIdsAndTheHidDevicesOwnVersion) {
  HidrawBench bench;
  bench.Attach(0, Touchpad(0x8488, 0xF0C1, 7));
  FixtureDevice i2c = Touchpad(0x04F3, 0x3057, 7);
  i2c.bus = vlmhid::hidraw::kBusI2c;
  i2c.inputVersion = 0x1206;
  bench.Attach(1, i2c);
  FixtureDevice usbWithoutVersion = Bootloader();
  usbWithoutVersion.bcdDevice.reset();
  bench.Attach(2, usbWithoutVersion);
  FixtureDevice newerKernel = i2c;
  newerKernel.firmwareVersion = 0x1307;
  bench.Attach(3, newerKernel);
  FixtureDevice usbInput = Touchpad(0x0488, 0x0101, 7);
  usbInput.inputVersion = 0x1208;
  bench.Attach(4, usbInput);
  auto backend = bench.NewBackend();

  HidAttributes attributes;
  ASSERT_TRUE(backend->Open(L"/dev/hidraw0&col01", OpenAccess::kNone)->GetAttributes(attributes));
  EXPECT_EQ(attributes.vendorId, 0x8488);
  EXPECT_EQ(attributes.productId, 0xF0C1);
  EXPECT_EQ(attributes.versionNumber, 0x1205);

  ASSERT_TRUE(backend->Open(L"/dev/hidraw1&col02", OpenAccess::kNone)->GetAttributes(attributes));
  EXPECT_EQ(attributes.vendorId, 0x04F3);
  EXPECT_EQ(attributes.versionNumber, 0x1206);

  ASSERT_TRUE(backend->Open(L"/dev/hidraw2", OpenAccess::kNone)->GetAttributes(attributes));
  EXPECT_EQ(attributes.versionNumber, 0);
  ASSERT_TRUE(backend->Open(L"/dev/hidraw3&col01", OpenAccess::kNone)->GetAttributes(attributes));
  EXPECT_EQ(attributes.versionNumber, 0x1307);
  ASSERT_TRUE(backend->Open(L"/dev/hidraw4&col01", OpenAccess::kNone)->GetAttributes(attributes));
  EXPECT_EQ(attributes.versionNumber, 0x1208);

  bench.nodes->Node("/dev/hidraw2").failRawInfo = true;
  EXPECT_FALSE(backend->Open(L"/dev/hidraw2", OpenAccess::kNone)->GetAttributes(attributes));
}

// The strings are the USB device's own, not the HID_NAME the kernel composes;
// a device on another bus has no product string and the kernel's HID_UNIQ,
// when its driver gave one, for its serial.
TEST(HidrawBackend, StringsComeFromTheUsbDeviceOrTheKernelAndFillAtMostTheGivenBytes) {
  HidrawBench bench;
  FixtureDevice device = Bootloader();
  device.name = "Touch\xC3\xBC \xFF";  // UTF-8 u-umlaut, then an invalid byte
  device.uniq = "";
  bench.Attach(1, device);
  FixtureDevice i2c = Touchpad(0x0488, 0x0202, 5);
  i2c.bus = vlmhid::hidraw::kBusI2c;
  bench.Attach(2, i2c);
  auto backend = bench.NewBackend();
  auto handle = backend->Open(L"/dev/hidraw1", OpenAccess::kNone);
  ASSERT_NE(handle, nullptr);

  wchar_t buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), L'#');
  ASSERT_TRUE(handle->GetProductString(buffer, sizeof(buffer)));
  EXPECT_EQ(std::wstring(buffer), L"Touch\u00FC \uFFFD");
  EXPECT_FALSE(handle->GetSerialNumberString(buffer, sizeof(buffer)));

  // Five characters of room: filled, not terminated, nothing beyond touched.
  std::fill(std::begin(buffer), std::end(buffer), L'#');
  ASSERT_TRUE(handle->GetProductString(buffer, 5 * sizeof(wchar_t)));
  EXPECT_EQ(std::wstring(buffer, 6), L"Touch#");

  auto onI2c = backend->Open(L"/dev/hidraw2&col01", OpenAccess::kNone);
  ASSERT_NE(onI2c, nullptr);
  EXPECT_FALSE(onI2c->GetProductString(buffer, sizeof(buffer)));
  ASSERT_TRUE(onI2c->GetSerialNumberString(buffer, sizeof(buffer)));
  EXPECT_EQ(std::wstring(buffer), L"SN-0001");
}

// The node delivers the reports of all three collections; a read on the
// mouse collection (ID 1) passes over the others, waiting or not.
TEST(HidrawBackend, CollectionInterfaceReadsOnlyItsOwnInputReports) {
  HidrawBench bench;
  FixtureDevice device = Touchpad(0x0488, 0x0101, 7);
  device.descriptor = d::Join({d::VendorInputOutput(4, 5), d::Mouse(1), d::ConsumerArray(3)});
  hidtest::ScriptedNode& node = bench.Attach(0, device);
  auto backend = bench.NewBackend();
  auto mouse = backend->Open(L"/dev/hidraw0&col02", OpenAccess::kRead);
  ASSERT_NE(mouse, nullptr);

  node.pendingInputs = {{4, 0xAA}, {3, 0x10, 0x00}, {1, 0x01, 0x05, 0x06}, {4, 0xBB}};
  hidtest::Bytes report(4, 0);
  report[0] = 1;
  for (int timeoutMs : {0, 500}) {
    ASSERT_TRUE(mouse->ReadInput(report.data(), report.size(), timeoutMs)) << timeoutMs;
    EXPECT_EQ(report, (hidtest::Bytes{1, 0x01, 0x05, 0x06}));
    EXPECT_FALSE(mouse->ReadInput(report.data(), report.size(), timeoutMs)) << timeoutMs;
    EXPECT_TRUE(node.pendingInputs.empty());
    node.pendingInputs = {{3, 0x10, 0x00}, {1, 0x01, 0x05, 0x06}};
    report[0] = 1;
  }

  // The vendor collection takes its own reports.
  node.pendingInputs = {{4, 0xCC}};
  auto vendor = backend->Open(L"/dev/hidraw0&col01", OpenAccess::kRead);
  ASSERT_NE(vendor, nullptr);
  report.assign(2, 0);
  report[0] = 4;
  ASSERT_TRUE(vendor->ReadInput(report.data(), report.size(), 0));
  EXPECT_EQ(report, (hidtest::Bytes{4, 0xCC}));
}

TEST(HidrawBackend, NodeWithoutReportDescriptorIsOneInterfaceWithoutCapabilities) {
  HidrawBench bench;
  FixtureDevice device = Bootloader();
  device.descriptor.reset();
  bench.Attach(4, device);
  auto backend = bench.NewBackend();
  EXPECT_EQ(backend->ListInterfaces(), std::vector<std::wstring>{L"/dev/hidraw4"});
  HidCaps caps;
  ASSERT_TRUE(backend->Open(L"/dev/hidraw4", OpenAccess::kNone)->GetCaps(caps));
  EXPECT_EQ(caps.numberFeatureValueCaps, 0);
}

}  // namespace
