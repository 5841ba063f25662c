// The factory configuration's way through an update for any comp table size
// and page: saved as a personality file, loaded back, merged into the new
// image. A page that is saved loads back unchanged, its comp table reaches
// the image unchanged, and nothing is written outside the image's regions.
#include <algorithm>
#include <deque>
#include <string>

#include "firmware/config_instruction.h"
#include "firmware/hex_file.h"
#include "firmware/hex_record_text.h"
#include "tests/fuzz/fuzz_ports.h"
#include "tests/fuzz/fuzz_target.h"
#include "update/bootloader_protocol.h"
#include "update/factory_block.h"
#include "update/factory_config.h"
#include "update/personality_file.h"

namespace {

std::string Record(uint8_t type, uint16_t address, const uint8_t* data, size_t size) {
  return padflash::HexRecordText(type, address, data, size);
}

// Both image starts through both default structures, and the factory page.
const std::deque<std::string>& ImageLines() {
  static const std::deque<std::string> lines = [] {
    std::deque<std::string> l;
    const uint8_t upper[2] = {0x08, 0x00};
    const uint8_t bytes[16] = {0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A,
                               0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A};
    l.push_back(Record(4, 0, upper, 2));
    for (uint32_t a = 0x1900; a < 0x2E00; a += 16) l.push_back(Record(0, a, bytes, 16));
    l.push_back(Record(4, 0, upper, 2));
    for (uint32_t a = 0xFC00; a < 0x10000; a += 16) l.push_back(Record(0, a, bytes, 16));
    l.push_back(":00000001FF");
    return l;
  }();
  return lines;
}

}  // namespace

PADFLASH_FUZZ_TARGET(factory_restore) {
  padflash::fuzz::Input in(data, size);
  padflash::fuzz::World world;
  padflash::Session& s = world.session;
  const uint32_t t = in.U16() % 1100;
  const uint8_t flags = in.Byte();
  s.AccessOffset = in.U32();
  s.bootloaderMode = (flags & 1) != 0;
  s.firmware.isI2C = (flags & 2) != 0;
  const bool extra = (flags & 4) != 0;
  padflash::ConfigInstruction copy;
  copy.kind = 'c';
  copy.source = padflash::kRamConfigAddress + in.U16() % 0x500;
  copy.target = padflash::kRamConfigAddress + in.U16() % 0x500;
  copy.lengthOrValue = static_cast<uint16_t>(in.U16() % 0x400);
  std::array<uint8_t, padflash::kFactoryPageSize> page{};
  const std::string_view pageBytes = in.Take(page.size());
  std::copy(pageBytes.begin(), pageBytes.end(), page.begin());
  const std::string_view config = in.Rest();

  // The save.
  s.CompTableSize = t;
  s.factoryBlock = page;
  s.factoryEnd = static_cast<int>(padflash::FactoryEndOf(page.data(), page.size(), t));
  const bool valid =
      padflash::FactoryLayoutFits(t) && padflash::IsFactoryBlockValid(page.data(), page.size(), t);
  const bool saved = padflash::SavePersonalityFile(s) == 0;
  FUZZ_CHECK(saved == valid);

  // The load, into a block that held another controller's page.
  s.factoryBlock.fill(0xA5);
  const int loaded = padflash::LoadPersonalityFile(s);
  if (saved) {
    const std::vector<uint8_t>& file = world.system.files[s.personalityFileName];
    FUZZ_CHECK(loaded == static_cast<int>(file.size()));
    FUZZ_CHECK(std::equal(file.begin(), file.end(), page.begin()));
    FUZZ_CHECK(std::equal(file.begin(), file.end(), s.factoryBlock.begin()));
    FUZZ_CHECK(std::all_of(s.factoryBlock.begin() + loaded, s.factoryBlock.end(),
                           [](uint8_t b) { return b == 0; }));
  } else {
    FUZZ_CHECK(loaded == -1);
    s.factoryBlock = page;
  }

  // The restore into the new image.
  s.image = std::make_unique<padflash::HexFile>(ImageLines());
  FUZZ_CHECK(s.image->Parse() == 0);
  const uint32_t configAddress = padflash::ImageConfigAddress(s.firmware.isI2C != 0);
  FUZZ_CHECK(s.image->WriteBytes(configAddress, reinterpret_cast<const uint8_t*>(config.data()),
                                 static_cast<int>(std::min<size_t>(config.size(), 1024))) == 0);
  std::vector<size_t> sizes;
  for (size_t i = 0; i < s.image->segmentCount(); ++i) {
    sizes.push_back(s.image->segment(i).data.size());
  }
  s.defaultConfigInstructions = padflash::DefaultConfigInstructions();
  if (extra) s.defaultConfigInstructions.push_back(copy);
  const bool restored = padflash::RestoreFactoryConfig(s);
  for (size_t i = 0; i < s.image->segmentCount(); ++i) {
    FUZZ_CHECK(s.image->segment(i).data.size() == sizes[i]);
  }
  if (!restored) {
    FUZZ_CHECK(!saved || extra);
    return 0;
  }
  FUZZ_CHECK(saved);
  FUZZ_CHECK(s.restoredPageLength <= padflash::kFactoryPageSize);
  std::vector<uint8_t> image(padflash::kFactoryPageSize);
  FUZZ_CHECK(s.image->ReadBytes(padflash::kFactoryPageAddress, image.data(),
                                static_cast<int>(image.size())) == 0);
  FUZZ_CHECK(std::equal(image.begin(), image.begin() + t, page.begin()));
  if (!extra) {
    // The factory values come with the comp table.
    FUZZ_CHECK(std::equal(image.begin() + t + padflash::kConfigFactoryValues,
                          image.begin() + t + padflash::kConfigFactoryValues + 3,
                          page.begin() + t + padflash::kConfigFactoryValues));
  }
  return 0;
}
