// vlmsim-uhid: a simulated controller as a kernel HID device. It makes the
// controller model a uhid device (USB or I2C-HID bus), answers the kernel's
// feature report requests with the model, and follows its restarts: the
// device is destroyed when the controller drops off and created again under
// the IDs, version and descriptor of the mode it comes back in. Programs on
// the same machine then reach it through /dev/hidraw* as real hardware.
//
//   vlmsim-uhid [--i2c] [--bootloader] [--chip N] [--rev N] [--vid N] [--pid N]
//               [--serial TEXT] [--grant-after-ms N] [--input-every-ms N]
//               [--power-loss-at-chunk K]
//
// --grant-after-ms N  N ms after each device appears, make its hidraw node
//                     readable and writable by everyone, as udev's uaccess
//                     rule would (its permissions lag behind the device).
// --input-every-ms N  in firmware mode, send a mouse report and a consumer
//                     report (the second and third collections) every N ms.
// --bootloader        the controller starts in its bootloader with its image
//                     erased (its factory page kept), as a unit whose update
//                     stopped.
// --power-loss-at-chunk K  the controller loses power at the K-th write-data
//                     chunk of the first update: back as its bootloader with
//                     the image invalid and the factory page erased.
//
// Runs until SIGTERM or SIGINT, then prints the controller's state on
// standard output: "<serial>: <firmware|bootloader> chip 0x.. revision 0x..
// image <valid|invalid>, comp table <as made|lost>" (the factory page's comp
// table compared with the one it was made with). Needs the uhid module (and hid-generic for the
// hidraw nodes).
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "sim/controller_model.h"
#include "sim/controller_state.h"
#include "sim/uhid/controller_descriptor.h"
#include "sim/uhid/uhid_device.h"
#include "update/bootloader_protocol.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void OnStop(int) {
  stopRequested = 1;
}

class SteadyClock final : public padflash::Clock {
 public:
  uint64_t NowMs() override {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  }
  void SleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

struct Options {
  sim::ControllerConfig config;
  int grantAfterMs = -1;
  int inputEveryMs = 0;
  int powerLossAtChunk = 0;
};

bool ParseNumber(const char* text, unsigned long limit, unsigned long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoul(text, &end, 0);
  return errno == 0 && end != text && *end == '\0' && value <= limit;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  options.config.serial = "UHID0001";
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--i2c") {
      options.config.i2c = true;
      continue;
    }
    if (option == "--bootloader") {
      options.config.inBootloader = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    unsigned long n = 0;
    if (option == "--serial") {
      options.config.serial = value;
    } else if (option == "--chip" && ParseNumber(value, 0xFF, n)) {
      options.config.chipId = static_cast<uint8_t>(n);
    } else if (option == "--rev" && ParseNumber(value, 0xFF, n)) {
      options.config.revision = static_cast<uint8_t>(n);
    } else if (option == "--vid" && ParseNumber(value, 0xFFFF, n)) {
      options.config.vendorId = static_cast<uint16_t>(n);
    } else if (option == "--pid" && ParseNumber(value, 0xFFFF, n)) {
      options.config.productId = static_cast<uint16_t>(n);
    } else if (option == "--grant-after-ms" && ParseNumber(value, 60000, n)) {
      options.grantAfterMs = static_cast<int>(n);
    } else if (option == "--input-every-ms" && ParseNumber(value, 60000, n)) {
      options.inputEveryMs = static_cast<int>(n);
    } else if (option == "--power-loss-at-chunk" && ParseNumber(value, 100000, n)) {
      options.powerLossAtChunk = static_cast<int>(n);
    } else {
      return false;
    }
  }
  // The mouse and consumer collections take the two IDs after the
  // controller's own.
  return options.config.reportId <= 0xFD;
}

// Makes the hidraw nodes of uhid devices usable by everyone; true when one
// was found.
bool GrantHidrawNodes() {
  const std::string base = "/sys/devices/virtual/misc/uhid";
  bool found = false;
  DIR* devices = opendir(base.c_str());
  if (devices == nullptr) return false;
  while (dirent* device = readdir(devices)) {
    if (device->d_name[0] == '.') continue;
    const std::string hidraw = base + "/" + device->d_name + "/hidraw";
    DIR* nodes = opendir(hidraw.c_str());
    if (nodes == nullptr) continue;
    while (dirent* node = readdir(nodes)) {
      if (std::strncmp(node->d_name, "hidraw", 6) != 0) continue;
      const std::string path = std::string("/dev/") + node->d_name;
      if (chmod(path.c_str(), 0666) == 0) {
        found = true;
        std::fprintf(stderr, "vlmsim-uhid: %s opened to every user\n", path.c_str());
      }
    }
    closedir(nodes);
  }
  closedir(devices);
  return found;
}

