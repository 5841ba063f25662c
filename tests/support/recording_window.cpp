#include "tests/support/recording_window.h"

#include <algorithm>

namespace padflash::testing {

namespace {
std::string Event(const char* what, int control, long value) {
  return std::string(what) + " " + std::to_string(control) + " " + std::to_string(value);
}
}  // namespace

RecordingWindow::RecordingWindow() {
  // The dialog's start state: the status line reads "Status:"; Execute,
  // the progress bars, Exit, "v more v" and the verbose pane are hidden.
  text_[kIdStatus] = "Status:";
  text_[kIdMore] = "v more v";
  for (int id : {kIdExecute, kIdProgress, kIdMarquee, kIdExit, kIdMore, kIdVerbose})
    visible_[id] = false;
}

void RecordingWindow::AppendText(int control, std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  text_[control].append(text);
}

void RecordingWindow::SetText(int control, std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  text_[control] = std::string(text);
  if (control == kIdStatus) statusHistory_.emplace_back(text);
  events_.push_back("text " + std::to_string(control) + " " + std::string(text));
}

std::string RecordingWindow::GetText(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = text_.find(control);
  return it == text_.end() ? std::string() : it->second;
}

void RecordingWindow::Show(int control, bool visible) {
  std::lock_guard<std::mutex> lock(mutex_);
  visible_[control] = visible;
  events_.push_back(Event("show", control, visible));
}

bool RecordingWindow::IsVisible(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = visible_.find(control);
  return it == visible_.end() ? true : it->second;
}

void RecordingWindow::Enable(int control, bool enabled) {
  std::lock_guard<std::mutex> lock(mutex_);
  enabled_[control] = enabled;
  events_.push_back(Event("enable", control, enabled));
}

bool RecordingWindow::IsEnabled(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = enabled_.find(control);
  return it == enabled_.end() ? true : it->second;
}

void RecordingWindow::SetProgressRange(int control, int low, int high) {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_[control].low = low;
  progress_[control].high = high;
  events_.push_back(Event("range", control, high));
}

void RecordingWindow::SetProgressPos(int control, int pos) {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_[control].pos = pos;
  progress_[control].steps = 0;
  events_.push_back(Event("pos", control, pos));
}

void RecordingWindow::SetProgressStep(int control, int step) {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_[control].step = step;
  events_.push_back(Event("stepsize", control, step));
}

void RecordingWindow::StepProgress(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  ProgressState& p = progress_[control];
  p.pos += p.step;
  // A progress bar wraps to its low end when a step passes the high end.
  if (p.pos > p.high) p.pos = p.low + (p.pos - p.high) - 1;
  ++p.steps;
  ++p.totalSteps;
  events_.push_back(Event("step", control, p.pos));
}

void RecordingWindow::SetProgressBarColor(int control, uint32_t colorRef) {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_[control].color = colorRef;
  events_.push_back(Event("color", control, static_cast<long>(colorRef)));
}

void RecordingWindow::SetMarquee(int control, bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_[control].marquee = on;
  events_.push_back(Event("marquee", control, on));
}

int RecordingWindow::GetLineCount(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string& t = text_[control];
  // An edit control counts one line more than it has line breaks.
  return static_cast<int>(std::count(t.begin(), t.end(), '\n')) + 1;
}

void RecordingWindow::DeleteLeadingChars(int control, int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string& t = text_[control];
  t.erase(0, std::min<size_t>(t.size(), static_cast<size_t>(std::max(count, 0))));
  events_.push_back(Event("deletelead", control, count));
}

void RecordingWindow::ComboClear(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  combo_[control].clear();
  comboSelection_[control] = -1;
  events_.push_back(Event("comboclear", control, 0));
}

void RecordingWindow::ComboAddItem(int control, std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  combo_[control].emplace_back(text);
}

void RecordingWindow::ComboSelect(int control, int index) {
  std::lock_guard<std::mutex> lock(mutex_);
  comboSelection_[control] = index;
  events_.push_back(Event("comboselect", control, index));
}

void RecordingWindow::ComboSetDroppedWidth(int control, int pixels) {
  std::lock_guard<std::mutex> lock(mutex_);
  comboWidth_[control] = pixels;
}

void RecordingWindow::ResizeDialogHeight(int deltaPixels) {
  std::lock_guard<std::mutex> lock(mutex_);
  dialogHeight_ += deltaPixels;
  events_.push_back(Event("resize", 0, deltaPixels));
}

MessageAnswer RecordingWindow::ShowMessageBox(std::string_view text, std::string_view caption,
                                              MessageButtons buttons, bool owned) {
  std::lock_guard<std::mutex> lock(mutex_);
  MessageAnswer answer = MessageAnswer::kOk;
  if (buttons == MessageButtons::kYesNo) {
    if (answers_.empty()) {
      answer = defaultAnswer;
    } else {
      answer = answers_.front();
      answers_.pop_front();
    }
  }
  boxes_.push_back({std::string(text), std::string(caption), buttons, owned, answer});
  events_.push_back("box " + std::string(caption));
  return answer;
}

void RecordingWindow::QueueAnswer(MessageAnswer answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_.push_back(answer);
}

std::vector<std::string> RecordingWindow::statusHistory() {
  std::lock_guard<std::mutex> lock(mutex_);
  return statusHistory_;
}

std::vector<MessageBoxCall> RecordingWindow::messageBoxes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

std::vector<std::string> RecordingWindow::comboItems(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  return combo_[control];
}

int RecordingWindow::comboSelection(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = comboSelection_.find(control);
  return it == comboSelection_.end() ? -1 : it->second;
}

int RecordingWindow::comboDroppedWidth(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  return comboWidth_[control];
}

ProgressState RecordingWindow::progress(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  return progress_[control];
}

int RecordingWindow::dialogHeight() {
  std::lock_guard<std::mutex> lock(mutex_);
  return dialogHeight_;
}

std::vector<std::string> RecordingWindow::events() {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

}  // namespace padflash::testing
