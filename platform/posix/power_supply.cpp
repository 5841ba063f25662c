#include "platform/posix/power_supply.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <vector>

namespace padflash {
namespace {

// The first line of an attribute file, without surrounding white space;
// empty when it cannot be read.
std::string ReadAttribute(const std::string& folder, const char* name) {
  std::ifstream file(folder + "/" + name);
  std::string line;
  if (!file || !std::getline(file, line)) return {};
  const size_t first = line.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const size_t last = line.find_last_not_of(" \t\r\n");
  return line.substr(first, last - first + 1);
}

std::optional<long long> ReadNumber(const std::string& folder, const char* name) {
  const std::string text = ReadAttribute(folder, name);
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0') return std::nullopt;
  return value;
}

bool IsLinePower(const std::string& type) {
  return type == "Mains" || type == "USB" || type == "Wireless";
}

// Windows thresholds: high above 66 %, low below 33 %, critical below 5 %.
uint8_t FlagFromCapacity(const std::string& folder) {
  const std::string level = ReadAttribute(folder, "capacity_level");
  if (level == "Full" || level == "High") return kBatteryHigh;
  if (level == "Normal") return 0;
  if (level == "Low") return kBatteryLow;
  if (level == "Critical") return kBatteryCritical;
  const std::optional<long long> percent = ReadNumber(folder, "capacity");
  if (!percent) return kBatteryUnknown;
  if (*percent > 66) return kBatteryHigh;
  if (*percent < 5) return kBatteryCritical;
  if (*percent < 33) return kBatteryLow;
  return 0;
}

// Seconds left while discharging; -1 when the battery does not tell.
int32_t LifeTime(const std::string& folder) {
  if (std::optional<long long> seconds = ReadNumber(folder, "time_to_empty_now");
      seconds && *seconds > 0) {
    return static_cast<int32_t>(std::min<long long>(*seconds, INT32_MAX));
  }
  for (auto [amount, rate] :
       {std::pair{"energy_now", "power_now"}, std::pair{"charge_now", "current_now"}}) {
    const std::optional<long long> left = ReadNumber(folder, amount);
    const std::optional<long long> use = ReadNumber(folder, rate);
    if (left && use && *left >= 0 && *use > 0) {
      const long long seconds =
          static_cast<long long>(static_cast<double>(*left) * 3600.0 / static_cast<double>(*use));
      return static_cast<int32_t>(std::min<long long>(seconds, INT32_MAX));
    }
  }
  return -1;
}

std::vector<std::string> SupplyFolders(DIR* dir, const std::string& root) {
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  for (std::string& name : names) name = root + "/" + name;
  return names;
}

}  // namespace

bool ReadPowerSupplyStatus(const std::string& root, PowerStatus& status) {
  DIR* dir = opendir(root.c_str());
  if (dir == nullptr) return false;
  const std::vector<std::string> folders = SupplyFolders(dir, root);
  closedir(dir);

  bool anyLinePower = false;
  bool lineOnline = false;
  std::string battery;  // the first system battery
  for (const std::string& folder : folders) {
    const std::string type = ReadAttribute(folder, "type");
    if (IsLinePower(type)) {
      anyLinePower = true;
      lineOnline = lineOnline || ReadAttribute(folder, "online") == "1";
    } else if (type == "Battery" && battery.empty()) {
      if (ReadAttribute(folder, "scope") == "Device") continue;
      if (ReadAttribute(folder, "present") == "0") continue;
      battery = folder;
    }
  }

  const std::string batteryState = battery.empty() ? "" : ReadAttribute(battery, "status");
  PowerStatus result;
  if (lineOnline) {
    result.acLineStatus = 1;
  } else if (anyLinePower || batteryState == "Discharging") {
    result.acLineStatus = 0;
  } else if (batteryState == "Charging" || batteryState == "Full" ||
             batteryState == "Not charging") {
    result.acLineStatus = 1;
  }

  if (battery.empty()) {
    result.batteryFlag = kBatteryNone;
  } else {
    result.batteryFlag = FlagFromCapacity(battery);
    if (batteryState == "Charging") {
      result.batteryFlag = result.batteryFlag == kBatteryUnknown
                               ? kBatteryCharging
                               : static_cast<uint8_t>(result.batteryFlag | kBatteryCharging);
    }
    if (batteryState == "Discharging") result.batteryLifeTime = LifeTime(battery);
  }
  status = result;
  return true;
}

}  // namespace padflash
