#include "hidlib/linux/hidraw_backend.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "hidlib/linux/sysfs_nodes.h"

namespace vlmhid::hidraw {
namespace {

// The length field of the hidraw report ioctls.
constexpr size_t kMaxIoctlLength = _IOC_SIZEMASK;

std::string NodePath(const std::string& devDirectory, const std::string& name) {
  return devDirectory + "/" + name;
}

int OpenFlags(OpenAccess access) {
  switch (access) {
    case OpenAccess::kRead:
      return O_RDONLY | O_NONBLOCK;  // reads follow a poll and must never block
    case OpenAccess::kWrite:
      return O_WRONLY;
    case OpenAccess::kNone:
    default:
      return O_RDWR;
  }
}

// Fills at most `bytes` bytes with the string; terminated only when it fits.
bool CopyString(const std::wstring& text, wchar_t* buffer, size_t bytes) {
  if (text.empty() || buffer == nullptr) return false;
  const size_t capacity = bytes / sizeof(wchar_t);
  size_t n = 0;
  for (; n < capacity && n < text.size(); ++n) buffer[n] = text[n];
  if (n < capacity) buffer[n] = L'\0';
  return true;
}

// The reports of the other collections of a node that one read may pass
// over when it does not wait: the kernel queues at most this many per reader.
constexpr int kMaxPassedReports = 64;

// Which input reports the interface delivers: a collection interface of a
// node with several collections only those under its own report IDs, as a
// Windows collection handle does; a whole node every report.
struct InputFilter {
  bool active = false;
  std::vector<uint8_t> reportIds;
  bool Accepts(uint8_t id) const {
    return !active || std::find(reportIds.begin(), reportIds.end(), id) != reportIds.end();
  }
};

class HidrawHandle final : public HidHandle {
 public:
  HidrawHandle(std::shared_ptr<NodeOps> ops, int fd, HidrawNode node, HidCaps caps,
               InputFilter filter)
      : ops_(std::move(ops)),
        fd_(fd),
        node_(std::move(node)),
        caps_(caps),
        filter_(std::move(filter)) {}
  ~HidrawHandle() override { ops_->Close(fd_); }
  HidrawHandle(const HidrawHandle&) = delete;
  HidrawHandle& operator=(const HidrawHandle&) = delete;

  bool GetAttributes(HidAttributes& attributes) override {
    hidraw_devinfo info{};
    if (ops_->Ioctl(fd_, HIDIOCGRAWINFO, &info) < 0) return false;
    // The kernel hands vendor and product out as signed 16-bit values.
    attributes.vendorId = static_cast<uint16_t>(info.vendor);
    attributes.productId = static_cast<uint16_t>(info.product);
    attributes.versionNumber = node_.versionNumber;
    return true;
  }
  bool GetCaps(HidCaps& caps) override {
    caps = caps_;
    return true;
  }
  bool GetProductString(wchar_t* buffer, size_t bytes) override {
    return CopyString(node_.product, buffer, bytes);
  }
  bool GetSerialNumberString(wchar_t* buffer, size_t bytes) override {
    return CopyString(node_.serial, buffer, bytes);
  }
  bool GetFeature(uint8_t* report, size_t length) override {
    return Fits(length) && ops_->Ioctl(fd_, HIDIOCGFEATURE(length), report) >= 0;
  }
  bool SetFeature(const uint8_t* report, size_t length) override {
    return Fits(length) &&
           ops_->Ioctl(fd_, HIDIOCSFEATURE(length), const_cast<uint8_t*>(report)) >= 0;
  }
  bool GetInputReport(uint8_t* report, size_t length) override {
    return Fits(length) && ops_->Ioctl(fd_, HIDIOCGINPUT(length), report) >= 0;
  }
  bool SetOutputReport(const uint8_t* report, size_t length) override {
    return Fits(length) &&
           ops_->Ioctl(fd_, HIDIOCSOUTPUT(length), const_cast<uint8_t*>(report)) >= 0;
  }

