// VLMHIDInterface over the Windows backend, with setupapi, hid.dll and
// kernel32 answering from a script: the interface walk, the handles each
// connect mode opens, and the report transfers.
#include <gtest/gtest.h>

#include <cwchar>

#include "hidlib/trace_backend.h"
#include "hidlib/win32/win32_backend.h"
#include "tests/hidlib_win32/scripted_system.h"

namespace {

using win32test::Bytes;
using win32test::Read;
using Lines = std::vector<std::string>;

constexpr uint16_t kLength = 531;
const wchar_t kPad1[] = L"\\\\?\\hid#vid_0488&pid_0101&col01#7&1a2b&0&0000#{4d1e55b2}";
const wchar_t kPad2[] = L"\\\\?\\hid#vid_0488&pid_0101&mi_01&col02#7&1a2b&0&0001#{4d1e55b2}";
const std::string kNoAccess = "access=0x0 share=3 disposition=3 flags=0x0";

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

// #0 and #1: two collections of a touchpad (feature report 7 in both, input
// 9 and output 10 in the second); #2: a mouse of another vendor.
class Win32Hid : public ::testing::Test {
 protected:
  void SetUp() override {
    system.devices = {{kPad1, 0x0488, 0x0101, 0x1205, {0, 0, 7}, L"Velmar Touchpad"},
                      {kPad2, 0x0488, 0x0101, 0x1205, {9, 10, 7}},
                      {L"\\\\?\\hid#vid_046d&pid_c52b#8&1", 0x046D, 0xC52B, 0x1201, {1, 0, 0}}};
    hid = system.NewInterface();
  }
  // Every case ends with nothing left open, however it went.
  void TearDown() override {
    hid.reset();
    EXPECT_TRUE(system.open.empty());
    EXPECT_EQ(system.openSets, 0);
    EXPECT_EQ(system.preparsedOut, 0);
  }
  Lines Connect(int mode, uint8_t reportId) {
    hid->DisconnectFromDevice();
    EXPECT_TRUE(system.open.empty());
    system.log.clear();
    EXPECT_EQ(hid->ConnectToDevice(0x0488, 0x0101, reportId, mode), 0);
    return system.Lines({"CreateFileW", "CreateEventW"});
  }

  win32test::ScriptedSystem system;
  std::unique_ptr<VLMHIDInterface> hid;
};

TEST_F(Win32Hid, TwoPassEnumerationTakesOnlyInterfacesWhoseSizeQueryAsksForABuffer) {
  system.devices[2].sizeQueryError = ERROR_INVALID_DATA;
  system.devices.push_back(
      {L"\\\\?\\hid#vid_0488&pid_d0c0#9&1", 0x0488, 0xD0C0, 5, {}, nullptr, 0});
  int count = 0, maxPathBytes = 0;
  ASSERT_EQ(hid->EnumDevices(nullptr, 0, nullptr, &count, &maxPathBytes), 0);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(maxPathBytes, static_cast<int>(wcslen(kPad2) * sizeof(wchar_t) + 1));
  EXPECT_EQ(system.Lines({"SetupDiGetClassDevsW", "DetailSize", "DetailFetch"}),
            (Lines{"SetupDiGetClassDevsW 0x12", "DetailSize #0", "DetailFetch #0 cbSize=8",
                   "DetailSize #1", "DetailFetch #1 cbSize=8", "DetailSize #2", "DetailSize #3"}));

  wchar_t paths[2][80], products[2][kVLMHIDStringChars], serials[2][kVLMHIDStringChars];
  DeviceEntry entries[2];
  for (int i = 0; i < 2; ++i) entries[i] = {0, 0, 0, products[i], serials[i], paths[i]};
  maxPathBytes = 0;
  ASSERT_EQ(hid->EnumDevices(nullptr, 0, entries, &count, &maxPathBytes), 0);
  EXPECT_EQ(entries[1].versionNumber, 0x1205);
  EXPECT_EQ(std::wstring(paths[0]), kPad1);
  EXPECT_EQ(std::wstring(paths[1]), kPad2);
  EXPECT_EQ(std::wstring(products[0]), L"Velmar Touchpad");
  EXPECT_EQ(std::wstring(products[1]), L"None");
  EXPECT_EQ(std::wstring(serials[0]), L"None");
  EXPECT_EQ(system.Lines({"HidD_GetProductString"}), Lines(2, "HidD_GetProductString 512"));
}

TEST_F(Win32Hid, EachModeOpensItsHandleWithItsAccessAndTheManualResetEvent) {
  EXPECT_EQ(Connect(kVLMHIDModeFeature, 7), Lines{"CreateFileW #0 " + kNoAccess});
  EXPECT_EQ(system.open.size(), 1u);
  const std::string event = "CreateEventW manual=1 initial=1 named=0";
  EXPECT_EQ(
      Connect(kVLMHIDModeInput, 9),
      (Lines{"CreateFileW #0 " + kNoAccess, "CreateFileW #1 " + kNoAccess,
             "CreateFileW #1 access=0x80000000 share=3 disposition=3 flags=0x40000000", event}));
  EXPECT_EQ(system.open.size(), 3u);
  EXPECT_EQ(Connect(kVLMHIDModeOutput, 10),
            (Lines{"CreateFileW #0 " + kNoAccess, "CreateFileW #1 " + kNoAccess,
                   "CreateFileW #1 access=0x40000000 share=3 disposition=3 flags=0x0", event}));
  EXPECT_EQ(system.open.size(), 3u);
  EXPECT_EQ(hid->DisconnectFromDevice(), 0);
  EXPECT_TRUE(system.open.empty());
}

TEST_F(Win32Hid, FailedConnectsLeaveNothingOpen) {
  EXPECT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 8, kVLMHIDModeFeature), -1);
  EXPECT_TRUE(system.open.empty());
  system.refuseReadOpen = true;
  EXPECT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 9, kVLMHIDModeInput), -1);
  EXPECT_TRUE(system.open.empty());
  system.refuseEvents = true;
  EXPECT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 10, kVLMHIDModeOutput), -1);
  EXPECT_TRUE(system.open.empty());
}

