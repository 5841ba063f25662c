// Where personality files are kept and found, and which one belongs to the
// selected controller.
//
// A personality file is written in the working folder under its
// "sf" + UTC date and time + ".mem" name, with a copy in the per-user state
// folder (SystemPort::UserStateFolder), each with its unit record
// (personality_record.h). A file is used only for its own unit: files of
// other units are never used and never deleted; a file whose unit cannot be
// known is used only when the user says so. After a verified update the
// working folder's file goes and the copy in the state folder stays, the
// unit's last good calibration (the newest few per unit), used only for that
// unit and only when the controller itself holds none.
#pragma once

#include <string>
#include <vector>

#include "session/personality_record.h"

namespace padflash {

struct Session;

struct PersonalityCandidate {
  std::string path;  // the name in the working folder, the full path in the state folder
  bool inStateFolder = false;
  bool hasRecord = false;
  PersonalityRecord record;
  UnitMatch match = UnitMatch::kUnknownUnit;
  int date = 0, time = 0;  // from the name
};

// The personality files of a folder ("" for the working folder) with their
// records, matched against the selected unit as it answers now; newest
// first (by the records' sequence, then by the date and time in the name).
std::vector<PersonalityCandidate> ListPersonalityFiles(Session& session, const std::string& folder,
                                                       bool stateFolder);

// The preparation's choice for the selected unit: a file of this unit in
// the working folder; for a controller in its bootloader, then its copy in
// the state folder, then a file whose unit cannot be known, which the user
// is asked about (naming the file and its date). For a running controller a
// file of unknown unit is taken as found: the session compares it with the
// controller's own page. 0 when chosen (personalityFileName set), -1 when
// there is none; files of other units are named and left alone.
int ChoosePersonalityFile(Session& session);

// What the state folder's records know of the selected unit (its
// bootloader's serial, say), taken into session.unit where it knows less.
void AdoptRecordedIdentity(Session& session);

// For a controller that holds no calibration (its page erased, or its
// chosen file unusable): its copy in the state folder, else a copy there
// whose unit cannot be known, which the user is asked about. 0 when chosen.
int ChooseSavedSettings(Session& session);

// The prototype update (/r): the newest file of this controller in the
// working folder, the only one /r may drop. 0 when there is one.
int ChooseOwnWorkingFile(Session& session);

// Writes the unit records beside the file this session saved, and the copy
// in the state folder with its record. Failures of the copy are printed as
// a warning; the file in the working folder is what the update relies on.
void SaveCopiesAndRecords(Session& session);

// Rewrites the records of this session's files with what is known of the
// unit now (a bootloader seen for the first time).
void UpdateSavedRecords(Session& session);

// Renames a personality file and its record aside (name + suffix, with a
// number when that is taken). The new name, or empty when it stays.
std::string SetPersonalityFileAside(Session& session, const std::string& path,
                                    const std::string& suffix);

// After the new firmware read back the restored page: the working folder's
// file of this unit is deleted (its copy stays in the state folder, which
// keeps the newest few per unit). A file of another or an unknown unit is
// never deleted; a failed delete is printed.
void RetirePersonalityFile(Session& session);

// The questions. Yes to use a file whose unit cannot be known; yes to
// program a controller with the firmware's default settings when no saved
// settings were found (the message names the folders searched).
bool AskToUseUnknownFile(Session& session, const PersonalityCandidate& file);
bool AskToProgramDefaults(Session& session);

// The folders searched, as the messages and the report name them.
std::vector<std::string> SearchedFolders(Session& session);

}  // namespace padflash
