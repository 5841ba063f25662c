// A whole programming run of an image (format, erase, write, flush,
// validate, close) against a bootloader whose every answer comes from the
// fuzz bytes: transfers that fail, replies that say an error, replies of
// garbage. The run ends, and it never ends in success when the bootloader
// said a failure or when not every byte of the image went over.
#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

#include "firmware/hex_file.h"
#include "firmware/hex_record_text.h"
#include "tests/fuzz/fuzz_ports.h"
#include "tests/fuzz/fuzz_target.h"
#include "update/bootloader_protocol.h"
#include "update/bootloader_status.h"
#include "update/flash_programming.h"

namespace {

// The engine reads a status up to this many times before it gives up.
constexpr int kStatusReadAttempts = 100;

class FuzzBootloader final : public padflash::fuzz::NoDeviceLibrary {
 public:
  explicit FuzzBootloader(padflash::fuzz::Input& in) : in_(in) {}

  // A command: taken unless the next fuzz byte's low half is 0. After a
  // command the next replies are its verdict.
  int WriteFeatureReport(const uint8_t* report, uint16_t length) override {
    if (awaiting_ > 0 && !closing_) failureSaid = true;  // the verdict was never read
    awaiting_ = 0;
    if ((in_.Byte() & 0x0F) == 0) {
      if (!closing_) failureSaid = true;
      return -1;
    }
    if (length > 8 && report[0] == padflash::kCmdWriteData) {
      uint32_t chunk;
      std::memcpy(&chunk, report + 5, 4);
      bytesWritten += chunk;
    }
    awaiting_ = 1;
    return 0;
  }

  // A reply: a failed transfer, a good status, a status with an error, or
  // raw bytes.
  int ReadFeatureReport(uint8_t* report, uint16_t length) override {
    padflash::ReportFrame frame{};
    const uint8_t mode = in_.Byte();
    if (in_.empty() || (mode & 3) == 0) {
      if (awaiting_ > 0 && ++awaiting_ > kStatusReadAttempts) {
        failureSaid = true;
        awaiting_ = 0;
      }
      return -1;
    }
    frame[0] = static_cast<uint8_t>(padflash::kSentinelBootloader >> 8);
    frame[1] = static_cast<uint8_t>(padflash::kSentinelBootloader);
    if ((mode & 3) == 2) frame[3] = in_.Byte();
    if ((mode & 3) == 3) {
      const std::string_view bytes = in_.Take(8);
      std::memcpy(frame.data(), bytes.data(), bytes.size());
    }
    std::memcpy(report, frame.data(), std::min<size_t>(frame.size(), length));
    const padflash::BootloaderStatus status = padflash::DecodeBootloaderStatus(frame);
    const bool bad = status.lastError != 0 || (status.sentinel != padflash::kSentinelBootloader &&
                                               status.sentinel != padflash::kSentinelImage);
    if (awaiting_ > 0) {
      failureSaid = failureSaid || bad;
    } else {
      closing_ = true;  // a status asked for its own sake: the closing or an error's report
    }
    awaiting_ = 0;
    return 0;
  }

  bool failureSaid = false;
  uint64_t bytesWritten = 0;

 private:
  padflash::fuzz::Input& in_;
  int awaiting_ = 0;
  bool closing_ = false;
};

std::string Record(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
  return padflash::HexRecordText(type, address, data);
}

}  // namespace

PADFLASH_FUZZ_TARGET(programming_replies) {
  padflash::fuzz::Input in(data, size);
  padflash::fuzz::World world;
  padflash::Session& s = world.session;

  // The image: up to four regions, the first at the image start.
  std::deque<std::string> lines;
  const int regions = in.Byte() % 4 + 1;
  for (int r = 0; r < regions; ++r) {
    const uint16_t start = r == 0 ? 0x2900 : in.U16();
    const size_t bytes = in.U16() % 1600;
    lines.push_back(Record(4, 0, {0x08, 0x00}));
    for (size_t at = 0; at < bytes || (bytes == 0 && at == 0); at += 16) {
      const size_t n = std::min<size_t>(16, bytes - at);
      if (start + at > 0xFFFF) break;
      lines.push_back(Record(0, static_cast<uint16_t>(start + at),
                             std::vector<uint8_t>(n, static_cast<uint8_t>(r * 37 + at))));
      if (bytes == 0) break;
    }
  }
  lines.push_back(":00000001FF");
  s.image = std::make_unique<padflash::HexFile>(lines);
  FUZZ_CHECK(s.image->Parse() == 0);
  uint64_t imageBytes = 0;
  const uint32_t imageStart = s.image->segment(0).FullAddress();
  for (size_t r = 0; r < s.image->segmentCount(); ++r) {
    if (s.image->segment(r).FullAddress() >= imageStart) {
      imageBytes += s.image->segment(r).data.size();
    }
  }

  auto bootloader = std::make_unique<FuzzBootloader>(in);
  FuzzBootloader& b = *bootloader;
  s.connection = std::move(bootloader);
  s.deviceConnected = true;
  s.inBootloader = true;
  padflash::PrepareProgressBar(s);
  // True sends the session on to the new firmware as updated.
  const bool ok = padflash::ProgramImage(s);
  FUZZ_CHECK(!(ok && b.failureSaid));
  if (ok) FUZZ_CHECK(b.bytesWritten == imageBytes);
  if (!ok) FUZZ_CHECK(s.UpdateResult != 0 && s.inBootloader);
  FUZZ_CHECK(std::strlen(s.MessageBuffer) < sizeof s.MessageBuffer);
  return 0;
}
