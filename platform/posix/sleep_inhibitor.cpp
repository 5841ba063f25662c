#include "platform/posix/sleep_inhibitor.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <mutex>

#include "platform/system_port.h"

namespace padflash {
namespace {

constexpr uint32_t kAwakeFlags = kEsSystemRequired | kEsDisplayRequired | kEsAwayModeRequired;

std::mutex inhibitorMutex;
int inhibitorFd = -1;

// Asks logind for the lock; the descriptor, or -1.
int TakeInhibitor() {
  sd_bus* bus = nullptr;
  if (sd_bus_open_system(&bus) < 0) return -1;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int fd = -1;
  const InhibitorRequest request = UpdateInhibitorRequest();
  if (sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                         "org.freedesktop.login1.Manager", "Inhibit", &error, &reply, "ssss",
                         request.what, request.who, request.why, request.mode) >= 0) {
    int received = -1;
    // The message owns the descriptor it carries; keep a copy of our own.
    if (sd_bus_message_read(reply, "h", &received) >= 0 && received >= 0) {
      fd = fcntl(received, F_DUPFD_CLOEXEC, 3);
    }
  }
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  sd_bus_flush_close_unref(bus);
  return fd;
}

}  // namespace

InhibitorRequest UpdateInhibitorRequest() {
  return {"shutdown:sleep:idle", "padflash",
          "padflash is updating the touchpad firmware; turning off now could leave it without "
          "firmware",
          "block"};
}

bool SetInhibitorExecutionState(uint32_t flags) {
  std::lock_guard<std::mutex> lock(inhibitorMutex);
  if ((flags & kAwakeFlags) == 0) {
    if (inhibitorFd >= 0) close(inhibitorFd);
    inhibitorFd = -1;
    return true;
  }
  if (inhibitorFd < 0) inhibitorFd = TakeInhibitor();
  return inhibitorFd >= 0;
}

bool InhibitorHeld() {
  std::lock_guard<std::mutex> lock(inhibitorMutex);
  return inhibitorFd >= 0;
}

}  // namespace padflash
