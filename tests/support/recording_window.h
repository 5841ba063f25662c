// A window port that records what the engine did to each control and answers
// message boxes from a script. Thread-safe: the update session calls it from
// its worker thread.
#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/window_port.h"

namespace padflash::testing {

struct ProgressState {
  int low = 0, high = 100, pos = 0, step = 10;
  uint32_t color = 0;
  bool marquee = false;
  int steps = 0;  // StepProgress calls since the last SetProgressPos
  int totalSteps = 0;
};

struct MessageBoxCall {
  std::string text;
  std::string caption;
  MessageButtons buttons;
  bool owned;
  MessageAnswer answer;
};

class RecordingWindow : public WindowPort {
 public:
  RecordingWindow();

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

  // Script: answers for the next Yes/No boxes, in order; when the queue is
  // empty `defaultAnswer` is given. OK boxes are always answered OK.
  void QueueAnswer(MessageAnswer answer);
  MessageAnswer defaultAnswer = MessageAnswer::kYes;

  // Inspection.
  std::string verbose() { return GetText(kIdVerbose); }
  std::string status() { return GetText(kIdStatus); }
  std::vector<std::string> statusHistory();
  std::vector<MessageBoxCall> messageBoxes();
  std::vector<std::string> comboItems(int control = kIdDeviceCombo);
  int comboSelection(int control = kIdDeviceCombo);
  int comboDroppedWidth(int control = kIdDeviceCombo);
  bool IsEnabled(int control);
  ProgressState progress(int control);
  int dialogHeight();
  // Every call, one line each ("show 1004 1", "step 1001", ...), in order.
  std::vector<std::string> events();

 private:
  std::mutex mutex_;
  std::map<int, std::string> text_;
  std::map<int, bool> visible_;
  std::map<int, bool> enabled_;
  std::map<int, ProgressState> progress_;
  std::map<int, std::vector<std::string>> combo_;
  std::map<int, int> comboSelection_;
  std::map<int, int> comboWidth_;
  std::vector<std::string> statusHistory_;
  std::vector<MessageBoxCall> boxes_;
  std::deque<MessageAnswer> answers_;
  std::vector<std::string> events_;
  int dialogHeight_ = 0;
};

}  // namespace padflash::testing
