// The fields of a controller's state in the state file: one pair of
// functions per struct of sim/controller_state.h, and the reader that checks
// each field as it takes it. Used by the state file's JSON (state_json.cpp).
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/bus.h"
#include "sim/controller_state.h"
#include "sim/state_file.h"

namespace sim::json_fields {

using json = nlohmann::ordered_json;

std::string ToUtf8(const std::wstring& text);
// The JSON parser has already refused malformed UTF-8.
std::wstring FromUtf8(const std::string& text);

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

json ConfigToJson(const ControllerConfig& c);
void ConfigFromJson(Reader& r, ControllerConfig& c);
json FaultsToJson(const FaultRules& f);
void FaultsFromJson(Reader& r, FaultRules& f);
json CountersToJson(const ControllerCounters& c);
void CountersFromJson(Reader& r, ControllerCounters& c);
json FormatImageToJson(const FormatImageRecord& f);
void FormatImageFromJson(Reader& r, FormatImageRecord& f);
json RegionToJson(const FormattedRegion& g);
void RegionFromJson(Reader& r, FormattedRegion& g);
const char* ModeName(Mode mode);

// The state file's first lines, up to its controllers, and one controller
// with its flash image in a file of its own (state_json.cpp); the images
// are spliced in as ready text rather than written by the JSON writer.
std::string FileHead(Bus& bus);
std::string ControllerWithFlashFile(const ControllerState& s, const std::string& flashFile);

}  // namespace sim::json_fields
