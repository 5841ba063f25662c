#include "tests/hidlib/hidraw_bench.h"

#include <fcntl.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace hidtest {

namespace descriptors {

Bytes VendorFeature(uint8_t reportId, uint16_t count) {
  return {0x06,
          0x00,
          0xFF,  // Usage Page (vendor 0xFF00)
          0x09,
          0x01,  // Usage (1)
          0xA1,
          0x01,  // Collection (Application)
          0x85,
          reportId,  //   Report ID
          0x09,
          0x02,  //   Usage (2)
          0x15,
          0x00,  //   Logical Minimum (0)
          0x26,
          0xFF,
          0x00,  //   Logical Maximum (255)
          0x75,
          0x08,  //   Report Size (8)
          0x96,
          static_cast<uint8_t>(count),
          static_cast<uint8_t>(count >> 8),  // Report Count
          0xB1,
          0x02,   //   Feature (Data, Variable, Absolute)
          0xC0};  // End Collection
}

Bytes Mouse(uint8_t reportId) {
  return {0x05, 0x01,     0x09, 0x02, 0xA1, 0x01,  // Generic Desktop, Mouse, Application
          0x85, reportId,                          //   Report ID
          0x09, 0x01,     0xA1, 0x00,              //   Pointer, Physical
          0x05, 0x09,     0x19, 0x01, 0x29, 0x03,  //     Buttons 1..3
          0x15, 0x00,     0x25, 0x01,              //     0..1
          0x75, 0x01,     0x95, 0x03, 0x81, 0x02,  //     3 x 1 bit, Input (Data, Var): buttons
          0x75, 0x05,     0x95, 0x01, 0x81, 0x03,  //     5 bits padding (Constant)
          0x05, 0x01,     0x09, 0x30, 0x09, 0x31,  //     X, Y
          0x15, 0x81,     0x25, 0x7F,              //     -127..127
          0x75, 0x08,     0x95, 0x02, 0x81, 0x06,  //     2 x 8 bits, Input (Data, Var, Rel)
          0xC0, 0xC0};
}

Bytes ConsumerArray(uint8_t reportId) {
  return {0x05, 0x0C,     0x09, 0x01, 0xA1, 0x01,  // Consumer, Consumer Control, Application
          0x85, reportId,                          //   Report ID
          0x19, 0x00,     0x2A, 0xFF, 0x03,        //   Usages 0..0x3FF
          0x15, 0x00,     0x26, 0xFF, 0x03,        //   0..0x3FF
          0x75, 0x10,     0x95, 0x01, 0x81, 0x00,  //   1 x 16 bits, Input (Data, Array)
          0xC0};
}

Bytes VendorInputOutput(uint8_t inputId, uint8_t outputId) {
  return {0x06, 0x00,     0xFF, 0x09, 0x03, 0xA1, 0x01,  // vendor page, Application
          0x85, inputId,  0x09, 0x04, 0x75, 0x08, 0x95, 0x40, 0x81, 0x02,  // 64-byte input
          0x85, outputId, 0x09, 0x05, 0x75, 0x08, 0x95, 0x40, 0x91, 0x02,  // 64-byte output
          0xC0};
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes joined;
  for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

}  // namespace descriptors

namespace {

std::string Format(const char* format, auto... values) {
  char text[256];
  std::snprintf(text, sizeof(text), format, values...);
  return text;
}

void Write(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << content;
  if (!out) throw std::runtime_error("cannot write fixture file " + path.string());
}

}  // namespace

SysfsTree::SysfsTree() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/hidraw-sysfs-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  fs::create_directories(fs::path(root_) / "class" / "hidraw");
}

SysfsTree::~SysfsTree() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

void SysfsTree::WriteFile(const std::string& relativePath, const std::string& content) {
  Write(fs::path(root_) / relativePath, content);
}

