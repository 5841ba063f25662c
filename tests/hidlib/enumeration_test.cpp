// EnumDevices and EnumDevicesEx of VLMHIDInterface over the hidraw backend
// on fixture trees: filters, two-pass sizing and bounded string copies.
#include <gtest/gtest.h>

#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "tests/hidlib/hidraw_bench.h"

namespace {

using hidtest::FixtureDevice;
using hidtest::HidrawBench;
namespace d = hidtest::descriptors;

FixtureDevice Device(uint16_t vendorId, uint16_t productId, uint16_t version, hidtest::Bytes desc,
                     std::string name = "Touchpad", std::string uniq = "") {
  FixtureDevice device;
  device.vendorId = vendorId;
  device.productId = productId;
  device.bcdDevice = version;
  device.name = std::move(name);
  device.uniq = std::move(uniq);
  device.descriptor = std::move(desc);
  return device;
}

// Caller-owned entries with buffers of the sizes the two-pass use gives,
// each followed by guard characters that must stay untouched.
class EntryArray {
 public:
  static constexpr wchar_t kGuard = L'\x2B1B';
  static constexpr size_t kGuardChars = 8;

  EntryArray(int count, size_t pathChars) : entries_(static_cast<size_t>(count)) {
    for (DeviceEntry& entry : entries_) {
      entry.productString = NewBuffer(kVLMHIDStringChars);
      entry.serialNumberString = NewBuffer(kVLMHIDStringChars);
      entry.devicePath = NewBuffer(pathChars);
    }
  }
  DeviceEntry* data() { return entries_.data(); }
  DeviceEntry& operator[](size_t i) { return entries_[i]; }
  // The string fields sit unaligned in the packed entry: read them by value.
  std::wstring Path(size_t i) const { return Text(entries_[i].devicePath); }
  std::wstring Product(size_t i) const { return Text(entries_[i].productString); }
  std::wstring Serial(size_t i) const { return Text(entries_[i].serialNumberString); }
  bool GuardsIntact() const {
    for (size_t b = 0; b < buffers_.size(); ++b) {
      for (size_t g = 0; g < kGuardChars; ++g) {
        if (buffers_[b][sizes_[b] + g] != kGuard) return false;
      }
    }
    return true;
  }

 private:
  static std::wstring Text(const wchar_t* text) { return text; }
  wchar_t* NewBuffer(size_t chars) {
    buffers_.push_back(std::make_unique<wchar_t[]>(chars + kGuardChars));
    sizes_.push_back(chars);
    std::fill_n(buffers_.back().get(), chars + kGuardChars, kGuard);
    return buffers_.back().get();
  }
  std::vector<DeviceEntry> entries_;
  std::vector<std::unique_ptr<wchar_t[]>> buffers_;
  std::vector<size_t> sizes_;
};

// Five nodes: a touchpad with three collections, a 0x044E touchpad, a
// mouse of another vendor, a bootloader and an I2C touchpad.
class Enumeration : public ::testing::Test {
 protected:
  void SetUp() override {
    bench.Attach(0, Device(0x0488, 0x0101, 0x1205,
                           d::Join({d::VendorFeature(7), d::Mouse(1), d::ConsumerArray(3)}),
                           "Velmar Touchpad", "SN-0001"));
    bench.Attach(1, Device(0x044E, 0x1234, 0x0203, d::VendorFeature(3), ""));
    bench.Attach(2, Device(0x046D, 0xC52B, 0x1201, d::Mouse(2), "Logitech Receiver"));
    bench.Attach(3, Device(0x0488, 0xD0C0, 0x0005, d::VendorFeature(3), "Velmar Bootloader"));
    FixtureDevice i2c = Device(0x0488, 0x0202, 0, d::VendorFeature(5), "I2C Touchpad");
    i2c.bus = vlmhid::hidraw::kBusI2c;
    bench.Attach(12, i2c);
    hid = bench.NewInterface();
  }

  // Paths listed by a filling pass over the filters.
  std::vector<std::wstring> Listed(const DeviceFilter* filters, int filterCount) {
    int count = 0, maxPathBytes = 0;
    EXPECT_EQ(hid->EnumDevices(filters, filterCount, nullptr, &count, &maxPathBytes), 0);
    EntryArray entries(count, static_cast<size_t>(maxPathBytes));
    int filled = count;
    maxPathBytes = 0;
    EXPECT_EQ(hid->EnumDevices(filters, filterCount, entries.data(), &filled, &maxPathBytes), 0);
    EXPECT_EQ(filled, count);
    std::vector<std::wstring> paths;
    for (int i = 0; i < count; ++i) paths.emplace_back(entries.Path(static_cast<size_t>(i)));
    EXPECT_TRUE(entries.GuardsIntact());
    return paths;
  }

