// The simulated bus: zero or more simulated controllers on one clock, the
// HID interfaces they present, every feature report that crosses it (the
// trace), and hooks for the simulated library to keep the bus in its state
// file.
//
//   sim::Bus bus(clock);
//   sim::Controller& c = bus.Attach(sim::ControllerConfig{});
//   std::unique_ptr<VirtualVLMHIDInterface> hid(sim::CreateBusInterface(bus));
//
// A controller in firmware mode presents three top-level collections,
// "/sim/<serial>&col01" to "&col03"; only col01 has a feature value
// capability (the controller's report ID). In its bootloader it presents one,
// "/sim/<serial>", under 0x0488/0xD0C0. While it restarts it presents none.
//
// Trace lines: "<ms> <SET|GET|SET-FAIL|GET-FAIL> <serial> <hex>" where <ms>
// is the bus clock and <hex> the whole report, report ID first, lower case
// (for GET-FAIL: the buffer as the host handed it in).
//
// Thread safety: every member takes the bus mutex (recursive); hooks and the
// trace sink run with it held. A Controller& from Attach/Find may be used
// directly by one thread (tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/controller_model.h"

class VirtualVLMHIDInterface;

namespace sim {

// One HID interface that a present controller offers.
struct BusInterface {
  std::wstring path;
  std::string serial;
  uint32_t generation = 0;  // the controller's generation when listed
  int collection = 0;       // 0: the bootloader's one collection; 1..3 in firmware mode
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t versionNumber = 0;
  uint8_t featureReportId = 0;  // 0: no feature value capability
  uint8_t inputReportId = 0;    // 0: no input value capability
  std::wstring product;
  std::wstring serialNumber;
};

class Bus {
 public:
  using TraceSink = std::function<void(const std::string& line)>;
  using Hook = std::function<void()>;

  explicit Bus(padflash::Clock& clock);
  ~Bus();
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;

  padflash::Clock& clock() const { return clock_; }
  std::recursive_mutex& mutex() const { return mutex_; }

  // Adds a new controller (Controller::Manufacture). An empty serial gets
  // the next free "SIM0001", "SIM0002", ...; a serial already on the bus
  // gets a free one too.
  Controller& Attach(ControllerConfig config);
  // Adds a controller exactly as saved (state file).
  Controller& Restore(ControllerState state);
  bool Detach(const std::string& serial);
  void DetachAll();
  Controller* Find(const std::string& serial);
  // In attach order.
  std::vector<Controller*> controllers();

  // The number the next generated serial starts from (kept in the state
  // file so numbers are not reused).
  uint32_t nextSerialNumber() const;
  void setNextSerialNumber(uint32_t number);

  // Completes due restarts; fires the change hook when one completed.
  void Poll();
  // The interfaces present now, controller by controller in attach order.
  std::vector<BusInterface> Interfaces();
  // The one present interface of that path, found without building the
  // others; false when no controller offers it now.
  bool FindInterface(const std::wstring& path, BusInterface& found);

  // A feature report to or from the controller `serial`, as long as it has
  // not restarted since `generation`. Traced either way.
  bool SetFeature(const std::string& serial, uint32_t generation, const uint8_t* report,
                  size_t length);
  bool GetFeature(const std::string& serial, uint32_t generation, uint8_t* report, size_t length);
  // Whether a handle of that generation still reaches the controller.
  bool Alive(const std::string& serial, uint32_t generation);

  // Trace lines kept in memory (on by default), and a sink that receives
  // each line as it happens (no line end).
  std::vector<std::string> TraceLines() const;
  void ClearTrace();
  void SetTraceRecording(bool keep);
  void SetTraceSink(TraceSink sink);

  // Called after every change of the bus or a controller's state.
  void SetChangeHook(Hook hook);
  // The controllers whose state changed through the bus (reports, restarts)
  // since the last call; every controller when the bus itself changed
  // (attach, restore, detach) or on the first call. For a saver that keeps
  // a copy per controller; a change made on a Controller directly is not
  // seen here.
  std::vector<Controller*> TakeChangedControllers();
  // Called at the start of every access from the host side (enumeration,
  // open, report), before the bus is looked at.
  void SetBeforeAccessHook(Hook hook);
  // Called after the report at which a controller's host-death rule fired
  // (traced, change hook run, bus still held): the host is to end there,
  // as a killed process would. Without it the rule only counts down.
  void SetHostDeathHook(Hook hook);

 private:
  Controller* FindLocked(const std::string& serial);
  // The interfaces `c` presents now (none while it restarts).
  static void AppendInterfaces(Controller& c, std::vector<BusInterface>& out);
  std::string FreeSerial();
  void Trace(const char* kind, const std::string& serial, const uint8_t* report, size_t length);
  // The bus itself changed: every controller counts as changed.
  void Changed();
  // One controller changed (none when null); the change hook fires either way.
  void ControllerChanged(Controller* c);
  void Record(Controller* c);
  void FireChangeHook();
  void BeforeAccess();
  void EndHostIfDue(Controller* c);

  padflash::Clock& clock_;
  mutable std::recursive_mutex mutex_;
  std::vector<std::unique_ptr<Controller>> controllers_;
  uint32_t nextSerial_ = 1;
  bool keepTrace_ = true;
  std::vector<std::string> trace_;
  TraceSink traceSink_;
  Hook changeHook_;
  std::vector<Controller*> changedControllers_;
  bool allChanged_ = true;
  Hook beforeAccessHook_;
  Hook hostDeathHook_;
  bool inHook_ = false;
};

// A VLMHID connection object over the bus (owned by the caller; it must not
// outlive the bus).
VirtualVLMHIDInterface* CreateBusInterface(Bus& bus);

}  // namespace sim
