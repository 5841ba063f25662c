#include "app/console/console_window.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "app/console/protocol_log.h"

namespace padflash {

namespace {

// The verbose protocol and status texts are written with "\r\n" line ends;
// a console shows them with "\n".
std::string ConsoleText(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    result.push_back(text[i]);
  }
  return result;
}

// A status text on one line: line ends and tabs become spaces, trailing
// blanks go.
std::string OneLine(std::string_view text) {
  std::string line;
  for (char c : text) line.push_back(c == '\r' || c == '\n' || c == '\t' ? ' ' : c);
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

bool IsProgressBar(int control) {
  return control == kIdProgress || control == kIdMarquee;
}

}  // namespace

ConsoleWindow::ConsoleWindow(ConsoleOptions options, std::FILE* out, std::FILE* err, std::FILE* in)
    : options_(options), out_(out), err_(err), in_(in) {
  text_[kIdStatus] = "Status:";
  for (int id : {kIdExecute, kIdProgress, kIdMarquee, kIdExit, kIdMore, kIdVerbose})
    visible_[id] = false;
}

ConsoleWindow::~ConsoleWindow() {
  Finish();
}

void ConsoleWindow::Finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool statusShown = liveLineShown_;
  ClearLiveLine();
  if (options_.log != nullptr) options_.log->Flush();
  if (!pendingVerbose_.empty()) {
    std::fputs(pendingVerbose_.c_str(), out_);
    std::fputc('\n', out_);
    pendingVerbose_.clear();
  }
  std::fflush(out_);
  // The last status stays on the terminal, without its progress bar.
  if (statusShown) std::fprintf(err_, "%s\n", OneLine(text_[kIdStatus]).c_str());
  std::fflush(err_);
}

void ConsoleWindow::ClearLiveLine() {
  if (!liveLineShown_) return;
  std::fputs(options_.clearLine, err_);
  std::fflush(err_);
  liveLineShown_ = false;
}

std::string ConsoleWindow::ProgressText() {
  auto shown = [this](int id) { return visible_.count(id) != 0 && visible_[id]; };
  if (shown(kIdProgress)) {
    const Bar& bar = bars_[kIdProgress];
    int span = std::max(1, bar.high - bar.low);
    int filled = std::clamp((bar.pos - bar.low) * 20 / span, 0, 20);
    return " [" + std::string(filled, '#') + std::string(20 - filled, '.') + "]";
  }
  if (shown(kIdMarquee) && bars_[kIdMarquee].marquee) {
    static const char kSpin[] = "|/-\\";
    return std::string(" [") + kSpin[spinner_ % 4] + "]";
  }
  return "";
}

void ConsoleWindow::DrawLiveLine() {
  std::string line = OneLine(text_[kIdStatus]) + ProgressText();
  if (line.size() > 79) line.resize(79);
  std::fputs(options_.clearLine, err_);
  std::fputs(line.c_str(), err_);
  std::fflush(err_);
  liveLineShown_ = true;
}

void ConsoleWindow::WriteVerbose(std::string_view text) {
  std::string converted = ConsoleText(text);
  verboseChars_ += text.size();
  verboseLines_ += static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  if (options_.log != nullptr) options_.log->Write(converted);
  if (!options_.protocolOnOut) return;
  if (!options_.liveStatus) {
    std::fwrite(converted.data(), 1, converted.size(), out_);
    std::fflush(out_);
    return;
  }
  // With a live status line on the same terminal, whole lines are written
  // and the status line is drawn again below them.
  pendingVerbose_ += converted;
  size_t end = pendingVerbose_.rfind('\n');
  if (end == std::string::npos) return;
  ClearLiveLine();
  std::fwrite(pendingVerbose_.data(), 1, end + 1, out_);
  std::fflush(out_);
  pendingVerbose_.erase(0, end + 1);
  DrawLiveLine();
}

void ConsoleWindow::AppendText(int control, std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (control == kIdVerbose) {
    WriteVerbose(text);
    return;
  }
  text_[control].append(text);
}

void ConsoleWindow::SetText(int control, std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  text_[control] = std::string(text);
  if (control != kIdStatus) return;
  if (options_.liveStatus) {
    DrawLiveLine();
  } else {
    std::fprintf(err_, "status: %s\n", OneLine(text).c_str());
    std::fflush(err_);
  }
}

std::string ConsoleWindow::GetText(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_[control];
}

void ConsoleWindow::Show(int control, bool visible) {
  std::lock_guard<std::mutex> lock(mutex_);
  visible_[control] = visible;
  if (options_.liveStatus && IsProgressBar(control)) DrawLiveLine();
}

