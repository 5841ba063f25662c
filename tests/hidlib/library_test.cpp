// The built libVLMHID.so as a client sees it: its exported functions, and
// the object's operations reached through the table of virtual functions in
// the fixed slot order.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "VLMHID.h"

namespace {

// Slot order of VirtualVLMHIDInterface; slot 0 is the destructor.
enum Slot {
  kEnumDevices = 1,
  kEnumDevicesEx,
  kConnectToDevice,
  kConnectToDeviceEx,
  kDisconnectFromDevice,
  kWriteOutputReport,
  kReadInputReport,
  kWriteFeatureReport,
  kReadFeatureReport,
};

#if defined(__GXX_ABI_VERSION)
// In the Itanium C++ ABI the virtual destructor takes two table entries
// (complete and deleting), so slot k >= 1 is entry k + 1. A pointer to a
// virtual member holds 1 + the entry's byte offset.
size_t EntryOf(Slot slot) {
  return static_cast<size_t>(slot) + 1;
}

template <typename Member>
size_t EntryOfMember(Member member) {
  struct {
    uintptr_t pointer;
    ptrdiff_t adjustment;
  } raw;
  static_assert(sizeof(member) == sizeof(raw));
  std::memcpy(&raw, &member, sizeof(raw));
  return (raw.pointer - 1) / sizeof(void*);
}

TEST(SlotOrder, VirtualOperationsSitInTheirFixedSlots) {
  using V = VirtualVLMHIDInterface;
  EXPECT_EQ(EntryOfMember(&V::EnumDevices), EntryOf(kEnumDevices));
  EXPECT_EQ(EntryOfMember(&V::EnumDevicesEx), EntryOf(kEnumDevicesEx));
  EXPECT_EQ(EntryOfMember(&V::ConnectToDevice), EntryOf(kConnectToDevice));
  EXPECT_EQ(EntryOfMember(&V::ConnectToDeviceEx), EntryOf(kConnectToDeviceEx));
  EXPECT_EQ(EntryOfMember(&V::DisconnectFromDevice), EntryOf(kDisconnectFromDevice));
  EXPECT_EQ(EntryOfMember(&V::WriteOutputReport), EntryOf(kWriteOutputReport));
  EXPECT_EQ(EntryOfMember(&V::ReadInputReport), EntryOf(kReadInputReport));
  EXPECT_EQ(EntryOfMember(&V::WriteFeatureReport), EntryOf(kWriteFeatureReport));
  EXPECT_EQ(EntryOfMember(&V::ReadFeatureReport), EntryOf(kReadFeatureReport));
}

// Calls an operation of the object by its table entry, as a client built
// against another copy of the header would.
template <typename Result, typename... Args>
Result CallSlot(VirtualVLMHIDInterface* object, Slot slot, Args... args) {
  void** table = *reinterpret_cast<void***>(object);
  auto function =
      reinterpret_cast<Result (*)(VirtualVLMHIDInterface*, Args...)>(table[EntryOf(slot)]);
  return function(object, args...);
}
#endif

class Library : public ::testing::Test {
 protected:
  void SetUp() override {
    handle = dlopen(VLMHID_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
  }
  void TearDown() override {
    if (handle != nullptr) dlclose(handle);
  }
  template <typename F>
  F* Symbol(const char* name) {
    return reinterpret_cast<F*>(dlsym(handle, name));
  }
  void* handle = nullptr;
};

TEST_F(Library, ExportsEveryFunctionByItsPlainName) {
  for (const char* name :
       {"CreateVLMHIDInterface", "DestroyVLMHIDInterface", "EnumDevices", "EnumDevicesEx",
        "ConnectToDevice", "ConnectToDeviceEx", "DisconnectFromDevice", "WriteOutputReport",
        "ReadInputReport", "WriteFeatureReport", "ReadFeatureReport"}) {
    EXPECT_NE(dlsym(handle, name), nullptr) << name;
  }
}

#if defined(__GXX_ABI_VERSION)
TEST_F(Library, FactoryObjectAnswersThroughItsSlotsAndTheFlatFunctions) {
  auto create = Symbol<VirtualVLMHIDInterface*()>("CreateVLMHIDInterface");
  auto destroy = Symbol<void(VirtualVLMHIDInterface*)>("DestroyVLMHIDInterface");
  auto flatRead = Symbol<int(VirtualVLMHIDInterface*, uint8_t*, uint16_t)>("ReadFeatureReport");
  auto flatEnum =
      Symbol<int(VirtualVLMHIDInterface*, const DeviceFilter*, int, DeviceEntry*, int*, int*)>(
          "EnumDevices");
  ASSERT_TRUE(create && destroy && flatRead && flatEnum);
  destroy(nullptr);

  VirtualVLMHIDInterface* object = create();
  ASSERT_NE(object, nullptr);
  // Enumeration of whatever this machine has: it answers and sets the count.
  int count = -7, maxPathBytes = 0;
  EXPECT_EQ((CallSlot<int, const DeviceFilter*, int, DeviceEntry*, int*, int*>(
                object, kEnumDevices, nullptr, 0, nullptr, &count, &maxPathBytes)),
            0);
  EXPECT_GE(count, 0);
  int countEx = -7;
  maxPathBytes = 0;
  EXPECT_EQ((CallSlot<int, const uint16_t*, int, const uint16_t*, int, const uint16_t*, int,
                      DeviceEntry*, int*, int*>(object, kEnumDevicesEx, nullptr, 0, nullptr, 0,
                                                nullptr, 0, nullptr, &countEx, &maxPathBytes)),
            0);
  EXPECT_EQ(countEx, count);
  int flatCount = -7;
  EXPECT_EQ(flatEnum(object, nullptr, 0, nullptr, &flatCount, &maxPathBytes), 0);
  EXPECT_EQ(flatCount, count);

  // No device has these IDs; never connected, so transfers fail.
  EXPECT_EQ((CallSlot<int, uint16_t, uint16_t, uint8_t, int>(object, kConnectToDevice, 0x0488,
                                                             0xFFFE, 0xEE, 0)),
            -1);
  uint8_t buffer[16] = {};
  EXPECT_EQ((CallSlot<int, uint8_t*, uint16_t>(object, kReadFeatureReport, buffer, 16)), -1);
  EXPECT_EQ(flatRead(object, buffer, 16), -1);
  EXPECT_EQ((CallSlot<int>(object, kDisconnectFromDevice)), 0);
  destroy(object);
}
#endif

}  // namespace
