// The --log file of padflash-cli: the verbose protocol appended to a file,
// line by line as it is printed, after a header line per run. Whole lines
// are written at once, so that two runs appending to one file interleave
// by lines, never inside one.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace padflash {

class ProtocolLog {
 public:
  ProtocolLog() = default;
  ~ProtocolLog();
  ProtocolLog(const ProtocolLog&) = delete;
  ProtocolLog& operator=(const ProtocolLog&) = delete;

  // Opens (or creates) `path` for appending; false, with the reason in
  // `error`, when it cannot.
  bool Open(const std::string& path, std::string& error);
  bool IsOpen() const { return file_ != nullptr; }

  // One whole line; its end is added.
  void WriteLine(std::string_view line);
  // Protocol text with "\n" line ends: the complete lines are written, a
  // line without its end waits for the rest.
  void Write(std::string_view text);
  // Writes a line still waiting for its end, with an end.
  void Flush();
  // Flushes and closes; false when anything could not be written.
  bool Close();

 private:
  void Put(std::string_view text);

  std::FILE* file_ = nullptr;
  std::string pending_;
  bool failed_ = false;
};

}  // namespace padflash
