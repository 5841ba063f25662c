// Measures a whole firmware update against the floor the protocol sets, and
// the footprint of padflash-cli while it runs.
//
// The floor: the same update (command line, device list, preparation,
// Execute) run in this process on a simulated controller whose clock moves
// only when the host or the controller waits. Its elapsed time is exactly
// the sum of the protocol's pauses (connect passes, the pauses after memory
// chunks, erases, data chunks, flush, validate and reset, the reconnect
// passes) and the controller's modelled restart time.
// The wall time: padflash-cli run as a child process against the simulated
// library (LD_LIBRARY_PATH, VLMHID_SIM_STATE) on a fresh state file with the
// same controller and image; its user+sys CPU and peak RSS come from wait4.
//
//   bench_update [--runs N]
//
// Prints one line per image with the medians of N runs (default 3) and says
// which targets a figure misses: wall within 2 % of the floor, CPU under
// 1 % of wall, peak RSS under 8 MiB. Then, when the Qt dialog is built, the
// same footprint for the dialog left idle on the offscreen platform, and for
// the dialog during an update of the first image (dialog_update_driver: the
// dialog program with one click on Execute).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/console/console_window.h"
#include "app/main_window.h"
#include "bench/bench_support.h"
#include "bench/bench_table.h"
#include "native_system_port.h"
#include "session/run_config.h"
#include "session/session.h"
#include "sim/bus.h"
#include "sim/state_file.h"
#include "tools/fwgen/firmware_generator.h"

#ifndef PADFLASH_CLI_PATH
#error "PADFLASH_CLI_PATH must name padflash-cli"
#endif
#ifndef SIM_LIBRARY_DIR
#error "SIM_LIBRARY_DIR must name the folder of the simulated libVLMHID.so"
#endif

namespace {

using namespace padflash;

struct Image {
  const char* name;
  bool i2c;
  uint32_t codeBytes;
};

// The USB image's largest main region runs from 0x08002900 to the factory
// page at 0x0800FC00: 52.75 KiB.
const Image kImages[] = {{"USB 16 KiB", false, 16 * 1024},
                         {"USB 32 KiB", false, 32 * 1024},
                         {"USB 53 KiB", false, 0xFC00 - 0x2900},
                         {"I2C 32 KiB", true, 32 * 1024}};

// Sleeps move the time at once.
class InstantClock final : public Clock {
 public:
  uint64_t NowMs() override { return now_; }
  void SleepMs(uint32_t ms) override { now_ += ms; }

 private:
  uint64_t now_ = 1000000;
};

class InstantSystemPort final : public NativeSystemPort {
 public:
  Clock& clock() override { return clock_; }
  InstantClock clock_;
};

sim::ControllerConfig Controller(const Image& image) {
  sim::ControllerConfig c;
  c.i2c = image.i2c;
  c.revision = 0x05;
  return c;
}

std::string FirmwareFile(const std::filesystem::path& dir, const Image& image) {
  fwgen::FirmwareBuild build;
  build.i2c = image.i2c;
  build.revision = 0x06;
  build.codeBytes = image.codeBytes;
  const std::string path = (dir / "new.hex").string();
  std::ofstream(path, std::ios::binary) << fwgen::ToIntelHex(fwgen::GenerateFirmware(build));
  return path;
}

// The update in this process on the instant clock: its elapsed milliseconds,
// or -1 when it did not succeed.
long FloorMs(const Image& image, const std::string& firmware) {
  InstantSystemPort system;
  sim::Bus bus(system.clock());
  bus.SetTraceRecording(false);
  bus.Attach(Controller(image));
  std::FILE* null = std::fopen("/dev/null", "r+");
  if (null == nullptr) return -1;
  const uint64_t start = system.clock().NowMs();
  int exit = -1;
  {
    ConsoleWindow window(ConsoleOptions{}, null, null, null);
    Session session(window, system, [&bus] { return sim::CreateBusInterface(bus); });
    const char* args[] = {"padflash-cli", "/o", firmware.c_str()};
    ParseCommandLine(session, 3, args);
    MainWindow controller(session);
    controller.OnInitDialog(0);
    if (window.IsVisible(kIdExecute)) {
      controller.OnExecute();
      exit = controller.WaitForSession();
    }
    controller.OnDestroy();
    window.Finish();
  }
  std::fclose(null);
  return exit == 0 ? static_cast<long>(system.clock().NowMs() - start) : -1;
}

bool WriteState(const std::string& path, const Image& image) {
  sim::WallClock clock;
  sim::Bus bus(clock);
  sim::PersistentBus store(bus, path);
  sim::PersistentBus::Transaction transaction(store);
  if (!transaction.ok()) return false;
  bus.Attach(Controller(image));
  return transaction.Commit();
}

struct Run {
  double wallMs = 0;
  double cpuMs = 0;
  long peakKiB = 0;
  bool ok = false;
};

// Starts `program` with `args` (args[0] its name) against the simulated
// library and the state file, its standard streams on /dev/null; with a
// `runtime` folder, as a dialog on Qt's offscreen platform. The child's
// process ID, or -1.
pid_t StartChild(const char* program, const std::vector<std::string>& args,
                 const std::string& state, const std::string& runtime) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child != 0) return child;
  setenv("LD_LIBRARY_PATH", SIM_LIBRARY_DIR, 1);
  setenv("VLMHID_SIM_STATE", state.c_str(), 1);
  if (!runtime.empty()) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("PADFLASH_LOCK_DIR", runtime.c_str(), 1);
  }
  const int null = open("/dev/null", O_RDWR);
  dup2(null, 0);
  dup2(null, 1);
  dup2(null, 2);
  execv(program, argv.data());
  _exit(127);
}

