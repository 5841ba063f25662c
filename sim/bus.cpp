#include "sim/bus.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace sim {

namespace {

std::wstring Widen(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

// 1 for "SIM0001"; 0 when the serial is not of that form.
uint32_t SerialNumberOf(const std::string& serial) {
  if (serial.size() < 4 || serial.compare(0, 3, "SIM") != 0) return 0;
  uint32_t n = 0;
  for (size_t i = 3; i < serial.size(); ++i) {
    if (serial[i] < '0' || serial[i] > '9' || n > 100000000) return 0;
    n = n * 10 + static_cast<uint32_t>(serial[i] - '0');
  }
  return n;
}

}  // namespace

Bus::Bus(padflash::Clock& clock) : clock_(clock) {}
Bus::~Bus() = default;

Controller& Bus::Attach(ControllerConfig config) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (config.serial.empty() || FindLocked(config.serial) != nullptr) config.serial = FreeSerial();
  nextSerial_ = std::max(nextSerial_, SerialNumberOf(config.serial) + 1);
  controllers_.push_back(std::make_unique<Controller>(Controller::Manufacture(config), clock_));
  Changed();
  return *controllers_.back();
}

Controller& Bus::Restore(ControllerState state) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (state.config.serial.empty() || FindLocked(state.config.serial) != nullptr) {
    state.config.serial = FreeSerial();
  }
  nextSerial_ = std::max(nextSerial_, SerialNumberOf(state.config.serial) + 1);
  controllers_.push_back(std::make_unique<Controller>(std::move(state), clock_));
  Changed();
  return *controllers_.back();
}

std::string Bus::FreeSerial() {
  for (;; ++nextSerial_) {
    char text[16];
    std::snprintf(text, sizeof text, "SIM%04" PRIu32, nextSerial_);
    if (FindLocked(text) == nullptr) return text;
  }
}

bool Bus::Detach(const std::string& serial) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const auto before = controllers_.size();
  std::erase_if(controllers_, [&](const auto& c) { return c->serial() == serial; });
  if (controllers_.size() == before) return false;
  Changed();
  return true;
}

void Bus::DetachAll() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  controllers_.clear();
  Changed();
}

Controller* Bus::Find(const std::string& serial) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return FindLocked(serial);
}

Controller* Bus::FindLocked(const std::string& serial) {
  for (auto& c : controllers_) {
    if (c->serial() == serial) return c.get();
  }
  return nullptr;
}

std::vector<Controller*> Bus::controllers() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<Controller*> out;
  for (auto& c : controllers_) out.push_back(c.get());
  return out;
}

uint32_t Bus::nextSerialNumber() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return nextSerial_;
}

void Bus::setNextSerialNumber(uint32_t number) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  nextSerial_ = std::max<uint32_t>(number, 1);
}

void Bus::Poll() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  bool changed = false;
  for (auto& c : controllers_) {
    if (!c->Poll()) continue;
    Record(c.get());
    changed = true;
  }
  if (changed) ControllerChanged(nullptr);
}

std::vector<BusInterface> Bus::Interfaces() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  BeforeAccess();
  Poll();
  std::vector<BusInterface> out;
  for (auto& c : controllers_) AppendInterfaces(*c, out);
  return out;
}

bool Bus::FindInterface(const std::wstring& path, BusInterface& found) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  BeforeAccess();
  Poll();
  // "/sim/<serial>" or "/sim/<serial>&colNN"; a serial holds no '&'.
  const std::wstring root = L"/sim/";
  if (path.compare(0, root.size(), root) != 0) return false;
  const size_t end = std::min(path.find(L'&', root.size()), path.size());
  std::string serial;
  for (size_t i = root.size(); i < end; ++i) serial += static_cast<char>(path[i]);
  Controller* c = FindLocked(serial);
  if (c == nullptr) return false;
  std::vector<BusInterface> offered;
  AppendInterfaces(*c, offered);
  for (BusInterface& entry : offered) {
    if (entry.path != path) continue;
    found = std::move(entry);
    return true;
  }
  return false;
}

