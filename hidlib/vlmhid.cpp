// The library's exported functions: the factory, the destructor and the flat
// C interface. Each flat function only calls the matching virtual slot; they
// require a valid object and do not test it.
//
// Which platform answers is decided by the vlmhid::CreatePlatformBackend
// linked into the library (hidraw, hid.dll or the simulated bus).
#include <new>

#include "VLMHID.h"
#include "hidlib/vlmhid_interface.h"

extern "C" {

VLMHID_API VirtualVLMHIDInterface* VLMHID_CALL CreateVLMHIDInterface() {
  try {
    return new VLMHIDInterface(vlmhid::CreatePlatformBackend());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

VLMHID_API void VLMHID_CALL DestroyVLMHIDInterface(VirtualVLMHIDInterface* object) {
  delete object;
}

VLMHID_API int VLMHID_CALL EnumDevices(VirtualVLMHIDInterface* object, const DeviceFilter* filters,
                                       int filterCount, DeviceEntry* entries, int* count,
                                       int* maxPathBytes) {
  return object->EnumDevices(filters, filterCount, entries, count, maxPathBytes);
}

VLMHID_API int VLMHID_CALL EnumDevicesEx(VirtualVLMHIDInterface* object, const uint16_t* vendorIds,
                                         int vendorCount, const uint16_t* productIds,
                                         int productCount, const uint16_t* versions,
                                         int versionCount, DeviceEntry* entries, int* count,
                                         int* maxPathBytes) {
  return object->EnumDevicesEx(vendorIds, vendorCount, productIds, productCount, versions,
                               versionCount, entries, count, maxPathBytes);
}

VLMHID_API int VLMHID_CALL ConnectToDevice(VirtualVLMHIDInterface* object, uint16_t vendorId,
                                           uint16_t productId, uint8_t reportId, int mode) {
  return object->ConnectToDevice(vendorId, productId, reportId, mode);
}

VLMHID_API int VLMHID_CALL ConnectToDeviceEx(VirtualVLMHIDInterface* object, uint16_t vendorId,
                                             uint16_t productId, uint8_t reportId, int mode,
                                             const wchar_t* pathToken1, uint32_t offset1,
                                             const wchar_t* pathToken2, uint32_t offset2) {
  return object->ConnectToDeviceEx(vendorId, productId, reportId, mode, pathToken1, offset1,
                                   pathToken2, offset2);
}

VLMHID_API int VLMHID_CALL DisconnectFromDevice(VirtualVLMHIDInterface* object) {
  return object->DisconnectFromDevice();
}

VLMHID_API int VLMHID_CALL WriteOutputReport(VirtualVLMHIDInterface* object, const uint8_t* data,
                                             uint16_t length, int useSetOutputReport, int retries) {
  return object->WriteOutputReport(data, length, useSetOutputReport, retries);
}

VLMHID_API int VLMHID_CALL ReadInputReport(VirtualVLMHIDInterface* object, uint8_t* data,
                                           uint16_t length, int timeoutMs, int useGetInputReport) {
  return object->ReadInputReport(data, length, timeoutMs, useGetInputReport);
}

VLMHID_API int VLMHID_CALL WriteFeatureReport(VirtualVLMHIDInterface* object, const uint8_t* data,
                                              uint16_t length) {
  return object->WriteFeatureReport(data, length);
}

VLMHID_API int VLMHID_CALL ReadFeatureReport(VirtualVLMHIDInterface* object, uint8_t* data,
                                             uint16_t length) {
  return object->ReadFeatureReport(data, length);
}

}  // extern "C"
