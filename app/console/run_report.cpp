#include "app/console/run_report.h"

#include <cstdio>

#include "app/console/cli_options.h"
#include "session/output.h"
#include "session/program_version.h"
#include "session/session.h"
#include "session/unit_identity.h"

namespace padflash {

namespace {

using json = nlohmann::ordered_json;

json Version(uint8_t chipId, uint8_t revision) {
  char text[8];
  std::snprintf(text, sizeof text, "%X.%X", unsigned{chipId}, unsigned{revision});
  return {{"chipId", chipId}, {"firmwareRevision", revision}, {"text", text}};
}

json ProgramJson() {
  return {{"name", "padflash-cli"}, {"version", FormatProgramVersion()}};
}

json MessagesJson(const std::vector<ShownMessage>& messages) {
  json list = json::array();
  for (const ShownMessage& m : messages) {
    list.push_back({{"caption", m.caption}, {"text", m.text}, {"answer", m.answer}});
  }
  return list;
}

// The kind of error a device-list box stands for.
const char* ListErrorKind(const std::string& caption) {
  if (caption == "No Devices Attched") return "no-devices";
  if (caption == "Duplicate Devices Found") return "duplicate-ids";
  if (caption == "Incompatible Device Found") return "bridge-1.8";
  return "message";
}

const char* RefusalKind(DeviceRefusal reason) {
  switch (reason) {
    case DeviceRefusal::kDuplicateIds:
      return "duplicate-ids";
    case DeviceRefusal::kBridge18:
      return "bridge-1.8";
    case DeviceRefusal::kNone:
      break;
  }
  return "";
}

// The personality file the run saved or used: its name, whether it is
// still there, where it was found and whether it is known to be this
// controller's; or that none was found, and where it was looked for.
json PersonalityFileJson(Session& session) {
  const PersonalityChoice& choice = session.personality;
  const std::string& name = session.personalityFileName;
  if (!choice.made) {
    if (name.empty()) return nullptr;
    return {{"name", name}, {"remains", session.system.FileExists(name)}};
  }
  json searched = json::array();
  for (const std::string& folder : choice.searched) searched.push_back(folder);
  const bool saved = !name.empty() && name == choice.saved;
  if (!saved && !choice.confirmed) {
    return {{"name", nullptr}, {"found", false}, {"searched", std::move(searched)}};
  }
  return {{"name", name},
          {"remains", session.system.FileExists(name)},
          {"found", !saved},
          {"folder", !saved && choice.inStateFolder ? "state" : "working"},
          {"stateCopy", choice.savedCopy.empty() ? json() : json(choice.savedCopy)},
          {"searched", std::move(searched)}};
}

}  // namespace

std::string FormatUtcTimestamp(WallClock::time_point time) {
  using namespace std::chrono;
  const auto ms = floor<milliseconds>(time);
  const auto day = floor<days>(ms);
  const year_month_day date{day};
  const hh_mm_ss clock{ms - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int{date.year()},
                unsigned{date.month()}, unsigned{date.day()},
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()),
                static_cast<int>(clock.subseconds().count()));
  return text;
}

const char* CliOutcomeName(int exitStatus, bool list) {
  switch (exitStatus) {
    case kCliUpdated:
      return list ? "listed" : "updated";
    case kCliUpdatedRetryAdvised:
      return "updated-retry-advised";
    case kCliBadUsage:
      return "bad-usage";
    case kCliNotPrepared:
      return "not-prepared";
    case kCliUpdateFailed:
      return "failed";
    case kCliLowBattery:
      return "low-battery";
    case kCliClosingStepFailed:
      return "closing-step-failed";
    case kCliAlreadyRunning:
      return "already-running";
    default:
      return "unknown";
  }
}

