// Report traces (VLMHID_TRACE) as the simulated library replays them: each
// line that parses comes out of its own formatting alike, and a trace that
// loads plays to its end when the host sends and asks exactly what it
// recorded.
#include <string>
#include <vector>

#include "hidlib/report_trace.h"
#include "sim/trace_player.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

std::string Format(const vlmhid::trace::Line& line) {
  if (line.kind == vlmhid::trace::Kind::kDevice) {
    return vlmhid::trace::FormatDevice(line.ms, line.device, line.identity);
  }
  return vlmhid::trace::FormatReport(line.ms, line.kind, line.device, line.report.data(),
                                     line.report.size());
}

struct Recorded {
  bool set;
  bool ok;
  std::vector<uint8_t> report;
};

}  // namespace

PADFLASH_FUZZ_TARGET(trace) {
  using vlmhid::trace::Kind;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<Recorded> recorded;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view raw(text.data() + start, end - start);
    start = end + 1;
    vlmhid::trace::Line line;
    if (!vlmhid::trace::Parse(raw, line)) continue;
    const std::string formatted = Format(line);
    vlmhid::trace::Line again;
    FUZZ_CHECK(vlmhid::trace::Parse(formatted, again));
    FUZZ_CHECK(Format(again) == formatted);
    if (line.kind != Kind::kDevice) {
      recorded.push_back({line.kind == Kind::kSet || line.kind == Kind::kSetFail,
                          line.kind == Kind::kSet || line.kind == Kind::kGet, line.report});
    }
  }

  sim::TracePlayer player;
  std::string error;
  if (!player.Load(text, error)) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  FUZZ_CHECK(player.exchanges() == recorded.size());
  for (const Recorded& r : recorded) {
    const std::optional<sim::TracePlayer::Presence> present = player.Present();
    FUZZ_CHECK(present.has_value());
    std::vector<uint8_t> report = r.report;
    bool ok;
    if (r.set) {
      ok = player.Set(present->segment, report.data(), report.size());
    } else {
      // The host's buffer: the report ID first, the rest as it was.
      std::fill(report.begin() + (report.empty() ? 0 : 1), report.end(), 0);
      ok = player.Get(present->segment, report.data(), report.size());
      if (ok) FUZZ_CHECK(report == r.report);
    }
    FUZZ_CHECK(ok == r.ok);
    FUZZ_CHECK(!player.diverged());
  }
  FUZZ_CHECK(player.played() == recorded.size());
  // Past the end every transfer fails.
  const std::optional<sim::TracePlayer::Presence> present = player.Present();
  uint8_t report[2] = {1, 0};
  if (present) FUZZ_CHECK(!player.Get(present->segment, report, sizeof report));
  return 0;
}