sim::uhid::DeviceIdentity IdentityOf(sim::Controller& controller) {
  const sim::ControllerConfig& config = controller.config();
  sim::uhid::DeviceIdentity identity;
  identity.bus = config.i2c ? sim::uhid::kBusI2c : sim::uhid::kBusUsb;
  identity.vendorId = controller.vendorId();
  identity.productId = controller.productId();
  identity.version = controller.versionNumber();
  const bool boot = controller.inBootloader();
  identity.name = boot ? "Velmar Bootloader" : "Velmar Touchpad";
  identity.uniq = config.serial;
  identity.descriptor = boot ? sim::uhid::BootloaderDescriptor(config.reportId)
                             : sim::uhid::FirmwareDescriptor(config.reportId);
  return identity;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(
        stderr,
        "usage: vlmsim-uhid [--i2c] [--bootloader] [--chip N] [--rev N] [--vid N] [--pid N] "
        "[--serial TEXT] [--grant-after-ms N] [--input-every-ms N] "
        "[--power-loss-at-chunk K]\n");
    return 2;
  }
  struct sigaction stop {};
  stop.sa_handler = OnStop;
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGINT, &stop, nullptr);

  SteadyClock clock;
  sim::Controller controller(sim::Controller::Manufacture(options.config), clock);
  controller.faults().powerLossAtChunk = options.powerLossAtChunk;
  const auto compTable = [&] {
    return controller.ReadFlash(padflash::kFactoryPageAddress, options.config.compTableSize);
  };
  const std::vector<uint8_t> madeWith = compTable();
  sim::uhid::UhidDevice device;
  if (!device.OpenControl()) {
    std::fprintf(stderr, "vlmsim-uhid: cannot open /dev/uhid: %s\n", std::strerror(errno));
    return 1;
  }
  const uint8_t reportId = options.config.reportId;
  sim::uhid::FeatureHandlers handlers;
  handlers.get = [&](uint8_t* report, size_t length) {
    return controller.GetFeature(report, length);
  };
  handlers.set = [&](const uint8_t* report, size_t length) {
    return controller.SetFeature(report, length);
  };

  // A restarting controller answers the request that restarts it before it
  // drops off the bus: the device goes a moment later.
  constexpr uint64_t kLeaveAfterMs = 50;
  uint64_t leaveAt = 0;
  uint32_t createdGeneration = 0;
  uint64_t grantAt = 0;
  bool granted = true;
  uint64_t nextInput = 0;
  int8_t step = 1;
  while (!stopRequested) {
    const bool present = controller.present();
    const bool gone = !present || controller.generation() != createdGeneration;
    if (device.created() && gone && leaveAt == 0) leaveAt = clock.NowMs() + kLeaveAfterMs;
    if (device.created() && gone && clock.NowMs() >= leaveAt) {
      device.Destroy();
      leaveAt = 0;
      std::fprintf(stderr, "vlmsim-uhid: device removed (controller restarts)\n");
    }
    if (!device.created() && controller.present()) {
      const sim::uhid::DeviceIdentity identity = IdentityOf(controller);
      if (!device.Create(identity)) {
        std::fprintf(stderr, "vlmsim-uhid: cannot create the device: %s\n", std::strerror(errno));
        return 1;
      }
      createdGeneration = controller.generation();
      std::fprintf(stderr, "vlmsim-uhid: device %04X:%04X version 0x%04X on %s (%s)\n",
                   identity.vendorId, identity.productId, identity.version,
                   identity.bus == sim::uhid::kBusI2c ? "I2C" : "USB",
                   controller.inBootloader() ? "bootloader" : "firmware");
      grantAt = clock.NowMs() + static_cast<uint64_t>(std::max(options.grantAfterMs, 0));
      granted = options.grantAfterMs < 0;
    }
    const uint64_t now = clock.NowMs();
    if (!granted && now >= grantAt) granted = GrantHidrawNodes();
    if (options.inputEveryMs > 0 && device.created() && !controller.inBootloader() &&
        now >= nextInput) {
      device.SendInput(sim::uhid::MouseReport(reportId, step, step));
      device.SendInput(sim::uhid::ConsumerReport(reportId, step));
      step = static_cast<int8_t>(-step);
      nextInput = now + static_cast<uint64_t>(options.inputEveryMs);
    }
    if (!device.Serve(10, handlers)) {
      std::fprintf(stderr, "vlmsim-uhid: /dev/uhid failed: %s\n", std::strerror(errno));
      return 1;
    }
  }
  device.Destroy();
  std::printf("%s: %s chip 0x%02X revision 0x%02X image %s, comp table %s\n",
              controller.serial().c_str(), controller.inBootloader() ? "bootloader" : "firmware",
              controller.runningChipId(), controller.runningRevision(),
              controller.imageValid() ? "valid" : "invalid",
              compTable() == madeWith ? "as made" : "lost");
  return 0;
}
