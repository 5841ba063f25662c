#include "sim/uhid/uhid_device.h"

#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace sim::uhid {

UhidDevice::~UhidDevice() {
  Destroy();
  if (fd_ >= 0) close(fd_);
}

bool UhidDevice::OpenControl(const char* path) {
  fd_ = open(path, O_RDWR | O_CLOEXEC);
  return fd_ >= 0;
}

bool UhidDevice::Send(const void* event, size_t size) {
  for (;;) {
    const ssize_t n = write(fd_, event, size);
    if (n == static_cast<ssize_t>(size)) return true;
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
}

bool UhidDevice::Create(const DeviceIdentity& identity) {
  if (created_ || identity.descriptor.size() > HID_MAX_DESCRIPTOR_SIZE) return false;
  auto event = std::make_unique<uhid_event>();
  std::memset(event.get(), 0, sizeof(uhid_event));
  event->type = UHID_CREATE2;
  uhid_create2_req& create = event->u.create2;
  std::strncpy(reinterpret_cast<char*>(create.name), identity.name.c_str(),
               sizeof(create.name) - 1);
  std::strncpy(reinterpret_cast<char*>(create.phys), "vlmsim-uhid", sizeof(create.phys) - 1);
  std::strncpy(reinterpret_cast<char*>(create.uniq), identity.uniq.c_str(),
               sizeof(create.uniq) - 1);
  create.rd_size = static_cast<uint16_t>(identity.descriptor.size());
  create.bus = identity.bus;
  create.vendor = identity.vendorId;
  create.product = identity.productId;
  create.version = identity.version;
  std::memcpy(create.rd_data, identity.descriptor.data(), identity.descriptor.size());
  created_ = Send(event.get(), sizeof(uhid_event));
  return created_;
}

void UhidDevice::Destroy() {
  if (!created_) return;
  uhid_event event{};
  event.type = UHID_DESTROY;
  Send(&event, sizeof(event));
  created_ = false;
}

bool UhidDevice::SendInput(const std::vector<uint8_t>& report) {
  if (!created_ || report.size() > UHID_DATA_MAX) return false;
  auto event = std::make_unique<uhid_event>();
  std::memset(event.get(), 0, sizeof(uhid_event));
  event->type = UHID_INPUT2;
  event->u.input2.size = static_cast<uint16_t>(report.size());
  std::memcpy(event->u.input2.data, report.data(), report.size());
  return Send(event.get(), sizeof(uhid_event));
}

bool UhidDevice::Serve(int timeoutMs, const FeatureHandlers& handlers) {
  pollfd ready{fd_, POLLIN, 0};
  const int polled = poll(&ready, 1, timeoutMs);
  if (polled < 0) return errno == EINTR;
  if (polled == 0) return true;
  auto in = std::make_unique<uhid_event>();
  const ssize_t n = read(fd_, in.get(), sizeof(uhid_event));
  if (n < 0) return errno == EINTR || errno == EAGAIN;
  // A request the kernel queued before the device was destroyed (the host
  // was waiting on a controller that lost power) has nobody to answer it:
  // the kernel refuses a reply once its device is gone.
  if (!created_) return true;
  auto out = std::make_unique<uhid_event>();
  std::memset(out.get(), 0, sizeof(uhid_event));
  switch (in->type) {
    case UHID_GET_REPORT: {
      const uhid_get_report_req& request = in->u.get_report;
      out->type = UHID_GET_REPORT_REPLY;
      uhid_get_report_reply_req& reply = out->u.get_report_reply;
      reply.id = request.id;
      reply.err = EIO;
      if (request.rtype == UHID_FEATURE_REPORT && handlers.get) {
        // The report the host reads is the whole feature report.
        uint8_t report[UHID_DATA_MAX] = {};
        report[0] = request.rnum;
        if (handlers.get(report, kFeatureLength)) {
          reply.err = 0;
          reply.size = kFeatureLength;
          std::memcpy(reply.data, report, kFeatureLength);
        }
      }
      return Send(out.get(), sizeof(uhid_event));
    }
    case UHID_SET_REPORT: {
      const uhid_set_report_req& request = in->u.set_report;
      out->type = UHID_SET_REPORT_REPLY;
      out->u.set_report_reply.id = request.id;
      const size_t size = std::min<size_t>(request.size, UHID_DATA_MAX);
      const bool ok =
          request.rtype == UHID_FEATURE_REPORT && handlers.set && handlers.set(request.data, size);
      out->u.set_report_reply.err = ok ? 0 : EIO;
      return Send(out.get(), sizeof(uhid_event));
    }
    default:  // start, stop, open, close, output: nothing to answer
      return true;
  }
}

}  // namespace sim::uhid
