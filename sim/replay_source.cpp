#include "sim/replay_source.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sim/replay_backend.h"
#include "sim/state_file.h"

namespace sim {
namespace {

struct Replay {
  std::shared_ptr<TracePlayer> player = std::make_shared<TracePlayer>();
  WallClock clock;
  std::string path;
};

// The process's one replay; lives until the process ends.
Replay* Load(const char* path) {
  auto* replay = new Replay;
  replay->path = path;
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string error;
  if (!in) {
    std::fprintf(stderr, "libVLMHID (simulated): cannot read the trace %s\n", path);
  } else if (!replay->player->Load(text.str(), error)) {
    std::fprintf(stderr, "libVLMHID (simulated): %s: %s\n", path, error.c_str());
  }
  replay->player->SetDivergenceHandler([replay](const std::string& divergence) {
    std::fprintf(stderr, "libVLMHID (simulated): the host left the trace %s at %s\n",
                 replay->path.c_str(), divergence.c_str());
  });
  return replay;
}

}  // namespace

std::unique_ptr<vlmhid::HidBackend> ReplayBackendFromEnvironment() {
  static Replay* replay = [] {
    const char* path = std::getenv("VLMHID_SIM_REPLAY");
    return path != nullptr && *path != '\0' ? Load(path) : nullptr;
  }();
  if (replay == nullptr) return nullptr;
  return std::make_unique<ReplayBackend>(replay->player, replay->clock);
}

}  // namespace sim
