// A kernel stand-in for the hidraw backend: sysfs trees written to a
// temporary folder as the kernel lays them out, and hidraw nodes whose
// ioctl, read, write and poll answers are scripted per node. The backend's
// own enumeration, descriptor parsing and transfer code runs unchanged on it.
#pragma once

#include <linux/hidraw.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hidlib/linux/hidraw_backend.h"
#include "hidlib/linux/node_ops.h"
#include "hidlib/linux/sysfs_nodes.h"
#include "hidlib/vlmhid_interface.h"
#include "tests/support/virtual_clock.h"

namespace hidtest {

using Bytes = std::vector<uint8_t>;

// Report descriptors of the collections touch controllers present.
namespace descriptors {
// Vendor page 0xFF00, one feature report of `count` bytes (value capability).
Bytes VendorFeature(uint8_t reportId, uint16_t count = 531);
// Generic desktop mouse: three 1-bit buttons, padding, X and Y bytes.
Bytes Mouse(uint8_t reportId);
// Consumer control as an array: button capabilities only.
Bytes ConsumerArray(uint8_t reportId);
// Vendor page: one 64-byte input and one 64-byte output report.
Bytes VendorInputOutput(uint8_t inputId, uint8_t outputId);
Bytes Join(std::initializer_list<Bytes> parts);
}  // namespace descriptors

// USB devices sit below a USB device with its bcdDevice, product and serial
// attributes; the HID_NAME the kernel composes from them is "Velmar
// <product>" (or "HID vvvv:pppp") and HID_UNIQ the serial. Other buses sit
// below an I2C adapter with a HID_NAME of the ACPI name and IDs.
struct FixtureDevice {
  uint32_t bus = vlmhid::hidraw::kBusUsb;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  std::optional<uint16_t> bcdDevice;        // USB devices: the parent's bcdDevice
  std::string name;                         // USB product string (UTF-8); empty: none
  std::string uniq;                         // HID_UNIQ, and a USB device's serial; empty: none
  std::optional<uint16_t> firmwareVersion;  // HID_FIRMWARE_VERSION in the uevent
  std::optional<uint16_t> inputVersion;     // id/version of an input child
  std::optional<Bytes> descriptor;          // none: no report_descriptor file
};

// A sysfs tree under a fresh temporary folder, removed on destruction.
class SysfsTree {
 public:
  SysfsTree();
  ~SysfsTree();
  SysfsTree(const SysfsTree&) = delete;
  SysfsTree& operator=(const SysfsTree&) = delete;

  const std::string& root() const { return root_; }
  // /sys/class/hidraw/hidrawN linked to a HID device below a USB device
  // (bus 3) or an I2C adapter (any other bus).
  void AddNode(int number, const FixtureDevice& device);
  void WriteFile(const std::string& relativePath, const std::string& content);

 private:
  std::string root_;
};

// What one scripted /dev/hidrawN answers and what it was asked.
struct ScriptedNode {
  int16_t rawVendor = 0;  // HIDIOCGRAWINFO hands these out signed
  int16_t rawProduct = 0;
  bool refuseOpen = false;
  std::optional<int> refuseAccessMode;  // refuse opens with this O_ACCMODE
  bool failRawInfo = false;
  bool failFeature = false;
  Bytes featureReply;               // what GET_FEATURE copies back (report ID first)
  Bytes inputReply;                 // what HIDIOCGINPUT copies back
  std::deque<Bytes> pendingInputs;  // reports read(2) delivers, as the kernel gives them
  int refuseWrites = 0;             // the next N writes fail; -1: all

  std::vector<int> openFlags;
  std::vector<Bytes> featureSets;       // whole reports given to SET_FEATURE
  std::vector<Bytes> featureGets;       // request buffers given to GET_FEATURE
  std::vector<Bytes> outputSets;        // whole reports given to HIDIOCSOUTPUT
  std::vector<size_t> inputGetLengths;  // HIDIOCGINPUT lengths
  std::vector<size_t> readLengths;
  std::vector<int> pollTimeouts;
  std::vector<Bytes> writes;
  int writeAttempts = 0;
};

class ScriptedNodes final : public vlmhid::hidraw::NodeOps {
 public:
  ScriptedNode& Node(const std::string& path) { return nodes_[path]; }
  size_t OpenCount() const { return open_.size(); }
  int badCloses = 0;

  int Open(const std::string& path, int flags) override;
  int Ioctl(int fd, unsigned long request, void* argument) override;
  ssize_t Read(int fd, void* buffer, size_t length) override;
  ssize_t Write(int fd, const void* buffer, size_t length) override;
  int Poll(pollfd* fds, nfds_t count, int timeoutMs) override;
  int Close(int fd) override;

 private:
  ScriptedNode* NodeOf(int fd);
  std::map<std::string, ScriptedNode> nodes_;
  std::map<int, std::string> open_;
  int nextFd_ = 100;
};

// A sysfs tree, scripted nodes and a virtual clock, with VLMHID objects
// built over the hidraw backend on them.
class HidrawBench {
 public:
  // Adds the node to the tree and scripts its raw info from the IDs.
  ScriptedNode& Attach(int number, const FixtureDevice& device);
  std::unique_ptr<vlmhid::hidraw::HidrawBackend> NewBackend();
  std::unique_ptr<VLMHIDInterface> NewInterface();

  SysfsTree tree;
  std::shared_ptr<ScriptedNodes> nodes = std::make_shared<ScriptedNodes>();
  padflash::testing::VirtualClock clock;
};

}  // namespace hidtest
