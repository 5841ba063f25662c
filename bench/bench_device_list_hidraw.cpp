// Measures the device list through the hidraw backend over a fixture sysfs
// tree of 1, 8 and 64 hidraw nodes (scripted nodes answer the ioctls, as in
// the hidlib tests): the backend's own walk, descriptor parsing and string
// reads run unchanged. Each node is a touchpad's three collections
// (vendor feature, mouse, consumer control) with its own product ID.
//
//   bench_device_list_hidraw [--runs N]
//
// Target: a listing of 64 under 20 ms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/console/console_window.h"
#include "bench/bench_support.h"
#include "bench/bench_table.h"
#include "native_system_port.h"
#include "session/session.h"
#include "tests/hidlib/hidraw_bench.h"
#include "update/device_list_refresh.h"

namespace {

using namespace padflash;
namespace d = hidtest::descriptors;

constexpr double kTargetMs = 20;

void AttachTouchpads(hidtest::HidrawBench& bench, int count) {
  for (int i = 0; i < count; ++i) {
    hidtest::FixtureDevice device;
    device.vendorId = 0x0488;
    device.productId = static_cast<uint16_t>(0x0200 + i);
    device.bcdDevice = 0x1205;
    device.name = "Touchpad";
    device.uniq = "SN" + std::to_string(i);
    device.descriptor = d::Join({d::VendorFeature(7), d::Mouse(1), d::ConsumerArray(3)});
    bench.Attach(i, device);
  }
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 11;
  if (!bench::ParseRuns(argc, argv, "bench_device_list_hidraw [--runs N]", runs)) return 2;
  std::FILE* null = std::fopen("/dev/null", "r+");
  if (null == nullptr) return 1;
  bool ok = true;
  bench::PrintHeader();
  for (int count : {1, 8, 64}) {
    hidtest::HidrawBench bench;
    AttachTouchpads(bench, count);
    ConsoleWindow window(ConsoleOptions{}, null, null, null);
    NativeSystemPort system;
    Session session(window, system, [&bench] { return bench.NewInterface().release(); });
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
      const auto start = std::chrono::steady_clock::now();
      RefreshDeviceList(session);
      times.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
      if (window.ComboItems().size() != static_cast<size_t>(count)) {
        bench::PrintRow("device list", bench::Format("%d hidraw nodes", count),
                        bench::Format("FAILED: listed %zu", window.ComboItems().size()), "");
        ok = false;
        break;
      }
    }
    if (!ok) continue;
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    bench::PrintRow("device list", bench::Format("%d hidraw fixture, median of %d", count, runs),
                    bench::Format("%.2f ms", median),
                    count == 64 ? bench::Verdict(median < kTargetMs, "< 20 ms for 64") : "");
  }
  std::fclose(null);
  return ok ? 0 : 1;
}
