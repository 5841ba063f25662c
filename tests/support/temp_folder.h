// A fresh, empty folder under the system's temporary directory.
#pragma once

#include <filesystem>
#include <string>

namespace padflash::testing {

// Creates <temp>/<prefix>-<random>; an empty path when none could be made.
std::filesystem::path MakeTempFolder(const std::string& prefix);

}  // namespace padflash::testing
