// Intel HEX text: the tokenizer fed in pieces must find the tokens that the
// whole text holds; the image built from those tokens as lines must equal
// the one parsed from a file of the text; then reads and writes of the image
// at addresses near its segments.
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "firmware/hex_file.h"
#include "firmware/hex_tokens.h"
#include "session/run_config.h"
#include "tests/fuzz/fuzz_target.h"

using padflash::HexFile;
using padflash::HexTokenizer;

namespace {

constexpr size_t kShortTokenLimit = 40;  // so over-long tokens come up often

std::vector<std::string> Tokens(std::string_view text, size_t piece) {
  std::vector<std::string> tokens;
  HexTokenizer tokenizer(kShortTokenLimit);
  auto take = [&tokens](std::string_view t) {
    tokens.emplace_back(t);
    return true;
  };
  for (size_t at = 0; at < text.size(); at += piece) {
    tokenizer.Feed(text.substr(at, piece), take);
  }
  tokenizer.Finish(take);
  return tokens;
}

std::vector<std::string> Segments(const HexFile& image) {
  std::vector<std::string> out;
  for (size_t i = 0; i < image.segmentCount(); ++i) {
    const auto& s = image.segment(i);
    out.push_back(std::to_string(s.FullAddress()) + ":" +
                  std::string(s.data.begin(), s.data.end()));
  }
  return out;
}

}  // namespace

PADFLASH_FUZZ_TARGET(hex) {
  padflash::fuzz::Input in(data, size);
  const size_t piece = 1 + in.Byte() % 64;
  struct Access {
    uint8_t segment;
    uint16_t offset;
    uint16_t count;
    bool write;
  };
  Access accesses[4];
  for (Access& a : accesses) a = {in.Byte(), in.U16(), in.U16(), (in.Byte() & 1) != 0};
  const std::string_view text = in.Rest();

  // The tokens do not depend on where the text was cut.
  const std::vector<std::string> whole = Tokens(text, text.size() + 1);
  FUZZ_CHECK(Tokens(text, piece) == whole);

  // A file of the text and the text's own tokens as lines give one image.
  std::deque<std::string> lines;
  HexTokenizer tokenizer(SIZE_MAX);
  auto keep = [&lines](std::string_view t) {
    lines.emplace_back(t);
    return true;
  };
  tokenizer.Feed(text, keep);
  tokenizer.Finish(keep);
  HexFile fromLines(lines);
  const int linesResult = fromLines.Parse();

  char path[] = "/tmp/padflash-fuzz-hex-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return 0;
  FUZZ_CHECK(write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()));
  close(fd);
  padflash::RunConfig config;
  config.firmwarePath = path;
  HexFile fromFile(config.firmwarePath);
  const int fileResult = fromFile.Parse();
  unlink(path);
  FUZZ_CHECK(linesResult == fileResult);
  FUZZ_CHECK(Segments(fromLines) == Segments(fromFile));

  // Reads and writes near the segments stay inside their buffers.
  if (fromFile.segmentCount() == 0) return 0;
  std::vector<uint8_t> buffer;
  for (const Access& a : accesses) {
    const auto& s = fromFile.segment(a.segment % fromFile.segmentCount());
    const uint32_t address = s.FullAddress() + a.offset - 64;
    const int count = a.count % 4096;
    buffer.assign(static_cast<size_t>(count) + 1, 0xA5);
    if (a.write) {
      fromFile.WriteBytes(address, buffer.data(), count);
    } else if (fromFile.ReadBytes(address, buffer.data(), count) == 0 && count > 0) {
      FUZZ_CHECK(address >= s.FullAddress() || fromFile.segmentCount() > 1);
    }
  }
  return 0;
}
