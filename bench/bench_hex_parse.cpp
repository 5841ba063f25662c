// Measures how fast HexFile::Parse turns Intel HEX files into an image, and
// how much memory it needs. Writes files into a fresh temporary folder: one
// holding a 64 KiB image and one holding the largest image a file may carry,
// parses each several times and prints the best throughput in MB/s of file
// text (1 MB = 10^6 bytes); then a 256 MiB file whose records mostly lie
// before the image start, written piece by piece, and prints the process's
// peak memory before and after parsing it.
#include <sys/resource.h>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/run_config.h"
#include "firmware/hex_file.h"

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
    HexFile image(config);
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
  std::printf("%-12s file %10zu bytes, image %9zu bytes: best of %d %8.3f ms, %8.1f MB/s\n", label,
              text.size(), image, runs, seconds * 1e3, text.size() / seconds / 1e6);
  return true;
}

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// `textBytes` of records at 0x00000000 onwards (dropped: before the image
// start), then a 64 KiB image; written in pieces, never held whole.
bool MeasureMemory(const std::filesystem::path& dir, size_t textBytes) {
  const std::filesystem::path path = dir / "file-256MiB.hex";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::string piece;
  size_t written = 0;
  uint32_t address = 0;
  uint8_t data[16] = {};
  while (written < textBytes) {
    piece.clear();
    if ((address & 0xFFFF) == 0) {
      const uint8_t upper[2] = {static_cast<uint8_t>(address >> 24),
                                static_cast<uint8_t>(address >> 16)};
      AppendRecord(piece, 4, 0, upper, 2);
    }
    AppendRecord(piece, 0, static_cast<uint16_t>(address & 0xFFFF), data, sizeof data);
    address = (address + sizeof data) % 0x08000000;
    written += piece.size();
    if (std::fwrite(piece.data(), 1, piece.size(), f) != piece.size()) break;
  }
  size_t image = 0;
  const std::string tail = MakeHexText(64 * 1024, SIZE_MAX, image);
  const bool ok = std::fwrite(tail.data(), 1, tail.size(), f) == tail.size();
  if (std::fclose(f) != 0 || !ok) return false;

  const long before = PeakKiB();
  RunConfig config;
  config.firmwarePath = path.string();
  HexFile parsed(config);
  const auto start = std::chrono::steady_clock::now();
  const int result = parsed.Parse();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (result != 0 || parsed.segmentCount() != 1 || parsed.segment(0).data.size() != image) {
    std::fprintf(stderr, "file-256MiB: parse failed or gave the wrong image\n");
    return false;
  }
  std::printf(
      "%-12s file %10zu bytes, image %9zu bytes: %8.3f ms, peak memory %ld KiB before, "
      "%ld KiB after\n",
      "file-256MiB", written + tail.size(), image, seconds * 1e3, before, PeakKiB());
  return true;
}

}  // namespace

int main() {
  std::string pattern = (std::filesystem::temp_directory_path() / "padflash_bench_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::filesystem::path dir = pattern;
  bool ok = Measure(dir, "image-64KiB", 64 * 1024, SIZE_MAX, 20) &&
            Measure(dir, "image-1MiB", padflash::kMaxImageBytes, SIZE_MAX, 5) &&
            MeasureMemory(dir, 256u << 20);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return ok ? 0 : 1;
}