void Bus::AppendInterfaces(Controller& c, std::vector<BusInterface>& out) {
  if (!c.present()) return;
  const ControllerConfig& config = c.config();
  BusInterface base;
  base.serial = config.serial;
  base.generation = c.generation();
  base.vendorId = c.vendorId();
  base.productId = c.productId();
  base.versionNumber = c.versionNumber();
  base.serialNumber = Widen(config.serial);
  const std::wstring root = L"/sim/" + Widen(config.serial);
  if (c.inBootloader()) {
    base.path = root;
    if (config.bootloaderSerial) base.serialNumber = Widen(*config.bootloaderSerial);
    base.featureReportId = config.reportId;
    base.product = config.product + L" Bootloader";
    out.push_back(base);
    return;
  }
  base.product = config.product;
  for (int col = 1; col <= 3; ++col) {
    BusInterface entry = base;
    entry.collection = col;
    entry.path = root + (col == 1 ? L"&col01" : col == 2 ? L"&col02" : L"&col03");
    if (col == 1) {
      entry.featureReportId = config.reportId;
    } else {
      // Touch and mouse input of their own, under other report IDs.
      uint8_t id = static_cast<uint8_t>(config.reportId + col - 1);
      if (id == 0) id = static_cast<uint8_t>(col + 1);
      entry.inputReportId = id;
    }
    out.push_back(entry);
  }
}

bool Bus::Alive(const std::string& serial, uint32_t generation) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Controller* c = FindLocked(serial);
  return c != nullptr && c->present() && c->generation() == generation;
}

bool Bus::SetFeature(const std::string& serial, uint32_t generation, const uint8_t* report,
                     size_t length) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  BeforeAccess();
  Controller* c = FindLocked(serial);
  bool ok = false;
  if (c != nullptr) {
    c->Poll();
    ok = c->generation() == generation && c->SetFeature(report, length);
  }
  Trace(ok ? "SET" : "SET-FAIL", serial, report, length);
  ControllerChanged(c);
  EndHostIfDue(c);
  return ok;
}

bool Bus::GetFeature(const std::string& serial, uint32_t generation, uint8_t* report,
                     size_t length) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  BeforeAccess();
  Controller* c = FindLocked(serial);
  bool ok = false;
  if (c != nullptr) {
    c->Poll();
    ok = c->generation() == generation && c->GetFeature(report, length);
  }
  Trace(ok ? "GET" : "GET-FAIL", serial, report, length);
  ControllerChanged(c);
  EndHostIfDue(c);
  return ok;
}

void Bus::Trace(const char* kind, const std::string& serial, const uint8_t* report, size_t length) {
  if (!keepTrace_ && !traceSink_) return;
  static const char kDigits[] = "0123456789abcdef";
  char head[64];
  std::snprintf(head, sizeof head, "%" PRIu64 " %s ", clock_.NowMs(), kind);
  std::string line = head;
  line += serial;
  line += ' ';
  if (report != nullptr) {
    line.reserve(line.size() + 2 * length);
    for (size_t i = 0; i < length; ++i) {
      line += kDigits[report[i] >> 4];
      line += kDigits[report[i] & 0x0F];
    }
  }
  if (keepTrace_) trace_.push_back(line);
  if (traceSink_) traceSink_(line);
}

std::vector<std::string> Bus::TraceLines() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return trace_;
}

void Bus::ClearTrace() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  trace_.clear();
}

void Bus::SetTraceRecording(bool keep) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  keepTrace_ = keep;
  if (!keep) trace_.clear();
}

void Bus::SetTraceSink(TraceSink sink) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  traceSink_ = std::move(sink);
}

void Bus::SetChangeHook(Hook hook) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  changeHook_ = std::move(hook);
}

void Bus::SetBeforeAccessHook(Hook hook) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  beforeAccessHook_ = std::move(hook);
}

void Bus::SetHostDeathHook(Hook hook) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  hostDeathHook_ = std::move(hook);
}

void Bus::EndHostIfDue(Controller* c) {
  if (c != nullptr && c->TakeHostDeath() && hostDeathHook_) hostDeathHook_();
}

std::vector<Controller*> Bus::TakeChangedControllers() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<Controller*> changed;
  if (allChanged_) {
    for (auto& c : controllers_) changed.push_back(c.get());
  } else {
    changed.swap(changedControllers_);
  }
  changedControllers_.clear();
  allChanged_ = false;
  return changed;
}

void Bus::Record(Controller* c) {
  if (c == nullptr || allChanged_) return;
  if (std::find(changedControllers_.begin(), changedControllers_.end(), c) ==
      changedControllers_.end()) {
    changedControllers_.push_back(c);
  }
}

void Bus::ControllerChanged(Controller* c) {
  Record(c);
  FireChangeHook();
}

void Bus::Changed() {
  allChanged_ = true;
  changedControllers_.clear();
  FireChangeHook();
}

// Hooks do not nest: a hook that touches the bus does not call itself again.
void Bus::FireChangeHook() {
  if (!changeHook_ || inHook_) return;
  inHook_ = true;
  changeHook_();
  inHook_ = false;
}

void Bus::BeforeAccess() {
  if (!beforeAccessHook_ || inHook_) return;
  inHook_ = true;
  beforeAccessHook_();
  inHook_ = false;
}

}  // namespace sim