  bool ReadInput(uint8_t* report, size_t length, int timeoutMs) override {
    if (length == 0) return false;
    // Numbered reports arrive with their ID in byte 0; a device without
    // report IDs delivers the data alone, after our byte 0.
    const bool numbered = report[0] != 0;
    uint8_t* into = numbered ? report : report + 1;
    const size_t wanted = numbered ? length : length - 1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int wait = timeoutMs;
    for (int passed = 0;; ++passed) {
      pollfd ready{fd_, POLLIN, 0};
      if (ops_->Poll(&ready, 1, wait) <= 0) return false;
      if ((ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 || (ready.revents & POLLIN) == 0) {
        return false;
      }
      const ssize_t received = ops_->Read(fd_, into, wanted);
      if (received < 0) return false;
      if (!numbered || (received > 0 && filter_.Accepts(into[0]))) {
        return received > 0 || wanted == 0;
      }
      // Another collection's report: keep waiting for the rest of the time.
      if (timeoutMs == 0 && passed + 1 >= kMaxPassedReports) return false;
      if (timeoutMs > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        wait = static_cast<int>(std::max<int64_t>(left.count(), 0));
      }
    }
  }
  bool WriteOutput(const uint8_t* report, size_t length) override {
    // hidraw takes byte 0 as the report ID and drops it when it is 0.
    return ops_->Write(fd_, report, length) >= 0;
  }

 private:
  // The report ioctls carry the length in a field of _IOC_SIZEBITS bits.
  static bool Fits(size_t length) { return length > 0 && length <= kMaxIoctlLength; }

  std::shared_ptr<NodeOps> ops_;
  int fd_;
  HidrawNode node_;
  HidCaps caps_;
  InputFilter filter_;
};

}  // namespace

std::wstring InterfacePath(const std::string& devDirectory, const std::string& name,
                           int collection) {
  std::string path = NodePath(devDirectory, name);
  if (collection > 0) {
    char suffix[16];
    std::snprintf(suffix, sizeof(suffix), "&col%02d", collection);
    path += suffix;
  }
  return WideFromUtf8(path);
}

bool SplitInterfacePath(const std::wstring& path, const std::string& devDirectory,
                        std::string& name, int& collection) {
  const std::wstring prefix = WideFromUtf8(devDirectory + "/");
  if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) return false;
  const size_t suffixStart = std::min(path.find(L'&', prefix.size()), path.size());
  std::string nodeName;
  for (size_t i = prefix.size(); i < suffixStart; ++i) {
    if (path[i] <= 0 || path[i] >= 0x80) return false;
    nodeName.push_back(static_cast<char>(path[i]));
  }
  if (!IsHidrawName(nodeName)) return false;
  int number = 0;
  if (suffixStart < path.size()) {
    constexpr std::wstring_view kCol = L"&col";
    const std::wstring_view suffix = std::wstring_view(path).substr(suffixStart);
    if (suffix.size() < kCol.size() + 2 || suffix.size() > kCol.size() + 4 ||
        suffix.substr(0, kCol.size()) != kCol) {
      return false;
    }
    for (wchar_t c : suffix.substr(kCol.size())) {
      if (c < L'0' || c > L'9') return false;
      number = number * 10 + (c - L'0');
    }
    // One spelling per collection: "&col01", never "&col1" or "&col001".
    if (number == 0 || InterfacePath(devDirectory, nodeName, number) != path) return false;
  }
  name = std::move(nodeName);
  collection = number;
  return true;
}

HidrawBackend::HidrawBackend(HidrawConfig config) : config_(std::move(config)) {
  if (!config_.ops) config_.ops = RealNodeOps();
}

std::vector<std::wstring> HidrawBackend::ListInterfaces() {
  std::vector<std::wstring> paths;
  const std::vector<std::string> names = ListHidrawNodes(config_.sysfsRoot);
  records_.KeepOnly(names);
  for (const std::string& name : names) {
    HidrawNode node;
    if (!records_.Read(config_.sysfsRoot, name, node)) continue;
    const size_t collections = node.collections.size();
    if (collections <= 1) {
      paths.push_back(InterfacePath(config_.devDirectory, name, 0));
      continue;
    }
    for (size_t k = 1; k <= collections; ++k) {
      paths.push_back(InterfacePath(config_.devDirectory, name, static_cast<int>(k)));
    }
  }
  return paths;
}

std::unique_ptr<HidHandle> HidrawBackend::Open(const std::wstring& path, OpenAccess access) {
  std::string name;
  int collection = 0;
  HidrawNode node;
  if (!SplitInterfacePath(path, config_.devDirectory, name, collection) ||
      !records_.Read(config_.sysfsRoot, name, node)) {
    return nullptr;
  }
  // The path must name an interface ListInterfaces gives for the node now.
  const size_t collections = node.collections.size();
  HidCaps caps;
  InputFilter filter;
  if (collection == 0) {
    if (collections > 1) return nullptr;
    if (collections == 1) caps = node.collections[0].caps;
  } else {
    if (collections < 2 || static_cast<size_t>(collection) > collections) return nullptr;
    const TopLevelCollection& own = node.collections[static_cast<size_t>(collection) - 1];
    caps = own.caps;
    filter.reportIds = own.inputReportIds;
    // A descriptor without report IDs cannot tell its collections apart.
    filter.active =
        std::find(filter.reportIds.begin(), filter.reportIds.end(), 0) == filter.reportIds.end();
  }
  const int fd = config_.ops->Open(NodePath(config_.devDirectory, name), OpenFlags(access));
  if (fd < 0) return nullptr;
  return std::make_unique<HidrawHandle>(config_.ops, fd, std::move(node), caps, std::move(filter));
}

void HidrawBackend::SleepMs(uint32_t ms) {
  if (config_.sleepMs) {
    config_.sleepMs(ms);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
}

}  // namespace vlmhid::hidraw
