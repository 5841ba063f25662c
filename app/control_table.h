// The controls of the main dialog (template 129) and of the About box
// (template 104): kind, id, text, position in dialog units and whether they
// are visible when the dialog is created. Free of any toolkit: the Qt dialog
// builds its widgets from these tables, and the Windows dialog's tests check
// the running dialog of resources/padflash.rc against them.
#pragma once

#include "platform/window_port.h"

namespace padflash {

enum class ControlKind {
  kDropDownList,       // combo box with a drop-down list, no edit field
  kPushButton,         //
  kDefaultPushButton,  //
  kFileNameEdit,       // single line, read-only, border; accepts dropped files
  kReadOnlyMultiLine,  // multi-line edit, border, no scroll bar
  kVerbosePane,        // multi-line edit, border, vertical scroll bar, follows the end
  kStatic,             // left-aligned text, word-wrapped
  kStatusStatic,       // left-aligned text on one line, vertically centred
  kSmoothProgress,     // progress bar, smooth, border
  kMarqueeProgress,    // progress bar, marquee style
  kBitmap,             // picture, sized to the picture
};

// A rectangle in dialog units: x in quarters of the dialog font's average
// character width, y in eighths of its height.
struct DialogRect {
  int x = 0, y = 0, width = 0, height = 0;
};

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char* text;
  DialogRect rect;
  bool visible;
};

// Client size of the main dialog; the verbose pane lies just below it.
inline constexpr DialogRect kMainDialogRect{0, 0, 337, 250};

inline constexpr ControlTemplate kMainDialogControls[] = {
    {kIdDeviceCombo, ControlKind::kDropDownList, "", {19, 5, 252, 144}, true},
    {kIdRefresh, ControlKind::kDefaultPushButton, "Refresh", {275, 4, 42, 14}, true},
    {kIdDeviceInfo, ControlKind::kReadOnlyMultiLine, "", {19, 22, 298, 37}, true},
    {kIdFilePath, ControlKind::kFileNameEdit, "", {19, 65, 247, 14}, true},
    {kIdBrowse, ControlKind::kPushButton, "Browse", {270, 65, 50, 14}, true},
    {kIdCurrentFw, ControlKind::kStatic, "", {32, 87, 124, 65}, true},
    {kIdNewFw, ControlKind::kStatic, "", {178, 87, 124, 65}, true},
    {kIdExecute, ControlKind::kPushButton, "Execute", {132, 157, 72, 16}, false},
    {kIdStatus, ControlKind::kStatusStatic, "Status:", {43, 175, 247, 18}, true},
    {kIdProgress, ControlKind::kSmoothProgress, "", {43, 195, 249, 14}, false},
    {kIdMarquee, ControlKind::kMarqueeProgress, "", {43, 195, 249, 14}, false},
    {kIdMore, ControlKind::kPushButton, "v more v", {9, 231, 50, 14}, false},
    {kIdAbout, ControlKind::kPushButton, "About", {276, 231, 50, 14}, true},
    {kIdExit, ControlKind::kPushButton, "Exit", {276, 231, 50, 14}, false},
    {kIdVerbose, ControlKind::kVerbosePane, "", {13, 250, 304, 80}, false},
};

inline constexpr int kIdAboutBitmap = 131;
inline constexpr int kIdAboutOk = 1;

inline constexpr DialogRect kAboutBoxRect{0, 0, 289, 181};

inline constexpr ControlTemplate kAboutBoxControls[] = {
    {kIdAboutBitmap, ControlKind::kBitmap, "", {202, 106, 15, 13}, true},
    {kIdAboutText, ControlKind::kStatic, "", {10, 8, 267, 90}, true},
    {kIdAboutUsage, ControlKind::kStatic, "", {10, 97, 188, 77}, true},
    {kIdAboutOk, ControlKind::kDefaultPushButton, "OK", {232, 160, 50, 14}, true},
};

inline constexpr const char* kAboutBoxCaption = "About Velmar Firmware Update Tool";

}  // namespace padflash
