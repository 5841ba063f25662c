// kernel-probe: helpers the kernel test runs inside the guest.
//
//   kernel-probe input VID PID REPORTID TOKEN COUNT
//       connects to the collection whose path holds TOKEN in input mode
//       through libVLMHID.so and reads COUNT one-byte input reports; fails
//       when one of them is 0 (the first data byte of the mouse collection's
//       reports, which the consumer collection's never carry).
//   kernel-probe as-user UID PROGRAM [ARGS...]
//       runs PROGRAM with user and group ID UID.
#include <grp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>

#include "VLMHID.h"

namespace {

int ReadInput(char** argv) {
  const auto vendor = static_cast<uint16_t>(std::strtoul(argv[0], nullptr, 0));
  const auto product = static_cast<uint16_t>(std::strtoul(argv[1], nullptr, 0));
  const auto reportId = static_cast<uint8_t>(std::strtoul(argv[2], nullptr, 0));
  const std::string token = argv[3];
  const int count = std::atoi(argv[4]);
  std::unique_ptr<VirtualVLMHIDInterface> hid(CreateVLMHIDInterface());
  const std::wstring wideToken(token.begin(), token.end());
  if (!hid || hid->ConnectToDeviceEx(vendor, product, reportId, kVLMHIDModeInput, wideToken.c_str(),
                                     0, nullptr, 0) != 0) {
    std::printf("input: cannot connect to %s in input mode\n", token.c_str());
    return 1;
  }
  for (int i = 0; i < count; ++i) {
    uint8_t data = 0;
    if (hid->ReadInputReport(&data, 1, 2000, 0) != 0) {
      std::printf("input: report %d did not arrive\n", i + 1);
      return 1;
    }
    if (data == 0) {
      std::printf("input: report %d belongs to another collection\n", i + 1);
      return 1;
    }
  }
  std::printf("input: %d reports, all of collection %s\n", count, token.c_str());
  return 0;
}

int RunAsUser(int argc, char** argv) {
  const auto id = static_cast<uid_t>(std::strtoul(argv[0], nullptr, 0));
  if (setgroups(0, nullptr) != 0 || setgid(id) != 0 || setuid(id) != 0) {
    std::perror("as-user");
    return 1;
  }
  (void)argc;
  execv(argv[1], argv + 1);
  std::perror("as-user: exec");
  return 127;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "input" && argc == 7) return ReadInput(argv + 2);
  if (command == "as-user" && argc >= 4) return RunAsUser(argc - 2, argv + 2);
  std::fprintf(stderr,
               "usage: kernel-probe input VID PID REPORTID TOKEN COUNT\n"
               "       kernel-probe as-user UID PROGRAM [ARGS...]\n");
  return 2;
}
