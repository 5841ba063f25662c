// kernel-probe: helpers the kernel test runs inside the guest.
//
//   kernel-probe input VID PID REPORTID TOKEN COUNT
//       connects to the collection whose path holds TOKEN in input mode
//       through libVLMHID.so and reads COUNT one-byte input reports; fails
//       when one of them is 0 (the first data byte of the mouse collection's
//       reports, which the consumer collection's never carry).
//   kernel-probe paths VID
//       lists every interface of vendor VID as the library enumerates it:
//       IDs, version, product and serial strings, path.
//   kernel-probe as-user UID PROGRAM [ARGS...]
//       runs PROGRAM with user and group ID UID (not on Windows).
//
// On Windows (kernel-probe.exe, run under Wine in the guest) it goes
// through VLMHID.dll, and the collection is the one Wine's HID stack makes
// of the same kernel device.
#ifndef _WIN32
#include <grp.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

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

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text != nullptr && *text != L'\0'; ++text) {
    out += *text < 0x80 ? static_cast<char>(*text) : '?';
  }
  return out;
}

int ListPaths(char** argv) {
  const DeviceFilter filter{static_cast<uint16_t>(std::strtoul(argv[0], nullptr, 0)), 0, 0};
  std::unique_ptr<VirtualVLMHIDInterface> hid(CreateVLMHIDInterface());
  int count = 0;
  int maxPathBytes = 0;
  if (!hid || hid->EnumDevices(&filter, 1, nullptr, &count, &maxPathBytes) != 0) {
    std::printf("paths: EnumDevices failed\n");
    return 1;
  }
  std::vector<std::wstring> strings(3 * static_cast<size_t>(count));
  std::vector<DeviceEntry> entries(static_cast<size_t>(count));
  for (size_t i = 0; i < entries.size(); ++i) {
    strings[3 * i].resize(kVLMHIDStringChars);
    strings[3 * i + 1].resize(kVLMHIDStringChars);
    strings[3 * i + 2].resize(static_cast<size_t>(maxPathBytes) + 1);
    entries[i].productString = strings[3 * i].data();
    entries[i].serialNumberString = strings[3 * i + 1].data();
    entries[i].devicePath = strings[3 * i + 2].data();
  }
  maxPathBytes = 0;
  if (count > 0 && hid->EnumDevices(&filter, 1, entries.data(), &count, &maxPathBytes) != 0) {
    std::printf("paths: EnumDevices with %zu entries failed\n", entries.size());
    return 1;
  }
  std::printf("paths: %d\n", count);
  for (int i = 0; i < count && i < static_cast<int>(entries.size()); ++i) {
    const DeviceEntry& e = entries[static_cast<size_t>(i)];
    std::printf("0x%04X 0x%04X version 0x%04X product \"%s\" serial \"%s\" %s\n", e.vendorId,
                e.productId, e.versionNumber, Narrow(e.productString).c_str(),
                Narrow(e.serialNumberString).c_str(), Narrow(e.devicePath).c_str());
  }
  return count > 0 ? 0 : 1;
}

#ifndef _WIN32
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
#endif

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "input" && argc == 7) return ReadInput(argv + 2);
  if (command == "paths" && argc == 3) return ListPaths(argv + 2);
#ifndef _WIN32
  if (command == "as-user" && argc >= 4) return RunAsUser(argc - 2, argv + 2);
#endif
  std::fprintf(stderr,
               "usage: kernel-probe input VID PID REPORTID TOKEN COUNT\n"
               "       kernel-probe paths VID\n"
               "       kernel-probe as-user UID PROGRAM [ARGS...]\n");
  return 2;
}