  std::vector<std::wstring> ListedEx(std::vector<uint16_t> vendors, std::vector<uint16_t> products,
                                     std::vector<uint16_t> versions) {
    int count = 8, maxPathBytes = 0;
    EntryArray entries(count, 64);
    EXPECT_EQ(hid->EnumDevicesEx(vendors.data(), static_cast<int>(vendors.size()), products.data(),
                                 static_cast<int>(products.size()), versions.data(),
                                 static_cast<int>(versions.size()), entries.data(), &count,
                                 &maxPathBytes),
              0);
    std::vector<std::wstring> paths;
    for (int i = 0; i < count && i < 8; ++i) {
      paths.emplace_back(entries.Path(static_cast<size_t>(i)));
    }
    return paths;
  }

  HidrawBench bench;
  std::unique_ptr<VLMHIDInterface> hid;
};

TEST_F(Enumeration, VendorFiltersListBothVendorsAndNothingElse) {
  const DeviceFilter filters[] = {{0x0488, 0, 0}, {0x044E, 0, 0}};
  EXPECT_EQ(Listed(filters, 2),
            (std::vector<std::wstring>{L"/dev/hidraw0&col01", L"/dev/hidraw0&col02",
                                       L"/dev/hidraw0&col03", L"/dev/hidraw1", L"/dev/hidraw3",
                                       L"/dev/hidraw12"}));
  // Exactly filterCount filters are looked at.
  EXPECT_EQ(Listed(filters, 1).size(), 5u);
}

TEST_F(Enumeration, ZeroFilterNoFiltersAndFullFilters) {
  const DeviceFilter any[] = {{0, 0, 0}};
  EXPECT_EQ(Listed(any, 1).size(), 7u);
  EXPECT_EQ(Listed(nullptr, 5).size(), 7u);
  EXPECT_EQ(Listed(any, 0).size(), 7u);
  const DeviceFilter exact[] = {{0x0488, 0xD0C0, 0x0006}, {0x0488, 0, 0x1205}};
  EXPECT_EQ(Listed(exact, 2),
            (std::vector<std::wstring>{L"/dev/hidraw0&col01", L"/dev/hidraw0&col02",
                                       L"/dev/hidraw0&col03"}));
}

TEST_F(Enumeration, ExListsMatchIndependentlyAndZeroIsAnOrdinaryValue) {
  EXPECT_EQ(ListedEx({0x0488}, {0xD0C0, 0x0202}, {}),
            (std::vector<std::wstring>{L"/dev/hidraw3", L"/dev/hidraw12"}));
  EXPECT_EQ(ListedEx({}, {}, {0}), std::vector<std::wstring>{L"/dev/hidraw12"});
  EXPECT_TRUE(ListedEx({0}, {}, {}).empty());
  EXPECT_EQ(ListedEx({0x044E, 0x046D}, {}, {0x1201}), std::vector<std::wstring>{L"/dev/hidraw2"});
}

TEST_F(Enumeration, FirstPassCountsAndSizesTheLongestPath) {
  int count = 0, maxPathBytes = 0;
  ASSERT_EQ(hid->EnumDevices(nullptr, 0, nullptr, &count, &maxPathBytes), 0);
  EXPECT_EQ(count, 7);
  // "/dev/hidraw0&col01" is the longest: 18 characters.
  EXPECT_EQ(maxPathBytes, static_cast<int>(18 * sizeof(wchar_t)) + 1);

  // A larger value passed in is kept.
  count = 0;
  maxPathBytes = 500;
  ASSERT_EQ(hid->EnumDevices(nullptr, 0, nullptr, &count, &maxPathBytes), 0);
  EXPECT_EQ(maxPathBytes, 500);
  EXPECT_EQ(bench.nodes->OpenCount(), 0u);
}

TEST_F(Enumeration, SmallArrayGetsTheFirstDevicesAndTheFullCount) {
  EntryArray entries(2, 64);
  int count = 2, maxPathBytes = 0;
  ASSERT_EQ(hid->EnumDevices(nullptr, 0, entries.data(), &count, &maxPathBytes), 0);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(entries.Path(0), L"/dev/hidraw0&col01");
  EXPECT_EQ(entries.Path(1), L"/dev/hidraw0&col02");
  EXPECT_TRUE(entries.GuardsIntact());
}

TEST_F(Enumeration, EntriesCarryIdsVersionAndStringsOrNone) {
  const DeviceFilter filters[] = {{0x0488, 0x0101, 0}, {0x044E, 0, 0}};
  EntryArray entries(4, 64);
  int count = 4, maxPathBytes = 0;
  ASSERT_EQ(hid->EnumDevices(filters, 2, entries.data(), &count, &maxPathBytes), 0);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(entries[0].vendorId, 0x0488);
  EXPECT_EQ(entries[0].productId, 0x0101);
  EXPECT_EQ(entries[0].versionNumber, 0x1205);
  EXPECT_EQ(entries.Product(0), L"Velmar Touchpad");
  EXPECT_EQ(entries.Serial(0), L"SN-0001");
  EXPECT_EQ(entries[3].vendorId, 0x044E);
  EXPECT_EQ(entries[3].versionNumber, 0x0203);
  EXPECT_EQ(entries.Product(3), L"None");
  EXPECT_EQ(entries.Serial(3), L"None");
  EXPECT_TRUE(entries.GuardsIntact());
}

TEST_F(Enumeration, LongProductStringIsCutToTheBufferAndTerminated) {
  bench.Attach(20, Device(0x044E, 0x7777, 1, d::VendorFeature(3), std::string(300, 'P'),
                          std::string(256, 'S')));
  const DeviceFilter filters[] = {{0x044E, 0x7777, 0}};
  EntryArray entries(1, 64);
  int count = 1, maxPathBytes = 0;
  ASSERT_EQ(hid->EnumDevices(filters, 1, entries.data(), &count, &maxPathBytes), 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(entries.Product(0), std::wstring(kVLMHIDStringChars - 1, L'P'));
  EXPECT_EQ(entries.Serial(0), std::wstring(kVLMHIDStringChars - 1, L'S'));
  EXPECT_TRUE(entries.GuardsIntact());
}

TEST_F(Enumeration, PathCopyStaysInTheCapacityPassedIn) {
  EntryArray entries(8, 10);
  int count = 8, maxPathBytes = 10;
  ASSERT_EQ(hid->EnumDevices(nullptr, 0, entries.data(), &count, &maxPathBytes), 0);
  EXPECT_EQ(entries.Path(0), L"/dev/hidr");
  EXPECT_TRUE(entries.GuardsIntact());
  EXPECT_EQ(maxPathBytes, static_cast<int>(18 * sizeof(wchar_t)) + 1);
}

TEST_F(Enumeration, DevicesThatCannotBeOpenedAreInvisible) {
  bench.nodes->Node("/dev/hidraw0").refuseOpen = true;
  bench.nodes->Node("/dev/hidraw1").failRawInfo = true;
  int count = 0, maxPathBytes = 0;
  ASSERT_EQ(hid->EnumDevices(nullptr, 0, nullptr, &count, &maxPathBytes), 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(maxPathBytes, static_cast<int>(13 * sizeof(wchar_t)) + 1);  // "/dev/hidraw12"
}

TEST_F(Enumeration, MissingCountOrSizeIsRefusedWithoutTouchingAnything) {
  int value = 3;
  EXPECT_EQ(hid->EnumDevices(nullptr, 0, nullptr, nullptr, &value), -1);
  EXPECT_EQ(hid->EnumDevices(nullptr, 0, nullptr, &value, nullptr), -1);
  EXPECT_EQ(value, 3);
}

// A device plugged in between the two passes with a longer path than the
// first pass saw: the paths are cut to what the first pass reported. On
// Linux no hidraw path outgrows a size counted in 4-byte units, so a small
// backend with free-form paths stands in.
class PathBackend final : public vlmhid::HidBackend {
 public:
  class Handle final : public vlmhid::HidHandle {
   public:
    bool GetAttributes(vlmhid::HidAttributes& a) override {
      a = {0x0488, 0x0101, 1};
      return true;
    }
    bool GetCaps(vlmhid::HidCaps&) override { return false; }
    bool GetProductString(wchar_t*, size_t) override { return false; }
    bool GetSerialNumberString(wchar_t*, size_t) override { return false; }
    bool GetFeature(uint8_t*, size_t) override { return false; }
    bool SetFeature(const uint8_t*, size_t) override { return false; }
    bool GetInputReport(uint8_t*, size_t) override { return false; }
    bool SetOutputReport(const uint8_t*, size_t) override { return false; }
    bool ReadInput(uint8_t*, size_t, int) override { return false; }
    bool WriteOutput(const uint8_t*, size_t) override { return false; }
  };
  explicit PathBackend(std::vector<std::wstring>& paths) : paths_(paths) {}
  std::vector<std::wstring> ListInterfaces() override { return paths_; }
  std::unique_ptr<vlmhid::HidHandle> Open(const std::wstring&, vlmhid::OpenAccess) override {
    return std::make_unique<Handle>();
  }
  void SleepMs(uint32_t) override {}

 private:
  std::vector<std::wstring>& paths_;
};

TEST(EnumerationPasses, PathOfDevicePluggedInBetweenPassesStaysInTheFirstPassSize) {
  std::vector<std::wstring> paths = {L"\\\\?\\hid#a"};
  VLMHIDInterface hid(std::make_unique<PathBackend>(paths));
  int count = 0, maxPathBytes = 0;
  ASSERT_EQ(hid.EnumDevices(nullptr, 0, nullptr, &count, &maxPathBytes), 0);
  ASSERT_EQ(count, 1);
  const int firstPassSize = maxPathBytes;

  paths.push_back(std::wstring(200, L'x'));
  EntryArray entries(2, static_cast<size_t>(maxPathBytes));
  count = 2;
  maxPathBytes = 0;
  ASSERT_EQ(hid.EnumDevices(nullptr, 0, entries.data(), &count, &maxPathBytes), 0);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(entries.Path(0), L"\\\\?\\hid#a");
  EXPECT_EQ(entries.Path(1), std::wstring(static_cast<size_t>(firstPassSize - 1), L'x'));
  EXPECT_TRUE(entries.GuardsIntact());
  EXPECT_EQ(maxPathBytes, static_cast<int>(200 * sizeof(wchar_t)) + 1);
}

}  // namespace
