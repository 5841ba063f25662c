// Personality files as they may be found on disk: the offsets read from
// them, the compatibility check and the load into the factory block.
#include "tests/fuzz/fuzz_ports.h"
#include "tests/fuzz/fuzz_target.h"
#include "update/personality_file.h"

PADFLASH_FUZZ_TARGET(personality_file) {
  padflash::fuzz::Input in(data, size);
  padflash::fuzz::World world;
  padflash::Session& s = world.session;
  const uint32_t compTableSize = in.U16() % 1100;
  const uint8_t chip = in.Byte();
  const uint8_t revision = in.Byte();
  const uint16_t vendor = in.U16();
  const uint16_t product = in.U16();
  const std::string_view file = in.Rest();
  world.system.files["sf20150811_101010.mem"].assign(file.begin(), file.end());

  s.CompTableSize = compTableSize;
  padflash::CheckPersonalityFile(s, chip, revision, vendor, product);
  const int loaded = padflash::LoadPersonalityFile(s);
  FUZZ_CHECK(loaded <= 1024);
  if (loaded > 0) FUZZ_CHECK(static_cast<size_t>(loaded) == std::min<size_t>(file.size(), 1024));
  padflash::ReadPersonalityOffsets(s, chip, revision, vendor, product);
  padflash::CheckPersonalityFile(s, chip, revision, vendor, product);
  padflash::LoadPersonalityFile(s);
  FUZZ_CHECK(s.personalityFileName == "sf20150811_101010.mem");
  return 0;
}
