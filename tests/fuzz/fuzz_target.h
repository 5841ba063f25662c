// A fuzz target is one file that defines its entry with
// PADFLASH_FUZZ_TARGET(name). Built for libFuzzer (the fuzz preset, clang)
// the entry is LLVMFuzzerTestOneInput; in every other build it registers
// itself, so fuzz_replay runs the committed corpus through the same entry
// points with any compiler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace padflash::fuzz {

using Entry = int (*)(const uint8_t* data, size_t size);

// The registry of fuzz_replay.
bool Register(const char* name, Entry entry);
Entry Find(const std::string& name);

[[noreturn]] inline void CheckFailed(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::abort();
}

// Takes the input from the front: small numbers first, then the rest.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
  uint32_t U32() { return U16() | static_cast<uint32_t>(U16()) << 16; }
  int32_t I32() {
    const uint32_t v = U32();
    int32_t s;
    std::memcpy(&s, &v, sizeof s);
    return s;
  }
  std::string_view Take(size_t n) {
    n = std::min(n, size_ - pos_);
    std::string_view piece(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return piece;
  }
  std::string_view Rest() { return Take(size_ - pos_); }
  bool empty() const { return pos_ >= size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace padflash::fuzz

#define FUZZ_CHECK(condition) \
  ((condition) ? (void)0 : ::padflash::fuzz::CheckFailed(#condition, __FILE__, __LINE__))

#if defined(PADFLASH_LIBFUZZER)
#define PADFLASH_FUZZ_TARGET(name) \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
#else
#define PADFLASH_FUZZ_TARGET(name)                                \
  static int FuzzTarget_##name(const uint8_t* data, size_t size); \
  [[maybe_unused]] static const bool kRegistered_##name =         \
      ::padflash::fuzz::Register(#name, FuzzTarget_##name);       \
  static int FuzzTarget_##name(const uint8_t* data, size_t size)
#endif
