// A controller that answers every GET_FEATURE with the fuzz bytes: the
// discovery's status and version checks, the last error, the in-bootloader
// test and memory reads.
#include <algorithm>
#include <cstring>

#include "tests/fuzz/fuzz_ports.h"
#include "tests/fuzz/fuzz_target.h"
#include "update/bootloader_commands.h"
#include "update/discovery.h"
#include "update/memory_transfer.h"

namespace {

class FuzzController final : public padflash::fuzz::NoDeviceLibrary {
 public:
  explicit FuzzController(padflash::fuzz::Input& in) : in_(in) {}
  int ConnectToDevice(uint16_t, uint16_t, uint8_t, int) override { return in_.Byte() & 1; }
  int WriteFeatureReport(const uint8_t*, uint16_t) override {
    return (in_.Byte() & 0x0F) == 0 ? -1 : 0;
  }
  // The reply: as many fuzz bytes as the next byte says, the rest of the
  // buffer as it was.
  int ReadFeatureReport(uint8_t* report, uint16_t length) override {
    if (in_.empty()) return -1;
    const std::string_view bytes = in_.Take(in_.Byte() * 3u);
    std::memcpy(report, bytes.data(), std::min<size_t>(bytes.size(), length));
    return 0;
  }

 private:
  padflash::fuzz::Input& in_;
};

}  // namespace

PADFLASH_FUZZ_TARGET(bootloader_reply) {
  padflash::fuzz::Input in(data, size);
  padflash::fuzz::World world;
  padflash::Session& s = world.session;
  s.device.isI2C = in.Byte() & 1;
  const uint32_t address = in.U32();
  const uint16_t length = in.U16() % 1100;
  s.connection = std::make_unique<FuzzController>(in);

  padflash::DiscoverDevice(s);
  const int lastError = padflash::BL_GetLastError(s);
  FUZZ_CHECK(lastError >= -2 && lastError <= 0xFF);
  padflash::BL_CheckInBootloader(s);
  std::vector<uint8_t> out(length + 1u, 0xEE);
  padflash::BL_ReadMemory(s, address, length, out.data());
  FUZZ_CHECK(out[length] == 0xEE);  // nothing past the bytes asked for
  padflash::BL_GetStatus(s);
  FUZZ_CHECK(std::strlen(s.MessageBuffer) < sizeof s.MessageBuffer);
  return 0;
}
