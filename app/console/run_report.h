// The JSON documents of padflash-cli --json: the device list (with the
// refusals as error objects) and the report of an update run, written on
// standard output when the run ends. The README's fleet section gives the
// schema.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/console/console_window.h"
#include "update/device_list_refresh.h"

namespace padflash {

struct Session;

using WallClock = std::chrono::system_clock;

// "2026-12-08T22:30:05.123Z".
std::string FormatUtcTimestamp(WallClock::time_point time);
// One word for an exit status, the same on every platform: "updated",
// "updated-retry-advised", "bad-usage", "not-prepared", "failed",
// "low-battery", "closing-step-failed", "already-running"; a listing's 0 is
// "listed".
const char* CliOutcomeName(int exitStatus, bool list = false);
// The document as written: indented, a character that is not UTF-8 (a path
// in another code page) replaced by U+FFFD, ending in a line end.
std::string DumpJson(const nlohmann::ordered_json& document);

nlohmann::ordered_json DeviceJson(const DeviceListEntry& entry);

// The --list --json document. `messages` are the boxes the refresh showed;
// `error` is what padflash-cli printed when it could not list (else empty).
nlohmann::ordered_json DeviceListJson(const Session& session,
                                      const std::vector<ShownMessage>& messages, int exitStatus,
                                      const std::string& error);

// What the front end knows of an update run besides the session state.
struct CliRun {
  std::vector<std::string> arguments;  // without the program name
  WallClock::time_point start, end;
  int exitStatus = 0;
  // What padflash-cli printed when the run ended without an update session
  // (bad usage, no file, not prepared, another instance); empty otherwise.
  std::string error;
  // A preparation ran: its (or the session's) update result is reported.
  bool prepared = false;
  // The list entry the preparation worked on.
  std::optional<DeviceListEntry> controller;
  // The controller answered as its bootloader when it was prepared; its
  // firmware version is then unknown.
  bool foundAsBootloader = false;
  uint8_t chipIdBefore = 0;
  uint8_t revisionBefore = 0;
  // The firmware image was loaded (from the HEX file or the package).
  bool imageLoaded = false;
  std::optional<int> sessionExitCode;  // set when an update session ran
  std::string logPath;
  bool logComplete = true;
};

// The report of an update run (--json with a firmware file).
nlohmann::ordered_json RunReportJson(const CliRun& run, Session& session, ConsoleWindow& window);

}  // namespace padflash
