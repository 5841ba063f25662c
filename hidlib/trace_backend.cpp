#include "hidlib/trace_backend.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <string_view>

namespace vlmhid {
namespace {

constexpr size_t kStringChars = 256;

// Wide characters (UTF-32 or UTF-16 units taken one by one) as UTF-8.
std::string Utf8(const wchar_t* text, size_t capacity) {
  std::string out;
  for (size_t i = 0; i < capacity && text[i] != L'\0'; ++i) {
    auto c = static_cast<uint32_t>(text[i]);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string AskString(bool (HidHandle::*query)(wchar_t*, size_t), HidHandle& handle) {
  wchar_t text[kStringChars] = {};
  if (!(handle.*query)(text, sizeof(text) - sizeof(wchar_t))) return {};
  return Utf8(text, kStringChars - 1);
}

// Where the collection part of an interface path ("&col01") starts, or npos.
// A Linux path ends with it; a Windows interface path carries it inside the
// device instance ("\\?\hid#vid_0488&pid_0101&col01#7&1a2b&0&0000#{...}",
// "&Col01" in some spellings), so it ends at the path's end, a '#' or a '\\'.
size_t CollectionAt(const std::wstring& path) {
  for (size_t at = path.find(L'&'); at != std::wstring::npos; at = path.find(L'&', at + 1)) {
    if (path.size() - at < 6) break;
    const bool col = (path[at + 1] == L'c' || path[at + 1] == L'C') &&
                     (path[at + 2] == L'o' || path[at + 2] == L'O') &&
                     (path[at + 3] == L'l' || path[at + 3] == L'L') &&
                     std::iswxdigit(path[at + 4]) && std::iswxdigit(path[at + 5]);
    const bool ends = path.size() - at == 6 || path[at + 6] == L'#' || path[at + 6] == L'\\';
    if (col && ends) return at;
  }
  return std::wstring::npos;
}

// The collection part of an interface path, as "&col01", or "-".
std::string CollectionOf(const std::wstring& path) {
  const size_t at = CollectionAt(path);
  if (at == std::wstring::npos) return "-";
  std::string collection = "&col" + Utf8(path.c_str() + at + 4, 2);
  for (char& c : collection) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return collection;
}

// The interface path's last component up to its collection part (on Windows
// the component after "\\?\": "hid#vid_0488&pid_0101").
std::string NodeOf(const std::wstring& path) {
  const size_t collection = CollectionAt(path);
  std::wstring head = path.substr(0, collection);
  const size_t slash = head.find_last_of(L"/\\");
  std::wstring node = head.substr(slash == std::wstring::npos ? 0 : slash + 1);
  return Utf8(node.c_str(), node.size());
}

class TracedHandle final : public HidHandle {
 public:
  TracedHandle(std::unique_ptr<HidHandle> inner, std::wstring path,
               std::shared_ptr<TraceRecorder> recorder)
      : inner_(std::move(inner)), path_(std::move(path)), recorder_(std::move(recorder)) {}

  bool GetAttributes(HidAttributes& attributes) override {
    return inner_->GetAttributes(attributes);
  }
  bool GetCaps(HidCaps& caps) override { return inner_->GetCaps(caps); }
  bool GetProductString(wchar_t* buffer, size_t bytes) override {
    return inner_->GetProductString(buffer, bytes);
  }
  bool GetSerialNumberString(wchar_t* buffer, size_t bytes) override {
    return inner_->GetSerialNumberString(buffer, bytes);
  }
  bool GetFeature(uint8_t* report, size_t length) override {
    Identify();
    // A failed read is recorded with the buffer as the host handed it in.
    std::string asked;
    if (report != nullptr) asked.assign(reinterpret_cast<const char*>(report), length);
    const bool ok = inner_->GetFeature(report, length);
    const auto* shown = ok ? report : reinterpret_cast<const uint8_t*>(asked.data());
    recorder_->Record(device_, identity_, ok ? trace::Kind::kGet : trace::Kind::kGetFail, shown,
                      report == nullptr ? 0 : length);
    return ok;
  }
  bool SetFeature(const uint8_t* report, size_t length) override {
    Identify();
    const bool ok = inner_->SetFeature(report, length);
    recorder_->Record(device_, identity_, ok ? trace::Kind::kSet : trace::Kind::kSetFail, report,
                      report == nullptr ? 0 : length);
    return ok;
  }
  bool GetInputReport(uint8_t* report, size_t length) override {
    return inner_->GetInputReport(report, length);
  }
  bool SetOutputReport(const uint8_t* report, size_t length) override {
    return inner_->SetOutputReport(report, length);
  }
  bool ReadInput(uint8_t* report, size_t length, int timeoutMs) override {
    return inner_->ReadInput(report, length, timeoutMs);
  }
  bool WriteOutput(const uint8_t* report, size_t length) override {
    return inner_->WriteOutput(report, length);
  }
  void ClearErrors() override { inner_->ClearErrors(); }

 private:
  // What the reports of this handle reach, asked once before the first one.
  void Identify() {
    if (identified_) return;
    identified_ = true;
    HidAttributes attributes;
    if (inner_->GetAttributes(attributes)) {
      identity_.vendorId = attributes.vendorId;
      identity_.productId = attributes.productId;
      identity_.versionNumber = attributes.versionNumber;
    }
    HidCaps caps;
    if (inner_->GetCaps(caps) && caps.numberFeatureValueCaps > 0) {
      identity_.reportId = caps.firstFeatureReportId;
    }
    identity_.collection = CollectionOf(path_);
    const std::string product = AskString(&HidHandle::GetProductString, *inner_);
    identity_.product = product.empty() ? "None" : product;
    const std::string serial = AskString(&HidHandle::GetSerialNumberString, *inner_);
    device_ = trace::DeviceToken(serial.empty() || serial == "None" ? NodeOf(path_) : serial);
  }

  std::unique_ptr<HidHandle> inner_;
  std::wstring path_;
  std::shared_ptr<TraceRecorder> recorder_;
  bool identified_ = false;
  std::string device_;
  trace::DeviceIdentity identity_;
};

class TracedBackendImpl final : public HidBackend {
 public:
  TracedBackendImpl(std::unique_ptr<HidBackend> inner, std::shared_ptr<TraceRecorder> recorder)
      : inner_(std::move(inner)), recorder_(std::move(recorder)) {}

  std::vector<std::wstring> ListInterfaces() override { return inner_->ListInterfaces(); }
  std::unique_ptr<HidHandle> Open(const std::wstring& path, OpenAccess access) override {
    std::unique_ptr<HidHandle> handle = inner_->Open(path, access);
    if (!handle) return nullptr;
    return std::make_unique<TracedHandle>(std::move(handle), path, recorder_);
  }
  void SleepMs(uint32_t ms) override { inner_->SleepMs(ms); }

 private:
  std::unique_ptr<HidBackend> inner_;
  std::shared_ptr<TraceRecorder> recorder_;
};

uint64_t WallClockMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace

TraceRecorder::TraceRecorder(Writer writer, Clock clock)
    : writer_(std::move(writer)), clock_(std::move(clock)) {}

void TraceRecorder::Record(const std::string& device, const trace::DeviceIdentity& identity,
                           trace::Kind kind, const uint8_t* report, size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t now = clock_();
  if (!haveLast_ || device != lastDevice_ || !(identity == lastIdentity_)) {
    writer_(trace::FormatDevice(now, device, identity));
    haveLast_ = true;
    lastDevice_ = device;
    lastIdentity_ = identity;
  }
  writer_(trace::FormatReport(now, kind, device, report, length));
}

std::unique_ptr<HidBackend> TracedBackend(std::unique_ptr<HidBackend> inner,
                                          std::shared_ptr<TraceRecorder> recorder) {
  if (!inner || !recorder) return inner;
  return std::make_unique<TracedBackendImpl>(std::move(inner), std::move(recorder));
}

std::shared_ptr<TraceRecorder> TraceRecorderFromEnvironment() {
  static std::shared_ptr<TraceRecorder> recorder = [] {
    const char* path = std::getenv("VLMHID_TRACE");
    if (path == nullptr || *path == '\0') return std::shared_ptr<TraceRecorder>();
    // Appending, unbuffered: each line lands whole at the end of the file.
    std::FILE* file = std::fopen(path, "ab");
    if (file == nullptr) {
      std::fprintf(stderr, "libVLMHID: cannot open trace file %s: %s\n", path,
                   std::strerror(errno));
      return std::shared_ptr<TraceRecorder>();
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    auto write = [file](const std::string& line) {
      const std::string text = line + "\n";
      std::fwrite(text.data(), 1, text.size(), file);
    };
    return std::make_shared<TraceRecorder>(write, WallClockMs);
  }();
  return recorder;
}

}  // namespace vlmhid