// Memory running out in the interface walk: the export returns -1 with no
// devices counted, nothing is left open (the device information set
// included, see TearDown) and no exception leaves the library.
TEST_F(Win32Hid, AnAllocationThatFailsInTheWalkEndsTheExportWithItsFailure) {
  system.outOfMemory = true;
  int count = 5, maxPathBytes = 0;
  EXPECT_EQ(EnumDevices(hid.get(), nullptr, 0, nullptr, &count, &maxPathBytes), -1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(system.openSets, 0);
  EXPECT_EQ(ConnectToDevice(hid.get(), 0x0488, 0x0101, 9, kVLMHIDModeInput), -1);
  EXPECT_EQ(system.openSets, 0);
  system.outOfMemory = false;
  EXPECT_EQ(ConnectToDevice(hid.get(), 0x0488, 0x0101, 9, kVLMHIDModeInput), 0);
}

TEST_F(Win32Hid, PathTokensChooseTheInterfaceBeforeItIsOpened) {
  ASSERT_EQ(hid->ConnectToDeviceEx(0x0488, 0x0101, 7, 0, L"vid_0488", 0, L"&col02", 20), 0);
  EXPECT_EQ(system.Lines({"CreateFileW"}), Lines{"CreateFileW #1 " + kNoAccess});
  hid->DisconnectFromDevice();
  system.log.clear();
  const uint32_t beyond = static_cast<uint32_t>(wcslen(kPad1));
  EXPECT_EQ(hid->ConnectToDeviceEx(0x0488, 0x0101, 7, 0, L"&col01", beyond, nullptr, 0), -1);
  EXPECT_TRUE(system.Lines({"CreateFileW"}).empty());
}

// VLMHID_TRACE's recorder over the Windows backend: the collection sits
// inside a Windows interface path, before the device instance, and names
// each interface's DEVICE line; a controller without a serial string is
// named by its hardware IDs.
TEST_F(Win32Hid, TraceNamesTheCollectionInsideTheInterfacePath) {
  std::vector<std::string> recorded;
  auto recorder = std::make_shared<vlmhid::TraceRecorder>(
      [&](const std::string& line) { recorded.push_back(line); }, [] { return uint64_t{42}; });
  VLMHIDInterface traced(vlmhid::TracedBackend(
      std::make_unique<vlmhid::win32::Win32Backend>(system.Calls()), recorder));
  system.reply = Pattern(kLength + 1, 40);
  Bytes in(kLength);
  ASSERT_EQ(traced.ConnectToDeviceEx(0x0488, 0x0101, 7, 0, L"&col01", 0, nullptr, 0), 0);
  ASSERT_EQ(traced.ReadFeatureReport(in.data(), kLength), 0);
  traced.DisconnectFromDevice();
  ASSERT_EQ(traced.ConnectToDeviceEx(0x0488, 0x0101, 7, 0, L"&col02", 0, nullptr, 0), 0);
  system.refuseTransfers = true;
  EXPECT_NE(traced.WriteFeatureReport(in.data(), kLength), 0);
  traced.DisconnectFromDevice();
  ASSERT_EQ(recorded.size(), 4u);
  EXPECT_EQ(recorded[0], "42 DEVICE hid#vid_0488&pid_0101 488:101:1205 7 &col01 Velmar Touchpad");
  const std::string get = "42 GET hid#vid_0488&pid_0101 282f36";
  EXPECT_EQ(recorded[1].substr(0, get.size()), get);
  EXPECT_EQ(recorded[2], "42 DEVICE hid#vid_0488&pid_0101&mi_01 488:101:1205 7 &col02 None");
  const std::string setFail = "42 SET-FAIL hid#vid_0488&pid_0101&mi_01 072f36";
  EXPECT_EQ(recorded[3].substr(0, setFail.size()), setFail);
}

TEST_F(Win32Hid, FeatureReportsAre532BytesWithTheReportIdInFront) {
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 7, kVLMHIDModeFeature), 0);
  const Bytes out = Pattern(kLength, 1);
  ASSERT_EQ(hid->WriteFeatureReport(out.data(), kLength), 0);
  Bytes expected = {7};
  expected.insert(expected.end(), out.begin(), out.end());
  EXPECT_EQ(system.sent, std::vector<Bytes>{expected});

  system.reply = Pattern(kLength + 1, 40);
  Bytes in(kLength);
  ASSERT_EQ(hid->ReadFeatureReport(in.data(), kLength), 0);
  EXPECT_EQ(system.Lines({"HidD_GetFeature"}), Lines{"HidD_GetFeature 532 id=7"});
  EXPECT_EQ(in, Bytes(system.reply.begin() + 1, system.reply.end()));
}

