// Measures how fast HexFile::Parse turns Intel HEX files into an image and
// how much memory it needs, beside binutils' objcopy (-I ihex -O binary) and
// srecord's srec_cat on the same files, in the same run.
//
// Files, written into a fresh temporary folder: a 64 KiB image (records of
// 16 bytes from the I2C image start), and files of 16 MiB and 256 MiB whose
// records mostly lie before the image start (dropped by the parser; the
// other tools keep them) followed by that 64 KiB image. Each tool runs as a
// child process, so its peak RSS is its own (wait4); throughput is MB/s of
// file text (1 MB = 10^6 bytes) from the median wall time. The parser's
// in-process throughput for the 64 KiB image and the largest image a file
// may carry is printed first (best of several parses).
//
//   bench_hex_parse [--runs N]       (default 5; the 256 MiB file: 1 + N/3)
//   bench_hex_parse --parse FILE     (the parser alone, for the child runs)
//
// Targets: at least objcopy's throughput; peak RSS near the image size.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/bench_table.h"
#include "firmware/hex_file.h"
#include "session/run_config.h"

namespace {

using padflash::HexFile;
using padflash::RunConfig;

void AppendRecord(std::string& out, int type, uint16_t address, const uint8_t* data, size_t n) {
  static const char kHex[] = "0123456789ABCDEF";
  uint8_t sum = static_cast<uint8_t>(n + (address >> 8) + (address & 0xFF) + type);
  auto put = [&out](uint8_t b) {
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
  };
  out += ':';
  put(static_cast<uint8_t>(n));
  put(static_cast<uint8_t>(address >> 8));
  put(static_cast<uint8_t>(address));
  put(static_cast<uint8_t>(type));
  for (size_t i = 0; i < n; ++i) {
    put(data[i]);
    sum = static_cast<uint8_t>(sum + data[i]);
  }
  put(static_cast<uint8_t>(0 - sum));
  out += "\r\n";
}

// HEX text of an image that starts at the I2C image start, 16 data bytes per
// record, until the image holds `imageBytes` or the text reaches `textBytes`.
std::string MakeHexText(size_t imageBytes, size_t textBytes, size_t& imageOut) {
  std::string text;
  text.reserve(std::min(textBytes, imageBytes * 3) + 64);
  uint32_t address = padflash::kImageStartI2C;
  uint32_t upper = 0xFFFFFFFF;
  uint32_t seed = 0x12345678;
  size_t written = 0;
  while (written < imageBytes && text.size() < textBytes) {
    if ((address >> 16) != upper) {
      upper = address >> 16;
      const uint8_t value[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)};
      AppendRecord(text, 4, 0, value, 2);
    }
    uint8_t data[16];
    for (uint8_t& b : data) {
      seed = seed * 1664525u + 1013904223u;
      b = static_cast<uint8_t>(seed >> 24);
    }
    AppendRecord(text, 0, static_cast<uint16_t>(address & 0xFFFF), data, sizeof data);
    address += sizeof data;
    written += sizeof data;
  }
  text += ":00000001FF\r\n";
  imageOut = written;
  return text;
}

bool WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

// Parses the file `runs` times; returns the best time in seconds, or a
// negative value when a parse fails or yields the wrong image size.
double BestParseSeconds(const std::filesystem::path& path, size_t imageBytes, int runs) {
  RunConfig config;
  config.firmwarePath = path.string();
  double best = -1;
  for (int r = 0; r < runs; ++r) {
    HexFile image(config.firmwarePath);
    auto start = std::chrono::steady_clock::now();
    int result = image.Parse();
    auto stop = std::chrono::steady_clock::now();
    if (result != 0 || image.segmentCount() != 1 ||
        image.segment(0).data.size() != imageBytes + imageBytes % 2) {
      return -1;
    }
    double seconds = std::chrono::duration<double>(stop - start).count();
    if (best < 0 || seconds < best) best = seconds;
  }
  return best;
}

bool Measure(const std::filesystem::path& dir, const char* label, size_t imageBytes,
             size_t textBytes, int runs) {
  size_t image = 0;
  const std::string text = MakeHexText(imageBytes, textBytes, image);
  const std::filesystem::path path = dir / (std::string(label) + ".hex");
  if (!WriteFile(path, text)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  const double seconds = BestParseSeconds(path, image, runs);
  if (seconds < 0) {
    std::fprintf(stderr, "%s: parse failed or gave the wrong image\n", label);
    return false;
  }
  bench::PrintRow("HEX", bench::Format("%s, in process, best of %d", label, runs),
                  bench::Format("%.1f MB/s (%zu bytes of text, %.3f ms)",
                                text.size() / seconds / 1e6, text.size(), seconds * 1e3),
                  "");
  return true;
}

// The parser alone in this process: exit 0 when the file parsed into one
// segment.
int ParseOnly(const char* path) {
  RunConfig config;
  config.firmwarePath = path;
  HexFile image(config.firmwarePath);
  return image.Parse() == 0 && image.segmentCount() == 1 ? 0 : 1;
}

struct ChildRun {
  double seconds = -1;
  long peakKiB = 0;
};

// Runs the program with its output on /dev/null; seconds < 0 when it did
// not exit with 0.
ChildRun RunChild(const std::vector<std::string>& command) {
  ChildRun run;
  std::vector<char*> argv;
  for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) return run;
  if (child == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 1);
    dup2(null, 2);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return run;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKiB = usage.ru_maxrss;
  }
  return run;
}

