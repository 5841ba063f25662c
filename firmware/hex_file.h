// The firmware image in memory, built from an Intel HEX file or from HEX text
// lines handed over by a firmware package library. Parsing keeps only the
// application image: data from the image start (0x08001900 for I2C builds,
// 0x08002900 for USB builds) on. The image is patched in memory and never
// written back to disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace padflash {

inline constexpr uint32_t kImageStartI2C = 0x08001900;
inline constexpr uint32_t kImageStartUSB = 0x08002900;
// More image data than any controller's flash holds (sixteen times the 64 KiB
// of the controllers' flash): such a file is refused while it is parsed, so
// a huge file never fills memory.
inline constexpr size_t kMaxImageBytes = 1 << 20;

// One parsed text line, and also one segment (a contiguous run of bytes).
struct HexRecord {
  std::vector<uint8_t> data;
  bool valid = false;
  int32_t type = 0;
  int32_t address = 0;  // 16-bit load offset
  int32_t upper = 0;    // upper 16 address bits

  uint32_t FullAddress() const {
    return (static_cast<uint32_t>(upper) << 16) | (static_cast<uint32_t>(address) & 0xFFFF);
  }

  // Parses one token (":" then hex pairs) with the upper address in force.
  static HexRecord ParseLine(const std::string& text, uint32_t upperAddress);
};

class HexFile {
 public:
  // Image of the file at `path`.
  explicit HexFile(std::string path);
  // Image of supplied HEX text lines (package library).
  explicit HexFile(std::deque<std::string> lines);
  virtual ~HexFile();

  HexFile(const HexFile&) = delete;
  HexFile& operator=(const HexFile&) = delete;

  // 0 on success, -1 when the file cannot be opened or read, holds no text,
  // or holds more than kMaxImageBytes of image data. The file is read piece
  // by piece; only the image is kept.
  int Parse();
  // The last Parse failed because the image outgrew kMaxImageBytes.
  bool imageTooLarge() const { return imageTooLarge_; }
  // 0 when all `count` bytes were copied from one segment, -1 otherwise.
  int ReadBytes(uint32_t address, uint8_t* out, int count) const;
  // 0 on success, -1 when no segment holds `address` or `in` is null.
  int WriteBytes(uint32_t address, const uint8_t* in, int count);

  const std::string& fileName() const { return fileName_; }
  const std::deque<std::string>& lines() const { return lines_; }
  size_t segmentCount() const { return segments_.size(); }
  const HexRecord& segment(size_t index) const { return *segments_[index]; }

 private:
  std::string fileName_;
  std::vector<std::unique_ptr<HexRecord>> segments_;
  std::deque<std::string> lines_;
  uint32_t upperAddress_ = 0;
  bool imageTooLarge_ = false;
};

}  // namespace padflash
