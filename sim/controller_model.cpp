#include "sim/controller_model.h"

#include <algorithm>
#include <cstring>

#include "sim/controller_internals.h"
#include "update/fletcher.h"

namespace sim {

using namespace model;

ControllerState Controller::Manufacture(const ControllerConfig& config) {
  ControllerState s;
  s.config = config;
  const uint32_t seed = SerialSeed(config.serial);
  const uint32_t start = fwgen::ImageStart(config.i2c);
  s.flash.assign(kFlashSize, 0xFF);
  s.ram.assign(kRamMirrorSize, 0);
  s.accessOffset = padflash::kAccessOffsetBase + config.compTableSize;

  // The bootloader's own code.
  fwgen::ByteStream boot(seed ^ 0xB0B0B0B0u);
  for (uint32_t i = 0; i < start - padflash::kFlashBase; ++i) s.flash[i] = boot.Next();

  // The firmware it was shipped with.
  fwgen::FirmwareBuild build;
  build.i2c = config.i2c;
  build.chipId = config.chipId;
  build.revision = config.revision;
  build.i2cAddress = config.i2c ? config.i2cAddress : 0;
  build.hidDescriptorAddress = config.i2c ? config.hidDescriptorAddress : 0;
  build.vendorId = config.vendorId;
  build.productId = config.productId;
  build.feedConfig1 = config.feedConfig1;
  build.factoryPageRegion = false;
  build.seed = seed;
  for (const fwgen::Region& region : fwgen::GenerateFirmware(build)) {
    std::copy(region.bytes.begin(), region.bytes.end(),
              s.flash.begin() + (region.address - padflash::kFlashBase));
  }

  // The factory page: calibration table, then the structure with what the
  // factory wrote into it.
  const uint32_t table = std::min<uint32_t>(config.compTableSize, kFactoryPageSize);
  fwgen::ByteStream calibration(seed);
  for (uint32_t i = 0; i < table; ++i) s.flash[kPageIndex + i] = calibration.Next();
  std::vector<uint8_t> structure = fwgen::DefaultStructure(build);
  PutU32(&structure[fwgen::kStructAccessOffset], s.accessOffset);
  for (uint32_t i = 0; i < 3; ++i) {
    structure[fwgen::kStructFactoryValues + i] = static_cast<uint8_t>(calibration.Next() | 0x01);
  }
  const size_t fits = std::min<size_t>(structure.size(), kFactoryPageSize - table);
  std::copy(structure.begin(), structure.begin() + fits, s.flash.begin() + kPageIndex + table);

  s.imageValid = true;
  if (config.inBootloader) {
    // An update that stopped after the image area was erased.
    std::fill(s.flash.begin() + (start - padflash::kFlashBase), s.flash.begin() + kPageIndex, 0xFF);
    s.imageValid = false;
    Boot(s, Mode::kBootloader);
  } else {
    Boot(s, Mode::kFirmware);
  }
  return s;
}

Controller::Controller(ControllerState state, padflash::Clock& clock)
    : state_(std::move(state)), clock_(clock) {
  // A state read back from a file is taken only as far as it fits the part.
  state_.flash.resize(kFlashSize, 0xFF);
  state_.ram.resize(kRamMirrorSize, 0);
  if (state_.pendingReply.size() != kWholeReport) state_.pendingReply.clear();
  std::erase_if(state_.regions, [](const FormattedRegion& r) {
    return r.address < padflash::kFlashBase ||
           static_cast<uint64_t>(r.address) + r.length > kFlashEnd;
  });
}

// ---- inspection ------------------------------------------------------------

bool Controller::present() {
  Poll();
  return !state_.restart.active;
}

Mode Controller::mode() {
  Poll();
  return state_.mode;
}

bool Controller::inBootloader() {
  return mode() == Mode::kBootloader;
}

uint16_t Controller::vendorId() {
  return inBootloader() ? kBootloaderVendorId : state_.runningVendorId;
}

uint16_t Controller::productId() {
  return inBootloader() ? kBootloaderProductId : state_.runningProductId;
}

uint16_t Controller::versionNumber() {
  if (inBootloader()) return state_.config.bootloaderVersion;
  return static_cast<uint16_t>(state_.runningChipId << 8 | state_.runningRevision);
}

std::vector<uint8_t> Controller::ReadFlash(uint32_t flashAddress, size_t count) const {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < count; ++i) {
    const uint64_t a = static_cast<uint64_t>(flashAddress) + i;
    if (a >= padflash::kFlashBase && a < kFlashEnd)
      out.push_back(state_.flash[a - padflash::kFlashBase]);
  }
  return out;
}

std::vector<uint8_t> Controller::ReadRam(uint32_t address, size_t count) const {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < count; ++i) {
    const uint64_t a = static_cast<uint64_t>(address) + i;
    if (a >= padflash::kRamConfigAddress && a < padflash::kRamConfigAddress + kRamMirrorSize) {
      out.push_back(state_.ram[a - padflash::kRamConfigAddress]);
    }
  }
  return out;
}

}  // namespace sim
