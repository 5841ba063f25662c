#include "app/console/protocol_log.h"

#include <cerrno>
#include <cstring>

namespace padflash {

ProtocolLog::~ProtocolLog() {
  Close();
}

bool ProtocolLog::Open(const std::string& path, std::string& error) {
  Close();
  failed_ = false;
  // Text mode: the platform's own line ends.
  file_ = std::fopen(path.c_str(), "a");
  if (file_ == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

void ProtocolLog::Put(std::string_view text) {
  if (file_ == nullptr || text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fflush(file_) != 0) {
    failed_ = true;
  }
}

void ProtocolLog::WriteLine(std::string_view line) {
  std::string whole(line);
  whole.push_back('\n');
  Put(whole);
}

void ProtocolLog::Write(std::string_view text) {
  pending_.append(text);
  const size_t end = pending_.rfind('\n');
  if (end == std::string::npos) return;
  Put(std::string_view(pending_).substr(0, end + 1));
  pending_.erase(0, end + 1);
}

void ProtocolLog::Flush() {
  if (pending_.empty()) return;
  WriteLine(pending_);
  pending_.clear();
}

bool ProtocolLog::Close() {
  if (file_ == nullptr) return !failed_;
  Flush();
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

}  // namespace padflash
