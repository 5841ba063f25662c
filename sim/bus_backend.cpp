#include "sim/bus_backend.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

// Copies the string with its terminator into at most `bytes` bytes; the
// copy is cut (unterminated) when it does not fit, as the platform does.
bool CopyString(const std::wstring& text, wchar_t* buffer, size_t bytes) {
  if (buffer == nullptr) return false;
  const size_t chars = std::min(text.size() + 1, bytes / sizeof(wchar_t));
  std::wmemcpy(buffer, text.c_str(), chars);
  return true;
}

class BusHandle final : public vlmhid::HidHandle {
 public:
  BusHandle(Bus& bus, BusInterface interface) : bus_(bus), interface_(std::move(interface)) {}

  bool GetAttributes(vlmhid::HidAttributes& attributes) override {
    if (!Alive()) return false;
    attributes.vendorId = interface_.vendorId;
    attributes.productId = interface_.productId;
    attributes.versionNumber = interface_.versionNumber;
    return true;
  }

  bool GetCaps(vlmhid::HidCaps& caps) override {
    if (!Alive()) return false;
    caps = vlmhid::HidCaps{};
    if (interface_.featureReportId != 0) {
      caps.numberFeatureValueCaps = 1;
      caps.firstFeatureReportId = interface_.featureReportId;
    }
    if (interface_.inputReportId != 0) {
      caps.numberInputValueCaps = 1;
      caps.firstInputReportId = interface_.inputReportId;
    }
    return true;
  }

  bool GetProductString(wchar_t* buffer, size_t bytes) override {
    return Alive() && CopyString(interface_.product, buffer, bytes);
  }

  // A device without a serial string answers the query with a failure.
  bool GetSerialNumberString(wchar_t* buffer, size_t bytes) override {
    return Alive() && !interface_.serialNumber.empty() &&
           CopyString(interface_.serialNumber, buffer, bytes);
  }

  // Only the collection with the feature capability moves feature reports.
  bool GetFeature(uint8_t* report, size_t length) override {
    if (interface_.featureReportId == 0) return false;
    return bus_.GetFeature(interface_.serial, interface_.generation, report, length);
  }

  bool SetFeature(const uint8_t* report, size_t length) override {
    if (interface_.featureReportId == 0) return false;
    return bus_.SetFeature(interface_.serial, interface_.generation, report, length);
  }

  // The controller sends no input reports the host asks for, and has no
  // output reports.
  bool GetInputReport(uint8_t*, size_t) override { return false; }
  bool SetOutputReport(const uint8_t*, size_t) override { return false; }
  bool ReadInput(uint8_t*, size_t, int timeoutMs) override {
    if (timeoutMs > 0) bus_.clock().SleepMs(static_cast<uint32_t>(timeoutMs));
    return false;
  }
  bool WriteOutput(const uint8_t*, size_t) override { return false; }

 private:
  bool Alive() { return bus_.Alive(interface_.serial, interface_.generation); }

  Bus& bus_;
  BusInterface interface_;
};

}  // namespace

std::vector<std::wstring> BusBackend::ListInterfaces() {
  std::vector<std::wstring> paths;
  for (const BusInterface& entry : bus_.Interfaces()) paths.push_back(entry.path);
  return paths;
}

std::unique_ptr<vlmhid::HidHandle> BusBackend::Open(const std::wstring& path, vlmhid::OpenAccess) {
  BusInterface entry;
  if (!bus_.FindInterface(path, entry)) return nullptr;
  return std::make_unique<BusHandle>(bus_, std::move(entry));
}

void BusBackend::SleepMs(uint32_t ms) {
  bus_.clock().SleepMs(ms);
}

}  // namespace sim
