// VLMHID: HID device access for touch controller tools.
//
// This is the library's only public header. A client links one import,
// CreateVLMHIDInterface, and reaches everything else through the virtual
// slots of VirtualVLMHIDInterface. The slot order below is a binary contract
// between the library and its clients: never reorder, insert or remove slots.
//
// Report buffers: callers pass and receive only the data bytes of a report.
// The library puts the connection's report ID in front, so a transfer of
// `length` data bytes moves a report of `length` + 1 bytes on the wire.
//
// Ownership: the caller owns every buffer it passes, including DeviceEntry
// arrays and the three wide-string buffers of each entry. The object owns its
// device handles and releases them on disconnect or destruction.
//
// Windows: VLMHID.dll exports the functions below by their plain names and
// the class VirtualVLMHIDInterface with its vtable. It is built with
// mingw-w64, which follows the Itanium C++ ABI: the virtual destructor takes
// two vtable entries (complete and deleting), so slot k >= 1 sits in entry
// k + 1. The slot order therefore holds between deliverables built by the
// same compiler family; clients built with another C++ ABI (MSVC) use the
// flat exports, which take the object as their first argument.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
// Clients declare nothing imported: the functions resolve through the import
// library's stubs, and the class's inline members and vtable are emitted
// where they are used, so programs that derive from the class (test fakes)
// or link the library's code statically need no VLMHID.dll.
#if defined(VLMHID_BUILDING)
#define VLMHID_API __declspec(dllexport)
#else
#define VLMHID_API
#endif
#define VLMHID_CALL __cdecl
#else
#define VLMHID_API __attribute__((visibility("default")))
#define VLMHID_CALL
#endif

// Connect modes.
enum VLMHIDConnectMode : int {
  kVLMHIDModeFeature = 0,  // feature reports only
  kVLMHIDModeInput = 1,    // feature reports and input reports
  kVLMHIDModeOutput = 2,   // feature reports and output reports
};

#pragma pack(push, 2)

// Enumeration filter; a 0 in any field matches every value.
struct DeviceFilter {
  uint16_t vendorId;
  uint16_t productId;
  uint16_t versionNumber;
};

// One enumerated device interface. The three string buffers are allocated
// by the caller: the path buffer must hold maxPathBytes wide characters as
// reported by a first enumeration pass, product and serial buffers hold
// kVLMHIDStringChars wide characters. Every copy is bounded to its buffer and
// always terminated.
struct DeviceEntry {
  uint16_t vendorId;
  uint16_t productId;
  uint16_t versionNumber;
  wchar_t* productString;
  wchar_t* serialNumberString;
  wchar_t* devicePath;
};

#pragma pack(pop)

static_assert(sizeof(DeviceFilter) == 6, "DeviceFilter is three packed u16");
static_assert(offsetof(DeviceFilter, productId) == 2);
static_assert(offsetof(DeviceFilter, versionNumber) == 4);
static_assert(sizeof(DeviceEntry) == 6 + 3 * sizeof(void*), "DeviceEntry has no gaps");
static_assert(offsetof(DeviceEntry, productString) == 6);
static_assert(offsetof(DeviceEntry, serialNumberString) == 6 + sizeof(void*));
static_assert(offsetof(DeviceEntry, devicePath) == 6 + 2 * sizeof(void*));

// Product and serial-number buffers hold this many wide characters (the
// longest string a 512-byte platform query returns, with its terminator).
inline constexpr int kVLMHIDStringChars = 256;

class VLMHID_API VirtualVLMHIDInterface {
 public:
  VirtualVLMHIDInterface() = default;
  VirtualVLMHIDInterface(const VirtualVLMHIDInterface&) = default;
  VirtualVLMHIDInterface& operator=(const VirtualVLMHIDInterface&) = default;