void SysfsTree::AddNode(int number, const FixtureDevice& device) {
  const fs::path root(root_);
  const std::string hidName =
      Format("%04X:%04X:%04X.%04X", device.bus, device.vendorId, device.productId, number + 1);
  fs::path hid;
  std::string composedName = Format("HID %04x:%04x", device.vendorId, device.productId);
  if (device.bus == vlmhid::hidraw::kBusUsb) {
    const fs::path usbDevice =
        root / "devices/pci0000:00/0000:00:14.0/usb1" / Format("1-%d", number);
    fs::create_directories(usbDevice);
    if (device.bcdDevice) Write(usbDevice / "bcdDevice", Format("%04x\n", *device.bcdDevice));
    Write(usbDevice / "idVendor", Format("%04x\n", device.vendorId));
    if (!device.name.empty()) {
      Write(usbDevice / "product", device.name + "\n");
      composedName = "Velmar " + device.name;
    }
    if (!device.uniq.empty()) Write(usbDevice / "serial", device.uniq + "\n");
    hid = usbDevice / Format("1-%d:1.0", number) / hidName;
  } else {
    hid = root / "devices/platform/i2c_designware.0/i2c-1" / Format("i2c-TEST%04d:00", number) /
          hidName;
    composedName = Format("TEST%04d:00 %04X:%04X", number, device.vendorId, device.productId);
  }
  std::string uevent = Format("DRIVER=hid-generic\nHID_ID=%04X:%08X:%08X\n", device.bus,
                              device.vendorId, device.productId) +
                       "HID_NAME=" + composedName +
                       "\nHID_PHYS=fixture/input0\nHID_UNIQ=" + device.uniq +
                       "\nMODALIAS=hid:fixture\n";
  if (device.firmwareVersion) {
    uevent += Format("HID_FIRMWARE_VERSION=0x%04x\n", *device.firmwareVersion);
  }
  Write(hid / "uevent", uevent);
  if (device.inputVersion) {
    Write(hid / Format("input/input%d/id/version", number + 20),
          Format("%04x\n", *device.inputVersion));
  }
  if (device.descriptor) {
    Write(hid / "report_descriptor",
          std::string(device.descriptor->begin(), device.descriptor->end()));
  }
  const std::string nodeName = Format("hidraw%d", number);
  const fs::path node = hid / "hidraw" / nodeName;
  fs::create_directories(node);
  fs::create_directory_symlink("../..", node / "device");
  Write(node / "uevent", Format("MAJOR=241\nMINOR=%d\nDEVNAME=%s\n", number, nodeName.c_str()));
  fs::create_directory_symlink(node, root / "class" / "hidraw" / nodeName);
}

int ScriptedNodes::Open(const std::string& path, int flags) {
  auto it = nodes_.find(path);
  if (it == nodes_.end()) {
    errno = ENOENT;
    return -1;
  }
  ScriptedNode& node = it->second;
  node.openFlags.push_back(flags);
  if (node.refuseOpen || (node.refuseAccessMode && *node.refuseAccessMode == (flags & O_ACCMODE))) {
    errno = EACCES;
    return -1;
  }
  const int fd = nextFd_++;
  open_[fd] = path;
  return fd;
}

ScriptedNode* ScriptedNodes::NodeOf(int fd) {
  auto it = open_.find(fd);
  return it == open_.end() ? nullptr : &nodes_[it->second];
}

