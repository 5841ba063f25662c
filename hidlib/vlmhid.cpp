// The library's exported functions: the factory, the destructor and the flat
// C interface. Each flat function only calls the matching virtual slot; they
// require a valid object and do not test it. No exception leaves an export:
// one thrown below (memory running out) ends the call with its failure,
// -1, after what it had taken is released.
//
// Which platform answers is decided by the vlmhid::CreatePlatformBackend
// linked into the library (hidraw, hid.dll or the simulated bus).
#include <new>

#include "VLMHID.h"
#include "hidlib/vlmhid_interface.h"

namespace {

// Runs one call of the interface; an exception ends it with -1, after
// `undo` has released what the call had taken.
template <typename Call, typename Undo>
int Guarded(Call call, Undo undo) noexcept {
  try {
    return call();
  } catch (...) {
    try {
      undo();
    } catch (...) {
    }
    return -1;
  }
}

template <typename Call>
int Guarded(Call call) noexcept {
  return Guarded(call, [] {});
}

// An enumeration cut short reports no devices.
template <typename Call>
int GuardedEnumeration(int* count, Call call) noexcept {
  return Guarded(call, [count] {
    if (count != nullptr) *count = 0;
  });
}

// A connection cut short is closed again.
template <typename Call>
int GuardedConnection(VirtualVLMHIDInterface* object, Call call) noexcept {
  return Guarded(call, [object] { object->DisconnectFromDevice(); });
}

}  // namespace

extern "C" {

VLMHID_API VirtualVLMHIDInterface* VLMHID_CALL CreateVLMHIDInterface() {
  try {
    return new VLMHIDInterface(vlmhid::CreatePlatformBackend());
  } catch (...) {
    return nullptr;
  }
}

VLMHID_API void VLMHID_CALL DestroyVLMHIDInterface(VirtualVLMHIDInterface* object) {
  delete object;
}

VLMHID_API int VLMHID_CALL EnumDevices(VirtualVLMHIDInterface* object, const DeviceFilter* filters,
                                       int filterCount, DeviceEntry* entries, int* count,
                                       int* maxPathBytes) {
  return GuardedEnumeration(count, [&] {
    return object->EnumDevices(filters, filterCount, entries, count, maxPathBytes);
  });
}

VLMHID_API int VLMHID_CALL EnumDevicesEx(VirtualVLMHIDInterface* object, const uint16_t* vendorIds,
                                         int vendorCount, const uint16_t* productIds,
                                         int productCount, const uint16_t* versions,
                                         int versionCount, DeviceEntry* entries, int* count,
                                         int* maxPathBytes) {
  return GuardedEnumeration(count, [&] {
    return object->EnumDevicesEx(vendorIds, vendorCount, productIds, productCount, versions,
                                 versionCount, entries, count, maxPathBytes);
  });
}

VLMHID_API int VLMHID_CALL ConnectToDevice(VirtualVLMHIDInterface* object, uint16_t vendorId,
                                           uint16_t productId, uint8_t reportId, int mode) {
  return GuardedConnection(
      object, [&] { return object->ConnectToDevice(vendorId, productId, reportId, mode); });
}

VLMHID_API int VLMHID_CALL ConnectToDeviceEx(VirtualVLMHIDInterface* object, uint16_t vendorId,
                                             uint16_t productId, uint8_t reportId, int mode,
                                             const wchar_t* pathToken1, uint32_t offset1,
                                             const wchar_t* pathToken2, uint32_t offset2) {
  return GuardedConnection(object, [&] {
    return object->ConnectToDeviceEx(vendorId, productId, reportId, mode, pathToken1, offset1,
                                     pathToken2, offset2);
  });
}

VLMHID_API int VLMHID_CALL DisconnectFromDevice(VirtualVLMHIDInterface* object) {
  return Guarded([&] { return object->DisconnectFromDevice(); });
}

VLMHID_API int VLMHID_CALL WriteOutputReport(VirtualVLMHIDInterface* object, const uint8_t* data,
                                             uint16_t length, int useSetOutputReport, int retries) {
  return Guarded(
      [&] { return object->WriteOutputReport(data, length, useSetOutputReport, retries); });
}

VLMHID_API int VLMHID_CALL ReadInputReport(VirtualVLMHIDInterface* object, uint8_t* data,
                                           uint16_t length, int timeoutMs, int useGetInputReport) {
  return Guarded(
      [&] { return object->ReadInputReport(data, length, timeoutMs, useGetInputReport); });
}

VLMHID_API int VLMHID_CALL WriteFeatureReport(VirtualVLMHIDInterface* object, const uint8_t* data,
                                              uint16_t length) {
  return Guarded([&] { return object->WriteFeatureReport(data, length); });
}

VLMHID_API int VLMHID_CALL ReadFeatureReport(VirtualVLMHIDInterface* object, uint8_t* data,
                                             uint16_t length) {
  return Guarded([&] { return object->ReadFeatureReport(data, length); });
}

}  // extern "C"
