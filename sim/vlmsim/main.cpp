// vlmsim: creates, inspects and breaks the simulated controllers that the
// simulated libVLMHID.so sees, in the state file named by --state or
// VLMHID_SIM_STATE. See UsageText() for the commands.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "session/program_version.h"
#include "sim/bus.h"
#include "sim/state_file.h"
#include "sim/vlmsim/command_line.h"
#include "update/bootloader_protocol.h"
#include "update/bootloader_status.h"

namespace vlmsim {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Failed(const std::string& why) {
  std::fprintf(stderr, "vlmsim: %s\n", why.c_str());
  return kExitFailed;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  return out;
}

// "firmware", "bootloader", or "restarting" while it is away.
const char* ModeText(sim::Controller& c) {
  if (!c.present()) return "restarting";
  return c.inBootloader() ? "bootloader" : "firmware";
}

std::string RestartText(sim::Controller& c, uint64_t now) {
  const sim::PendingRestart& r = c.state().restart;
  if (!c.present() && r.active) {
    const char* into = r.mode == sim::Mode::kFirmware ? "firmware" : "bootloader";
    if (r.forever) return std::string("away for good (would come back as ") + into + ")";
    const uint64_t left = r.untilMs > now ? r.untilMs - now : 0;
    return "back as " + std::string(into) + " in " + std::to_string(left) + " ms";
  }
  return "none";
}

std::vector<std::string> FaultTexts(const sim::FaultRules& f) {
  std::vector<std::string> out;
  if (f.failSetAt > 0) out.push_back("fail-set " + std::to_string(f.failSetAt));
  if (f.failGetAt > 0) out.push_back("fail-get " + std::to_string(f.failGetAt));
  if (f.corruptReadReplyAt > 0)
    out.push_back("corrupt-read " + std::to_string(f.corruptReadReplyAt));
  if (f.corruptEveryReadReply) out.push_back("corrupt-read every");
  if (f.bootloaderErrorAfterChunk > 0) {
    out.push_back("bootloader-error " + std::to_string(f.bootloaderErrorCode) + " after-chunk " +
                  std::to_string(f.bootloaderErrorAfterChunk));
  }
  if (f.noReturnAfterInvoke) out.push_back("no-return-after-invoke");
  if (f.noReturnAfterReset) out.push_back("no-return-after-reset");
  if (f.returnDelayMs > 0) out.push_back("return-delay " + std::to_string(f.returnDelayMs));
  if (f.powerLossAtChunk > 0)
    out.push_back("power-loss-at-chunk " + std::to_string(f.powerLossAtChunk));
  if (f.bootloaderErrorAtSet > 0) {
    out.push_back("bootloader-error " + std::to_string(f.bootloaderErrorCode) + " at-set " +
                  std::to_string(f.bootloaderErrorAtSet));
  }
  if (f.powerLossAtReport > 0)
    out.push_back("power-loss-at-report " + std::to_string(f.powerLossAtReport));
  if (f.hostDeathAtReport > 0)
    out.push_back("host-death-at-report " + std::to_string(f.hostDeathAtReport));
  return out;
}

int Attach(sim::Bus& bus, const sim::ControllerConfig& config) {
  if (!config.serial.empty() && bus.Find(config.serial) != nullptr) {
    return Failed("a controller " + config.serial + " is already attached");
  }
  sim::Controller& c = bus.Attach(config);
  std::printf("%s\n", c.serial().c_str());
  return kExitDone;
}

int List(sim::Bus& bus) {
  for (sim::Controller* c : bus.controllers()) {
    std::printf("%s %s %04X:%04X version %04X %s \"%s\"\n", c->serial().c_str(), ModeText(*c),
                c->vendorId(), c->productId(), c->versionNumber(), c->config().i2c ? "I2C" : "USB",
                Narrow(c->config().product).c_str());
  }
  return kExitDone;
}

// What its bootloader shows as serial: the firmware's, "none" or another.
std::string BootloaderSerialText(sim::Controller& c) {
  const std::optional<std::string>& shown = c.config().bootloaderSerial;
  if (!shown) return c.serial() + " (the firmware's)";
  return shown->empty() ? "none" : *shown;
}

nlohmann::ordered_json ShowJson(sim::Controller& c, uint64_t now) {
  nlohmann::ordered_json faults = nlohmann::ordered_json::array();
  for (const std::string& f : FaultTexts(c.faults())) faults.push_back(f);
  const std::optional<std::string>& bootloaderSerial = c.config().bootloaderSerial;
  return {{"serial", c.serial()},
          {"bootloaderSerial", bootloaderSerial ? *bootloaderSerial : c.serial()},
          {"present", c.present()},
          {"mode", ModeText(c)},
          {"restart", RestartText(c, now)},
          {"vendorId", c.vendorId()},
          {"productId", c.productId()},
          {"versionNumber", c.versionNumber()},
          {"chipId", c.runningChipId()},
          {"revision", c.runningRevision()},
          {"transport", c.config().i2c ? "I2C" : "USB"},
          {"reportId", c.config().reportId},
          {"bootloaderVersion", c.config().bootloaderVersion},
          {"lastError", c.lastError()},
          {"lastErrorName", padflash::NvErrorName(c.lastError())},
          {"flags", c.statusFlags()},
          {"imageValid", c.imageValid()},
          {"feedConfig1", c.feedConfig1()},
          {"compTableSize", c.config().compTableSize},
          {"accessOffset", c.accessOffset()},
          {"product", Narrow(c.config().product)},
          {"faults", faults}};
}

int Show(sim::Bus& bus, const Command& command) {
  sim::Controller* c = bus.Find(command.serial);
  if (c == nullptr) return Failed("no controller " + command.serial + " on the bus");
  const nlohmann::ordered_json j = ShowJson(*c, bus.clock().NowMs());
  if (command.json) {
    std::printf("%s\n", j.dump(2).c_str());
    return kExitDone;
  }
  std::string faults;
  for (const auto& f : j["faults"]) faults += (faults.empty() ? "" : ", ") + f.get<std::string>();
  std::printf(
      "serial:             %s\n"
      "bootloader serial:  %s\n"
      "mode:               %s\n"
      "restart:            %s\n"
      "vendor ID:          0x%04X\n"
      "product ID:         0x%04X\n"
      "version:            0x%04X\n"
      "chip ID:            0x%02X\n"
      "revision:           0x%02X\n"
      "transport:          %s\n"
      "report ID:          %u\n"
      "bootloader version: %u\n"
      "last error:         0x%02X %s\n"
      "flags:              0x%02X\n"
      "image valid:        %s\n"
      "FeedConfig1:        0x%02X\n"
      "comp table size:    %u\n"
      "access offset:      0x%08X\n"
      "product:            %s\n"
      "faults:             %s\n",
      c->serial().c_str(), BootloaderSerialText(*c).c_str(), ModeText(*c),
      RestartText(*c, bus.clock().NowMs()).c_str(), c->vendorId(), c->productId(),
      c->versionNumber(), c->runningChipId(), c->runningRevision(), c->config().i2c ? "I2C" : "USB",
      unsigned{c->config().reportId}, unsigned{c->config().bootloaderVersion}, c->lastError(),
      padflash::NvErrorName(c->lastError()), c->statusFlags(), c->imageValid() ? "yes" : "no",
      c->feedConfig1(), unsigned{c->config().compTableSize}, c->accessOffset(),
      Narrow(c->config().product).c_str(), faults.empty() ? "none" : faults.c_str());
  return kExitDone;
}

int Read(sim::Bus& bus, const Command& command) {
  sim::Controller* c = bus.Find(command.serial);
  if (c == nullptr) return Failed("no controller " + command.serial + " on the bus");
  const uint64_t end = uint64_t{command.address} + command.length;
  if (command.address < padflash::kFlashBase || end > padflash::kFlashBase + sim::kFlashSize) {
    char why[128];
    std::snprintf(why, sizeof why,
                  "0x%08" PRIX32 "+%" PRIu32 " is outside flash 0x%08" PRIX32 "..0x%08" PRIX32,
                  command.address, command.length, padflash::kFlashBase,
                  padflash::kFlashBase + sim::kFlashSize - 1);
    return Failed(why);
  }
  const std::vector<uint8_t> bytes = c->ReadFlash(command.address, command.length);
  for (size_t line = 0; line < bytes.size(); line += 16) {
    std::printf("%08" PRIx32 ":", static_cast<uint32_t>(command.address + line));
    for (size_t i = line; i < line + 16 && i < bytes.size(); ++i) std::printf(" %02x", bytes[i]);
    std::printf("\n");
  }
  return kExitDone;
}

int Fault(sim::PersistentBus& store, const Command& command) {
  sim::Controller* c = store.bus().Find(command.serial);
  if (c == nullptr) return Failed("no controller " + command.serial + " on the bus");
  sim::FaultRules& f = c->faults();
  const FaultRequest& r = command.fault;
  const int count = static_cast<int>(r.count);
  switch (r.kind) {
    case FaultKind::kClear:
      f = sim::FaultRules{};
      break;
    case FaultKind::kFailSet:
      f.failSetAt = count;
      break;
    case FaultKind::kFailGet:
      f.failGetAt = count;
      break;
    case FaultKind::kCorruptRead:
      f.corruptReadReplyAt = count;
      break;
    case FaultKind::kCorruptEveryRead:
      f.corruptEveryReadReply = true;
      break;
    case FaultKind::kBootloaderError:
      f.bootloaderErrorAfterChunk = count;
      f.bootloaderErrorCode = r.code;
      break;
    case FaultKind::kNoReturnAfterInvoke:
      f.noReturnAfterInvoke = true;
      break;
    case FaultKind::kNoReturnAfterReset:
      f.noReturnAfterReset = true;
      break;
    case FaultKind::kReturnDelay:
      f.returnDelayMs = r.count;
      break;
    case FaultKind::kPowerLossAtChunk:
      f.powerLossAtChunk = count;
      break;
    case FaultKind::kBootloaderErrorAtSet:
      f.bootloaderErrorAtSet = count;
      f.bootloaderErrorCode = r.code;
      break;
    case FaultKind::kPowerLossAtReport:
      f.powerLossAtReport = count;
      break;
    case FaultKind::kHostDeathAtReport:
      f.hostDeathAtReport = count;
      break;
  }
  store.MarkChanged();
  return kExitDone;
}

int Execute(sim::PersistentBus& store, const Command& command) {
  sim::Bus& bus = store.bus();
  bus.Poll();  // restarts that ended while nobody looked
  switch (command.verb) {
    case Verb::kAttach:
      return Attach(bus, command.attach);
    case Verb::kList:
      return List(bus);
    case Verb::kShow:
      return Show(bus, command);
    case Verb::kRead:
      return Read(bus, command);
    case Verb::kDetach:
      if (!bus.Detach(command.serial)) {
        return Failed("no controller " + command.serial + " on the bus");
      }
      return kExitDone;
    case Verb::kPowerCycle: {
      sim::Controller* c = bus.Find(command.serial);
      if (c == nullptr) return Failed("no controller " + command.serial + " on the bus");
      c->PowerCycle();
      store.MarkChanged();
      return kExitDone;
    }
    case Verb::kReset:
      bus.DetachAll();
      bus.setNextSerialNumber(1);
      return kExitDone;
    case Verb::kFault:
      return Fault(store, command);
    case Verb::kHelp:
    case Verb::kVersion:
      break;
  }
  return kExitDone;
}

int Run(int argc, char** argv) {
  const ParseResult parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.ok) {
    std::fprintf(stderr, "vlmsim: %s\n", parsed.error.c_str());
    return kExitUsage;
  }
  const Command& command = parsed.command;
  if (command.verb == Verb::kHelp) {
    std::fputs(UsageText(), stdout);
    return kExitDone;
  }
  if (command.verb == Verb::kVersion) {
    std::printf("vlmsim %s\n", padflash::FormatProgramVersion().c_str());
    return kExitDone;
  }
  std::string path = command.statePath;
  if (path.empty()) {
    const char* env = std::getenv("VLMHID_SIM_STATE");
    if (env != nullptr) path = env;
  }
  if (path.empty()) {
    std::fprintf(stderr, "vlmsim: no state file: give --state FILE or set VLMHID_SIM_STATE\n");
    return kExitUsage;
  }
  sim::WallClock clock;
  sim::Bus bus(clock);
  bus.SetTraceRecording(false);
  sim::PersistentBus store(bus, path);
  sim::PersistentBus::Transaction transaction(store);
  if (!transaction.ok()) return Failed(transaction.error());
  const int result = Execute(store, command);
  if (!transaction.Commit()) return Failed(store.saveError());
  std::fflush(stdout);
  return result;
}

}  // namespace
}  // namespace vlmsim

int main(int argc, char** argv) {
  return vlmsim::Run(argc, argv);
}