bool ConsoleWindow::IsVisible(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = visible_.find(control);
  return it == visible_.end() || it->second;
}

void ConsoleWindow::Enable(int, bool) {}

void ConsoleWindow::SetProgressRange(int control, int low, int high) {
  std::lock_guard<std::mutex> lock(mutex_);
  bars_[control].low = low;
  bars_[control].high = high;
}

void ConsoleWindow::SetProgressPos(int control, int pos) {
  std::lock_guard<std::mutex> lock(mutex_);
  bars_[control].pos = pos;
  if (options_.liveStatus) DrawLiveLine();
}

void ConsoleWindow::SetProgressStep(int control, int step) {
  std::lock_guard<std::mutex> lock(mutex_);
  bars_[control].step = step;
}

void ConsoleWindow::StepProgress(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  Bar& bar = bars_[control];
  bar.pos += bar.step;
  if (bar.pos > bar.high) bar.pos = bar.low;  // a stepped bar wraps round
  ++spinner_;
  if (options_.liveStatus) DrawLiveLine();
}

void ConsoleWindow::SetProgressBarColor(int, uint32_t) {}

void ConsoleWindow::SetMarquee(int control, bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  bars_[control].marquee = on;
}

int ConsoleWindow::GetLineCount(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (control == kIdVerbose) return static_cast<int>(verboseLines_);
  const std::string& t = text_[control];
  return static_cast<int>(std::count(t.begin(), t.end(), '\n')) + 1;
}

void ConsoleWindow::DeleteLeadingChars(int control, int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  // What was printed stays printed; the pane's counts start afresh.
  if (control == kIdVerbose) {
    verboseChars_ -= std::min(verboseChars_, static_cast<size_t>(std::max(count, 0)));
    return;
  }
  std::string& t = text_[control];
  t.erase(0, std::min(t.size(), static_cast<size_t>(std::max(count, 0))));
}

void ConsoleWindow::ComboClear(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (control == kIdDeviceCombo) comboItems_.clear();
}

void ConsoleWindow::ComboAddItem(int control, std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (control == kIdDeviceCombo) comboItems_.emplace_back(text);
}

std::vector<std::string> ConsoleWindow::ComboItems() {
  std::lock_guard<std::mutex> lock(mutex_);
  return comboItems_;
}

std::string ConsoleWindow::StatusLine() {
  std::lock_guard<std::mutex> lock(mutex_);
  return OneLine(text_[kIdStatus]);
}

std::vector<ShownMessage> ConsoleWindow::ShownMessages() {
  std::lock_guard<std::mutex> lock(mutex_);
  return shownMessages_;
}

void ConsoleWindow::ComboSelect(int, int) {}
void ConsoleWindow::ComboSetDroppedWidth(int, int) {}
void ConsoleWindow::ResizeDialogHeight(int) {}

MessageAnswer ConsoleWindow::ShowMessageBox(std::string_view text, std::string_view caption,
                                            MessageButtons buttons, bool owned) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearLiveLine();
  std::fflush(out_);
  if (!owned) {
    // The command-line help box: its text is the program's usage.
    std::fputs(ConsoleText(text).c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
    return MessageAnswer::kOk;
  }
  ShownMessage& shown =
      shownMessages_.emplace_back(ShownMessage{std::string(caption), ConsoleText(text), "ok"});
  std::fprintf(err_, "\n[%s]\n%s\n", shown.caption.c_str(), shown.text.c_str());
  if (buttons == MessageButtons::kOk) {
    std::fflush(err_);
    return MessageAnswer::kOk;
  }
  bool yes = false;
  if (options_.answer.has_value()) {
    yes = *options_.answer;
    std::fprintf(err_, "Answer (--answer): %s\n", yes ? "yes" : "no");
  } else if (options_.interactive) {
    char line[64];
    for (;;) {
      std::fputs("Answer [y/n]: ", err_);
      std::fflush(err_);
      if (std::fgets(line, sizeof line, in_) == nullptr) {
        std::fputs("\nAnswer (end of input): no\n", err_);
        break;
      }
      int c = std::tolower(static_cast<unsigned char>(line[0]));
      if (c == 'y' || c == 'n') {
        yes = c == 'y';
        break;
      }
    }
  } else {
    std::fputs("Answer (no terminal, safe default): no\n", err_);
  }
  std::fflush(err_);
  shown.answer = yes ? "yes" : "no";
  return yes ? MessageAnswer::kYes : MessageAnswer::kNo;
}

}  // namespace padflash
