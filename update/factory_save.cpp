// The save step of the update session: FeedConfig1, then the factory page,
// read from the running controller and saved as a personality file, or
// loaded from the personality file chosen for the controller; and the /r
// switch.
//
// A running controller's own page always wins over a file unless it holds
// no calibration (its comp table erased): a file is never written into a
// controller that has settings of its own that differ from it, unless the
// file is known to be that controller's and the user says so.
#include <algorithm>
#include <array>
#include <vector>

#include "session/output.h"
#include "session/session.h"
#include "update/factory_block.h"
#include "update/factory_config.h"
#include "update/memory_transfer.h"
#include "update/personality_file.h"
#include "update/personality_store.h"
#include "update/report_frame.h"

namespace padflash {
namespace {

constexpr int kResultUpdateDeclined = 1;
constexpr int kResultCannotReadMemory = 6;
constexpr int kResultCannotReadFile = 10;
constexpr int kResultCannotSave = 19;

constexpr const char* kDifferingCaption = "Saved Factory Settings Differ";

using Page = std::array<uint8_t, kFactoryPageSize>;

bool Fail(Session& session, int result) {
  session.UpdateResult = result;
  session.retryAdvised = true;
  return false;
}

bool ReadFeedConfig1(Session& session) {
  Print(session, "Getting current FeedConfig1...\r\n");
  if (BL_ReadMemory(session, kFeedConfig1Address, 1, &session.savedFeedConfig1) != 0) {
    Print(session, "\nERROR - Cannot read memory location\r\n");
    return Fail(session, kResultCannotReadMemory);
  }
  Print(session, "Done\r\n");
  return true;
}

// The running controller's factory page, read into the session's block.
bool ReadOwnPage(Session& session) {
  PrintStatus(session, "Getting Device Factory Settings...\r\n");
  if (BL_ReadMemory(session, kFactoryPageAddress - session.AccessOffset, kFactoryPageSize,
                    session.factoryBlock.data()) != 0) {
    Print(session, "\nERROR - Cannot read memory location\r\n");
    return Fail(session, kResultCannotReadMemory);
  }
  Print(session, "Done\r\n");
  return true;
}

// A comp table of erased flash (all 0xFF, or all 0x00) is no calibration:
// the controller was programmed without its settings.
bool HoldsCalibration(const Session& session) {
  const uint32_t t = session.CompTableSize;
  const uint8_t* block = session.factoryBlock.data();
  if (!FactoryLayoutFits(t) || t == 0 || !IsFactoryBlockValid(block, kFactoryPageSize, t)) {
    return false;
  }
  const bool allOnes = std::all_of(block, block + t, [](uint8_t b) { return b == 0xFF; });
  const bool allZeros = std::all_of(block, block + t, [](uint8_t b) { return b == 0x00; });
  return !allOnes && !allZeros;
}

// Copies the new firmware's identity fields from the image into the block.
bool CopyImageIdentity(Session& session) {
  const uint32_t config = ImageConfigAddress(session.firmware.isI2C != 0);
  uint8_t* structure = session.factoryBlock.data() + session.CompTableSize;
  struct Field {
    uint32_t offset;
    int count;
  };
  for (const Field f : {Field{kConfigChipId, 2}, Field{kConfigWord2, 2},
                        Field{kConfigIdentityIds, 9}, Field{kConfigByte28, 1}}) {
    if (session.image->ReadBytes(config + f.offset, structure + f.offset, f.count) != 0) {
      Print(session, "\nERROR - Cannot read hexfile address location\r\n");
      return Fail(session, kResultCannotReadFile);
    }
  }
  return true;
}

// The block holds the page as read (nothing of it in a bootloader): merge
// the image's identity, find its end, save it as a personality file.
bool SaveBlock(Session& session) {
  const uint32_t t = session.CompTableSize;
  // A comp table that leaves no room for the structure cannot be saved.
  if (FactoryLayoutFits(t)) {
    if (!CopyImageIdentity(session)) return false;
    const int marker = FindEndMarker(session.factoryBlock.data(), kFactoryPageSize, t);
    session.factoryEnd = marker < 0 ? static_cast<int>(kFactoryPageSize) : marker + 2;
    if (marker < 0) {
      Print(session,
            "\nit appears we got to the end of the FactoryConfig and didn't find any Sentinals: "
            "DEFC\r\n");
    }
    if (!session.bootloaderMode) {
      PutLe32(session.factoryBlock.data() + t + kConfigAccessOffset, session.AccessOffset);
    }
  }
  Print(session, "Saving Factory Config TempFile: %s\r\n", session.personalityFileName.c_str());
  if (!FactoryLayoutFits(t) || SavePersonalityFile(session) != 0) {
    Print(session, "ERROR - Could not save temp factory config file: %s\r\n",
          session.personalityFileName.c_str());
    Print(session, "ERROR - attempted output file is all zeros: %s\r\n",
          session.personalityFileName.c_str());
    return Fail(session, kResultCannotSave);
  }
  SaveCopiesAndRecords(session);
  PrintStatus(session, "Saved config to file : %s\r\n", session.personalityFileName.c_str());
  session.usePersonalityFile = true;
  return true;
}

void LoadFromFile(Session& session) {
  session.factoryEnd = LoadPersonalityFile(session);
  if (session.factoryEnd < 1) {
    Print(session, "Invalid Personality File: %s\r\n", session.personalityFileName.c_str());
    session.preserveFactoryConfig = false;
    session.usePersonalityFile = false;
    // A broken file may still hold a calibration that can be pieced
    // together by hand: it is set aside, not deleted.
    const std::string aside = SetPersonalityFileAside(session, session.personalityFileName, ".bad");
    if (!aside.empty()) {
      Print(session, "Setting the corrupt Personality File aside as: %s\r\n", aside.c_str());
      session.personality.path.clear();
    }
    return;
  }
  PrintStatus(session, "Opened Factory File: %s\r\n", session.personalityFileName.c_str());
  if (!session.bootloaderMode) {
    session.AccessOffset = BlockU32(session.factoryBlock.data(), kFactoryPageSize,
                                    size_t{session.CompTableSize} + kConfigAccessOffset);
  }
  session.usePersonalityFile = true;
}

// The controller holds no calibration of its own (its page is in the
// block): its settings from an earlier update on this computer, or a file
// the user takes, or the user's word that the defaults may be programmed.
bool WithoutOwnCalibration(Session& session) {
  const Page own = session.factoryBlock;
  const int ownEnd = session.factoryEnd;
  Print(session, "The controller holds no factory calibration of its own\r\n");
  if (ChooseSavedSettings(session) == 0) {
    PrintStatus(session, "Found Personality File: %s\r\n", session.personalityFileName.c_str());
    LoadFromFile(session);
    if (session.usePersonalityFile) return true;
    session.factoryBlock = own;
    session.factoryEnd = ownEnd;
  }
  // An invalid page ends the session as it always did: nothing is saved.
  if (IsFactoryBlockValid(own.data(), kFactoryPageSize, session.CompTableSize) &&
      !AskToProgramDefaults(session)) {
    session.UpdateResult = kResultUpdateDeclined;
    return false;
  }
  return SaveBlock(session);
}

// A controller in its bootloader whose chosen file turned out unusable: its
// copy in the state folder, or the user's word that the defaults may be
// programmed.
bool WithoutUsableFile(Session& session) {
  if (ChooseSavedSettings(session) == 0) {
    PrintStatus(session, "Found Personality File: %s\r\n", session.personalityFileName.c_str());
    LoadFromFile(session);
    if (session.usePersonalityFile) return true;
  }
  if (AskToProgramDefaults(session)) return true;
  session.UpdateResult = kResultUpdateDeclined;
  return false;
}

// Reads the running controller and saves its page.
bool SaveFromDevice(Session& session) {
  if (!session.bootloaderMode) {
    if (!ReadOwnPage(session)) return false;
    if (session.config.saveFlashConfig && !HoldsCalibration(session)) {
      return WithoutOwnCalibration(session);
    }
  }
  return SaveBlock(session);
}

bool AskToUseDifferingFile(Session& session) {
  const std::string date = DateOfPersonalityFile(session.personalityFileName);
  FormatText(session,
             "The factory settings of this controller differ from those saved for it in %s (%s). "
             "Write the saved settings into it? \r\n\tY-use the saved settings\r\n\tN-keep the "
             "controller's own settings; the file is kept",
             session.personalityFileName.c_str(), date.empty() ? "date unknown" : date.c_str());
  return session.window.ShowMessageBox(session.MessageBuffer, kDifferingCaption,
                                       MessageButtons::kYesNo, true) == MessageAnswer::kYes;
}

// The chosen file read whole into `block`; false (printed, set aside) when
// it holds no valid page.
bool ReadChosenFile(Session& session, Page& block) {
  std::vector<uint8_t> bytes;
  const bool read =
      LocatePersonalityFile(session) == 0 &&
      session.system.ReadFileBytes(session.personalityFileName, kFactoryPageSize, bytes);
  block.fill(0);
  std::copy(bytes.begin(), bytes.begin() + std::min(bytes.size(), block.size()), block.begin());
  if (read && IsFactoryBlockValid(block.data(), block.size(), session.CompTableSize)) return true;
  Print(session, "Invalid Personality File: %s\r\n", session.personalityFileName.c_str());
  const std::string aside = SetPersonalityFileAside(session, session.personalityFileName, ".bad");
  if (!aside.empty()) {
    Print(session, "Setting the corrupt Personality File aside as: %s\r\n", aside.c_str());
  }
  return false;
}

// A running controller for which the preparation found a personality file:
// its own page is read too, and decides.
bool UseFileOrOwnPage(Session& session) {
  Page file{};
  const bool valid = ReadChosenFile(session, file);
  if (!ReadOwnPage(session)) return false;
  const uint32_t t = std::min<uint32_t>(session.CompTableSize, kFactoryPageSize);
  const bool sameTable =
      valid && std::equal(file.begin(), file.begin() + t, session.factoryBlock.begin());

  bool useFile = false;
  if (valid && HoldsCalibration(session)) {
    useFile = sameTable || (session.personality.confirmed && AskToUseDifferingFile(session));
    if (!useFile) {
      Print(session,
            "The controller holds factory settings of its own that differ from %s; they are "
            "used and the file is kept\r\n",
            session.personalityFileName.c_str());
    }
  } else if (valid) {
    useFile = session.personality.confirmed;
    if (!useFile) {
      PersonalityCandidate candidate;
      candidate.path = session.personality.path;
      candidate.hasRecord = session.personality.hasRecord;
      candidate.record = session.personality.record;
      useFile = AskToUseUnknownFile(session, candidate);
    }
  }
  if (useFile) {
    if (sameTable) session.personality.confirmed = true;
    const Page own = session.factoryBlock;
    LoadFromFile(session);
    if (session.usePersonalityFile) return true;
    session.factoryBlock = own;
  }
  // The controller's own page is saved and restored instead.
  session.personality.path.clear();
  session.readConfigFromDevice = true;
  session.preserveFactoryConfig = true;
  if (!HoldsCalibration(session)) return WithoutOwnCalibration(session);
  return SaveBlock(session);
}

}  // namespace

void ApplySaveSwitch(Session& session) {
  if (session.config.saveFlashConfig) return;
  session.usePersonalityFile = false;
  PrintStatus(session, "Ignoring personality for prototype update: %s\r\n",
              session.personalityFileName.c_str());
  // Only a file of this controller goes; one of another or an unknown
  // controller stays where it is.
  if (session.personality.confirmed && session.personalityFileName == session.personality.path &&
      !session.personality.inStateFolder) {
    session.system.RemoveFile(session.personalityFileName);
    session.system.RemoveFile(RecordPathFor(session.personalityFileName));
  }
}

bool SaveFactoryConfig(Session& session) {
  Print(session, "Beginning Update: \r\n");
  if (session.usePersonalityFile || session.readConfigFromDevice ||
      session.config.saveFlashConfig) {
    if (!session.bootloaderMode && !ReadFeedConfig1(session)) return false;
    if (session.readConfigFromDevice && session.config.saveFlashConfig) {
      if (!SaveFromDevice(session)) return false;
    } else if (!session.bootloaderMode && session.config.saveFlashConfig) {
      if (!UseFileOrOwnPage(session)) return false;
    } else {
      // A prototype update (/r) looks only at files of this controller.
      if (!session.config.saveFlashConfig && !session.personality.made) {
        ChooseOwnWorkingFile(session);
      }
      LoadFromFile(session);
      if (session.bootloaderMode && session.config.saveFlashConfig && !session.usePersonalityFile &&
          !WithoutUsableFile(session)) {
        return false;
      }
    }
  }
  ApplySaveSwitch(session);
  return true;
}

}  // namespace padflash