std::string DumpJson(const json& document) {
  return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

json DeviceJson(const DeviceListEntry& entry) {
  // A bootloader's version number is its own, not a chip and a revision.
  const bool bootloader =
      entry.vendorId == kBootloaderVendorId && entry.productId == kBootloaderProductId;
  return {{"vendorId", entry.vendorId},
          {"productId", entry.productId},
          {"versionNumber", entry.versionNumber},
          {"chipId", bootloader ? json() : json(entry.versionNumber >> 8)},
          {"firmwareRevision", bootloader ? json() : json(entry.versionNumber & 0xFF)},
          {"product", Utf8FromWide(entry.productString)},
          {"serial", Utf8FromWide(entry.serialNumberString)},
          {"path", Utf8FromWide(entry.devicePath)},
          {"bootloader", bootloader}};
}

json DeviceListJson(const Session& session, const std::vector<ShownMessage>& messages,
                    int exitStatus, const std::string& error) {
  json devices = json::array();
  for (size_t i = 0; i < session.deviceList.size(); ++i) {
    json device = {{"index", i}};
    device.update(DeviceJson(session.deviceList[i]));
    devices.push_back(std::move(device));
  }
  json errors = json::array();
  for (const ShownMessage& m : messages) {
    json error = {{"kind", ListErrorKind(m.caption)}, {"caption", m.caption}, {"text", m.text}};
    if (error["kind"] == RefusalKind(session.refusedDevice.reason)) {
      error["device"] = DeviceJson(session.refusedDevice.entry);
    }
    errors.push_back(std::move(error));
  }
  return {{"program", ProgramJson()},
          {"devices", std::move(devices)},
          {"errors", std::move(errors)},
          {"exitStatus", exitStatus},
          {"outcome", CliOutcomeName(exitStatus, true)},
          {"error", error.empty() ? json() : json(error)}};
}

json RunReportJson(const CliRun& run, Session& session, ConsoleWindow& window) {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  json report = {
      {"program", ProgramJson()},
      {"arguments", run.arguments},
      {"firmwareFile", session.config.firmwarePath},
      {"start", FormatUtcTimestamp(run.start)},
      {"end", FormatUtcTimestamp(run.end)},
      {"durationSeconds",
       static_cast<double>(duration_cast<milliseconds>(run.end - run.start).count()) / 1000.0},
      {"controller", nullptr},
      {"versionBefore", nullptr},
      {"firmwareVersion", nullptr},
      {"versionAfter", nullptr},
      {"updateResult", nullptr},
      {"sessionExitCode", nullptr},
      {"exitStatus", run.exitStatus},
      {"outcome", CliOutcomeName(run.exitStatus)},
      {"retryAdvised", false},
      {"personalityFile", nullptr},
      {"statusLine", window.StatusLine()},
      {"messages", MessagesJson(window.ShownMessages())},
      {"error", nullptr},
      {"log", nullptr}};
  if (!run.error.empty()) report["error"] = run.error;
  if (!run.logPath.empty()) report["log"] = {{"file", run.logPath}, {"complete", run.logComplete}};
  if (!run.prepared) return report;

  if (run.controller) {
    json controller = DeviceJson(*run.controller);
    controller["foundAsBootloader"] = run.foundAsBootloader;
    report["controller"] = std::move(controller);
    if (!run.foundAsBootloader) {
      report["versionBefore"] = Version(run.chipIdBefore, run.revisionBefore);
    }
  }
  if (run.imageLoaded) {
    report["firmwareVersion"] = Version(session.firmware.chipId, session.firmware.firmwareRevision);
  }
  if (session.updateSucceeded) report["versionAfter"] = report["firmwareVersion"];
  const int code = session.UpdateResult;
  report["updateResult"] = {
      {"code", code},
      {"text", code >= 0 && code < kResultMessageCount ? json(ResultMessages[code]) : json()}};
  if (run.sessionExitCode) report["sessionExitCode"] = *run.sessionExitCode;
  report["retryAdvised"] = session.retryAdvised;
  report["personalityFile"] = PersonalityFileJson(session);
  return report;
}

}  // namespace padflash
