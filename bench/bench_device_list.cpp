// Measures the device list with 1, 8 and 64 simulated controllers attached
// (each with its own product ID, so the list shows them all):
// - in this process through the simulated libVLMHID.so on a state file:
//   the first listing (which reads the file) and the median of further ones;
// - `padflash-cli --list` as a child process against the same library and
//   file, as a user runs it: median wall time and peak RSS.
//
//   bench_device_list [--runs N]
//
// Target: a listing of 64 controllers under 20 ms.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "VLMHID.h"
#include "app/console/console_window.h"
#include "bench/bench_support.h"
#include "bench/bench_table.h"
#include "native_system_port.h"
#include "session/session.h"
#include "sim/bus.h"
#include "sim/state_file.h"
#include "update/device_list_refresh.h"

#ifndef PADFLASH_CLI_PATH
#error "PADFLASH_CLI_PATH must name padflash-cli"
#endif
#ifndef SIM_LIBRARY_DIR
#error "SIM_LIBRARY_DIR must name the folder of the simulated libVLMHID.so"
#endif

namespace {

using namespace padflash;
using Ms = std::chrono::duration<double, std::milli>;

constexpr double kTargetMs = 20;

bool WriteState(const std::string& path, int controllers) {
  std::filesystem::remove(path);
  sim::WallClock clock;
  sim::Bus bus(clock);
  sim::PersistentBus store(bus, path);
  sim::PersistentBus::Transaction transaction(store);
  if (!transaction.ok()) return false;
  for (int i = 0; i < controllers; ++i) {
    sim::ControllerConfig c;
    c.productId = static_cast<uint16_t>(0x0200 + i);
    bus.Attach(c);
  }
  return transaction.Commit();
}

// One listing through the simulated library; its time, or -1 when it did
// not list `expected` entries.
double ListOnce(Session& session, ConsoleWindow& window, size_t expected) {
  const auto start = std::chrono::steady_clock::now();
  RefreshDeviceList(session);
  const double ms = Ms(std::chrono::steady_clock::now() - start).count();
  return window.ComboItems().size() == expected ? ms : -1;
}

struct Child {
  double wallMs = -1;
  long peakKiB = 0;
};

Child RunList(const std::string& state) {
  Child result;
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) return result;
  if (child == 0) {
    setenv("LD_LIBRARY_PATH", SIM_LIBRARY_DIR, 1);
    setenv("VLMHID_SIM_STATE", state.c_str(), 1);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execl(PADFLASH_CLI_PATH, "padflash-cli", "--list", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return result;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    result.wallMs = Ms(std::chrono::steady_clock::now() - start).count();
    result.peakKiB = usage.ru_maxrss;
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 11;
  if (!bench::ParseRuns(argc, argv, "bench_device_list [--runs N]", runs)) return 2;
  const std::filesystem::path dir = bench::MakeScratchFolder();
  if (dir.empty()) return 1;
  const std::string state = (dir / "bus.json").string();
  // The library reads VLMHID_SIM_STATE when its first backend is made; the
  // file is rewritten for every count and the library follows it.
  setenv("VLMHID_SIM_STATE", state.c_str(), 1);
  std::FILE* null = std::fopen("/dev/null", "r+");
  if (null == nullptr) return 1;
  ConsoleWindow window(ConsoleOptions{}, null, null, null);
  NativeSystemPort system;
  Session session(window, system, [] { return CreateVLMHIDInterface(); });

  bool ok = true;
  bench::PrintHeader();
  for (int count : {1, 8, 64}) {
    if (!WriteState(state, count)) {
      bench::PrintRow("device list", bench::Format("%d simulated", count), "FAILED: state file",
                      "");
      ok = false;
      continue;
    }
    const double first = ListOnce(session, window, static_cast<size_t>(count));
    std::vector<double> again;
    for (int r = 0; r < runs; ++r) again.push_back(ListOnce(session, window, count));
    std::vector<double> walls;
    std::vector<long> peaks;
    for (int r = 0; r < runs; ++r) {
      const Child c = RunList(state);
      walls.push_back(c.wallMs);
      peaks.push_back(c.peakKiB);
    }
    if (first < 0 || *std::min_element(again.begin(), again.end()) < 0 ||
        *std::min_element(walls.begin(), walls.end()) < 0) {
      bench::PrintRow("device list", bench::Format("%d simulated", count),
                      "FAILED: a listing failed or missed controllers", "");
      ok = false;
      continue;
    }
    const double steady = bench::Median(again), wall = bench::Median(walls);
    const bool big = count == 64;
    bench::PrintRow("device list", bench::Format("%d sim, in process, median of %d", count, runs),
                    bench::Format("first %.2f ms (reads the file), again %.2f ms", first, steady),
                    big ? bench::Verdict(steady < kTargetMs, "< 20 ms for 64") : "");
    bench::PrintRow(
        "device list", bench::Format("%d sim, padflash-cli --list", count),
        bench::Format("wall %.1f ms, peak RSS %.1f MiB", wall, bench::Median(peaks) / 1024.0),
        big ? bench::Verdict(wall < kTargetMs, "< 20 ms for 64") : "");
  }
  std::fclose(null);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return ok ? 0 : 1;
}