  // Slot 0.
  virtual ~VirtualVLMHIDInterface() = default;
  // Slot 1. Fills at most *count entries (none when entries is null), sets
  // *count to the number of matching devices and raises *maxPathBytes to one
  // above the longest matching path in bytes. Returns 0; -1 (nothing done)
  // when count or maxPathBytes is null.
  //
  // Path copies are bounded and terminated. The bound, in wide characters,
  // is *maxPathBytes as passed in when above 0; otherwise the *maxPathBytes
  // this object reported on its last call without entries (the usual first
  // pass); otherwise none. So a second pass on the object of the first pass
  // stays within buffers of the reported size even when a device with a
  // longer path appeared in between; a caller with other buffers passes
  // their size in *maxPathBytes.
  virtual int EnumDevices(const DeviceFilter* filters, int filterCount, DeviceEntry* entries,
                          int* count, int* maxPathBytes) = 0;
  // Slot 2. As EnumDevices with three independent lists (0 is an ordinary value).
  virtual int EnumDevicesEx(const uint16_t* vendorIds, int vendorCount, const uint16_t* productIds,
                            int productCount, const uint16_t* versions, int versionCount,
                            DeviceEntry* entries, int* count, int* maxPathBytes) = 0;
  // Slot 3. ConnectToDeviceEx without path tokens. 0 / -1.
  virtual int ConnectToDevice(uint16_t vendorId, uint16_t productId, uint8_t reportId,
                              int mode) = 0;
  // Slot 4. Opens the first interface whose path holds the tokens at or after
  // their offsets, whose IDs match and whose first value capability of the
  // mode's kind carries reportId. Fails, changing nothing, when connected.
  virtual int ConnectToDeviceEx(uint16_t vendorId, uint16_t productId, uint8_t reportId, int mode,
                                const wchar_t* pathToken1, uint32_t offset1,
                                const wchar_t* pathToken2, uint32_t offset2) = 0;
  // Slot 5. Closes everything; safe when not connected. Returns 0.
  virtual int DisconnectFromDevice() = 0;
  // Slot 6. Output report; `retries` attempts (at least one), 100 ms apart.
  virtual int WriteOutputReport(const uint8_t* data, uint16_t length, int useSetOutputReport,
                                int retries) = 0;
  // Slot 7. Input report, waiting up to timeoutMs. 0 / -1.
  virtual int ReadInputReport(uint8_t* data, uint16_t length, int timeoutMs,
                              int useGetInputReport) = 0;
  // Slot 8. Feature report out. 0 / -1.
  virtual int WriteFeatureReport(const uint8_t* data, uint16_t length) = 0;
  // Slot 9. Feature report in; data untouched on failure. 0 / -1.
  virtual int ReadFeatureReport(uint8_t* data, uint16_t length) = 0;
};

extern "C" {
VLMHID_API VirtualVLMHIDInterface* VLMHID_CALL CreateVLMHIDInterface();
VLMHID_API void VLMHID_CALL DestroyVLMHIDInterface(VirtualVLMHIDInterface* object);
VLMHID_API int VLMHID_CALL EnumDevices(VirtualVLMHIDInterface* object, const DeviceFilter* filters,
                                       int filterCount, DeviceEntry* entries, int* count,
                                       int* maxPathBytes);
VLMHID_API int VLMHID_CALL EnumDevicesEx(VirtualVLMHIDInterface* object, const uint16_t* vendorIds,
                                         int vendorCount, const uint16_t* productIds,
                                         int productCount, const uint16_t* versions,
                                         int versionCount, DeviceEntry* entries, int* count,
                                         int* maxPathBytes);
VLMHID_API int VLMHID_CALL ConnectToDevice(VirtualVLMHIDInterface* object, uint16_t vendorId,
                                           uint16_t productId, uint8_t reportId, int mode);
VLMHID_API int VLMHID_CALL ConnectToDeviceEx(VirtualVLMHIDInterface* object, uint16_t vendorId,
                                             uint16_t productId, uint8_t reportId, int mode,
                                             const wchar_t* pathToken1, uint32_t offset1,
                                             const wchar_t* pathToken2, uint32_t offset2);
VLMHID_API int VLMHID_CALL DisconnectFromDevice(VirtualVLMHIDInterface* object);
VLMHID_API int VLMHID_CALL WriteOutputReport(VirtualVLMHIDInterface* object, const uint8_t* data,
                                             uint16_t length, int useSetOutputReport, int retries);
VLMHID_API int VLMHID_CALL ReadInputReport(VirtualVLMHIDInterface* object, uint8_t* data,
                                           uint16_t length, int timeoutMs, int useGetInputReport);
VLMHID_API int VLMHID_CALL WriteFeatureReport(VirtualVLMHIDInterface* object, const uint8_t* data,
                                              uint16_t length);
VLMHID_API int VLMHID_CALL ReadFeatureReport(VirtualVLMHIDInterface* object, uint8_t* data,
                                             uint16_t length);
}
