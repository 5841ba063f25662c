// A small VLMHID client for the cross-process tests: loads a VLMHID library
// (libVLMHID.so, VLMHID.dll) by full path through the platform's system
// port, as padflash loads a package library, and enumerates or moves
// feature reports through its exports.
//
//   simlib_client LIBRARY enum
//       one line per interface: "VVVV:PPPP vvvv <path> <product> <serial>"
//   simlib_client LIBRARY session VID PID RID STEP...
//       connects in feature mode; STEP is set=HEX (data bytes, padded with
//       zeros to 531) or get=N (prints the first N data bytes in hex);
//       prints "set ok", "set fail", "get ok <hex>" or "get fail" per step
//   simlib_client LIBRARY hammer VID PID RID COUNT
//       COUNT times a one-byte memory read of FeedConfig1 and a feature read
//
// Exit status: 0 done (failed steps are printed, not fatal), 1 the library
// or the connection failed, 2 bad usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "VLMHID.h"
#include "native_system_port.h"

namespace {

constexpr uint16_t kDataBytes = 531;

using CreateFn = VirtualVLMHIDInterface* (*)();
using DestroyFn = void (*)(VirtualVLMHIDInterface*);

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; *text != 0; ++text) out += (*text >= 0x20 && *text < 0x7F) ? char(*text) : '?';
  return out;
}

int Enumerate(VirtualVLMHIDInterface& hid) {
  int count = 0, maxPathBytes = 0;
  hid.EnumDevices(nullptr, 0, nullptr, &count, &maxPathBytes);
  const int pathChars = maxPathBytes + 1;
  std::vector<DeviceEntry> entries(static_cast<size_t>(count));
  std::vector<std::vector<wchar_t>> buffers;
  for (DeviceEntry& e : entries) {
    buffers.emplace_back(kVLMHIDStringChars);
    e.productString = buffers.back().data();
    buffers.emplace_back(kVLMHIDStringChars);
    e.serialNumberString = buffers.back().data();
    buffers.emplace_back(static_cast<size_t>(pathChars));
    e.devicePath = buffers.back().data();
  }
  int capacity = count;
  maxPathBytes = 0;
  hid.EnumDevices(nullptr, 0, entries.data(), &capacity, &maxPathBytes);
  for (int i = 0; i < count && i < capacity; ++i) {
    const DeviceEntry& e = entries[static_cast<size_t>(i)];
    std::printf("%04X:%04X %04X %s %s %s\n", e.vendorId, e.productId, e.versionNumber,
                Narrow(e.devicePath).c_str(), Narrow(e.productString).c_str(),
                Narrow(e.serialNumberString).c_str());
  }
  return 0;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>& out) {
  if (text.size() % 2 != 0 || text.size() / 2 > kDataBytes) return false;
  out.assign(kDataBytes, 0);
  for (size_t i = 0; i < text.size() / 2; ++i) {
    char pair[3] = {text[2 * i], text[2 * i + 1], 0};
    char* end = nullptr;
    out[i] = static_cast<uint8_t>(std::strtoul(pair, &end, 16));
    if (*end != 0) return false;
  }
  return true;
}

int Session(VirtualVLMHIDInterface& hid, char** steps, int stepCount) {
  for (int i = 0; i < stepCount; ++i) {
    const std::string step = steps[i];
    std::vector<uint8_t> data(kDataBytes, 0);
    if (step.rfind("set=", 0) == 0) {
      if (!ParseHex(step.substr(4), data)) return 2;
      std::printf("set %s\n", hid.WriteFeatureReport(data.data(), kDataBytes) == 0 ? "ok" : "fail");
    } else if (step.rfind("get=", 0) == 0) {
      const size_t show = std::strtoul(step.c_str() + 4, nullptr, 0);
      if (show > kDataBytes) return 2;
      if (hid.ReadFeatureReport(data.data(), kDataBytes) != 0) {
        std::printf("get fail\n");
        continue;
      }
      std::printf("get ok ");
      for (size_t k = 0; k < show; ++k) std::printf("%02x", data[k]);
      std::printf("\n");
    } else {
      return 2;
    }
  }
  return 0;
}

int Hammer(VirtualVLMHIDInterface& hid, unsigned long count) {
  // Memory read (8) of one byte at 0xC2C4.
  uint8_t read[kDataBytes] = {8, 0xC4, 0xC2, 0x00, 0x00, 0x01, 0x00};
  uint8_t reply[kDataBytes];
  unsigned long done = 0;
  for (unsigned long i = 0; i < count; ++i) {
    if (hid.WriteFeatureReport(read, kDataBytes) == 0 &&
        hid.ReadFeatureReport(reply, kDataBytes) == 0) {
      ++done;
    }
  }
  std::printf("hammer %lu of %lu\n", done, count);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  padflash::NativeSystemPort system;
  // The library stays loaded (and in reach) until the process ends: its bus
  // lives that long.
  static padflash::LoadedLibrary* library = system.OpenLibrary(argv[1]).release();
  if (library == nullptr) {
    std::fprintf(stderr, "simlib_client: cannot load %s (error %d)\n", argv[1], system.LastError());
    return 1;
  }
  auto create = reinterpret_cast<CreateFn>(library->Symbol("CreateVLMHIDInterface"));
  auto destroy = reinterpret_cast<DestroyFn>(library->Symbol("DestroyVLMHIDInterface"));
  if (create == nullptr || destroy == nullptr) return 1;
  VirtualVLMHIDInterface* hid = create();
  if (hid == nullptr) return 1;
  const std::string command = argv[2];
  int result = 2;
  if (command == "enum") {
    result = Enumerate(*hid);
  } else if ((command == "session" && argc >= 6) || (command == "hammer" && argc == 7)) {
    const auto vid = static_cast<uint16_t>(std::strtoul(argv[3], nullptr, 0));
    const auto pid = static_cast<uint16_t>(std::strtoul(argv[4], nullptr, 0));
    const auto rid = static_cast<uint8_t>(std::strtoul(argv[5], nullptr, 0));
    if (hid->ConnectToDevice(vid, pid, rid, kVLMHIDModeFeature) != 0) {
      std::fprintf(stderr, "simlib_client: no device %04X:%04X with report ID %u\n", vid, pid, rid);
      result = 1;
    } else if (command == "session") {
      result = Session(*hid, argv + 6, argc - 6);
    } else {
      result = Hammer(*hid, std::strtoul(argv[6], nullptr, 0));
    }
  }
  destroy(hid);
  std::fflush(stdout);
  return result;
}
