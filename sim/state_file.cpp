#include "sim/state_file.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <thread>

#include "sim/shared_files.h"
#include "update/bootloader_protocol.h"

namespace sim {

using json = nlohmann::ordered_json;

namespace {

constexpr const char* kFormatName = "padflash-sim-bus";
constexpr int kFormatVersion = 1;
constexpr size_t kWholeReport = padflash::kReportSize + 1;
constexpr uint64_t kFlashEnd = uint64_t{padflash::kFlashBase} + kFlashSize;
// About 200 controllers; a bigger file is not one of ours.
constexpr size_t kMaxFileBytes = 64u << 20;

// ---- text ------------------------------------------------------------------

std::string ToUtf8(const std::wstring& text) {
  std::string out;
  for (wchar_t wc : text) {
    auto c = static_cast<uint32_t>(wc);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = '?';
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// The JSON parser has already refused malformed UTF-8.
std::wstring FromUtf8(const std::string& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    uint32_t code = extra == 0   ? lead
                    : extra == 1 ? lead & 0x1F
                    : extra == 2 ? lead & 0x0F
                                 : lead & 0x07;
    for (int k = 1; k <= extra && i + k < text.size(); ++k) {
      code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    out.push_back(static_cast<wchar_t>(code));
    i += 1 + extra;
  }
  return out;
}

// ---- reading fields ----------------------------------------------------------

// Reads the fields of one JSON object into a struct. An absent field keeps
// the struct's value; a field of the wrong type or out of range records the
// first error and makes every later call a no-op.
class Reader {
 public:
  Reader(const json& object, std::string where, std::string& error)
      : object_(object), where_(std::move(where)), error_(error) {
    if (error_.empty() && !object_.is_object()) error_ = where_ + ": must be an object";
  }

  bool ok() const { return error_.empty(); }

  template <typename T>
  void Number(const char* key, T& out, uint64_t min = 0,
              uint64_t max = static_cast<uint64_t>(std::numeric_limits<T>::max())) {
    const json* value = Find(key);
    if (value == nullptr) return;
    if (!value->is_number_unsigned() &&
        !(value->is_number_integer() && value->get<int64_t>() >= 0)) {
      Fail(key, "must be a whole number of at least 0");
      return;
    }
    const auto v = value->get<uint64_t>();
    if (v < min || v > max) {
      Fail(key, "must be from " + std::to_string(min) + " to " + std::to_string(max));
      return;
    }
    out = static_cast<T>(v);
  }

  void Flag(const char* key, bool& out) {
    const json* value = Find(key);
    if (value == nullptr) return;
    if (!value->is_boolean()) return Fail(key, "must be true or false");
    out = value->get<bool>();
  }

  void Text(const char* key, std::string& out) {
    const json* value = Find(key);
    if (value == nullptr) return;
    if (!value->is_string()) return Fail(key, "must be a string");
    out = value->get<std::string>();
  }

  void Bytes(const char* key, std::vector<uint8_t>& out) {
    std::string text;
    const json* value = Find(key);
    if (value == nullptr) return;
    if (!value->is_string() || !FromHex(value->get_ref<const std::string&>(), out)) {
      Fail(key, "must be a string of hex digit pairs");
    }
  }

  void ModeField(const char* key, Mode& out) {
    std::string text;
    Text(key, text);
    if (!ok() || text.empty()) return;
    if (text == "firmware") {
      out = Mode::kFirmware;
    } else if (text == "bootloader") {
      out = Mode::kBootloader;
    } else {
      Fail(key, "must be \"firmware\" or \"bootloader\"");
    }
  }

  // Null when absent (or after an error).
  const json* Child(const char* key) { return Find(key); }
  std::string Where(const char* key) const { return where_ + "." + key; }
  void Fail(const char* key, const std::string& why) {
    if (error_.empty()) error_ = Where(key) + ": " + why;
  }

 private:
  const json* Find(const char* key) {
    if (!ok()) return nullptr;
    auto it = object_.find(key);
    return it == object_.end() ? nullptr : &*it;
  }

  const json& object_;
  std::string where_;
  std::string& error_;
};

json ConfigToJson(const ControllerConfig& c) {
  return {{"transport", c.i2c ? "i2c" : "usb"},
          {"vendorId", c.vendorId},
          {"productId", c.productId},
          {"chipId", c.chipId},
          {"revision", c.revision},
          {"reportId", c.reportId},
          {"bootloaderVersion", c.bootloaderVersion},
          {"compTableSize", c.compTableSize},
          {"feedConfig1", c.feedConfig1},
          {"serial", c.serial},
          {"bootloaderSerial", c.bootloaderSerial ? json(*c.bootloaderSerial) : json()},
          {"product", ToUtf8(c.product)},
          {"inBootloader", c.inBootloader},
          {"restartDelayMs", c.restartDelayMs},
          {"i2cAddress", c.i2cAddress},
          {"hidDescriptorAddress", c.hidDescriptorAddress}};
}

void ConfigFromJson(Reader& r, ControllerConfig& c) {
  std::string transport = c.i2c ? "i2c" : "usb";
  r.Text("transport", transport);
  if (r.ok() && transport != "usb" && transport != "i2c") {
    r.Fail("transport", "must be \"usb\" or \"i2c\"");
  }
  c.i2c = transport == "i2c";
  r.Number("vendorId", c.vendorId);
  r.Number("productId", c.productId);
  r.Number("chipId", c.chipId);
  r.Number("revision", c.revision);
  r.Number("reportId", c.reportId, 1);
  r.Number("bootloaderVersion", c.bootloaderVersion);
  r.Number("compTableSize", c.compTableSize, 0, kFactoryPageSize);
  r.Number("feedConfig1", c.feedConfig1);
  r.Text("serial", c.serial);
  // The serial is a word of the trace lines and of the interface paths.
  if (r.ok() &&
      (c.serial.size() > 126 || std::any_of(c.serial.begin(), c.serial.end(), [](char ch) {
         return static_cast<unsigned char>(ch) <= ' ' || ch == 0x7F || ch == '&';
       }))) {
    r.Fail("serial", "must be at most 126 characters without spaces, controls or '&'");
  }
  // Absent or null: the bootloader shows the firmware's serial.
  if (const json* shown = r.Child("bootloaderSerial"); shown != nullptr && !shown->is_null()) {
    std::string text;
    r.Text("bootloaderSerial", text);
    if (r.ok() && (text.size() > 126 || std::any_of(text.begin(), text.end(), [](char ch) {
                     return static_cast<unsigned char>(ch) <= ' ' || ch == 0x7F || ch == '&';
                   }))) {
      r.Fail("bootloaderSerial", "must be at most 126 characters without spaces, controls or '&'");
    }
    c.bootloaderSerial = text;
  }
  std::string product = ToUtf8(c.product);
  r.Text("product", product);
  c.product = FromUtf8(product);
  r.Flag("inBootloader", c.inBootloader);
  r.Number("restartDelayMs", c.restartDelayMs);
  r.Number("i2cAddress", c.i2cAddress);
  r.Number("hidDescriptorAddress", c.hidDescriptorAddress);
}

json FaultsToJson(const FaultRules& f) {
  return {{"failSetAt", f.failSetAt},
          {"failGetAt", f.failGetAt},
          {"corruptReadReplyAt", f.corruptReadReplyAt},
          {"corruptEveryReadReply", f.corruptEveryReadReply},
          {"bootloaderErrorAfterChunk", f.bootloaderErrorAfterChunk},
          {"bootloaderErrorCode", f.bootloaderErrorCode},
          {"noReturnAfterInvoke", f.noReturnAfterInvoke},
          {"noReturnAfterReset", f.noReturnAfterReset},
          {"powerLossAtChunk", f.powerLossAtChunk},
          {"returnDelayMs", f.returnDelayMs},
          {"bootloaderErrorAtSet", f.bootloaderErrorAtSet},
          {"powerLossAtReport", f.powerLossAtReport}};
}

void FaultsFromJson(Reader& r, FaultRules& f) {
  r.Number("failSetAt", f.failSetAt);
  r.Number("failGetAt", f.failGetAt);
  r.Number("corruptReadReplyAt", f.corruptReadReplyAt);
  r.Flag("corruptEveryReadReply", f.corruptEveryReadReply);
  r.Number("bootloaderErrorAfterChunk", f.bootloaderErrorAfterChunk);
  r.Number("bootloaderErrorCode", f.bootloaderErrorCode);
  r.Flag("noReturnAfterInvoke", f.noReturnAfterInvoke);
  r.Flag("noReturnAfterReset", f.noReturnAfterReset);
  r.Number("powerLossAtChunk", f.powerLossAtChunk);
  r.Number("returnDelayMs", f.returnDelayMs);
  r.Number("bootloaderErrorAtSet", f.bootloaderErrorAtSet);
  r.Number("powerLossAtReport", f.powerLossAtReport);
}

json CountersToJson(const ControllerCounters& c) {
  return {{"sets", c.sets},
          {"gets", c.gets},
          {"failedSets", c.failedSets},
          {"failedGets", c.failedGets},
          {"memoryReadReplies", c.memoryReadReplies},
          {"writeChunks", c.writeChunks},
          {"restarts", c.restarts}};
}

void CountersFromJson(Reader& r, ControllerCounters& c) {
  r.Number("sets", c.sets);
  r.Number("gets", c.gets);
  r.Number("failedSets", c.failedSets);
  r.Number("failedGets", c.failedGets);
  r.Number("memoryReadReplies", c.memoryReadReplies);
  r.Number("writeChunks", c.writeChunks);
  r.Number("restarts", c.restarts);
}

json FormatImageToJson(const FormatImageRecord& f) {
  return {{"formatted", f.formatted},
          {"regionCount", f.regionCount},
          {"imageWord", ToHex(f.imageWord, sizeof f.imageWord)},
          {"hidDescriptorAddress", f.hidDescriptorAddress},
          {"i2cAddress", f.i2cAddress},
          {"reportId", f.reportId}};
}

void FormatImageFromJson(Reader& r, FormatImageRecord& f) {
  r.Flag("formatted", f.formatted);
  r.Number("regionCount", f.regionCount);
  std::vector<uint8_t> word(f.imageWord, f.imageWord + sizeof f.imageWord);
  r.Bytes("imageWord", word);
  if (r.ok() && word.size() != sizeof f.imageWord) r.Fail("imageWord", "must be 4 bytes");
  if (r.ok()) std::memcpy(f.imageWord, word.data(), sizeof f.imageWord);
  r.Number("hidDescriptorAddress", f.hidDescriptorAddress);
  r.Number("i2cAddress", f.i2cAddress);
  r.Number("reportId", f.reportId);
}

json RegionToJson(const FormattedRegion& g) {
  return {{"index", g.index},
          {"address", g.address},
          {"length", g.length},
          {"fletcher32", g.fletcher32},
          {"bytesWritten", g.bytesWritten}};
}

void RegionFromJson(Reader& r, FormattedRegion& g) {
  r.Number("index", g.index);
  r.Number("address", g.address);
  r.Number("length", g.length);
  r.Number("fletcher32", g.fletcher32);
  r.Number("bytesWritten", g.bytesWritten);
  // The bootloader checks and writes regions in place: they lie in flash.
  if (r.ok() && (g.address < padflash::kFlashBase || uint64_t{g.address} + g.length > kFlashEnd)) {
    r.Fail("address", "the region must lie inside the 64 KiB of flash");
  }
}

const char* ModeName(Mode mode) {
  return mode == Mode::kFirmware ? "firmware" : "bootloader";
}

}  // namespace

std::string ToHex(const uint8_t* data, size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out(2 * count, '0');
  char* p = out.data();
  for (size_t i = 0; i < count; ++i) {
    p[2 * i] = kDigits[data[i] >> 4];
    p[2 * i + 1] = kDigits[data[i] & 0x0F];
  }
  return out;
}

bool FromHex(std::string_view text, std::vector<uint8_t>& out) {
  if (text.size() % 2 != 0) return false;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::vector<uint8_t> bytes(text.size() / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const int high = digit(text[2 * i]);
    const int low = digit(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
  out = std::move(bytes);
  return true;
}

// Every field but the flash image.
static json StateWithoutFlash(const ControllerState& s) {
  return {{"config", ConfigToJson(s.config)},
          {"mode", ModeName(s.mode)},
          {"restart",
           {{"active", s.restart.active},
            {"forever", s.restart.forever},
            {"untilMs", s.restart.untilMs},
            {"mode", ModeName(s.restart.mode)}}},
          {"generation", s.generation},
          {"ram", ToHex(s.ram.data(), s.ram.size())},
          {"accessOffset", s.accessOffset},
          {"lastError", s.lastError},
          {"flags", s.flags},
          {"imageValid", s.imageValid},
          {"running",
           {{"chipId", s.runningChipId},
            {"revision", s.runningRevision},
            {"vendorId", s.runningVendorId},
            {"productId", s.runningProductId},
            {"structureFromFactoryPage", s.structureFromFactoryPage}}},
          {"formatImage", FormatImageToJson(s.formatImage)},
          {"regions",
           [&] {
             json regions = json::array();
             for (const FormattedRegion& g : s.regions) regions.push_back(RegionToJson(g));
             return regions;
           }()},
          {"pendingReply", ToHex(s.pendingReply.data(), s.pendingReply.size())},
          {"faults", FaultsToJson(s.faults)},
          {"counters", CountersToJson(s.counters)}};
}

json ControllerStateToJson(const ControllerState& s) {
  json j = StateWithoutFlash(s);
  j["flash"] = ToHex(s.flash.data(), s.flash.size());
  return j;
}

namespace {
bool ControllerFromJson(const json& object, ControllerState& out, std::string& error,
                        const FlashLoader* loader, size_t index);
}  // namespace

bool ControllerStateFromJson(const json& object, ControllerState& out, std::string& error) {
  return ControllerFromJson(object, out, error, nullptr, 0);
}

namespace {

// `loader` resolves "flashFile" (null: such a controller is refused);
// `index` is the controller's place in the file.
bool ControllerFromJson(const json& object, ControllerState& out, std::string& error,
                        const FlashLoader* loader, size_t index) {
  error.clear();
  ControllerState s;
  Reader r(object, "controller", error);
  if (const json* config = r.Child("config")) {
    Reader c(*config, r.Where("config"), error);
    ConfigFromJson(c, s.config);
  }
  r.ModeField("mode", s.mode);
  if (const json* restart = r.Child("restart")) {
    Reader t(*restart, r.Where("restart"), error);
    t.Flag("active", s.restart.active);
    t.Flag("forever", s.restart.forever);
    t.Number("untilMs", s.restart.untilMs);
    t.ModeField("mode", s.restart.mode);
  }
  r.Number("generation", s.generation);
  std::string flashFile;
  r.Text("flashFile", flashFile);
  if (r.ok() && !flashFile.empty()) {
    std::string why;
    if (loader == nullptr) {
      r.Fail("flashFile", "names a file beside a state file, and no state file is read here");
    } else if (!(*loader)(index, flashFile, s.flash, why)) {
      r.Fail("flashFile", why);
    }
  } else {
    r.Bytes("flash", s.flash);
  }
  if (r.ok() && s.flash.size() != kFlashSize) r.Fail("flash", "must be 65536 bytes");
  r.Bytes("ram", s.ram);
  if (r.ok() && s.ram.size() != kRamMirrorSize) {
    r.Fail("ram", "must be " + std::to_string(kRamMirrorSize) + " bytes");
  }
  r.Number("accessOffset", s.accessOffset);
  r.Number("lastError", s.lastError);
  r.Number("flags", s.flags);
  r.Flag("imageValid", s.imageValid);
  if (const json* running = r.Child("running")) {
    Reader g(*running, r.Where("running"), error);
    g.Number("chipId", s.runningChipId);
    g.Number("revision", s.runningRevision);
    g.Number("vendorId", s.runningVendorId);
    g.Number("productId", s.runningProductId);
    g.Flag("structureFromFactoryPage", s.structureFromFactoryPage);
  }
  if (const json* format = r.Child("formatImage")) {
    Reader f(*format, r.Where("formatImage"), error);
    FormatImageFromJson(f, s.formatImage);
  }
  if (const json* regions = r.Child("regions")) {
    if (!regions->is_array() || regions->size() > 255) {
      r.Fail("regions", "must be a list of at most 255 regions");
    }
    for (size_t i = 0; r.ok() && i < regions->size(); ++i) {
      FormattedRegion region;
      Reader g((*regions)[i], r.Where("regions") + "[" + std::to_string(i) + "]", error);
      RegionFromJson(g, region);
      s.regions.push_back(region);
    }
  }
  r.Bytes("pendingReply", s.pendingReply);
  if (r.ok() && !s.pendingReply.empty() && s.pendingReply.size() != kWholeReport) {
    r.Fail("pendingReply", "must be empty or one whole report of 532 bytes");
  }
  if (const json* faults = r.Child("faults")) {
    Reader f(*faults, r.Where("faults"), error);
    FaultsFromJson(f, s.faults);
  }
  if (const json* counters = r.Child("counters")) {
    Reader c(*counters, r.Where("counters"), error);
    CountersFromJson(c, s.counters);
  }
  if (!r.ok()) return false;
  if (s.flash.empty()) {
    error = "controller.flash: missing";
    return false;
  }
  if (s.ram.empty()) s.ram.assign(kRamMirrorSize, 0);
  out = std::move(s);
  return true;
}

}  // namespace

// The flash image is most of the file and is saved after every report: it
// is spliced in as ready hex text instead of going through the JSON writer,
// which would escape it character by character (ten times slower).
namespace {

std::string FileHead(Bus& bus) {
  return std::string("{\n \"format\": \"") + kFormatName +
         "\",\n \"version\": " + std::to_string(kFormatVersion) +
         ",\n \"nextSerialNumber\": " + std::to_string(bus.nextSerialNumber()) +
         ",\n \"controllers\": [";
}

// One controller of the file, its flash image in a file of its own.
std::string ControllerWithFlashFile(const ControllerState& s, const std::string& flashFile) {
  std::string object = StateWithoutFlash(s).dump(1);
  object.resize(object.size() - 2);  // reopen it: drop the closing "\n}"
  return object + ",\n \"flashFile\": " + json(flashFile).dump() + "\n}";
}

}  // namespace

std::string BusToText(Bus& bus) {
  std::lock_guard<std::recursive_mutex> lock(bus.mutex());
  std::string text = FileHead(bus);
  bool first = true;
  for (Controller* c : bus.controllers()) {
    const ControllerState& s = c->state();
    std::string object = StateWithoutFlash(s).dump(1);
    object.resize(object.size() - 2);  // reopen it: drop the closing "\n}"
    text += first ? "\n" : ",\n";
    text += object;
    text += ",\n \"flash\": \"";
    text += ToHex(s.flash.data(), s.flash.size());
    text += "\"\n}";
    first = false;
  }
  text += "\n ]\n}\n";
  return text;
}

bool BusFromText(const std::string& text, Bus& bus, std::string& error, const FlashLoader& loader) {
  error.clear();
  std::vector<ControllerState> states;
  uint32_t nextSerial = 1;
  if (text.find_first_not_of(" \t\r\n") != std::string::npos) {
    json file = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (file.is_discarded()) {
      error = "not valid JSON";
      return false;
    }
    Reader r(file, "state", error);
    std::string format;
    r.Text("format", format);
    int version = 0;
    r.Number("version", version);
    if (r.ok() && (format != kFormatName || version != kFormatVersion)) {
      error = std::string("not a simulated bus of version ") + std::to_string(kFormatVersion);
      return false;
    }
    r.Number("nextSerialNumber", nextSerial, 1);
    const json* controllers = r.Child("controllers");
    if (r.ok() && controllers != nullptr && !controllers->is_array()) {
      r.Fail("controllers", "must be a list");
    }
    for (size_t i = 0; r.ok() && controllers != nullptr && i < controllers->size(); ++i) {
      ControllerState state;
      std::string why;
      if (!ControllerFromJson((*controllers)[i], state, why, loader ? &loader : nullptr, i)) {
        error = "controllers[" + std::to_string(i) + "]" + why.substr(std::strlen("controller"));
        return false;
      }
      states.push_back(std::move(state));
    }
    if (!r.ok()) return false;
  }
  std::lock_guard<std::recursive_mutex> lock(bus.mutex());
  bus.DetachAll();
  for (ControllerState& state : states) bus.Restore(std::move(state));
  bus.setNextSerialNumber(nextSerial);
  return true;
}

// ---- wall clock --------------------------------------------------------------

uint64_t WallClock::NowMs() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void WallClock::SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// ---- the bus in its file -------------------------------------------------------

namespace {
// Counts the saves of every PersistentBus of the process, so two of them
// never stamp a file alike.
std::atomic<uint64_t> processSaves{0};
}  // namespace

PersistentBus::PersistentBus(Bus& bus, std::string path)
    : bus_(bus), path_(std::move(path)), lock_(path_ + ".lock") {
  const size_t cut = path_.find_last_of("/\\");
  folder_ = cut == std::string::npos ? "" : path_.substr(0, cut + 1);
  fileName_ = cut == std::string::npos ? path_ : path_.substr(cut + 1);
  bus_.SetChangeHook([this] {
    if (loading_) return;
    dirty_ = true;
    // A change outside any transaction (a test driving the bus directly) is
    // saved at once, over whatever the file holds.
    if (depth_ == 0 && LockFile()) {
      Save(/*synced=*/false);
      UnlockFile();
    }
  });
}

PersistentBus::~PersistentBus() {
  bus_.SetChangeHook(nullptr);
}

bool PersistentBus::LockFile() {
  return lock_.Lock(error_);
}

void PersistentBus::UnlockFile() {
  lock_.Unlock();
}

// Reloads the bus when the file is not the one this process last read or
// wrote. Its identity, size, time and first bytes tell (every save writes a
// fresh stamp there), so an access that finds the file as it left it costs
// the same however many controllers the file holds.
void PersistentBus::Refresh() {
  FileIdentity identity;
  if (ReadFileIdentity(path_, identity, error_) == ReadOutcome::kFailed) {
    loadOk_ = false;
    return;
  }
  if (loadOk_ && haveIdentity_ && identity == knownIdentity_) return;
  std::string text;
  if (identity.exists &&
      ReadWholeFile(path_, kMaxFileBytes, text, error_) == ReadOutcome::kFailed) {
    loadOk_ = false;
    return;
  }
  std::vector<std::string> names;
  const FlashLoader loader = [&](size_t index, const std::string& name, std::vector<uint8_t>& flash,
                                 std::string& why) {
    if (names.size() <= index) names.resize(index + 1);
    names[index] = name;
    return LoadFlash(index, name, flash, why);
  };
  std::string why;
  loading_ = true;
  const bool parsed = BusFromText(text, bus_, why, loader);
  loading_ = false;
  if (!parsed) {
    loadOk_ = false;
    error_ = "state file " + path_ + ": " + why;
    return;
  }
  loadOk_ = true;
  error_.clear();
  // Taken before the text was read: a change in between is read next time.
  knownIdentity_ = std::move(identity);
  haveIdentity_ = true;
  // The next save writes the file whole; the flash images stay in the files
  // they were read from.
  knownText_.clear();
  std::map<const Controller*, Piece> pieces;
  flashFiles_.clear();
  const std::vector<Controller*> controllers = bus_.controllers();
  for (size_t i = 0; i < controllers.size(); ++i) {
    Piece& piece = pieces[controllers[i]];
    if (i < names.size() && !names[i].empty()) {
      piece.flashName = names[i];
      piece.flash = controllers[i]->state().flash;
      flashFiles_.insert(names[i]);
    }
  }
  pieces_.swap(pieces);
  rebuildAll_ = true;
}

// A flash file this process read or wrote holds the same bytes still (a
// name is never used twice); any other is read, whole and of the right size.
bool PersistentBus::LoadFlash(size_t, const std::string& name, std::vector<uint8_t>& flash,
                              std::string& error) {
  const std::string prefix = fileName_ + ".flash.";
  if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size() ||
      name.find_first_of("/\\:", prefix.size()) != std::string::npos) {
    error = "must name a flash file \"" + prefix + "...\" beside the state file";
    return false;
  }
  for (const auto& [controller, piece] : pieces_) {
    if (piece.flashName != name) continue;
    flash = piece.flash;
    return true;
  }
  std::string bytes;
  const ReadOutcome read = ReadWholeFile(folder_ + name, kFlashSize, bytes, error);
  if (read == ReadOutcome::kMissing) error = "flash file " + folder_ + name + " is missing";
  if (read != ReadOutcome::kRead) return false;
  if (bytes.size() != kFlashSize) {
    error = "flash file " + folder_ + name + " does not hold 65536 bytes";
    return false;
  }
  flash.assign(bytes.begin(), bytes.end());
  return true;
}

std::string PersistentBus::NewFlashName() {
  char suffix[80];
  for (;;) {
    std::snprintf(suffix, sizeof suffix, ".flash.%llu-%llu-%llu",
                  static_cast<unsigned long long>(CurrentProcessId()),
                  static_cast<unsigned long long>(WallClock().NowMs()),
                  static_cast<unsigned long long>(++processSaves));
    FileIdentity existing;
    std::string ignored;
    if (ReadFileIdentity(folder_ + fileName_ + suffix, existing, ignored) ==
        ReadOutcome::kMissing) {
      return fileName_ + suffix;
    }
  }
}

bool PersistentBus::Compose(std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(bus_.mutex());
  const std::vector<Controller*> all = bus_.controllers();
  std::vector<Controller*> changed = bus_.TakeChangedControllers();
  if (rebuildAll_) changed = all;
  rebuildAll_ = false;
  std::map<const Controller*, Piece> kept;
  for (Controller* c : all) {
    auto it = pieces_.find(c);
    if (it != pieces_.end()) kept.emplace(c, std::move(it->second));
  }
  pieces_.swap(kept);
  for (Controller* c : changed) {
    Piece& piece = pieces_[c];
    const ControllerState& s = c->state();
    if (piece.flashName.empty() || piece.flash != s.flash) {
      const std::string name = NewFlashName();
      if (!ReplaceWholeFile(folder_ + name, std::string(s.flash.begin(), s.flash.end()),
                            saveError_)) {
        rebuildAll_ = true;
        return false;
      }
      piece.flashName = name;
      piece.flash = s.flash;
    }
    piece.text = ControllerWithFlashFile(s, piece.flashName);
  }
  text = FileHead(bus_);
  for (size_t i = 0; i < all.size(); ++i) {
    text += i == 0 ? "\n" : ",\n";
    text += pieces_[all[i]].text;
  }
  text += "\n ]\n}\n";
  return true;
}

void PersistentBus::DropFlashFiles(std::set<std::string> named) {
  for (const std::string& name : flashFiles_) {
    if (named.count(name) == 0) RemoveFile(folder_ + name);
  }
  flashFiles_ = std::move(named);
}

bool PersistentBus::Save(bool synced) {
  dirty_ = false;
  if (!loadOk_) return false;  // never overwrite a file that did not load
  std::string text;
  if (!Compose(text)) return false;
  if (synced && text == knownText_) return true;
  // "saved" opens the file: a stamp no other save of any process carries.
  char stamp[96];
  std::snprintf(stamp, sizeof stamp, "{\n \"saved\": \"%llu-%llu-%llu\",",
                static_cast<unsigned long long>(CurrentProcessId()),
                static_cast<unsigned long long>(WallClock().NowMs()),
                static_cast<unsigned long long>(++processSaves));
  const std::string stamped = stamp + text.substr(1);
  haveIdentity_ = false;
  if (!ReplaceWholeFile(path_, stamped, saveError_)) return false;
  saveError_.clear();
  std::string ignored;
  haveIdentity_ = ReadFileIdentity(path_, knownIdentity_, ignored) == ReadOutcome::kRead;
  knownText_ = std::move(text);
  std::set<std::string> named;
  for (const auto& [controller, piece] : pieces_) named.insert(piece.flashName);
  DropFlashFiles(std::move(named));
  return true;
}

PersistentBus::Transaction::Transaction(PersistentBus& owner)
    : owner_(owner), busLock_(owner.bus_.mutex()) {
  if (owner_.depth_++ > 0) return;
  if (!owner_.LockFile()) {
    owner_.loadOk_ = false;
    return;
  }
  owner_.Refresh();
}

bool PersistentBus::Transaction::Commit() {
  if (!owner_.dirty_) return owner_.loadOk_;
  return owner_.Save(/*synced=*/true);
}

PersistentBus::Transaction::~Transaction() {
  if (--owner_.depth_ > 0) return;
  if (owner_.dirty_) owner_.Save(/*synced=*/true);
  owner_.UnlockFile();
}

}  // namespace sim