int ScriptedNodes::Ioctl(int fd, unsigned long request, void* argument) {
  ScriptedNode* node = NodeOf(fd);
  if (node == nullptr) {
    errno = EBADF;
    return -1;
  }
  if (request == HIDIOCGRAWINFO) {
    if (node->failRawInfo) {
      errno = EIO;
      return -1;
    }
    hidraw_devinfo info{};
    info.bustype = 3;
    info.vendor = node->rawVendor;
    info.product = node->rawProduct;
    std::memcpy(argument, &info, sizeof(info));
    return 0;
  }
  if (_IOC_TYPE(request) != 'H') {
    errno = ENOTTY;
    return -1;
  }
  const size_t size = _IOC_SIZE(request);
  auto* bytes = static_cast<uint8_t*>(argument);
  auto copyBack = [&](const Bytes& reply) {
    const size_t n = std::min(size, reply.size());
    std::memcpy(bytes, reply.data(), n);
    return static_cast<int>(n);
  };
  switch (_IOC_NR(request)) {
    case 0x06:  // SET_FEATURE
      if (node->failFeature) break;
      node->featureSets.emplace_back(bytes, bytes + size);
      return static_cast<int>(size);
    case 0x07:  // GET_FEATURE
      if (node->failFeature) break;
      node->featureGets.emplace_back(bytes, bytes + size);
      return copyBack(node->featureReply);
    case 0x0A:  // GET_INPUT
      node->inputGetLengths.push_back(size);
      return copyBack(node->inputReply);
    case 0x0B:  // SET_OUTPUT
      node->outputSets.emplace_back(bytes, bytes + size);
      return static_cast<int>(size);
    default:
      errno = ENOTTY;
      return -1;
  }
  errno = EIO;
  return -1;
}

ssize_t ScriptedNodes::Read(int fd, void* buffer, size_t length) {
  ScriptedNode* node = NodeOf(fd);
  if (node == nullptr) {
    errno = EBADF;
    return -1;
  }
  node->readLengths.push_back(length);
  if (node->pendingInputs.empty()) {
    errno = EAGAIN;
    return -1;
  }
  const Bytes report = node->pendingInputs.front();
  node->pendingInputs.pop_front();
  const size_t n = std::min(length, report.size());
  std::memcpy(buffer, report.data(), n);
  return static_cast<ssize_t>(n);
}

ssize_t ScriptedNodes::Write(int fd, const void* buffer, size_t length) {
  ScriptedNode* node = NodeOf(fd);
  if (node == nullptr) {
    errno = EBADF;
    return -1;
  }
  ++node->writeAttempts;
  if (node->refuseWrites != 0) {
    if (node->refuseWrites > 0) --node->refuseWrites;
    errno = EPIPE;
    return -1;
  }
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  node->writes.emplace_back(bytes, bytes + length);
  return static_cast<ssize_t>(length);
}

int ScriptedNodes::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
  int ready = 0;
  for (nfds_t i = 0; i < count; ++i) {
    ScriptedNode* node = NodeOf(fds[i].fd);
    if (node == nullptr) {
      fds[i].revents = POLLNVAL;
      ++ready;
      continue;
    }
    node->pollTimeouts.push_back(timeoutMs);
    fds[i].revents = node->pendingInputs.empty() ? 0 : POLLIN;
    if (fds[i].revents != 0) ++ready;
  }
  return ready;
}

int ScriptedNodes::Close(int fd) {
  if (open_.erase(fd) == 0) {
    ++badCloses;
    errno = EBADF;
    return -1;
  }
  return 0;
}

ScriptedNode& HidrawBench::Attach(int number, const FixtureDevice& device) {
  tree.AddNode(number, device);
  ScriptedNode& node = nodes->Node(Format("/dev/hidraw%d", number));
  node.rawVendor = static_cast<int16_t>(device.vendorId);
  node.rawProduct = static_cast<int16_t>(device.productId);
  return node;
}

std::unique_ptr<vlmhid::hidraw::HidrawBackend> HidrawBench::NewBackend() {
  vlmhid::hidraw::HidrawConfig config;
  config.sysfsRoot = tree.root();
  config.ops = nodes;
  config.sleepMs = [this](uint32_t ms) { clock.SleepMs(ms); };
  return std::make_unique<vlmhid::hidraw::HidrawBackend>(std::move(config));
}

std::unique_ptr<VLMHIDInterface> HidrawBench::NewInterface() {
  return std::make_unique<VLMHIDInterface>(NewBackend());
}

}  // namespace hidtest
