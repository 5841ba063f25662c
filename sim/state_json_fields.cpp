#include "sim/state_json_fields.h"

#include <algorithm>

#include "update/bootloader_protocol.h"

namespace sim::json_fields {

namespace {
constexpr uint64_t kFlashEnd = uint64_t{padflash::kFlashBase} + kFlashSize;
}  // namespace

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
          {"powerLossAtReport", f.powerLossAtReport},
          {"hostDeathAtReport", f.hostDeathAtReport}};
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
  r.Number("hostDeathAtReport", f.hostDeathAtReport);
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

}  // namespace sim::json_fields
