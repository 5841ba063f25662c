#include "sim/trace_player.h"

#include <algorithm>
#include <cstring>

namespace sim {

using vlmhid::trace::Kind;

namespace {

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::kSet:
      return "SET";
    case Kind::kSetFail:
      return "SET-FAIL";
    case Kind::kGet:
      return "GET";
    case Kind::kGetFail:
      return "GET-FAIL";
    case Kind::kDevice:
    default:
      return "DEVICE";
  }
}

std::string Hex(const uint8_t* bytes, size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; bytes != nullptr && i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

}  // namespace

bool TracePlayer::Load(const std::string& text, std::string& error) {
  std::vector<Segment> segments;
  std::vector<Exchange> exchanges;
  size_t lineNumber = 0;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view raw(text.data() + start, end - start);
    start = end + 1;
    ++lineNumber;
    if (raw.find_first_not_of(" \r\t") == std::string_view::npos) continue;
    vlmhid::trace::Line line;
    if (!vlmhid::trace::Parse(raw, line)) {
      error = "trace line " + std::to_string(lineNumber) + " is not a report trace line";
      return false;
    }
    if (line.kind == Kind::kDevice) {
      segments.push_back({line.device, line.identity});
      continue;
    }
    if (segments.empty()) {
      error = "trace line " + std::to_string(lineNumber) + ": a report before any DEVICE line";
      return false;
    }
    exchanges.push_back({line.kind, std::move(line.report), segments.size() - 1, lineNumber});
  }
  std::lock_guard<std::mutex> lock(mutex_);
  segments_ = std::move(segments);
  exchanges_ = std::move(exchanges);
  next_ = 0;
  divergence_.clear();
  return true;
}

size_t TracePlayer::CurrentSegment() const {
  if (next_ < exchanges_.size()) return exchanges_[next_].segment;
  return segments_.empty() ? 0 : segments_.size() - 1;
}

void TracePlayer::SetDivergenceHandler(std::function<void(const std::string&)> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  onDivergence_ = std::move(handler);
}

bool TracePlayer::diverged() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !divergence_.empty();
}

std::string TracePlayer::divergence() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return divergence_;
}

size_t TracePlayer::played() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return next_;
}

size_t TracePlayer::exchanges() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return exchanges_.size();
}

std::optional<TracePlayer::Presence> TracePlayer::Present() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (segments_.empty()) return std::nullopt;
  const size_t segment = CurrentSegment();
  return Presence{segment, segments_[segment].device, segments_[segment].identity};
}

bool TracePlayer::Alive(size_t segment) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return AliveLocked(segment);
}

bool TracePlayer::AliveLocked(size_t segment) const {
  return !segments_.empty() && segment == CurrentSegment();
}

void TracePlayer::Diverge(const std::string& expected, const std::string& received) {
  divergence_ = "exchange " + std::to_string(next_ + 1) + " of " +
                std::to_string(exchanges_.size()) + ": expected " + expected + ", received " +
                received;
  if (onDivergence_) onDivergence_(divergence_);
}

const TracePlayer::Exchange* TracePlayer::Expect(bool set, size_t segment, const uint8_t* report,
                                                 size_t length) {
  if (!divergence_.empty()) return nullptr;
  // A handle of a device that has left since reaches nothing.
  if (!AliveLocked(segment)) return nullptr;
  const std::string received = set ? std::string("SET ") + Hex(report, length)
                                   : "GET of " + std::to_string(length) + " bytes, report ID " +
                                         std::to_string(length > 0 ? report[0] : 0);
  if (next_ >= exchanges_.size()) {
    Diverge("nothing (the trace has ended)", received);
    return nullptr;
  }
  const Exchange& e = exchanges_[next_];
  const bool recordedSet = e.kind == Kind::kSet || e.kind == Kind::kSetFail;
  std::string expected = std::string(KindName(e.kind)) + " " +
                         Hex(e.report.data(), e.report.size()) + " (trace line " +
                         std::to_string(e.lineNumber) + ")";
  if (recordedSet != set) {
    Diverge(expected, received);
    return nullptr;
  }
  if (set) {
    // A recorded transfer of no bytes (the host handed none) matches only another.
    if (length != e.report.size() ||
        (length > 0 && std::memcmp(report, e.report.data(), length) != 0)) {
      const size_t common = std::min(length, e.report.size());
      size_t at = 0;
      while (at < common && report[at] == e.report[at]) ++at;
      Diverge(expected, received + " (first difference at byte " + std::to_string(at) + ")");
      return nullptr;
    }
  } else if (length != e.report.size() || (length > 0 && report[0] != e.report[0])) {
    Diverge(expected, received);
    return nullptr;
  }
  ++next_;
  return &e;
}

bool TracePlayer::Set(size_t segment, const uint8_t* report, size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Exchange* e = Expect(true, segment, report, length);
  return e != nullptr && e->kind == Kind::kSet;
}

bool TracePlayer::Get(size_t segment, uint8_t* report, size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Exchange* e = Expect(false, segment, report, length);
  if (e == nullptr || e->kind != Kind::kGet) return false;
  if (length > 0) std::memcpy(report, e->report.data(), length);
  return true;
}

}  // namespace sim
