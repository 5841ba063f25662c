// Splits Intel HEX text into its whitespace-separated tokens as the text
// arrives, chunk by chunk, so a file is parsed while it is read and never
// held whole. A token that runs past a chunk is kept until it ends; one
// longer than the limit cannot be a record worth keeping and is dropped
// (handed on as an empty token, which no record parse accepts) without being
// held.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace padflash {

class HexTokenizer {
 public:
  explicit HexTokenizer(size_t maxTokenChars) : maxTokenChars_(maxTokenChars) {}

  static bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
  }

  // Hands each token completed in `chunk` to take(std::string_view), which
  // returns false to stop. False once stopped.
  template <typename Take>
  bool Feed(std::string_view chunk, Take&& take) {
    size_t pos = 0;
    while (pos < chunk.size()) {
      if (IsSeparator(chunk[pos])) {
        if (inToken_ && !EndToken(take)) return false;
        ++pos;
        continue;
      }
      size_t end = pos;
      while (end < chunk.size() && !IsSeparator(chunk[end])) ++end;
      const std::string_view piece = chunk.substr(pos, end - pos);
      pos = end;
      if (!inToken_ && end < chunk.size()) {
        // The whole token lies in this chunk: no copy.
        if (piece.size() <= maxTokenChars_ ? !take(piece) : !take(std::string_view())) return false;
        continue;
      }
      Hold(piece);
    }
    return true;
  }

  // The end of the text ends the last token.
  template <typename Take>
  bool Finish(Take&& take) {
    return !inToken_ || EndToken(take);
  }

 private:
  void Hold(std::string_view piece) {
    inToken_ = true;
    if (tooLong_) return;
    if (pending_.size() + piece.size() > maxTokenChars_) {
      tooLong_ = true;
      pending_.clear();
      pending_.shrink_to_fit();
      return;
    }
    pending_.append(piece);
  }

  template <typename Take>
  bool EndToken(Take&& take) {
    const bool go = take(tooLong_ ? std::string_view() : std::string_view(pending_));
    pending_.clear();
    inToken_ = false;
    tooLong_ = false;
    return go;
  }

  size_t maxTokenChars_;
  std::string pending_;
  bool inToken_ = false;
  bool tooLong_ = false;
};

}  // namespace padflash
