#include "firmware/hex_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "firmware/hex_tokens.h"

namespace padflash {

namespace {

// Record types of the Intel HEX format that the image uses.
constexpr int32_t kTypeData = 0;
constexpr int32_t kTypeEndOfFile = 1;
constexpr int32_t kTypeExtendedSegment = 2;
constexpr int32_t kTypeExtendedLinear = 4;

// Byte count, two address bytes, type and checksum.
constexpr size_t kMinRecordBytes = 5;
// ... and two bytes of upper address for types 2 and 4.
constexpr size_t kMinAddressRecordBytes = 7;

// The longest token worth decoding: a record whose data alone would fill the
// largest image ":" + 2 hex digits per byte of count, address, type, data and
// checksum.
constexpr size_t kMaxTokenChars = 1 + 2 * (kMaxImageBytes + kMinRecordBytes);
// The file is read in pieces of this size.
constexpr size_t kReadChunkBytes = 1 << 16;

// The value of one text character as a hex digit. Letters are upper-cased
// first; nothing else is checked, so a stray character gives some value
// rather than an error (the record's checksum catches the damage).
constexpr std::array<int, 256> MakeDigitTable() {
  std::array<int, 256> table{};
  for (int c = 0; c < 256; ++c) {
    int upper = (c >= 'a' && c <= 'z') ? c - 0x20 : c;
    table[c] = upper < 0x3A ? upper - 0x30 : upper - 0x37;
  }
  return table;
}
constexpr std::array<int, 256> kDigit = MakeDigitTable();
static_assert(kDigit['0'] == 0 && kDigit['9'] == 9 && kDigit['A'] == 10 && kDigit['f'] == 15);

// The fields of one decoded text line; the data bytes stay in the scratch
// byte list the line was decoded into, from `dataOffset` for `dataSize`.
struct DecodedLine {
  bool valid = false;
  int32_t type = 0;
  int32_t address = 0;
  int32_t upper = 0;
  size_t dataOffset = 0;
  size_t dataSize = 0;
};

// Decodes one token into `bytes` (reused between calls, so parsing a large
// file does not allocate per line) and reads its fields.
DecodedLine DecodeLine(std::string_view text, uint32_t upperAddress, std::vector<uint8_t>& bytes) {
  DecodedLine line;
  line.upper = static_cast<int32_t>(upperAddress);
  if (text.empty() || text[0] != ':') return line;
  // Hex digits come in pairs; a dangling digit makes the whole line invalid.
  if ((text.size() - 1) % 2 != 0) return line;

  bytes.clear();
  for (size_t pos = 1; pos < text.size(); pos += 2) {
    int high = kDigit[static_cast<unsigned char>(text[pos])];
    int low = kDigit[static_cast<unsigned char>(text[pos + 1])];
    bytes.push_back(static_cast<uint8_t>((high * 16 + low) & 0xFF));
  }
  if (bytes.size() < kMinRecordBytes) return line;

  uint8_t sum = 0;
  for (size_t k = 0; k + 1 < bytes.size(); ++k) sum = static_cast<uint8_t>(sum + bytes[k]);
  if (static_cast<uint8_t>(0 - sum) != bytes.back()) return line;

  // bytes[0], the byte count, is not trusted: the data run is whatever lies
  // between the type byte and the checksum.
  line.address = (bytes[1] << 8) | bytes[2];
  line.type = bytes[3];
  if (line.type == kTypeData) {
    line.dataOffset = 4;
    line.dataSize = bytes.size() - kMinRecordBytes;
  } else if (line.type == kTypeExtendedSegment || line.type == kTypeExtendedLinear) {
    if (bytes.size() < kMinAddressRecordBytes) return line;
    line.upper = (bytes[4] << 8) | bytes[5];
  }
  line.valid = true;
  return line;
}

bool IsImageStart(uint32_t address) {
  return address == kImageStartI2C || address == kImageStartUSB;
}

uint64_t StartOf(const HexRecord& segment) {
  return segment.FullAddress();
}
uint64_t EndOf(const HexRecord& segment) {
  return StartOf(segment) + segment.data.size();
}
bool Holds(const HexRecord& segment, uint64_t address) {
  return address >= StartOf(segment) && address < EndOf(segment);
}

}  // namespace

HexRecord HexRecord::ParseLine(const std::string& text, uint32_t upperAddress) {
  std::vector<uint8_t> bytes;
  DecodedLine line = DecodeLine(text, upperAddress, bytes);
  HexRecord record;
  record.valid = line.valid;
  record.upper = line.upper;
  if (!line.valid) return record;
  record.type = line.type;
  record.address = line.address;
  if (line.type == kTypeData) {
    auto first = bytes.begin() + static_cast<std::ptrdiff_t>(line.dataOffset);
    record.data.assign(first, first + static_cast<std::ptrdiff_t>(line.dataSize));
  }
  return record;
}

HexFile::HexFile(std::string path) : fileName_(std::move(path)) {}

HexFile::HexFile(std::deque<std::string> lines) : lines_(std::move(lines)) {}

HexFile::~HexFile() = default;

namespace {

// The parse state across the lines of one image.
class ImageBuilder {
 public:
  ImageBuilder(std::vector<std::unique_ptr<HexRecord>>& segments, uint32_t& upperAddress)
      : segments_(segments), upperAddress_(upperAddress) {}

  // Takes one token. False once the end-of-file record was met or the image
  // grew beyond what any controller's flash holds.
  bool Take(std::string_view token) {
    ++tokens_;
    DecodedLine line = DecodeLine(token, upperAddress_, bytes_);
    if (!line.valid) return true;
    switch (line.type) {
      case kTypeData:
        TakeData(line);
        afterExtended_ = false;
        return !tooLarge_;
      case kTypeEndOfFile:
        return false;
      case kTypeExtendedLinear:
        upperAddress_ = static_cast<uint32_t>(line.upper);
        afterExtended_ = true;
        return true;
      default:  // 2, 3, 5 and unknown types: segment addressing is not applied.
        afterExtended_ = false;
        return true;
    }
  }

