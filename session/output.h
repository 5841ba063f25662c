// The output paths of the whole system: the shared 512-byte message buffer,
// printing to the verbose pane and the status line, and the result texts.
#pragma once

#include <cstddef>

namespace padflash {

struct Session;

inline constexpr size_t kMessageBufferSize = 512;
inline constexpr int kResultMessageCount = 29;

// Texts by UpdateResult code 0..28.
extern const char* const ResultMessages[kResultMessageCount];

// Appends text to the verbose pane (1013), unchanged.
void AppendVerbose(Session& session, const char* text);
// Replaces the status line (1011).
void SetStatus(Session& session, const char* text);

// printf-style into session.MessageBuffer, always bounded and terminated;
// returns the buffer.
const char* FormatText(Session& session, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// Format, then AppendVerbose.
void Print(Session& session, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Format, then AppendVerbose and SetStatus.
void PrintStatus(Session& session, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace padflash