TEST_F(Win32Hid, TimedOutReadIsCancelledAndFinishedBeforeItsBufferIsFreed) {
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 9, kVLMHIDModeInput), 0);
  system.read = Read::kTimesOut;
  Bytes in(kLength, 0xEE);
  EXPECT_EQ(hid->ReadInputReport(in.data(), kLength, 50, 0), -1);
  EXPECT_EQ(system.Lines({"ReadFile", "WaitForSingleObject", "CancelIo", "GetOverlappedResult",
                          "ResetEvent"}),
            (Lines{"ReadFile 532 on read #1", "WaitForSingleObject 50", "CancelIo",
                   "WaitForSingleObject 1000", "GetOverlappedResult wait=1", "ResetEvent"}));
  EXPECT_EQ(system.pendingBuffer, nullptr);
  EXPECT_EQ(in, Bytes(kLength, 0xEE));
}

// A driver that never ends the cancelled read is waited for 1000 ms, not for
// ever; its read keeps the handle's own buffer, and no read starts on the
// handle until it has ended. A read that ended is judged after its end.
TEST_F(Win32Hid, CancelledReadTheDriverNeverEndsIsWaitedForBoundedAndBlocksTheNext) {
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 9, kVLMHIDModeInput), 0);
  system.reply = Pattern(kLength + 1, 5);
  system.read = Read::kNeverEnds;
  Bytes in(kLength, 0xEE);
  EXPECT_EQ(hid->ReadInputReport(in.data(), kLength, 50, 0), -1);
  EXPECT_NE(system.pendingBuffer, nullptr);
  system.read = Read::kAtOnce;
  EXPECT_EQ(hid->ReadInputReport(in.data(), kLength, 50, 0), -1);
  EXPECT_EQ(system.Lines({"ReadFile", "WaitForSingleObject", "CancelIo", "GetOverlappedResult"}),
            (Lines{"ReadFile 532 on read #1", "WaitForSingleObject 50", "CancelIo",
                   "WaitForSingleObject 1000", "GetOverlappedResult wait=0"}));
  // The driver ends it at last; then reads run again.
  system.pendingBuffer = nullptr;
  system.readError = ERROR_OPERATION_ABORTED;
  system.log.clear();
  EXPECT_EQ(hid->ReadInputReport(in.data(), kLength, 50, 0), 0);
  EXPECT_EQ(in, Bytes(system.reply.begin() + 1, system.reply.end()));
  EXPECT_EQ(system.Lines({"ReadFile", "GetOverlappedResult"}),
            (Lines{"GetOverlappedResult wait=0", "ReadFile 532 on read #1",
                   "GetOverlappedResult wait=1"}));
}

// A read refused at once (the event still signalled from its creation) and
// a read ended by an unplugged device are failures, not reports; a report
// that ends the read just as it is cancelled is delivered, not lost.
TEST_F(Win32Hid, OnlyAReadThatReallyDeliveredAReportSucceeds) {
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 9, kVLMHIDModeInput), 0);
  system.reply = Pattern(kLength + 1, 3);
  const Bytes report(system.reply.begin() + 1, system.reply.end());
  Bytes in(kLength, 0xEE);
  for (Read read : {Read::kRefused, Read::kUnplugged}) {
    system.read = read;
    EXPECT_EQ(hid->ReadInputReport(in.data(), kLength, 50, 0), -1);
    EXPECT_EQ(in, Bytes(kLength, 0xEE));
  }
  for (Read read : {Read::kAtOnce, Read::kArrivesAtCancel}) {
    system.read = read;
    EXPECT_EQ(hid->ReadInputReport(in.data(), kLength, 50, 0), 0);
    EXPECT_EQ(in, report);
    in.assign(kLength, 0);
  }
  EXPECT_EQ(system.pendingBuffer, nullptr);
}

TEST_F(Win32Hid, ThreeRefusedOutputWritesPauseAfterEachAttempt) {
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 10, kVLMHIDModeOutput), 0);
  system.refuseTransfers = true;
  const Bytes out = Pattern(8, 5);
  EXPECT_EQ(hid->WriteOutputReport(out.data(), 8, 0, 3), -1);
  const Lines attempt = {"WriteFile 9 overlapped=0", "Sleep 100", "ClearCommError write #1"};
  Lines expected = {"ClearCommError write #1"};
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), attempt.begin(), attempt.end());
  EXPECT_EQ(system.Lines({"ClearCommError", "WriteFile", "Sleep"}), expected);
}

}  // namespace
