#include "update/package_library.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "firmware/device_identity.h"
#include "firmware/package_library_abi.h"
#include "firmware/package_text.h"
#include "platform/system_port.h"
#include "session/output.h"
#include "session/session.h"

namespace padflash {

namespace {

constexpr int kCannotOpenLibrary = 11;
constexpr int kMissingFunction = 12;

// Looks up one export right before it is called. A missing one is reported
// on standard output with the platform's last error.
template <typename Fn>
Fn Lookup(Session& session, LoadedLibrary& library, const char* name) {
  void* address = library.Symbol(name);
  if (address == nullptr) {
    FormatText(session, "\tERROR - Could not find %s %d\n", name, session.system.LastError());
    session.system.WriteStdout(session.MessageBuffer);
    session.UpdateResult = kMissingFunction;
  }
  return reinterpret_cast<Fn>(address);
}

void ReportTooLarge(Session& session, const char* name, int size) {
  FormatText(session, "\tERROR - %s answered with %d, more than a package may hold\n", name, size);
  session.system.WriteStdout(session.MessageBuffer);
}

void ReadCompatibleIds(Session& session, ffudll_GetCompatibleFirmIDsFn function,
                       DeviceIdentity& candidate) {
  candidate.compatibleFirmwareIds.clear();
  int count = 0;
  function(&count, nullptr);
  if (count > kMaxCompatibleIds) {
    ReportTooLarge(session, kFfuGetCompatibleFirmIDs, count);
    return;
  }
  std::vector<uint16_t> ids(count > 0 ? static_cast<size_t>(count) : 0);
  int requested = count;
  function(&requested, ids.empty() ? nullptr : ids.data());
  candidate.compatibleFirmwareIds.assign(ids.begin(), ids.end());
}

// The two-call text protocol. The text ends at its terminator or at the end
// of the buffer, whichever comes first: a library that fills the whole
// buffer is not read past it.
template <typename Fn>
void ReadText(Session& session, Fn function, const char* name, void* module,
              std::deque<std::string>& lines) {
  int size = 0;
  function(&size, nullptr, module);
  if (size <= 0) return;
  if (size > kMaxPackageTextBytes) {
    ReportTooLarge(session, name, size);
    return;
  }
  std::vector<char> buffer(static_cast<size_t>(size), '\0');
  int requested = size;
  function(&requested, buffer.data(), nullptr);
  const auto end = std::find(buffer.begin(), buffer.begin() + size, '\0');
  lines =
      SplitPackageText(std::string_view(buffer.data(), static_cast<size_t>(end - buffer.begin())));
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int LoadPackageLibrary(Session& session, const std::string& path, DeviceIdentity& candidate) {
  std::unique_ptr<LoadedLibrary> library = session.system.OpenLibrary(path);
  if (!library) {
    session.UpdateResult = kCannotOpenLibrary;
    session.system.WriteStdout("\tERROR - Could not open dll\n");
    return kCannotOpenLibrary;
  }
  // The text functions receive the library's module handle on their size
  // query: a package may find its own resources through it.
  void* module = library->Handle();

  auto getHid = Lookup<ffudll_GetHIDDeviceInfoFn>(session, *library, kFfuGetHIDDeviceInfo);
  if (getHid == nullptr) return kMissingFunction;
  getHid(&candidate.vendorId, &candidate.productId);

  auto getI2c = Lookup<ffudll_GetI2CDeviceInfoFn>(session, *library, kFfuGetI2CDeviceInfo);
  if (getI2c == nullptr) return kMissingFunction;
  uint8_t isI2C = candidate.isI2C;
  getI2c(&isI2C, &candidate.i2cAddress, &candidate.hidDescriptorAddress, &candidate.reportId);
  candidate.isI2C = isI2C != 0 ? 1 : 0;
  candidate.bootloaderI2cAddress = candidate.i2cAddress;
  candidate.bootloaderHidDescriptorAddress = candidate.hidDescriptorAddress;

  auto getInfo = Lookup<ffudll_GetFirmwareInfoFn>(session, *library, kFfuGetFirmwareInfo);
  if (getInfo == nullptr) return kMissingFunction;
  getInfo(&candidate.chipId, &candidate.firmwareRevision);

  auto getIds = Lookup<ffudll_GetCompatibleFirmIDsFn>(session, *library, kFfuGetCompatibleFirmIDs);
  if (getIds == nullptr) return kMissingFunction;
  ReadCompatibleIds(session, getIds, candidate);

  auto getFirmware = Lookup<ffudll_GetFirmwareFn>(session, *library, kFfuGetFirmware);
  if (getFirmware == nullptr) return kMissingFunction;
  ReadText(session, getFirmware, kFfuGetFirmware, module, candidate.firmwareLines);

  auto getConfig =
      Lookup<ffudll_GetConfigInstructionsFn>(session, *library, kFfuGetConfigInstructions);
  if (getConfig == nullptr) return kMissingFunction;
  ReadText(session, getConfig, kFfuGetConfigInstructions, module, candidate.configLines);

  candidate.name = BaseName(path);
  candidate.fromPackage = 1;
  candidate.fromHexFile = 0;
  candidate.fromDevice = 0;
  return 0;
}

}  // namespace padflash
