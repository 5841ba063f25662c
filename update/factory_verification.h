// Before a personality file is deleted, the new firmware reads back the
// factory page it runs with, and it must be the page the restore put into
// the image: the comp table saved from the controller and the structure
// merged with its values. A page that differs, or cannot be read, keeps the
// file.
#pragma once

namespace padflash {

struct Session;

// True when nothing was restored or the page read back equals the restored
// one; false (printed, UpdateResult 5 for a page that differs, 6 for one
// that cannot be read) otherwise.
bool VerifyRestoredPage(Session& session);

}  // namespace padflash
