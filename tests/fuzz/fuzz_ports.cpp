#include "tests/fuzz/fuzz_ports.h"

#include <algorithm>

namespace padflash::fuzz {
namespace {

class NoMutex final : public NamedMutex {};

class TableLibrary final : public LoadedLibrary {
 public:
  explicit TableLibrary(const std::map<std::string, void*>& exports) : exports_(exports) {}
  void* Symbol(const char* name) override {
    auto it = exports_.find(name);
    return it == exports_.end() ? nullptr : it->second;
  }
  void* Handle() override { return this; }

 private:
  const std::map<std::string, void*>& exports_;
};

}  // namespace

std::unique_ptr<NamedMutex> MemorySystemPort::AcquireNamedMutex(const std::string&) {
  return std::make_unique<NoMutex>();
}

std::vector<FoundFile> MemorySystemPort::FindFiles(const std::string&) {
  std::vector<FoundFile> found;
  for (const auto& [name, bytes] : files) found.push_back({name, false});
  return found;
}

bool MemorySystemPort::ReadFileBytes(const std::string& path, size_t maxBytes,
                                     std::vector<uint8_t>& out) {
  auto it = files.find(path);
  if (it == files.end()) return false;
  out.assign(it->second.begin(), it->second.begin() + std::min(maxBytes, it->second.size()));
  return true;
}

bool MemorySystemPort::CreateNewFile(const std::string& path, const uint8_t* data, size_t size) {
  if (files.count(path) != 0) return false;
  files[path].assign(data, data + size);
  return true;
}

bool MemorySystemPort::RenameFile(const std::string& from, const std::string& to) {
  auto it = files.find(from);
  if (it == files.end() || files.count(to) != 0) return false;
  files[to] = std::move(it->second);
  files.erase(from);
  return true;
}

std::unique_ptr<LoadedLibrary> MemorySystemPort::OpenLibrary(const std::string&) {
  if (libraryExports.empty()) return nullptr;
  return std::make_unique<TableLibrary>(libraryExports);
}

}  // namespace padflash::fuzz
