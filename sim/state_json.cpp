// The state file's text: a controller's state and the whole bus as JSON,
// the flash images inline or in files of their own.
#include <algorithm>
#include <cstdio>

#include "sim/state_file.h"
#include "sim/state_json_fields.h"
#include "update/bootloader_protocol.h"

namespace sim {

using namespace json_fields;

namespace {

constexpr const char* kFormatName = "padflash-sim-bus";
constexpr int kFormatVersion = 1;
constexpr size_t kWholeReport = padflash::kReportSize + 1;

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
namespace json_fields {

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

}  // namespace json_fields

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

}  // namespace sim