  size_t tokens() const { return tokens_; }
  bool tooLarge() const { return tooLarge_; }

 private:
  void TakeData(const DecodedLine& line) {
    const uint32_t full =
        (static_cast<uint32_t>(line.upper) << 16) | static_cast<uint32_t>(line.address);
    const uint8_t* first = bytes_.data() + line.dataOffset;
    // Only the last segment is ever extended; a record that continues an
    // earlier segment starts a new one.
    const bool continues = !segments_.empty() && EndOf(*segments_.back()) == full;
    if (afterExtended_ && IsImageStart(full)) accepting_ = true;
    if (!continues && !accepting_) return;  // before the image start
    imageBytes_ += line.dataSize;
    if (imageBytes_ > kMaxImageBytes) {
      tooLarge_ = true;
      return;
    }
    if (continues) {
      auto& data = segments_.back()->data;
      data.insert(data.end(), first, first + line.dataSize);
      return;
    }
    auto segment = std::make_unique<HexRecord>();
    segment->valid = true;
    segment->type = kTypeData;
    segment->address = line.address;
    segment->upper = line.upper;
    segment->data.assign(first, first + line.dataSize);
    segments_.push_back(std::move(segment));
  }

  std::vector<std::unique_ptr<HexRecord>>& segments_;
  uint32_t& upperAddress_;
  std::vector<uint8_t> bytes_;
  size_t tokens_ = 0;
  size_t imageBytes_ = 0;
  bool afterExtended_ = false;
  bool accepting_ = false;
  bool tooLarge_ = false;
};

// Feeds the file's text to the builder piece by piece. False when the file
// cannot be opened or read (a folder, for one, opens but does not read).
bool ReadTokens(std::FILE* file, ImageBuilder& builder) {
  HexTokenizer tokenizer(kMaxTokenChars);
  auto take = [&builder](std::string_view token) { return builder.Take(token); };
  std::vector<char> chunk(kReadChunkBytes);
  size_t got;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) {
    if (!tokenizer.Feed(std::string_view(chunk.data(), got), take)) return true;
  }
  if (std::ferror(file)) return false;
  tokenizer.Finish(take);
  return true;
}

}  // namespace

int HexFile::Parse() {
  segments_.clear();
  upperAddress_ = 0;
  imageTooLarge_ = false;

  std::FILE* file = nullptr;
  if (!fileName_.empty()) {
    file = std::fopen(fileName_.c_str(), "rb");
    if (file == nullptr) return -1;
  }

  ImageBuilder builder(segments_, upperAddress_);
  bool more = true;
  for (const std::string& line : lines_) {
    more = builder.Take(line);
    if (!more) break;
  }
  bool readOk = true;
  if (file != nullptr) {
    if (more) readOk = ReadTokens(file, builder);
    std::fclose(file);
  }

  if (builder.tooLarge()) {
    imageTooLarge_ = true;
    segments_.clear();
    return -1;
  }
  if (!readOk || builder.tokens() == 0) return -1;

  // The bootloader programs whole 16-bit words.
  for (auto& segment : segments_) {
    if (segment->data.size() % 2 != 0) segment->data.push_back(0x00);
  }
  return 0;
}

int HexFile::ReadBytes(uint32_t address, uint8_t* out, int count) const {
  if (out == nullptr || segments_.empty()) return -1;
  for (const auto& segment : segments_) {
    if (!Holds(*segment, address)) continue;
    if (count < 1) return 0;
    const size_t offset = address - segment->FullAddress();
    const size_t available = segment->data.size() - offset;
    const size_t copied = std::min(available, static_cast<size_t>(count));
    std::memcpy(out, segment->data.data() + offset, copied);
    // A read never continues into another segment.
    return copied == static_cast<size_t>(count) ? 0 : -1;
  }
  return -1;
}

int HexFile::WriteBytes(uint32_t address, const uint8_t* in, int count) {
  if (in == nullptr) return -1;
  HexRecord* target = nullptr;
  for (const auto& segment : segments_) {
    if (Holds(*segment, address)) {
      target = segment.get();
      break;
    }
  }
  if (target == nullptr) return -1;
  if (count < 1) return 0;
  // A write must not wrap around the end of the 32-bit address space.
  if (uint64_t{address} + static_cast<uint64_t>(count) > (uint64_t{1} << 32)) return -1;

  // The part that lies inside the segment holding `address`.
  const size_t offset = address - target->FullAddress();
  const size_t inside = std::min(target->data.size() - offset, static_cast<size_t>(count));
  std::memcpy(target->data.data() + offset, in, inside);

  // The rest, byte by byte: into a segment that already holds the address,
  // else appended to the first segment that ends there. The run is
  // contiguous, so the segment that took the previous byte always holds or
  // ends at the next address.
  for (size_t j = inside; j < static_cast<size_t>(count); ++j) {
    const uint64_t at = uint64_t{address} + j;
    HexRecord* holder = nullptr;
    HexRecord* endsHere = nullptr;
    for (const auto& segment : segments_) {
      if (Holds(*segment, at)) {
        holder = segment.get();
        break;
      }
      if (endsHere == nullptr && EndOf(*segment) == at) endsHere = segment.get();
    }
    if (holder != nullptr) {
      holder->data[at - StartOf(*holder)] = in[j];
    } else {
      endsHere->data.push_back(in[j]);
    }
  }
  return 0;
}

}  // namespace padflash
