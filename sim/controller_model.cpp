#include "sim/controller_model.h"

#include <algorithm>
#include <cstring>

#include "tools/fwgen/firmware_generator.h"
#include "update/bootloader_protocol.h"
#include "update/fletcher.h"

namespace sim {

namespace {

using padflash::kReportSize;

constexpr size_t kWholeReport = kReportSize + 1;  // report ID + command buffer
constexpr uint32_t kFlashEnd = padflash::kFlashBase + kFlashSize;
constexpr uint32_t kPageIndex = padflash::kFactoryPageAddress - padflash::kFlashBase;
// Largest data runs that fit the 531-byte buffer.
constexpr uint32_t kMaxReadBytes = kReportSize - 13;  // 5 header, 6 echo, 2 checksum
constexpr uint32_t kMaxWriteMemoryBytes = kReportSize - 9;
constexpr uint32_t kMaxWriteDataBytes = kReportSize - 9;

uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A "from now" rule: counts one event; true on the event it names.
bool CountDown(int& rule) {
  if (rule <= 0) return false;
  return --rule == 0;
}

uint32_t SerialSeed(const std::string& serial) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (unsigned char c : serial) h = (h ^ c) * 16777619u;
  return h;
}

bool IsEndMarker(const uint8_t* p) {
  return (p[0] == 0xFC && p[1] == 0xDE) || (p[0] == 0xAC && p[1] == 0xF1);
}

// Offset just after the first end marker in [from, limit), or 0 when none.
size_t FindStructureEnd(const std::vector<uint8_t>& bytes, size_t from, size_t limit) {
  for (size_t j = from; j + 1 < limit && j + 1 < bytes.size(); ++j) {
    if (IsEndMarker(&bytes[j])) return j + 2;
  }
  return 0;
}

// Where a device address lands.
enum class Target { kNone, kRam, kAccessOffset, kFlash };

struct Location {
  Target target = Target::kNone;
  uint32_t index = 0;  // into ram, flash, or the offset's four bytes
};

Location Resolve(const ControllerState& s, uint32_t address, uint32_t count) {
  const uint64_t end = static_cast<uint64_t>(address) + count;
  if (address >= padflash::kAccessOffsetAddress) {
    if (end <= 0x100000000ull)
      return {Target::kAccessOffset, address - padflash::kAccessOffsetAddress};
    return {};
  }
  if (address >= padflash::kRamConfigAddress &&
      address < padflash::kRamConfigAddress + kRamMirrorSize) {
    if (end <= padflash::kRamConfigAddress + kRamMirrorSize) {
      return {Target::kRam, address - padflash::kRamConfigAddress};
    }
    return {};
  }
  const uint32_t flash = address + s.accessOffset;  // wraps as the part's adder does
  if (flash >= padflash::kFlashBase && static_cast<uint64_t>(flash) + count <= kFlashEnd) {
    return {Target::kFlash, flash - padflash::kFlashBase};
  }
  return {};
}

// The structure the firmware runs with: from the factory page (offset
// compTableSize) when the page holds one (chip byte nonzero and an end
// marker after it), else the image's default block at image start + 0xC0.
void StartFirmware(ControllerState& s) {
  const uint32_t table = s.config.compTableSize;
  size_t from = 0;
  size_t end = 0;
  if (table <= kFactoryPageSize - 2 && s.flash[kPageIndex + table] != 0) {
    end = FindStructureEnd(s.flash, kPageIndex + table, kFlashSize);
    from = kPageIndex + table;
  }
  s.structureFromFactoryPage = end != 0;
  if (end == 0) {
    from = fwgen::ImageStart(s.config.i2c) + fwgen::kIdentityOffset - padflash::kFlashBase;
    end = FindStructureEnd(s.flash, from, from + kRamMirrorSize);
    if (end == 0) end = from + kRamMirrorSize;
  }
  std::fill(s.ram.begin(), s.ram.end(), 0);
  std::copy(s.flash.begin() + from, s.flash.begin() + std::min(end, from + kRamMirrorSize),
            s.ram.begin());
  s.runningChipId = s.ram[fwgen::kStructChipId];
  s.runningRevision = s.ram[fwgen::kStructRevision];
  s.runningVendorId = U16(&s.ram[fwgen::kStructVendorId]);
  s.runningProductId = U16(&s.ram[fwgen::kStructProductId]);
}

// Starts a mode from reset: nothing of the bootloader's image session
// survives, no reply is pending.
void Boot(ControllerState& s, Mode mode) {
  s.mode = mode;
  s.lastError = padflash::NV_err_none;
  s.pendingReply.clear();
  s.formatImage = FormatImageRecord{};
  s.regions.clear();
  if (mode == Mode::kFirmware) StartFirmware(s);
}

}  // namespace

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

}  // namespace sim

