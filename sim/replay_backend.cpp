#include "sim/replay_backend.h"

#include <algorithm>

#include "hidlib/report_trace.h"

namespace sim {
namespace {

std::wstring Widen(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

std::wstring PathOf(const TracePlayer::Presence& presence) {
  std::wstring path = L"/replay/" + Widen(presence.device);
  if (presence.identity.collection != "-") path += Widen(presence.identity.collection);
  return path;
}

class ReplayHandle final : public vlmhid::HidHandle {
 public:
  ReplayHandle(std::shared_ptr<TracePlayer> player, TracePlayer::Presence presence,
               padflash::Clock& clock)
      : player_(std::move(player)), presence_(std::move(presence)), clock_(clock) {}

  bool GetAttributes(vlmhid::HidAttributes& attributes) override {
    if (!player_->Alive(presence_.segment)) return false;
    attributes.vendorId = presence_.identity.vendorId;
    attributes.productId = presence_.identity.productId;
    attributes.versionNumber = presence_.identity.versionNumber;
    return true;
  }
  bool GetCaps(vlmhid::HidCaps& caps) override {
    if (!player_->Alive(presence_.segment)) return false;
    caps = vlmhid::HidCaps{};
    caps.numberFeatureValueCaps = 1;
    caps.firstFeatureReportId = presence_.identity.reportId;
    return true;
  }
  bool GetProductString(wchar_t* buffer, size_t bytes) override {
    const std::string& product = presence_.identity.product;
    return product != "None" && Give(product, buffer, bytes);
  }
  // A device recorded under its serial number shows it.
  bool GetSerialNumberString(wchar_t* buffer, size_t bytes) override {
    return !vlmhid::trace::NamesNode(presence_.device) && Give(presence_.device, buffer, bytes);
  }
  bool GetFeature(uint8_t* report, size_t length) override {
    return player_->Get(presence_.segment, report, length);
  }
  bool SetFeature(const uint8_t* report, size_t length) override {
    return player_->Set(presence_.segment, report, length);
  }
  bool GetInputReport(uint8_t*, size_t) override { return false; }
  bool SetOutputReport(const uint8_t*, size_t) override { return false; }
  bool ReadInput(uint8_t*, size_t, int timeoutMs) override {
    if (timeoutMs > 0) clock_.SleepMs(static_cast<uint32_t>(timeoutMs));
    return false;
  }
  bool WriteOutput(const uint8_t*, size_t) override { return false; }

 private:
  bool Give(const std::string& text, wchar_t* buffer, size_t bytes) const {
    if (buffer == nullptr || !player_->Alive(presence_.segment)) return false;
    const std::wstring wide = Widen(text);
    const size_t chars = std::min(wide.size() + 1, bytes / sizeof(wchar_t));
    std::copy_n(wide.c_str(), chars, buffer);
    return true;
  }

  std::shared_ptr<TracePlayer> player_;
  TracePlayer::Presence presence_;
  padflash::Clock& clock_;
};

}  // namespace

std::vector<std::wstring> ReplayBackend::ListInterfaces() {
  const auto presence = player_->Present();
  if (!presence) return {};
  return {PathOf(*presence)};
}

std::unique_ptr<vlmhid::HidHandle> ReplayBackend::Open(const std::wstring& path,
                                                       vlmhid::OpenAccess) {
  const auto presence = player_->Present();
  if (!presence || PathOf(*presence) != path) return nullptr;
  return std::make_unique<ReplayHandle>(player_, *presence, clock_);
}

}  // namespace sim
