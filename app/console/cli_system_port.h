// padflash-cli's system port: the platform's own, except that while
// standard output holds the JSON report, the few messages of a firmware
// package load that go to standard output are written to standard error.
#pragma once

#include <cstdio>
#include <string_view>

#include "native_system_port.h"

namespace padflash {

class CliSystemPort final : public NativeSystemPort {
 public:
  explicit CliSystemPort(bool stdoutReserved) : stdoutReserved_(stdoutReserved) {}

  void WriteStdout(std::string_view text) override {
    if (!stdoutReserved_) {
      NativeSystemPort::WriteStdout(text);
      return;
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
  }

 private:
  bool stdoutReserved_;
};

}  // namespace padflash