// `textBytes` of records at 0x00000000 onwards (before the image start),
// then a 64 KiB image; written in pieces, never held whole. The file's size
// in `written`.
bool WriteLargeFile(const std::filesystem::path& path, size_t textBytes, size_t& written) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::string piece;
  written = 0;
  uint32_t address = 0;
  uint8_t data[16] = {};
  bool ok = true;
  while (ok && written < textBytes) {
    piece.clear();
    if ((address & 0xFFFF) == 0) {
      const uint8_t upper[2] = {static_cast<uint8_t>(address >> 24),
                                static_cast<uint8_t>(address >> 16)};
      AppendRecord(piece, 4, 0, upper, 2);
    }
    AppendRecord(piece, 0, static_cast<uint16_t>(address & 0xFFFF), data, sizeof data);
    address = (address + sizeof data) % 0x08000000;
    written += piece.size();
    ok = std::fwrite(piece.data(), 1, piece.size(), f) == piece.size();
  }
  size_t image = 0;
  const std::string tail = MakeHexText(64 * 1024, SIZE_MAX, image);
  ok = ok && std::fwrite(tail.data(), 1, tail.size(), f) == tail.size();
  written += tail.size();
  return std::fclose(f) == 0 && ok;
}

// Each tool on the file, `runs` times; one line per tool, ratios to objcopy.
bool Compare(const std::filesystem::path& dir, const char* label, const std::filesystem::path& file,
             int runs, long& parserPeakKiB) {
  const size_t textBytes = std::filesystem::file_size(file);
  const std::string out = (dir / "out.bin").string();
  struct Tool {
    const char* name;
    std::vector<std::string> command;
  };
  const Tool tools[] = {{"padflash", {"/proc/self/exe", "--parse", file.string()}},
                        {"objcopy", {"objcopy", "-I", "ihex", "-O", "binary", file.string(), out}},
                        {"srec_cat", {"srec_cat", file.string(), "-intel", "-o", out, "-binary"}}};
  double rates[3] = {0, 0, 0};
  long peaks[3] = {0, 0, 0};
  for (int t = 0; t < 3; ++t) {
    std::vector<double> seconds;
    for (int r = 0; r < runs; ++r) {
      const ChildRun run = RunChild(tools[t].command);
      if (run.seconds < 0) {
        bench::PrintRow("HEX", bench::Format("%s, %s", label, tools[t].name),
                        "FAILED (is it installed?)", "");
        return false;
      }
      seconds.push_back(run.seconds);
      peaks[t] = std::max(peaks[t], run.peakKiB);
    }
    rates[t] = textBytes / bench::Median(seconds) / 1e6;
    std::error_code ignored;
    std::filesystem::remove(out, ignored);
  }
  for (int t = 0; t < 3; ++t) {
    bench::PrintRow("HEX", bench::Format("%s, %s, median of %d", label, tools[t].name, runs),
                    bench::Format("%.1f MB/s (x%.2f objcopy), peak RSS %.1f MiB (x%.2f)", rates[t],
                                  rates[t] / rates[1], peaks[t] / 1024.0,
                                  static_cast<double>(peaks[t]) / peaks[1]),
                    t == 0 ? bench::Verdict(rates[0] >= rates[1], ">= objcopy's MB/s") : "");
  }
  parserPeakKiB = peaks[0];
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--parse") == 0) return ParseOnly(argv[2]);
  int runs = 5;
  if (!bench::ParseRuns(argc, argv, "bench_hex_parse [--runs N] | --parse FILE", runs)) return 2;
  const std::filesystem::path dir = bench::MakeScratchFolder();
  if (dir.empty()) return 1;
  bench::PrintHeader();
  bool ok = Measure(dir, "image-64KiB", 64 * 1024, SIZE_MAX, 20) &&
            Measure(dir, "image-1MiB", padflash::kMaxImageBytes, SIZE_MAX, 5);
  // The same image files through each tool, then the large files.
  long small = 0, largest = 0, large = 0, unused = 0;
  ok = ok && Compare(dir, "image-64KiB", dir / "image-64KiB.hex", runs, small) &&
       Compare(dir, "image-1MiB", dir / "image-1MiB.hex", runs, largest);
  size_t written = 0;
  ok = ok && WriteLargeFile(dir / "file-16MiB.hex", 16u << 20, written) &&
       Compare(dir, "file-16MiB", dir / "file-16MiB.hex", runs, unused);
  std::filesystem::remove(dir / "file-16MiB.hex");
  ok = ok && WriteLargeFile(dir / "file-256MiB.hex", 256u << 20, written) &&
       Compare(dir, "file-256MiB", dir / "file-256MiB.hex", 1 + runs / 3, large);
  if (ok) {
    // What the parser needs beyond a process holding a 64 KiB image.
    const double growth = (large - small) / 1024.0;
    bench::PrintRow("HEX", "parser RSS, 256 MiB file",
                    bench::Format("%+.1f MiB over the 64 KiB file for a 64 KiB image "
                                  "(1 MiB image: %+.1f)",
                                  growth, (largest - small) / 1024.0),
                    bench::Verdict(growth < 1.0, "near the image size"));
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return ok ? 0 : 1;
}
