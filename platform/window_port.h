// What the engine asks of the main window. Controls are addressed by the
// dialog's control ids, so engine code reads like the dialog it drives:
// set the text of 1014, show 1004, step 1001.
//
// Every call may come from the update worker thread. An implementation
// delivers it to the UI thread and waits until it has been applied (Win32
// SendMessage, Qt BlockingQueuedConnection, console: a mutex).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace padflash {

// Control ids of the main dialog (template 129) and the About box (104).
enum ControlId : int {
  kIdExit = 1,            // "Exit" push button (also IDOK)
  kIdCancel = 2,          // Cancel, also sent when the window is closed
  kIdAbout = 105,         // "About" push button
  kIdDeviceCombo = 1000,  // device list combo box
  kIdProgress = 1001,     // determinate progress bar
  kIdBrowse = 1002,       // "Browse" push button
  kIdFilePath = 1003,     // firmware path edit box
  kIdExecute = 1004,      // "Execute" push button
  kIdRefresh = 1005,      // "Refresh" push button
  kIdMarquee = 1007,      // marquee progress bar
  kIdDeviceInfo = 1009,   // device details edit box
  kIdMore = 1010,         // "v more v" / "^ less ^" button
  kIdStatus = 1011,       // status line static
  kIdVerbose = 1013,      // verbose output pane
  kIdCurrentFw = 1014,    // current firmware static
  kIdNewFw = 1015,        // new firmware static
  kIdAboutText = 1016,    // About box text static
  kIdAboutUsage = 1018,   // About box usage static
};

enum class MessageButtons { kOk, kYesNo };
enum class MessageAnswer { kOk, kYes, kNo };

class WindowPort {
 public:
  virtual ~WindowPort() = default;

  // Text controls. AppendText moves the selection of a multi-line edit to the
  // end of its text and replaces it with `text` (the verbose pane's printing).
  virtual void AppendText(int control, std::string_view text) = 0;
  virtual void SetText(int control, std::string_view text) = 0;
  virtual std::string GetText(int control) = 0;

  virtual void Show(int control, bool visible) = 0;
  virtual bool IsVisible(int control) = 0;
  virtual void Enable(int control, bool enabled) = 0;

  // Progress bars (1001 smooth, 1007 marquee).
  virtual void SetProgressRange(int control, int low, int high) = 0;
  virtual void SetProgressPos(int control, int pos) = 0;
  virtual void SetProgressStep(int control, int step) = 0;
  virtual void StepProgress(int control) = 0;
  // A Win32 COLORREF value: 0x00BBGGRR.
  virtual void SetProgressBarColor(int control, uint32_t colorRef) = 0;
  // Marquee animation on (default interval) or off.
  virtual void SetMarquee(int control, bool on) = 0;

  // Multi-line edit housekeeping (the verbose pane).
  virtual int GetLineCount(int control) = 0;
  virtual void DeleteLeadingChars(int control, int count) = 0;

  // Combo box (the device list).
  virtual void ComboClear(int control) = 0;
  virtual void ComboAddItem(int control, std::string_view text) = 0;
  // index -1 clears the selection.
  virtual void ComboSelect(int control, int index) = 0;
  virtual void ComboSetDroppedWidth(int control, int pixels) = 0;

  // Grow (positive) or shrink (negative) the main dialog's height in pixels,
  // keeping its position and width.
  virtual void ResizeDialogHeight(int deltaPixels) = 0;

  // Modal message box. `owned` is false only for the command-line help box,
  // which has no owner window.
  virtual MessageAnswer ShowMessageBox(std::string_view text, std::string_view caption,
                                       MessageButtons buttons, bool owned) = 0;
};

}  // namespace padflash
