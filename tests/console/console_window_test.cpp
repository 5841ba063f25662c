// The console window port from two threads, as padflash-cli uses it: the
// update worker prints and moves the progress bar while the main thread
// reads the window's state. Every verbose line arrives whole and in order.
#include "app/console/console_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

namespace padflash {
namespace {

std::string ReadAll(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
  return text;
}

TEST(ConsoleWindowThreads, WorkerOutputStaysWholeWhileTheMainThreadReads) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ASSERT_NE(out, nullptr);
  ASSERT_NE(err, nullptr);
  ConsoleOptions options;
  options.liveStatus = true;  // the live status line is redrawn below every line
  options.answer = true;
  constexpr int kLines = 2000;
  {
    ConsoleWindow window(options, out, err, nullptr);
    std::atomic<bool> done{false};
    std::thread worker([&] {
      window.Show(kIdProgress, true);
      window.SetProgressRange(kIdProgress, 0, 100);
      for (int i = 0; i < kLines; ++i) {
        // A line in two pieces, as "Connecting ." and its dots are printed.
        window.AppendText(kIdVerbose, "line " + std::to_string(i));
        window.AppendText(kIdVerbose, " of the verbose pane\r\n");
        if (i % 10 == 0) window.SetText(kIdStatus, "Update in progress: " + std::to_string(i));
        window.StepProgress(kIdProgress);
      }
      done = true;
    });
    int reads = 0;
    while (!done) {
      reads += window.GetText(kIdStatus).empty() ? 0 : 1;
      reads += window.IsVisible(kIdProgress) ? 1 : 0;
      reads += window.GetLineCount(kIdVerbose) > 0 ? 1 : 0;
    }
    worker.join();
    EXPECT_EQ(window.ShowMessageBox("Go on?", "Question", MessageButtons::kYesNo, true),
              MessageAnswer::kYes);
    window.Finish();
    EXPECT_GT(reads, 0);
  }
  std::string expected;
  for (int i = 0; i < kLines; ++i)
    expected += "line " + std::to_string(i) + " of the verbose pane\n";
  EXPECT_EQ(ReadAll(out), expected);
  const std::string status = ReadAll(err);
  EXPECT_NE(status.find("Update in progress: 1990"), std::string::npos);
  std::fclose(out);
  std::fclose(err);
}

}  // namespace
}  // namespace padflash
