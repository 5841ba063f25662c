#include "hidlib/linux/report_descriptor.h"

#include <algorithm>

namespace vlmhid::hidraw {
namespace {

enum ItemType : uint8_t { kMain = 0, kGlobal = 1, kLocal = 2 };

enum MainTag : uint8_t {
  kInput = 0x8,
  kOutput = 0x9,
  kCollection = 0xA,
  kFeature = 0xB,
  kEndCollection = 0xC,
};

enum GlobalTag : uint8_t {
  kUsagePage = 0x0,
  kReportSize = 0x7,
  kReportId = 0x8,
  kReportCount = 0x9,
  kPush = 0xA,
  kPop = 0xB,
};

enum LocalTag : uint8_t { kUsage = 0x0, kUsageMinimum = 0x1 };

constexpr uint8_t kLongItemPrefix = 0xFE;
constexpr uint32_t kConstantBit = 0x01;
constexpr uint32_t kVariableBit = 0x02;
constexpr size_t kMaxPushDepth = 16;

struct Globals {
  uint32_t usagePage = 0;
  uint32_t reportId = 0;
  uint32_t reportSize = 0;
  uint32_t reportCount = 0;
};

struct Locals {
  uint32_t usageEntries = 0;  // usages, a range counted once
  bool haveFirstUsage = false;
  uint32_t firstUsage = 0;
  bool firstUsageExtended = false;  // 4-byte usage: page in the high half
};

class Parser {
 public:
  std::vector<TopLevelCollection> Parse(const uint8_t* d, size_t size) {
    size_t i = 0;
    while (i < size) {
      const uint8_t prefix = d[i];
      if (prefix == kLongItemPrefix) {
        if (size - i < 3 || size - i - 3 < d[i + 1]) break;
        i += 3 + d[i + 1];
        continue;
      }
      const size_t dataSize = (prefix & 3) == 3 ? 4 : (prefix & 3);
      if (size - i - 1 < dataSize) break;
      uint32_t value = 0;
      for (size_t k = 0; k < dataSize; ++k) value |= uint32_t{d[i + 1 + k]} << (8 * k);
      i += 1 + dataSize;

      const uint8_t tag = prefix >> 4;
      switch ((prefix >> 2) & 3) {
        case kMain:
          Main(tag, value);
          locals_ = Locals{};
          break;
        case kGlobal:
          Global(tag, value);
          break;
        case kLocal:
          Local(tag, value, dataSize);
          break;
        default:  // reserved item type
          break;
      }
    }
    return std::move(collections_);
  }

 private:
  void Main(uint8_t tag, uint32_t value) {
    switch (tag) {
      case kCollection:
        if (depth_ == 0) OpenTopLevel();
        ++depth_;
        break;
      case kEndCollection:
        if (depth_ > 0) --depth_;
        break;
      case kInput:
      case kOutput:
      case kFeature:
        if (depth_ > 0 && !collections_.empty()) AddData(tag, value);
        break;
      default:
        break;
    }
  }

  void Global(uint8_t tag, uint32_t value) {
    switch (tag) {
      case kUsagePage:
        globals_.usagePage = value;
        break;
      case kReportSize:
        globals_.reportSize = value;
        break;
      case kReportId:
        globals_.reportId = value;
        break;
      case kReportCount:
        globals_.reportCount = value;
        break;
      case kPush:
        if (stack_.size() < kMaxPushDepth) stack_.push_back(globals_);
        break;
      case kPop:
        if (!stack_.empty()) {
          globals_ = stack_.back();
          stack_.pop_back();
        }
        break;
      default:
        break;
    }
  }

  void Local(uint8_t tag, uint32_t value, size_t dataSize) {
    if (tag != kUsage && tag != kUsageMinimum) return;
    ++locals_.usageEntries;
    if (tag == kUsage && !locals_.haveFirstUsage) {
      locals_.haveFirstUsage = true;
      locals_.firstUsage = value;
      locals_.firstUsageExtended = dataSize == 4;
    }
  }

  void OpenTopLevel() {
    TopLevelCollection collection;
    collection.usagePage = static_cast<uint16_t>(
        locals_.firstUsageExtended ? locals_.firstUsage >> 16 : globals_.usagePage);
    collection.usage = static_cast<uint16_t>(locals_.firstUsage);
    collections_.push_back(collection);
  }

  void AddData(uint8_t tag, uint32_t flags) {
    if (tag == kInput) {
      std::vector<uint8_t>& ids = collections_.back().inputReportIds;
      const auto id = static_cast<uint8_t>(globals_.reportId);
      if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
    if ((flags & kConstantBit) != 0 || (flags & kVariableBit) == 0) return;
    if (globals_.reportSize <= 1 || globals_.reportCount == 0) return;
    const uint32_t added = std::clamp<uint32_t>(locals_.usageEntries, 1, globals_.reportCount);
    HidCaps& caps = collections_.back().caps;
    uint16_t* number = &caps.numberInputValueCaps;
    uint8_t* firstId = &caps.firstInputReportId;
    if (tag == kOutput) {
      number = &caps.numberOutputValueCaps;
      firstId = &caps.firstOutputReportId;
    } else if (tag == kFeature) {
      number = &caps.numberFeatureValueCaps;
      firstId = &caps.firstFeatureReportId;
    }
    if (*number == 0) *firstId = static_cast<uint8_t>(globals_.reportId);
    *number = static_cast<uint16_t>(std::min<uint32_t>(uint32_t{*number} + added, 0xFFFF));
  }

  std::vector<TopLevelCollection> collections_;
  std::vector<Globals> stack_;
  Globals globals_;
  Locals locals_;
  int depth_ = 0;
};

}  // namespace

std::vector<TopLevelCollection> ParseReportDescriptor(const uint8_t* descriptor, size_t size) {
  if (descriptor == nullptr) return {};
  return Parser().Parse(descriptor, size);
}

}  // namespace vlmhid::hidraw
