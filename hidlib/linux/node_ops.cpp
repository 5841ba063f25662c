#include "hidlib/linux/node_ops.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace vlmhid::hidraw {
namespace {

template <typename Call>
auto Repeat(Call call) {
  for (;;) {
    auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

class KernelNodeOps final : public NodeOps {
 public:
  int Open(const std::string& path, int flags) override {
    return Repeat([&] { return ::open(path.c_str(), flags | O_CLOEXEC); });
  }
  int Ioctl(int fd, unsigned long request, void* argument) override {
    return Repeat([&] { return ::ioctl(fd, request, argument); });
  }
  ssize_t Read(int fd, void* buffer, size_t length) override {
    return Repeat([&] { return ::read(fd, buffer, length); });
  }
  ssize_t Write(int fd, const void* buffer, size_t length) override {
    return Repeat([&] { return ::write(fd, buffer, length); });
  }
  int Poll(pollfd* fds, nfds_t count, int timeoutMs) override {
    return Repeat([&] { return ::poll(fds, count, timeoutMs); });
  }
  // close(2) is not repeated: the descriptor is gone even when it reports EINTR.
  int Close(int fd) override { return ::close(fd); }
};

}  // namespace

std::shared_ptr<NodeOps> RealNodeOps() {
  return std::make_shared<KernelNodeOps>();
}

}  // namespace vlmhid::hidraw
