// The Linux backend of VLMHID: HID device interfaces are hidraw nodes.
//
// Windows presents every top-level collection of a device as an interface of
// its own, and callers rely on that (the first collection's path carries
// "&col01"). This backend does the same: a node whose report descriptor has
// several top-level collections yields one interface per collection, with the
// path "/dev/hidrawN&colKK" (KK = 01, 02, ...); a node with one collection (or
// an unreadable descriptor) yields the plain "/dev/hidrawN". Each interface
// has the capabilities of its own collection; opening any of them opens the
// node.
//
// Attributes: vendor and product ID from HIDIOCGRAWINFO on the open node,
// the version number from sysfs (see sysfs_nodes.h). Strings: the USB
// device's product and serial. Feature reports: HIDIOCSFEATURE /
// HIDIOCGFEATURE. Input reports: poll + read, or HIDIOCGINPUT. Output
// reports: write, or HIDIOCSOUTPUT. A node delivers the input reports of all
// its collections; a collection interface passes over those that carry none
// of its own report IDs, so it returns only its own, as a Windows collection
// handle does.
//
// Everything outside the process comes from HidrawConfig (sysfs root, node
// operations, sleep), so tests run this code on fixture trees with scripted
// node answers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hidlib/hid_backend.h"
#include "hidlib/linux/node_ops.h"
#include "hidlib/linux/node_record_cache.h"

namespace vlmhid::hidraw {

struct HidrawConfig {
  std::string sysfsRoot = "/sys";
  std::string devDirectory = "/dev";
  std::shared_ptr<NodeOps> ops;           // the kernel's when null
  std::function<void(uint32_t)> sleepMs;  // a real sleep when empty
};

class HidrawBackend final : public HidBackend {
 public:
  explicit HidrawBackend(HidrawConfig config = {});

  std::vector<std::wstring> ListInterfaces() override;
  std::unique_ptr<HidHandle> Open(const std::wstring& path, OpenAccess access) override;
  void SleepMs(uint32_t ms) override;

 private:
  HidrawConfig config_;
  NodeRecordCache records_;
};

// The interface path of collection `collection` (1-based) of node `name`;
// collection 0 gives the plain node path.
std::wstring InterfacePath(const std::string& devDirectory, const std::string& name,
                           int collection);

// Splits an interface path into the node name and the collection number
// (0 for a plain node path). False when the path names no hidraw node in
// `devDirectory` or has a malformed collection suffix.
bool SplitInterfacePath(const std::wstring& path, const std::string& devDirectory,
                        std::string& name, int& collection);

}  // namespace vlmhid::hidraw
