#include "tests/support/test_system_port.h"

#include <filesystem>

#include "tests/support/temp_folder.h"

namespace padflash::testing {

TestSystemPort::TestSystemPort() {
  const std::filesystem::path folder = MakeTempFolder("padflash-state");
  if (!folder.empty()) stateFolder = (folder / "padflash").string();
}

TestSystemPort::~TestSystemPort() {
  if (stateFolder.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(stateFolder).parent_path(), ignored);
}

class InProcessMutex final : public NamedMutex {
 public:
  InProcessMutex(TestSystemPort& port, std::string name) : port_(port), name_(std::move(name)) {}
  ~InProcessMutex() override {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    port_.heldMutexes_.erase(name_);
  }

 private:
  TestSystemPort& port_;
  std::string name_;
};

std::unique_ptr<NamedMutex> TestSystemPort::AcquireNamedMutex(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!heldMutexes_.insert(name).second) return nullptr;
  return std::make_unique<InProcessMutex>(*this, name);
}

bool TestSystemPort::IsNamedMutexHeld(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  return heldMutexes_.count(name) != 0;
}

}  // namespace padflash::testing
