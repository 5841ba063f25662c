// On Windows the program's version is the file version of the running
// program's version resource.
#include <windows.h>

#include <vector>

#include "platform/program_version.h"

namespace padflash {

namespace {
constexpr DWORD kMaxPathChars = 260;
}  // namespace

// Four zeros when the program file carries no version resource or a step
// fails.
ProgramVersion ReadProgramVersion() {
  char path[kMaxPathChars] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, kMaxPathChars);
  // A full buffer means the path was cut; a cut path names another file.
  if (length == 0 || length >= kMaxPathChars) return ProgramVersion{};

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return ProgramVersion{};
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(path, 0, size, block.data())) return ProgramVersion{};

  void* root = nullptr;
  UINT rootBytes = 0;
  if (!VerQueryValueA(block.data(), "\\", &root, &rootBytes) || root == nullptr ||
      rootBytes < sizeof(VS_FIXEDFILEINFO)) {
    return ProgramVersion{};
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(root);
  if (fixed->dwSignature != VS_FFI_SIGNATURE) return ProgramVersion{};
  return ProgramVersion{HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                        HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS)};
}

}  // namespace padflash
