// The device-node side of the hidraw backend: the system calls it makes on
// /dev/hidrawN. The real implementation passes them to the kernel; tests
// give a scripted one, so the backend's own code runs unchanged without a
// kernel device. Results and errno follow the system calls.
#pragma once

#include <poll.h>
#include <sys/types.h>

#include <memory>
#include <string>

namespace vlmhid::hidraw {

class NodeOps {
 public:
  virtual ~NodeOps() = default;
  virtual int Open(const std::string& path, int flags) = 0;
  virtual int Ioctl(int fd, unsigned long request, void* argument) = 0;
  virtual ssize_t Read(int fd, void* buffer, size_t length) = 0;
  virtual ssize_t Write(int fd, const void* buffer, size_t length) = 0;
  virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs) = 0;
  virtual int Close(int fd) = 0;
};

// open(2), ioctl(2), read(2), write(2), poll(2), close(2); calls interrupted
// by a signal are repeated.
std::shared_ptr<NodeOps> RealNodeOps();

}  // namespace vlmhid::hidraw