namespace sim {

// ---- host side -------------------------------------------------------------

// A report the controller can take now: present, the whole report, its
// report ID. Then the scripted power failure and transfer faults, in that
// order.
bool Controller::TakesReport(const uint8_t* report, size_t length, int& failAt) {
  ControllerState& s = state_;
  if (s.restart.active || report == nullptr || length != kWholeReport ||
      report[0] != s.config.reportId) {
    return false;
  }
  if (CountDown(s.faults.powerLossAtReport)) {
    PowerFailure();
    return false;
  }
  return !CountDown(failAt);
}

bool Controller::SetFeature(const uint8_t* report, size_t length) {
  Poll();
  ControllerState& s = state_;
  if (!TakesReport(report, length, s.faults.failSetAt)) {
    ++s.counters.failedSets;
    return false;
  }
  ++s.counters.sets;
  s.pendingReply.clear();  // a new command ends the wait for a read reply
  if (CountDown(s.faults.bootloaderErrorAtSet)) {
    s.lastError = s.faults.bootloaderErrorCode;  // refused, not carried out
    return true;
  }
  Execute(report + 1);
  return true;
}

bool Controller::GetFeature(uint8_t* report, size_t length) {
  Poll();
  ControllerState& s = state_;
  if (!TakesReport(report, length, s.faults.failGetAt)) {
    ++s.counters.failedGets;
    return false;
  }
  ++s.counters.gets;
  if (!s.pendingReply.empty()) {
    std::memcpy(report, s.pendingReply.data(), kWholeReport);
    s.pendingReply.clear();
    return true;
  }
  std::memset(report + 1, 0, kReportSize);
  WriteStatusHeader(report + 1);
  return true;
}

void Controller::WriteStatusHeader(uint8_t* buffer) const {
  const bool boot = state_.mode == Mode::kBootloader;
  buffer[0] = boot ? 0x5A : 0xC3;
  buffer[1] = boot ? 0xC3 : 0x5A;
  buffer[2] = state_.config.bootloaderVersion;
  buffer[3] = state_.lastError;
  buffer[4] = statusFlags();
}

uint8_t Controller::statusFlags() const {
  const uint8_t others = state_.flags & static_cast<uint8_t>(~padflash::kFlagImageValid);
  return static_cast<uint8_t>(others | (state_.imageValid ? padflash::kFlagImageValid : 0));
}

void Controller::Execute(const uint8_t* command) {
  ControllerState& s = state_;
  const bool boot = s.mode == Mode::kBootloader;
  switch (command[0]) {
    case padflash::kCmdReadMemory:
      ReadMemory(command);
      return;
    case padflash::kCmdWriteMemory:
      WriteMemory(command);
      return;
    case padflash::kCmdInvoke:
      s.lastError = padflash::NV_err_none;
      // The bootloader is already running: nothing to restart.
      if (!boot) StartRestart(Mode::kBootloader, s.faults.noReturnAfterInvoke);
      return;
    default:
      break;
  }
  if (!boot) {
    s.lastError = padflash::NV_err_cmd_unknown;  // the firmware knows only the above
    return;
  }
  switch (command[0]) {
    case padflash::kCmdFormatImage:
      FormatImage(command);
      return;
    case padflash::kCmdFormatRegion:
      FormatRegion(command);
      return;
    case padflash::kCmdWriteData:
      WriteData(command);
      return;
    case padflash::kCmdFlush:
      s.lastError = padflash::NV_err_none;
      return;
    case padflash::kCmdValidate:
      Validate();
      return;
    case padflash::kCmdReset:
      s.lastError = padflash::NV_err_none;
      StartRestart(s.imageValid ? Mode::kFirmware : Mode::kBootloader, s.faults.noReturnAfterReset);
      return;
    default:
      s.lastError = padflash::NV_err_cmd_unknown;
      return;
  }
}

// ---- memory read and write -------------------------------------------------

// Request: 8, address (4), length (2). Reply (for the next GET_FEATURE):
// status header, address and length echoed at 5..10, the data at 11, and
// the Fletcher-16 of offsets 5 to 10 + n, little-endian.
void Controller::ReadMemory(const uint8_t* command) {
  ControllerState& s = state_;
  const uint32_t address = U32(command + 1);
  const uint16_t count = U16(command + 5);
  const Location at = Resolve(s, address, count);
  if (count > kMaxReadBytes || at.target == Target::kNone) {
    s.lastError = padflash::NV_err_offset_out_of_range;
    return;
  }
  s.lastError = padflash::NV_err_none;
  std::vector<uint8_t> reply(kWholeReport, 0);
  reply[0] = s.config.reportId;
  uint8_t* buffer = reply.data() + 1;
  WriteStatusHeader(buffer);
  std::memcpy(buffer + 5, command + 1, 6);
  uint8_t* data = buffer + 11;
  switch (at.target) {
    case Target::kRam:
      std::memcpy(data, s.ram.data() + at.index, count);
      break;
    case Target::kFlash:
      std::memcpy(data, s.flash.data() + at.index, count);
      break;
    case Target::kAccessOffset: {
      uint8_t offset[4];
      PutU32(offset, s.accessOffset);
      std::memcpy(data, offset + at.index, count);
      break;
    }
    case Target::kNone:
      break;
  }
  uint16_t checksum = padflash::Fletcher16(buffer + 5, 6u + count);
  ++s.counters.memoryReadReplies;
  const bool corruptThis = CountDown(s.faults.corruptReadReplyAt);
  if (s.faults.corruptEveryReadReply || corruptThis) {
    checksum = static_cast<uint16_t>(checksum ^ 0x0101);
  }
  PutU16(data + count, checksum);
  s.pendingReply = std::move(reply);
}

// Command: 7, address (4), length n (2), data, Fletcher-16 of offsets 0 to
// 6 + n. Only the RAM mirror is writable this way.
void Controller::WriteMemory(const uint8_t* command) {
  ControllerState& s = state_;
  const uint32_t address = U32(command + 1);
  const uint16_t count = U16(command + 5);
  if (count > kMaxWriteMemoryBytes) {
    s.lastError = padflash::NV_err_offset_out_of_range;
    return;
  }
  if (padflash::Fletcher16(command, 7u + count) != U16(command + 7 + count)) {
    s.lastError = padflash::NV_err_chksum_mismatch;
    return;
  }
  const Location at = Resolve(s, address, count);
  if (at.target == Target::kNone) {
    s.lastError = padflash::NV_err_offset_out_of_range;
  } else if (at.target != Target::kRam) {
    s.lastError = padflash::NV_err_access_violation;
  } else {
    std::memcpy(s.ram.data() + at.index, command + 7, count);
    s.lastError = padflash::NV_err_none;
  }
}

// ---- image commands (bootloader) -------------------------------------------

uint32_t Controller::imageStart() const {
  return fwgen::ImageStart(state_.config.i2c);
}

// 4, 0, region count, image word (4), HID descriptor address (2), I2C
// address, report ID. Erases everything above the bootloader area, the
// factory page included.
void Controller::FormatImage(const uint8_t* command) {
  ControllerState& s = state_;
  std::fill(s.flash.begin() + (imageStart() - padflash::kFlashBase), s.flash.end(), 0xFF);
  s.imageValid = false;
  s.regions.clear();
  FormatImageRecord& record = s.formatImage;
  record.formatted = true;
  record.regionCount = command[2];
  std::memcpy(record.imageWord, command + 3, 4);
  record.hidDescriptorAddress = U16(command + 7);
  record.i2cAddress = command[9];
  record.reportId = command[10];
  s.lastError = padflash::NV_err_none;
}

// 5, index, address (4), length (4), Fletcher-32 (4).
void Controller::FormatRegion(const uint8_t* command) {
  ControllerState& s = state_;
  FormattedRegion region;
  region.index = command[1];
  region.address = U32(command + 2);
  region.length = U32(command + 6);
  region.fletcher32 = U32(command + 10);
  if (!s.formatImage.formatted) {
    s.lastError = padflash::NV_err_not_initialized;
  } else if (region.index >= s.formatImage.regionCount) {
    s.lastError = padflash::NV_err_sector_out_of_range;
  } else if (region.address < imageStart()) {
    s.lastError = padflash::NV_err_protection_violation;  // the bootloader's own area
  } else if (static_cast<uint64_t>(region.address) + region.length > kFlashEnd) {
    s.lastError = padflash::NV_err_offset_out_of_range;
  } else {
    auto first = s.flash.begin() + (region.address - padflash::kFlashBase);
    std::fill(first, first + region.length, 0xFF);
    std::erase_if(s.regions, [&](const FormattedRegion& r) { return r.index == region.index; });
    s.regions.push_back(region);
    s.imageValid = false;
    s.lastError = padflash::NV_err_none;
  }
}

// 0, address (4), length (4), data: must fall inside a formatted region.
void Controller::WriteData(const uint8_t* command) {
  ControllerState& s = state_;
  if (CountDown(s.faults.powerLossAtChunk)) {
    PowerLoss();
    return;
  }
  const uint32_t address = U32(command + 1);
  const uint32_t count = U32(command + 5);
  const uint64_t end = static_cast<uint64_t>(address) + count;
  auto inside = [&](const FormattedRegion& r) {
    return address >= r.address && end <= static_cast<uint64_t>(r.address) + r.length;
  };
  auto region = std::find_if(s.regions.begin(), s.regions.end(), inside);
  if (!s.formatImage.formatted) {
    s.lastError = padflash::NV_err_not_initialized;
  } else if (count > kMaxWriteDataBytes || region == s.regions.end()) {
    s.lastError = padflash::NV_err_offset_out_of_range;
  } else {
    std::memcpy(s.flash.data() + (address - padflash::kFlashBase), command + 9, count);
    region->bytesWritten += count;
    ++s.counters.writeChunks;
    s.lastError = padflash::NV_err_none;
  }
  if (CountDown(s.faults.bootloaderErrorAfterChunk)) s.lastError = s.faults.bootloaderErrorCode;
}

// Each region's Fletcher-32 over what flash holds now against the one sent
// with its format.
void Controller::Validate() {
  ControllerState& s = state_;
  if (s.regions.empty()) {
    s.imageValid = false;
    s.lastError = padflash::NV_err_no_recent_image;
    return;
  }
  for (const FormattedRegion& r : s.regions) {
    const uint8_t* bytes = s.flash.data() + (r.address - padflash::kFlashBase);
    if (padflash::Fletcher32(bytes, r.length) != r.fletcher32) {
      s.imageValid = false;
      s.lastError = padflash::NV_err_chksum_mismatch;
      return;
    }
  }
  s.imageValid = true;
  s.lastError = padflash::NV_err_none;
}

// ---- restarts --------------------------------------------------------------

void Controller::StartRestart(Mode mode, bool forever) {
  ControllerState& s = state_;
  const uint32_t delay = s.faults.returnDelayMs ? s.faults.returnDelayMs : s.config.restartDelayMs;
  s.restart.active = true;
  s.restart.forever = forever;
  s.restart.untilMs = clock_.NowMs() + delay;
  s.restart.mode = mode;
  s.pendingReply.clear();
  ++s.generation;  // it drops off the bus: open handles die
}

// Power fails in the middle of programming: the chunk is lost, the image is
// not valid, the factory page is erased, RAM is gone; it comes back as the
// bootloader.
void Controller::PowerLoss() {
  ControllerState& s = state_;
  std::fill(s.flash.begin() + kPageIndex, s.flash.end(), 0xFF);
  std::fill(s.ram.begin(), s.ram.end(), 0);
  s.imageValid = false;
  StartRestart(Mode::kBootloader, false);
}

// Power fails between two reports: RAM is gone and the controller comes back
// after its restart delay, as the firmware when its image is valid, else as
// the bootloader; flash keeps what it holds.
void Controller::PowerFailure() {
  std::fill(state_.ram.begin(), state_.ram.end(), 0);
  StartRestart(state_.imageValid ? Mode::kFirmware : Mode::kBootloader, false);
}

bool Controller::Poll() {
  PendingRestart& restart = state_.restart;
  if (!restart.active || restart.forever || clock_.NowMs() < restart.untilMs) return false;
  restart.active = false;
  ++state_.counters.restarts;
  Boot(state_, restart.mode);
  return true;
}

void Controller::PowerCycle() {
  state_.restart = PendingRestart{};
  std::fill(state_.ram.begin(), state_.ram.end(), 0);
  ++state_.generation;
  ++state_.counters.restarts;
  Boot(state_, state_.imageValid ? Mode::kFirmware : Mode::kBootloader);
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
