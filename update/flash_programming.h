// Programming the image through the bootloader: format the image area, erase
// each region, write each region in 520-byte chunks, flush, validate; then
// read the status, reset the bootloader and disconnect so that the new
// firmware can start. Runs on the update worker thread, inside the session,
// once the device answers as its bootloader.
#pragma once

namespace padflash {

struct Session;

// Sets up the determinate bar (1001) in place of the marquee (1007).
void PrepareProgressBar(Session& session);

// The five stages and the bootloader's closing. True when the session goes
// on to reconnect to the new firmware: every region formatted, every chunk
// sent, no error from the bootloader. False when it aborted (UpdateResult
// and retryAdvised set, inBootloader still set so that the session's ending
// resets the bootloader).
bool ProgramImage(Session& session);

}  // namespace padflash
