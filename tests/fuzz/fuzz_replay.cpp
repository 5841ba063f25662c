// Runs committed inputs through a fuzz target without libFuzzer:
//   fuzz_replay <target> <file or folder>...
// A crash, a sanitizer report or a failed check ends the run.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "tests/fuzz/fuzz_target.h"

namespace padflash::fuzz {
namespace {

std::map<std::string, Entry>& Registry() {
  static std::map<std::string, Entry> registry;
  return registry;
}

}  // namespace

bool Register(const char* name, Entry entry) {
  Registry()[name] = entry;
  return true;
}

Entry Find(const std::string& name) {
  auto it = Registry().find(name);
  return it == Registry().end() ? nullptr : it->second;
}

}  // namespace padflash::fuzz

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const padflash::fuzz::Entry entry = argc > 1 ? padflash::fuzz::Find(argv[1]) : nullptr;
  if (entry == nullptr) {
    std::fprintf(stderr, "usage: fuzz_replay <target> <file or folder>...\n");
    return 2;
  }
  std::vector<fs::path> inputs;
  for (int i = 2; i < argc; ++i) {
    if (fs::is_directory(argv[i])) {
      for (const auto& e : fs::directory_iterator(argv[i])) {
        if (e.is_regular_file()) inputs.push_back(e.path());
      }
    } else {
      inputs.emplace_back(argv[i]);
    }
  }
  std::sort(inputs.begin(), inputs.end());
  for (const fs::path& path : inputs) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
    entry(bytes.data(), bytes.size());
  }
  std::printf("%s: %zu inputs\n", argv[1], inputs.size());
  return inputs.empty() ? 1 : 0;
}
