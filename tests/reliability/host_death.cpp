#include "tests/reliability/host_death.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/state_file.h"

namespace padflash::reliability {
namespace {

// The child's last words: "<killed 0|1> <clock ms>\n" and the bus as a
// state file holds it, written whole to the pipe; then it ends at once.
[[noreturn]] void HandBackAndEnd(int fd, sim::Bus& bus, testing::VirtualClock& clock, bool killed) {
  char head[64];
  std::snprintf(head, sizeof head, "%d %" PRIu64 "\n", killed ? 1 : 0, clock.NowMs());
  const std::string text = head + sim::BusToText(bus);
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) std::_Exit(2);
    done += static_cast<size_t>(n);
  }
  std::_Exit(0);
}

}  // namespace

HostRun RunHostThatMayDie(sim::Bus& bus, testing::VirtualClock& clock,
                          const std::function<void()>& run) {
  HostRun result;
  int fds[2];
  if (pipe(fds) != 0) {
    result.problem = "no pipe";
    return result;
  }
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t child = fork();
  if (child < 0) {
    close(fds[0]);
    close(fds[1]);
    result.problem = "no fork";
    return result;
  }
  if (child == 0) {
    close(fds[0]);
    bus.SetHostDeathHook([&bus, &clock, fd = fds[1]] { HandBackAndEnd(fd, bus, clock, true); });
    run();
    HandBackAndEnd(fds[1], bus, clock, false);
  }
  close(fds[1]);
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);

  int killed = 0;
  uint64_t ms = 0;
  const size_t line = text.find('\n');
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || line == std::string::npos ||
      std::sscanf(text.c_str(), "%d %" SCNu64, &killed, &ms) != 2) {
    result.problem = "the host's process ended without handing the controllers back";
    return result;
  }
  testing::VirtualClock scratchClock;
  sim::Bus left(scratchClock);
  std::string error;
  if (!sim::BusFromText(text.substr(line + 1), left, error)) {
    result.problem = "the controllers handed back do not parse: " + error;
    return result;
  }
  for (sim::Controller* c : bus.controllers()) {
    sim::Controller* after = left.Find(c->serial());
    if (after == nullptr) {
      result.problem = "controller " + c->serial() + " was not handed back";
      return result;
    }
    c->state() = after->state();
  }
  if (ms > clock.NowMs()) clock.Advance(ms - clock.NowMs());
  result.ran = true;
  result.killed = killed != 0;
  return result;
}

}  // namespace padflash::reliability
