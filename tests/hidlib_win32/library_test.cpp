// The built VLMHID.dll as a client sees it: loaded with LoadLibraryA, its
// functions found by their plain names, and the factory's object answering
// through the fixed slots of its vtable (Itanium C++ ABI: the virtual
// destructor takes entries 0 and 1, so slot k >= 1 is entry k + 1).
#include <gtest/gtest.h>

#include <cstring>

#include "VLMHID.h"
#include "hidlib/win32/windows_hid.h"

namespace {

enum Slot { kEnumDevices = 1, kConnectToDevice = 3, kDisconnectFromDevice = 5, kReadFeature = 9 };

template <typename Result, typename... Args>
Result CallSlot(VirtualVLMHIDInterface* object, Slot slot, Args... args) {
  void** table = *reinterpret_cast<void***>(object);
  using Function = Result (*)(VirtualVLMHIDInterface*, Args...);
  Function function;
  std::memcpy(&function, &table[slot + 1], sizeof(function));
  return function(object, args...);
}

template <typename Function>
Function Symbol(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

TEST(Library, ExportsItsFunctionsAndAnswersThroughTheSlotsOfTheFactoryObject) {
  HMODULE library = LoadLibraryA(VLMHID_LIBRARY_PATH);
  ASSERT_NE(library, nullptr) << GetLastError();
  for (const char* name :
       {"CreateVLMHIDInterface", "DestroyVLMHIDInterface", "EnumDevices", "EnumDevicesEx",
        "ConnectToDevice", "ConnectToDeviceEx", "DisconnectFromDevice", "WriteOutputReport",
        "ReadInputReport", "WriteFeatureReport", "ReadFeatureReport"}) {
    EXPECT_NE(GetProcAddress(library, name), nullptr) << name;
  }
  using Create = VirtualVLMHIDInterface* (*)();
  using Destroy = void (*)(VirtualVLMHIDInterface*);
  using FlatEnum =
      int (*)(VirtualVLMHIDInterface*, const DeviceFilter*, int, DeviceEntry*, int*, int*);
  auto create = Symbol<Create>(library, "CreateVLMHIDInterface");
  auto destroy = Symbol<Destroy>(library, "DestroyVLMHIDInterface");
  auto flatEnum = Symbol<FlatEnum>(library, "EnumDevices");
  ASSERT_TRUE(create && destroy && flatEnum);
  destroy(nullptr);
  VirtualVLMHIDInterface* object = create();
  ASSERT_NE(object, nullptr);

  // Wine's own virtual HID devices (vendor 0x845E) through the real setupapi
  // and hid.dll: found, with paths, by the slot and by the flat function.
  // Wine's HID bus driver adds them a little after the prefix has started,
  // so a fresh prefix is given up to ten seconds to show them.
  const DeviceFilter wine[] = {{0x845E, 0, 0}};
  int count = 0, maxPathBytes = 0;
  for (int attempt = 0; attempt < 50; ++attempt) {
    ASSERT_EQ((CallSlot<int, const DeviceFilter*, int, DeviceEntry*, int*, int*>(
                  object, kEnumDevices, wine, 1, nullptr, &count, &maxPathBytes)),
              0);
    if (count >= 1) break;
    Sleep(200);
  }
  EXPECT_GE(count, 1);
  EXPECT_GT(maxPathBytes, 1);
  int flatCount = 0;
  maxPathBytes = 0;
  EXPECT_EQ(flatEnum(object, wine, 1, nullptr, &flatCount, &maxPathBytes), 0);
  EXPECT_EQ(flatCount, count);

  // No device has these IDs; never connected, so transfers fail.
  EXPECT_EQ((CallSlot<int, uint16_t, uint16_t, uint8_t, int>(object, kConnectToDevice, 0x0488,
                                                             0xFFFE, 0xEE, 0)),
            -1);
  uint8_t buffer[16] = {};
  EXPECT_EQ((CallSlot<int, uint8_t*, uint16_t>(object, kReadFeature, buffer, 16)), -1);
  EXPECT_EQ((CallSlot<int>(object, kDisconnectFromDevice)), 0);
  destroy(object);
  FreeLibrary(library);
}

}  // namespace
