#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "session/output.h"
#include "session/session.h"
#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"

namespace padflash {
namespace {

class OutputTest : public ::testing::Test {
 protected:
  testing::RecordingWindow window;
  testing::TestSystemPort system;
  Session session{window, system, []() -> VirtualVLMHIDInterface* { return nullptr; }};
};

TEST_F(OutputTest, OverlongMessageIsCutAndTerminated) {
  const std::string word(600, 'w');
  // A marker just past the last byte that may be written.
  session.MessageBuffer[kMessageBufferSize - 1] = 'X';
  const char* text = FormatText(session, "<%s>", word.c_str());
  EXPECT_EQ(text, session.MessageBuffer);
  EXPECT_EQ(session.MessageBuffer[kMessageBufferSize - 1], '\0');
  EXPECT_EQ(std::string(text), ("<" + word).substr(0, kMessageBufferSize - 1));
}

TEST_F(OutputTest, PrintAppendsAndPrintStatusAlsoSetsTheStatusLine) {
  Print(session, "Bootloader version %d\r\n", 3);
  PrintStatus(session, "Writing %s\r\n", "image");
  EXPECT_EQ(window.verbose(), "Bootloader version 3\r\nWriting image\r\n");
  EXPECT_EQ(window.status(), "Writing image\r\n");
  EXPECT_EQ(window.statusHistory().size(), 1u);

  const std::string longText(1000, 'L');
  PrintStatus(session, "%s", longText.c_str());
  EXPECT_EQ(window.status(), longText.substr(0, kMessageBufferSize - 1));
  // The pane gets the same whole message after what was printed before.
  EXPECT_EQ(window.verbose(), "Bootloader version 3\r\nWriting image\r\n" +
                                  longText.substr(0, kMessageBufferSize - 1));
}

}  // namespace
}  // namespace padflash