// Runs `program` as StartChild does and waits for it: wall time, user+sys
// CPU and peak RSS from wait4.
Run RunChild(const char* program, const std::vector<std::string>& args, const std::string& state,
             const std::string& runtime = {}) {
  Run run;
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = StartChild(program, args, state, runtime);
  if (child < 0) return run;
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return run;
  run.wallMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  run.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
              (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
  run.peakKiB = usage.ru_maxrss;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

Run RunCli(const std::string& state, const std::string& firmware) {
  return RunChild(PADFLASH_CLI_PATH, {"padflash-cli", "/o", firmware}, state);
}

// user+sys CPU seconds of a running process so far, from /proc; -1 when
// unreadable.
double ProcessCpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  const size_t close = text.rfind(')');  // the command name may hold spaces
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long long user = 0, system = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) user = std::stoull(field);
    if (i == 15) system = std::stoull(field);
  }
  return static_cast<double>(user + system) / sysconf(_SC_CLK_TCK);
}

long PeakKiBOf(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

#ifdef PADFLASH_DIALOG_PATH
// The Qt dialog on the offscreen platform with one simulated controller:
// its CPU share over `idleSeconds` once it has started, and its peak RSS.
void MeasureIdleDialog(const std::filesystem::path& dir, int idleSeconds) {
  const std::string state = (dir / "dialog.json").string();
  const std::string runtime = (dir / "runtime").string();
  std::filesystem::create_directory(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  if (!WriteState(state, kImages[0])) return;
  const pid_t child = StartChild(PADFLASH_DIALOG_PATH, {"padflash"}, state, runtime);
  if (child < 0) return;
  sleep(2);  // started, the list filled
  const double before = ProcessCpuSeconds(child);
  const auto start = std::chrono::steady_clock::now();
  sleep(static_cast<unsigned>(idleSeconds));
  const double after = ProcessCpuSeconds(child);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long peak = PeakKiBOf(child);
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  if (before < 0 || after < 0 || peak < 0) {
    bench::PrintRow("footprint", "padflash dialog, idle", "FAILED: the dialog did not run", "");
    return;
  }
  const double cpu = 100.0 * (after - before) / wall;
  bench::PrintRow("footprint",
                  bench::Format("padflash dialog (Qt offscreen), idle %d s", idleSeconds),
                  bench::Format("CPU %.2f %% of wall, peak RSS %.1f MiB", cpu, peak / 1024.0),
                  bench::Verdict(cpu < 1.0 && peak < 8 * 1024, "CPU < 1 %, RSS < 8 MiB"));
}

// The dialog during a whole update of the first image: the dialog program's
// code with one click on Execute, from its start until it has closed.
void MeasureDialogUpdate(const std::filesystem::path& dir) {
  const Image& image = kImages[0];
  const std::string state = (dir / "dialog-update.json").string();
  const std::string runtime = (dir / "runtime").string();
  std::filesystem::create_directories(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  const std::string firmware = FirmwareFile(dir, image);
  const std::string report = (dir / "dialog-update.txt").string();
  setenv("DIALOG_UPDATE_REPORT", report.c_str(), 1);
  const Run run = WriteState(state, image) ? RunChild(DIALOG_UPDATE_DRIVER_PATH,
                                                      {"padflash", "/o", firmware}, state, runtime)
                                           : Run{};
  const std::string item = bench::Format("padflash dialog (Qt offscreen), %s update", image.name);
  if (!run.ok) {
    bench::PrintRow("footprint", item, "FAILED: the dialog's update did not succeed", "");
    return;
  }
  // The share from the click to the session's end, as the program reported
  // it; the whole run's share (with Qt's start) beside it.
  double sessionCpuMs = -1, sessionWallMs = 0;
  if (std::FILE* in = std::fopen(report.c_str(), "r")) {
    if (std::fscanf(in, "%lf %lf", &sessionCpuMs, &sessionWallMs) != 2) sessionCpuMs = -1;
    std::fclose(in);
  }
  if (sessionCpuMs < 0 || sessionWallMs <= 0) {
    bench::PrintRow("footprint", item, "FAILED: no report from the dialog", "");
    return;
  }
  const double cpu = 100.0 * sessionCpuMs / sessionWallMs;
  bench::PrintRow("footprint", item,
                  bench::Format("CPU %.2f %% of wall (whole run %.2f %%), peak RSS %.1f MiB", cpu,
                                100.0 * run.cpuMs / run.wallMs, run.peakKiB / 1024.0),
                  bench::Verdict(cpu < 1.0 && run.peakKiB < 8 * 1024, "CPU < 1 %, RSS < 8 MiB"));
}
#endif

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  if (!bench::ParseRuns(argc, argv, "bench_update [--runs N]", runs)) return 2;
  const std::filesystem::path dir = bench::MakeScratchFolder();
  if (dir.empty()) return 1;
  bool ok = true;
  bench::PrintHeader();
  for (const Image& image : kImages) {
    const std::string firmware = FirmwareFile(dir, image);
    const long floor = FloorMs(image, firmware);
    std::vector<double> walls, cpus, ratios;
    std::vector<long> peaks;
    bool failed = floor < 0;
    for (int r = 0; r < runs && !failed; ++r) {
      const std::string state = (dir / "bus.json").string();
      std::filesystem::remove(state);
      if (!WriteState(state, image)) {
        failed = true;
        break;
      }
      const Run run = RunCli(state, firmware);
      if (!run.ok) failed = true;
      walls.push_back(run.wallMs);
      cpus.push_back(100.0 * run.cpuMs / run.wallMs);
      ratios.push_back(run.wallMs / floor);
      peaks.push_back(run.peakKiB);
    }
    if (failed) {
      bench::PrintRow("update", image.name, bench::Format("FAILED (floor %ld ms)", floor), "");
      ok = false;
      continue;
    }
    const double ratio = bench::Median(ratios), cpu = bench::Median(cpus);
    const double rss = bench::Median(peaks) / 1024.0;
    bench::PrintRow("update", bench::Format("%s, median of %d", image.name, runs),
                    bench::Format("floor %.3f s, wall %.3f s: %+.2f %%", floor / 1e3,
                                  bench::Median(walls) / 1e3, (ratio - 1) * 100),
                    bench::Verdict(ratio <= 1.02, "wall within 2 % of floor"));
    bench::PrintRow("footprint", bench::Format("padflash-cli, %s update", image.name),
                    bench::Format("CPU %.2f %% of wall, peak RSS %.1f MiB", cpu, rss),
                    bench::Verdict(cpu < 1.0 && rss < 8.0, "CPU < 1 %, RSS < 8 MiB"));
  }
#ifdef PADFLASH_DIALOG_PATH
  MeasureIdleDialog(dir, 10);
  MeasureDialogUpdate(dir);
#endif
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return ok ? 0 : 1;
}
