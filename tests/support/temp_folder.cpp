#include "tests/support/temp_folder.h"

#include <random>
#include <system_error>

namespace padflash::testing {

std::filesystem::path MakeTempFolder(const std::string& prefix) {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error) return {};
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path folder = base / (prefix + "-" + std::to_string(random()));
    // create_directory is false, without an error, when the name is taken.
    if (std::filesystem::create_directory(folder, error)) return folder;
    if (error) return {};
  }
  return {};
}

}  // namespace padflash::testing
