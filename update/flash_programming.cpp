#include "update/flash_programming.h"

#include <cstdint>

#include "session/session.h"
#include "update/bootloader_commands.h"
#include "update/fletcher.h"
#include "update/image_commands.h"

namespace padflash {
namespace {

constexpr uint32_t kBarColor = 0x00A0FF;  // red 0xFF, green 0xA0, blue 0x00
constexpr int kFormatBarRange = 11;
constexpr int kWriteBarRange = 100;
constexpr int kFlushBarRange = 8;
constexpr uint32_t kCommandPauseMs = 20;
constexpr uint32_t kBeforeWritingMs = 2000;
constexpr uint32_t kBeforeDisconnectMs = 100;

constexpr int kResultWriteFailed = 26;
constexpr int kResultBootloaderError = 28;
constexpr int kResultNoStatus = 25;
constexpr int kResultResetFailed = 24;

// The bootloader never programs the region that starts at the flash base.
// Nor anything else below the image start (the first region's address): that
// flash is the bootloader's own, and a region there is skipped the same way.
constexpr uint32_t kSkippedRegionAddress = 0x08000000;

void Step(Session& session) {
  session.window.StepProgress(kIdProgress);
}

void ResetBar(Session& session, int high) {
  session.window.SetProgressPos(kIdProgress, 0);
  session.window.SetProgressStep(kIdProgress, 1);
  session.window.SetProgressRange(kIdProgress, 0, high);
}

bool Send(Session& session) {
  return session.connection != nullptr &&
         session.connection->WriteFeatureReport(session.commandBuffer.data(), kReportSize) == 0;
}

// The bootloader's last error after a command; nonzero (or unreadable) is a
// bootloader error, reported with the full status.
bool BootloaderReportsError(Session& session, const char* errorLine) {
  if (BL_GetLastError(session) == 0) return false;
  Print(session, "%s", errorLine);
  BL_GetStatus(session);
  session.UpdateResult = kResultBootloaderError;
  return true;
}

bool Abort(Session& session, int result) {
  session.UpdateResult = result;
  session.retryAdvised = true;
  return false;
}

struct Region {
  size_t index;
  uint32_t start;
  const uint8_t* bytes;
  uint32_t size;
  bool skipped;
};

Region RegionAt(const HexFile& image, size_t index) {
  const HexRecord& segment = image.segment(index);
  const uint32_t start = segment.FullAddress();
  const uint32_t imageStart = image.segment(0).FullAddress();
  return Region{index, start, segment.data.data(), static_cast<uint32_t>(segment.data.size()),
                start == kSkippedRegionAddress || start < imageStart};
}

// Stage 1.
bool FormatImage(Session& session) {
  const HexFile& image = *session.image;
  PrintStatus(session, "Formatting Image ... ");
  Step(session);
  const uint8_t* first = image.segmentCount() > 0 ? image.segment(0).data.data() : nullptr;
  const size_t firstSize = image.segmentCount() > 0 ? image.segment(0).data.size() : 0;
  BL_FormatImage(session.commandBuffer, image.segmentCount(), first, firstSize,
                 session.firmware.hidDescriptorAddress, session.firmware.i2cAddress,
                 session.firmware.reportId);
  if (!Send(session)) {
    Print(session, "HIDInterface1.WriteFeatureReport Error\r\n");
    return Abort(session, kResultWriteFailed);
  }
  Print(session, "Done\r\n");
  Step(session);
  if (BootloaderReportsError(session, "ERROR...\r\n")) return Abort(session, session.UpdateResult);
  Step(session);
  return true;
}

// Stage 2. A failure ends the region loop but not the programming; false
// then.
bool FormatRegions(Session& session) {
  const HexFile& image = *session.image;
  PrintStatus(session, "Formatting Regions... ");
  bool formatted = true;
  for (size_t r = 0; r < image.segmentCount(); ++r) {
    const Region region = RegionAt(image, r);
    if (region.skipped) {
      Print(session, "\r\nRegion: %d   SKIPPING\r\n", static_cast<int>(r));
      continue;
    }
    Step(session);
    BL_FormatRegion(session.commandBuffer, r, region.start, region.size,
                    Fletcher32(region.bytes, region.size));
    if (!Send(session)) {
      Print(session, "HIDInterface1.WriteFeatureReport Error\r\n");
      Abort(session, kResultWriteFailed);
      formatted = false;
      break;
    }
    Step(session);
    // The erase takes 20 ms per started KiB.
    session.system.SleepMs((region.size / 1024 + 1) * kCommandPauseMs);
    Step(session);
    if (BootloaderReportsError(session, "ERROR...\r\n")) {
      session.retryAdvised = true;
      formatted = false;
      break;
    }
    Step(session);
  }
  Print(session, "Done\r\n");
  return formatted;
}

int Percent(uint64_t numerator, uint64_t total) {
  // Only regions of no bytes at all leave nothing to count.
  return total == 0 ? 0 : static_cast<int>(numerator / total);
}

// Stage 3. False when the bootloader reported an error (the abort mark);
// `complete` false when a chunk could not be sent.
bool WriteData(Session& session, bool& complete) {
  complete = true;
  const HexFile& image = *session.image;
  session.window.Show(kIdProgress, false);
  session.window.Show(kIdProgress, true);
  ResetBar(session, kWriteBarRange);
  PrintStatus(session, "Writing Data... \r\n");
  session.system.SleepMs(kBeforeWritingMs);

  uint64_t total = 0;
  for (size_t r = 0; r < image.segmentCount(); ++r) total += image.segment(r).data.size();

  uint64_t written = 0;
  bool aborted = false;
  for (size_t r = 0; r < image.segmentCount() && !aborted; ++r) {
    const Region region = RegionAt(image, r);
    const int index = static_cast<int>(r);
    const int length = static_cast<int>(region.size);
    if (region.skipped) {
      Print(session, "Region: %d SKIPPING\r\n", index);
      continue;
    }
    uint32_t left = region.size;
    uint64_t numerator = written * 100;
    while (left > 0) {
      Print(session, "Region: %d Length: %d Bytes Written: %d\r\n", index, length,
            static_cast<int>(region.size - left));
      Print(session, "Update in progress: %d %%\r\n", Percent(numerator, total));
      Step(session);
      SetStatus(session, session.MessageBuffer);

      const uint32_t done = region.size - left;
      BL_WriteData(session.commandBuffer, region.start + done, region.bytes + done, left);
      if (!Send(session)) {
        Print(session, "HIDInterface1.WriteFeatureReport Error\r\n");
        Abort(session, kResultWriteFailed);
        complete = false;
        break;  // the rest of this region is skipped; the next one is written
      }
      session.system.SleepMs(kCommandPauseMs);
      if (BootloaderReportsError(session, "ERROR...\r\n")) {
        session.retryAdvised = true;
        aborted = true;
        break;
      }
      if (left > kWriteDataChunkBytes) {
        written += kWriteDataChunkBytes;
        left -= kWriteDataChunkBytes;
        numerator += uint64_t{kWriteDataChunkBytes} * 100;
      } else {
        written += left;
        left = 0;
      }
    }
    if (aborted) break;
    Step(session);
    Print(session, "Region: %d Length: %d Bytes Written: %d\r\n", index, length,
          static_cast<int>(region.size - left));
    Print(session, "Update in progress: %d %%\r\n", Percent(written * 100, total));
    SetStatus(session, session.MessageBuffer);
  }

  session.window.Show(kIdProgress, false);
  Print(session, "\r\n");
  if (aborted) return false;
  Print(session, "\r\nDone\r\n");
  return true;
}

// Stage 4.
bool Flush(Session& session) {
  session.window.Show(kIdProgress, true);
  ResetBar(session, kFlushBarRange);
  PrintStatus(session, "Flushing . . . ");
  Step(session);
  BL_Flush(session.commandBuffer);
  if (!Send(session)) {
    Print(session, "\r\nHIDInterface1.WriteFeatureReport Error\r\n");
    return Abort(session, kResultWriteFailed);
  }
  Print(session, "Done\r\n");
  if (BootloaderReportsError(session, "ERROR\r\n")) return Abort(session, session.UpdateResult);
  session.system.SleepMs(kCommandPauseMs);
  return true;
}

// Stage 5.
bool Validate(Session& session) {
  PrintStatus(session, "Validating . . . ");
  Step(session);
  BL_Validate(session.commandBuffer);
  if (!Send(session)) {
    Print(session, "\r\nHIDInterface1.WriteFeatureReport Error\r\n");
    return Abort(session, kResultWriteFailed);
  }
  Print(session, "Done\r\n");
  session.system.SleepMs(kCommandPauseMs);
  if (BootloaderReportsError(session, "ERROR...")) return Abort(session, session.UpdateResult);
  return true;
}

// Status, reset, disconnect: the new firmware starts.
bool CloseBootloader(Session& session) {
  if (BL_GetStatus(session) < 0) {
    Print(session, "\tERROR - Failed to get bootloader status\r\n");
    return Abort(session, kResultNoStatus);
  }
  if (BL_Reset(session) != 0) {
    Print(session, "\tERROR - Failed to reset bootloader but try to continue anyway\r\n");
    session.UpdateResult = kResultResetFailed;
    session.retryAdvised = true;
  }
  session.inBootloader = false;
  PrintStatus(session, "Verifying update . . .\r\n");
  Step(session);
  session.system.SleepMs(kBeforeDisconnectMs);
  if (session.connection) session.connection->DisconnectFromDevice();
  return true;
}

}  // namespace

void PrepareProgressBar(Session& session) {
  session.window.SetMarquee(kIdMarquee, false);
  session.window.Show(kIdMarquee, false);
  session.window.Show(kIdProgress, true);
  session.window.SetProgressPos(kIdProgress, 0);
  session.window.SetProgressStep(kIdProgress, 1);
  session.window.SetProgressBarColor(kIdProgress, kBarColor);
  session.window.SetProgressRange(kIdProgress, 0, kFormatBarRange);
}

bool ProgramImage(Session& session) {
  if (!session.image) return Abort(session, kResultWriteFailed);
  if (!FormatImage(session)) return false;
  const bool formatted = FormatRegions(session);
  bool complete = false;
  if (!WriteData(session, complete)) {
    session.UpdateResult = kResultBootloaderError;
    session.retryAdvised = true;
    return false;
  }
  if (!Flush(session)) return false;
  if (!Validate(session)) return false;
  // A region the bootloader did not format, or a chunk that never went
  // over, leaves the image incomplete even when the validation passed: the
  // session ends with that failure (UpdateResult 26 or 28 already set) and
  // its ending resets the bootloader.
  if (!formatted || !complete) return false;
  return CloseBootloader(session);
}

}  // namespace padflash
