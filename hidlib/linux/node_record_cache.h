// The records of the hidraw nodes this backend has read, so that a listing
// and the opens that follow it read each node's sysfs files once.
//
// A record is kept with the target of the node's link in
// <sysfsRoot>/class/hidraw, which names the HID device the node belongs to
// (…/0003:0488:0101.0007/hidraw/hidraw0): the kernel numbers HID devices
// anew each time one appears, so a node re-created for another device, or
// for the same controller after a restart, has another target and is read
// again. A node whose link cannot be read is always read again.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "hidlib/linux/sysfs_nodes.h"

namespace vlmhid::hidraw {

class NodeRecordCache {
 public:
  // ReadHidrawNode, answered from the kept record while the node's link
  // names the same device.
  bool Read(const std::string& sysfsRoot, const std::string& name, HidrawNode& node);

  // Forgets the records of nodes that are no longer listed.
  void KeepOnly(const std::vector<std::string>& names);

 private:
  struct Entry {
    std::string linkTarget;
    HidrawNode node;
  };
  std::mutex mutex_;
  std::map<std::string, Entry> entries_;
};

}  // namespace vlmhid::hidraw
