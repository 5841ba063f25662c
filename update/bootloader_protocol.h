// The bootloader protocol on the wire: every command and reply is one
// 531-byte buffer moved as a HID feature report (the library puts the report
// ID in front). Multi-byte fields are little-endian except the status
// sentinel, which is read high byte first.
#pragma once

#include <cstdint>

namespace padflash {

inline constexpr uint16_t kReportSize = 531;

// Command codes (offset 0 of a command buffer).
enum BootloaderCommand : uint8_t {
  kCmdWriteData = 0,
  kCmdFlush = 1,
  kCmdValidate = 2,
  kCmdReset = 3,
  kCmdFormatImage = 4,
  kCmdFormatRegion = 5,
  kCmdInvoke = 6,  // sent to the running firmware
  kCmdWriteMemory = 7,
  kCmdReadMemory = 8,
};

// Status sentinels.
inline constexpr uint16_t kSentinelBootloader = 0x5AC3;  // bootloader access
inline constexpr uint16_t kSentinelImage = 0xC35A;       // the firmware answered

// Last-error codes.
enum NvError : uint8_t {
  NV_err_none = 0x00,
  NV_err_not_initialized = 0x01,
  NV_err_sector_out_of_range = 0x02,
  NV_err_offset_out_of_range = 0x03,
  NV_err_null_ptr = 0x04,
  NV_err_timeout = 0x05,
  NV_err_unknown = 0x06,
  NV_err_no_recent_image = 0x07,
  NV_err_access_violation = 0x08,
  NV_err_protection_violation = 0x09,
  NV_err_misaligned_address = 0x0A,
  NV_err_cmd_unknown = 0x0B,
  NV_err_chksum_mismatch = 0x0C,
};

// Status flag bits (offset 4 of the header).
inline constexpr uint8_t kFlagDualImage = 0x01;
inline constexpr uint8_t kFlagActiveImageMask = 0x06;
inline constexpr uint8_t kFlagBusy = 0x08;
inline constexpr uint8_t kFlagImageValid = 0x10;
inline constexpr uint8_t kFlagForce = 0x20;

// Memory map.
inline constexpr uint32_t kFlashBase = 0x08000000;
inline constexpr uint32_t kFactoryPageAddress = 0x0800FC00;
inline constexpr uint32_t kRamConfigAddress = 0xC2C0;
inline constexpr uint32_t kFeedConfig1Address = 0xC2C4;
inline constexpr uint32_t kAccessOffsetAddress = 0xFFFFFFFC;
inline constexpr uint32_t kAccessOffsetBase = 0x1FFF3D54;

// Memory transfers carry at most this many data bytes per chunk.
inline constexpr uint16_t kMemoryChunkBytes = 500;
// Image data chunks carry at most this many bytes.
inline constexpr uint32_t kWriteDataChunkBytes = 520;

}  // namespace padflash
