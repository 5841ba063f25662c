#include "update/personality_store.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "session/output.h"
#include "session/session.h"
#include "update/factory_block.h"
#include "update/fletcher.h"

namespace padflash {
namespace {

// Copies of one unit's settings kept in the state folder.
constexpr size_t kCopiesKeptPerUnit = 3;
// Files of unknown unit the user is asked about, newest first.
constexpr size_t kUnknownFilesOffered = 3;
constexpr size_t kMaxRecordBytes = 4096;

constexpr const char* kUnknownFileCaption = "Personality File of Unknown Controller";
constexpr const char* kNoSettingsCaption = "No Saved Factory Settings";

std::string Join(Session& session, const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char separator = session.system.PathSeparator();
  if (folder.back() == '/' || folder.back() == separator) return folder + name;
  return folder + separator + name;
}

std::string NameOf(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

bool ReadRecord(Session& session, const std::string& path, PersonalityRecord& record) {
  std::vector<uint8_t> bytes;
  if (!session.system.ReadFileBytes(RecordPathFor(path), kMaxRecordBytes, bytes)) return false;
  return DecodeRecord(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                      record);
}

bool WriteRecord(Session& session, const std::string& path, const PersonalityRecord& record) {
  const std::string text = EncodeRecord(record);
  return session.system.OverwriteFile(RecordPathFor(path),
                                      reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

bool Newer(const PersonalityCandidate& a, const PersonalityCandidate& b) {
  return std::tie(a.record.sequence, a.date, a.time, a.path) >
         std::tie(b.record.sequence, b.date, b.time, b.path);
}

// Two calibrations recorded under what identifies this unit: the serial is
// shared by several controllers (some makers give all units one), so it
// tells nothing, and the files are the user's to judge.
void DoubtSharedSerials(std::vector<PersonalityCandidate>& list) {
  bool seen = false;
  uint32_t sum = 0;
  bool shared = false;
  for (const PersonalityCandidate& c : list) {
    if (c.match != UnitMatch::kThisUnit || c.record.compTableSize == 0) continue;
    shared = shared || (seen && c.record.compTableSum != sum);
    seen = true;
    sum = c.record.compTableSum;
  }
  if (!shared) return;
  for (PersonalityCandidate& c : list) {
    if (c.match == UnitMatch::kThisUnit) c.match = UnitMatch::kUnknownUnit;
  }
}

std::vector<PersonalityCandidate> List(Session& session, const std::string& folder,
                                       bool stateFolder, bool unitInBootloader) {
  std::vector<PersonalityCandidate> list;
  if (stateFolder && folder.empty()) return list;
  char pattern[32];
  std::snprintf(pattern, sizeof pattern, "%s*.%s", "sf", "mem");
  for (const FoundFile& found : session.system.FindFiles(Join(session, folder, pattern))) {
    if (found.isDirectory) continue;
    PersonalityCandidate c;
    if (std::sscanf(found.name.c_str(), "sf%d_%d.", &c.date, &c.time) != 2) continue;
    c.path = Join(session, folder, found.name);
    // personalityFileName holds 259 characters.
    if (c.path.size() >= kMaxPathChars) continue;
    c.inStateFolder = stateFolder;
    c.hasRecord = ReadRecord(session, c.path, c.record);
    c.match = session.unit.selected ? MatchRecord(c.hasRecord ? &c.record : nullptr,
                                                  session.unit.trail.id, unitInBootloader)
                                    : UnitMatch::kUnknownUnit;
    list.push_back(std::move(c));
  }
  std::stable_sort(list.begin(), list.end(), Newer);
  DoubtSharedSerials(list);
  return list;
}

const PersonalityCandidate* FirstOf(const std::vector<PersonalityCandidate>& list,
                                    UnitMatch match) {
  for (const PersonalityCandidate& c : list) {
    if (c.match == match) return &c;
  }
  return nullptr;
}

// The identity a record of this unit adds to what is known.
void Adopt(UnitIdentity& unit, const UnitIdentity& recorded) {
  if (!IsRealSerial(unit.serial) && IsRealSerial(recorded.serial)) unit.serial = recorded.serial;
  if (!unit.bootloaderSerialKnown && recorded.bootloaderSerialKnown) {
    unit.bootloaderSerialKnown = true;
    unit.bootloaderSerial = recorded.bootloaderSerial;
  }
  if (unit.location.empty()) unit.location = recorded.location;
}

int Choose(Session& session, const PersonalityCandidate& file, bool confirmed) {
  PersonalityChoice& choice = session.personality;
  choice.path = file.path;
  choice.inStateFolder = file.inStateFolder;
  choice.match = file.match;
  choice.confirmed = confirmed;
  choice.hasRecord = file.hasRecord;
  choice.record = file.record;
  if (file.hasRecord && confirmed) Adopt(session.unit.trail.id, file.record.unit);
  session.personalityFileName = file.path;
  return 0;
}

void NameFilesOfOtherUnits(Session& session, const std::vector<PersonalityCandidate>& files) {
  for (const PersonalityCandidate& c : files) {
    if (c.match != UnitMatch::kOtherUnit) continue;
    const std::string& serial = c.record.unit.serial;
    Print(session,
          "Personality file %s was saved from another controller (serial %s); it is kept and "
          "not used\r\n",
          c.path.c_str(), IsRealSerial(serial) ? serial.c_str() : "none");
  }
}

uint32_t NextSequence(Session& session) {
  uint32_t highest = 0;
  for (const PersonalityCandidate& c : List(session, "", false, false)) {
    highest = std::max(highest, c.record.sequence);
  }
  for (const PersonalityCandidate& c :
       List(session, session.system.UserStateFolder(), true, false)) {
    highest = std::max(highest, c.record.sequence);
  }
  return highest + 1;
}

std::string UtcText(const UtcTime& t) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d UTC", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return text;
}

// The record of a page of the selected unit.
PersonalityRecord RecordOfThisUnit(Session& session, uint32_t sequence, const uint8_t* page,
                                   size_t size) {
  PersonalityRecord r;
  r.unit = session.unit.trail.id;
  r.path = Utf8FromWide(session.unit.trail.path);
  r.vendorId = session.unit.trail.vendorId;
  r.productId = session.unit.trail.productId;
  r.versionNumber =
      static_cast<uint16_t>(session.device.chipId << 8 | session.device.firmwareRevision);
  r.saved = UtcText(session.system.NowUtc());
  r.sequence = sequence;
  r.compTableSize = std::min<uint32_t>(session.CompTableSize, static_cast<uint32_t>(size));
  r.compTableSum = Fletcher32(page, r.compTableSize);
  return r;
}

// Writes bytes under the name in the state folder, or the name with "_2" ...
// "_9" before its extension when a file of that name is there already.
std::string WriteStateCopy(Session& session, const std::string& name, const uint8_t* bytes,
                           size_t size) {
  const std::string folder = session.system.UserStateFolder();
  if (folder.empty() || !session.system.MakeFolder(folder)) return {};
  const size_t dot = name.rfind('.');
  for (int n = 1; n <= 9; ++n) {
    std::string candidate = name;
    if (n > 1)
      candidate.insert(dot == std::string::npos ? name.size() : dot, "_" + std::to_string(n));
    const std::string path = Join(session, folder, candidate);
    if (session.system.FileExists(path)) continue;
    return session.system.CreateNewFile(path, bytes, size) ? path : std::string();
  }
  return {};
}

size_t BlockLength(const Session& session) {
  const size_t length = static_cast<size_t>(std::max(session.factoryEnd, 0));
  return std::min(length, session.factoryBlock.size());
}

// A copy of this unit's restored settings stays in the state folder.
void EnsureStateCopy(Session& session, const std::string& workingFile) {
  // A file saved by this session had its copy made then (or tried).
  if (workingFile == session.personality.saved || session.personality.inStateFolder) return;
  std::vector<uint8_t> bytes;
  if (!session.system.ReadFileBytes(workingFile, kFactoryPageSize, bytes)) return;
  const std::string copy = WriteStateCopy(session, workingFile, bytes.data(), bytes.size());
  if (copy.empty()) {
    Print(session, "WARNING - Could not keep a copy of %s in %s\r\n", workingFile.c_str(),
          session.system.UserStateFolder().c_str());
    return;
  }
  WriteRecord(session, copy,
              RecordOfThisUnit(session, NextSequence(session), bytes.data(), bytes.size()));
  session.personality.savedCopy = copy;
}

// Records in the state folder of the unit that runs now, newest first; the
// copies past the newest few go.
void PruneStateCopies(Session& session) {
  const uint32_t compTableSum =
      Fletcher32(session.factoryBlock.data(), std::min<uint32_t>(session.CompTableSize, 1024));
  size_t kept = 0;
  for (const PersonalityCandidate& c :
       List(session, session.system.UserStateFolder(), true, false)) {
    const bool identified = IsRealSerial(c.record.unit.serial) || !c.record.unit.location.empty();
    const bool same = c.match == UnitMatch::kThisUnit ||
                      (c.hasRecord && !identified && c.record.compTableSum == compTableSum);
    if (!same || ++kept <= kCopiesKeptPerUnit) continue;
    if (session.system.RemoveFile(c.path)) session.system.RemoveFile(RecordPathFor(c.path));
  }
}

}  // namespace

std::vector<PersonalityCandidate> ListPersonalityFiles(Session& session, const std::string& folder,
                                                       bool stateFolder) {
  return List(session, folder, stateFolder, session.bootloaderMode);
}

std::vector<std::string> SearchedFolders(Session& session) {
  std::vector<std::string> folders;
  const std::string working = session.system.CurrentFolder();
  folders.push_back(working.empty() ? std::string(".") : working);
  const std::string state = session.system.UserStateFolder();
  if (!state.empty()) folders.push_back(state);
  return folders;
}

int ChoosePersonalityFile(Session& session) {
  session.personality = PersonalityChoice{};
  PersonalityChoice& choice = session.personality;
  choice.made = true;
  choice.searched = SearchedFolders(session);
  const bool inBootloader = session.bootloaderMode;

  const std::vector<PersonalityCandidate> working = List(session, "", false, inBootloader);
  NameFilesOfOtherUnits(session, working);
  if (const PersonalityCandidate* own = FirstOf(working, UnitMatch::kThisUnit)) {
    return Choose(session, *own, true);
  }
  // A running controller is read; a file of unknown unit is compared with
  // its page in the session.
  if (!inBootloader) {
    const PersonalityCandidate* unknown = FirstOf(working, UnitMatch::kUnknownUnit);
    return unknown != nullptr ? Choose(session, *unknown, false) : -1;
  }
  const std::vector<PersonalityCandidate> saved =
      List(session, session.system.UserStateFolder(), true, inBootloader);
  if (const PersonalityCandidate* own = FirstOf(saved, UnitMatch::kThisUnit)) {
    return Choose(session, *own, true);
  }
  // The copy in the state folder of a file already offered is not offered
  // again.
  std::vector<std::string> offered;
  for (const std::vector<PersonalityCandidate>* files : {&working, &saved}) {
    for (const PersonalityCandidate& c : *files) {
      const std::string name = NameOf(c.path);
      if (c.match != UnitMatch::kUnknownUnit || offered.size() >= kUnknownFilesOffered ||
          std::find(offered.begin(), offered.end(), name) != offered.end()) {
        continue;
      }
      offered.push_back(name);
      if (AskToUseUnknownFile(session, c)) return Choose(session, c, true);
    }
  }
  return -1;
}

void AdoptRecordedIdentity(Session& session) {
  const bool inBootloader = session.unit.trail.vendorId == kBootloaderVendorId &&
                            session.unit.trail.productId == kBootloaderProductId;
  const std::vector<PersonalityCandidate> saved =
      List(session, session.system.UserStateFolder(), true, inBootloader);
  if (const PersonalityCandidate* own = FirstOf(saved, UnitMatch::kThisUnit)) {
    Adopt(session.unit.trail.id, own->record.unit);
  }
}

int ChooseSavedSettings(Session& session) {
  // The unit runs (its page was read) or answers as its bootloader.
  const bool inBootloader = session.bootloaderMode;
  const std::vector<PersonalityCandidate> saved =
      List(session, session.system.UserStateFolder(), true, inBootloader);
  session.personality.made = true;
  if (const PersonalityCandidate* own = FirstOf(saved, UnitMatch::kThisUnit)) {
    return Choose(session, *own, true);
  }
  size_t offered = 0;
  for (const PersonalityCandidate& c : saved) {
    if (c.match != UnitMatch::kUnknownUnit || NameOf(c.path) == NameOf(session.personality.path) ||
        offered >= kUnknownFilesOffered) {
      continue;
    }
    ++offered;
    if (AskToUseUnknownFile(session, c)) return Choose(session, c, true);
  }
  return -1;
}

int ChooseOwnWorkingFile(Session& session) {
  session.personality.made = true;
  const std::vector<PersonalityCandidate> working =
      List(session, "", false, session.bootloaderMode);
  const PersonalityCandidate* own = FirstOf(working, UnitMatch::kThisUnit);
  return own != nullptr ? Choose(session, *own, true) : -1;
}

void SaveCopiesAndRecords(Session& session) {
  const std::string& name = session.personalityFileName;
  const PersonalityRecord record = RecordOfThisUnit(
      session, NextSequence(session), session.factoryBlock.data(), BlockLength(session));
  session.personality.saved = name;
  session.personality.savedCopy.clear();
  if (!WriteRecord(session, name, record)) {
    Print(session, "WARNING - Could not write the unit record of %s\r\n", name.c_str());
  }
  const std::string copy =
      WriteStateCopy(session, name, session.factoryBlock.data(), BlockLength(session));
  if (copy.empty() || !WriteRecord(session, copy, record)) {
    Print(session, "WARNING - Could not keep a copy of %s in %s\r\n", name.c_str(),
          session.system.UserStateFolder().c_str());
    return;
  }
  session.personality.savedCopy = copy;
}

void UpdateSavedRecords(Session& session) {
  const PersonalityChoice& choice = session.personality;
  std::vector<std::string> files = {choice.saved, choice.savedCopy};
  if (choice.confirmed) files.push_back(choice.path);
  for (const std::string& file : files) {
    PersonalityRecord record;
    if (file.empty() || !ReadRecord(session, file, record)) continue;
    Adopt(record.unit, session.unit.trail.id);
    WriteRecord(session, file, record);
  }
}

std::string SetPersonalityFileAside(Session& session, const std::string& path,
                                    const std::string& suffix) {
  if (path.empty() || !session.system.FileExists(path)) return {};
  for (int n = 1; n <= 9; ++n) {
    const std::string to = path + suffix + (n > 1 ? std::to_string(n) : std::string());
    if (session.system.FileExists(to) || !session.system.RenameFile(path, to)) continue;
    session.system.RenameFile(RecordPathFor(path), RecordPathFor(to));
    return to;
  }
  return {};
}

void RetirePersonalityFile(Session& session) {
  const std::string name = session.personalityFileName;
  const PersonalityChoice& choice = session.personality;
  const bool ours =
      !name.empty() && (name == choice.saved || (name == choice.path && choice.confirmed));
  if (!ours) {
    if (session.system.FileExists(name)) {
      Print(session, "Keeping personality file %s: it is not known to be this controller's\r\n",
            name.c_str());
    }
    return;
  }
  if (name == choice.path && choice.inStateFolder) {
    Print(session, "Keeping the saved factory settings of this controller: %s\r\n", name.c_str());
    UpdateSavedRecords(session);
    PruneStateCopies(session);
    return;
  }
  EnsureStateCopy(session, name);
  UpdateSavedRecords(session);
  Print(session, "Deleting temp config file: %s\r\n", name.c_str());
  if (session.system.RemoveFile(name)) {
    session.system.RemoveFile(RecordPathFor(name));
  } else {
    PrintStatus(session, "ERROR - Could not delete temp config file: %s\r\n", name.c_str());
  }
  Print(session, "Done\r\n");
  PruneStateCopies(session);
}

bool AskToUseUnknownFile(Session& session, const PersonalityCandidate& file) {
  const std::string date = DateOfPersonalityFile(file.path);
  const std::string& serial = file.record.unit.serial;
  const std::string from =
      IsRealSerial(serial) ? " from a controller with serial " + serial : std::string();
  FormatText(session,
             "The personality file %s (saved %s%s) may hold the factory settings of another "
             "controller: nothing tells which controller it was saved from. Use it for this "
             "controller? \r\n\tY-use it on this device\r\n\tN-don't use it; the file is kept",
             file.path.c_str(), date.empty() ? "at an unknown time" : date.c_str(), from.c_str());
  const bool yes =
      session.window.ShowMessageBox(session.MessageBuffer, kUnknownFileCaption,
                                    MessageButtons::kYesNo, true) == MessageAnswer::kYes;
  Print(session,
        yes ? "Using personality file %s for this controller\r\n"
            : "Personality file %s is kept and not used\r\n",
        file.path.c_str());
  return yes;
}

bool AskToProgramDefaults(Session& session) {
  const std::vector<std::string> folders = SearchedFolders(session);
  std::string list;
  for (const std::string& folder : folders) list += "\r\n\t" + folder;
  PrintStatus(session, "No personality file of this controller was found in:%s\r\n", list.c_str());
  FormatText(session,
             "No personality file of this controller was found in:%s\r\nIts factory calibration "
             "cannot be restored: the firmware's default settings would replace it. Program the "
             "firmware's defaults? \r\n\tY-program the defaults\r\n\tN-stop; nothing is written",
             list.c_str());
  const bool yes =
      session.window.ShowMessageBox(session.MessageBuffer, kNoSettingsCaption,
                                    MessageButtons::kYesNo, true) == MessageAnswer::kYes;
  Print(session, yes ? "Programming the firmware's default settings\r\n"
                     : "Stopped: nothing was written to the controller\r\n");
  return yes;
}

}  // namespace padflash
