#include "hidlib/linux/node_record_cache.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace vlmhid::hidraw {

bool NodeRecordCache::Read(const std::string& sysfsRoot, const std::string& name,
                           HidrawNode& node) {
  std::error_code error;
  const fs::path link = fs::path(sysfsRoot) / "class" / "hidraw" / name;
  std::string target = fs::read_symlink(link, error).string();
  if (error) target.clear();
  if (!target.empty()) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(name);
    if (it != entries_.end() && it->second.linkTarget == target) {
      node = it->second.node;
      return true;
    }
  }
  HidrawNode read;
  if (!ReadHidrawNode(sysfsRoot, name, read)) return false;
  if (!target.empty()) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_[name] = Entry{target, read};
  }
  node = std::move(read);
  return true;
}

void NodeRecordCache::KeepOnly(const std::vector<std::string>& names) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(entries_, [&names](const auto& entry) {
    return std::find(names.begin(), names.end(), entry.first) == names.end();
  });
}

}  // namespace vlmhid::hidraw
