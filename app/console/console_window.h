// The window port of padflash-cli: the verbose protocol goes to standard
// output ("\r\n" written as "\n") and to the --log file, or to the log
// only when standard output holds the JSON report; status-line changes go
// to standard error
// (on a terminal one live status line with a progress bar, otherwise one
// "status: ..." line per change), and message boxes become questions.
#pragma once

#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/window_port.h"

namespace padflash {

class ProtocolLog;

// A message box as the console showed it: its caption, its text with "\n"
// line ends and the answer given ("ok", "yes" or "no").
struct ShownMessage {
  std::string caption;
  std::string text;
  std::string answer;
};

struct ConsoleOptions {
  // Answer every Yes/No question so; unset: ask on a terminal, else No.
  std::optional<bool> answer;
  // Standard input and standard error are a terminal.
  bool interactive = false;
  // Standard error is a terminal: draw one live status line.
  bool liveStatus = false;
  // Takes the cursor back to the start of the live status line and blanks
  // it (the line is at most 79 characters).
  const char* clearLine = "\r\033[K";
  // The verbose protocol is printed on standard output (else the JSON
  // report will be).
  bool protocolOnOut = true;
  // Also appended here when set; not owned.
  ProtocolLog* log = nullptr;
};

class ConsoleWindow final : public WindowPort {
 public:
  ConsoleWindow(ConsoleOptions options, std::FILE* out, std::FILE* err, std::FILE* in);
  ~ConsoleWindow() override;

  void AppendText(int control, std::string_view text) override;
  void SetText(int control, std::string_view text) override;
  std::string GetText(int control) override;
  void Show(int control, bool visible) override;
  bool IsVisible(int control) override;
  void Enable(int control, bool enabled) override;
  void SetProgressRange(int control, int low, int high) override;
  void SetProgressPos(int control, int pos) override;
  void SetProgressStep(int control, int step) override;
  void StepProgress(int control) override;
  void SetProgressBarColor(int control, uint32_t colorRef) override;
  void SetMarquee(int control, bool on) override;
  int GetLineCount(int control) override;
  void DeleteLeadingChars(int control, int count) override;
  void ComboClear(int control) override;
  void ComboAddItem(int control, std::string_view text) override;
  void ComboSelect(int control, int index) override;
  void ComboSetDroppedWidth(int control, int pixels) override;
  void ResizeDialogHeight(int deltaPixels) override;
  MessageAnswer ShowMessageBox(std::string_view text, std::string_view caption,
                               MessageButtons buttons, bool owned) override;

  // Writes out a verbose line still waiting for its end and ends the live
  // status line.
  void Finish();

  // The device combo box's display lines, in list order.
  std::vector<std::string> ComboItems();
  // Every message box owned by the main window, in order (the usage box of
  // "/?" is the program's help, not one of them).
  std::vector<ShownMessage> ShownMessages();
  // The status line on one line, as the console prints it.
  std::string StatusLine();

 private:
  struct Bar {
    int low = 0, high = 100, pos = 0, step = 10;
    bool marquee = false;
  };

  void WriteVerbose(std::string_view text);
  void ClearLiveLine();
  void DrawLiveLine();
  std::string ProgressText();

  ConsoleOptions options_;
  std::FILE* out_;
  std::FILE* err_;
  std::FILE* in_;
  std::mutex mutex_;
  std::map<int, std::string> text_;
  std::map<int, bool> visible_;
  std::map<int, Bar> bars_;
  std::vector<std::string> comboItems_;
  std::vector<ShownMessage> shownMessages_;
  std::string pendingVerbose_;  // a line without its end yet (live mode)
  size_t verboseLines_ = 1;
  size_t verboseChars_ = 0;
  bool liveLineShown_ = false;
  int spinner_ = 0;
};

}  // namespace padflash
