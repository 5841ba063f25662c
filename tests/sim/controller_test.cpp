// The simulated controller against the bootloader protocol: byte vectors in,
// byte vectors out, on the virtual clock.
#include <gtest/gtest.h>

#include "sim/bus.h"
#include "tests/sim/sim_test_link.h"
#include "tools/fwgen/firmware_generator.h"
#include "update/fletcher.h"

namespace {

using namespace simtest;
using padflash::Fletcher16;
using padflash::Fletcher32;

class SimController : public ::testing::Test {
 protected:
  sim::Controller& AttachDefault(bool inBootloader = false) {
    sim::ControllerConfig config;
    config.inBootloader = inBootloader;
    return bus.Attach(config);
  }
  std::unique_ptr<Link> Firmware(sim::Controller& c) {
    return std::make_unique<Link>(bus, FirmwarePath(c.serial()), c.config().reportId);
  }
  std::unique_ptr<Link> Bootloader(sim::Controller& c) {
    return std::make_unique<Link>(bus, BootloaderPath(c.serial()), c.config().reportId);
  }
  static Buffer ReadRequest(uint32_t address, uint16_t length) {
    Buffer b = Command({padflash::kCmdReadMemory});
    PutU32(b, 1, address);
    PutU16(b, 5, length);
    return b;
  }
  static Buffer WriteRequest(uint32_t address, const Buffer& data) {
    Buffer b = Command({padflash::kCmdWriteMemory});
    PutU32(b, 1, address);
    PutU16(b, 5, static_cast<uint16_t>(data.size()));
    std::copy(data.begin(), data.end(), b.begin() + 7);
    PutU16(b, 7 + data.size(), Fletcher16(b.data(), 7 + data.size()));
    return b;
  }
  // Reads `length` bytes through a memory read; checks the reply's frame.
  Buffer ReadMemory(Link& link, uint32_t address, uint16_t length) {
    EXPECT_TRUE(link.Write(ReadRequest(address, length)));
    Buffer reply = link.Read();
    EXPECT_EQ(U32(reply, 5), address);
    EXPECT_EQ(U16(reply, 9), length);
    EXPECT_EQ(U16(reply, 11 + length), Fletcher16(reply.data() + 5, 6u + length));
    return Buffer(reply.begin() + 11, reply.begin() + 11 + length);
  }
  // The last-error byte of the status, or -1 when the read fails.
  int LastError(Link& link) {
    const Buffer status = link.Read();
    return status.empty() ? -1 : status[3];
  }

  // Programs the regions as the host does: format image, format each region
  // (but one at 0x08000000), write in 520-byte chunks, flush, validate.
  // Returns the last error after validate. `f32Tweak` is added to the
  // checksum sent for region `tweakRegion`.
  int Program(Link& link, const std::vector<fwgen::Region>& regions, int tweakRegion = -1,
              uint32_t f32Tweak = 0) {
    Buffer cmd = Command({padflash::kCmdFormatImage, 0, static_cast<uint8_t>(regions.size())});
    EXPECT_TRUE(link.Write(cmd));
    EXPECT_EQ(LastError(link), 0);
    for (size_t r = 0; r < regions.size(); ++r) {
      if (regions[r].address == padflash::kFlashBase) continue;
      const auto& bytes = regions[r].bytes;
      cmd = Command({padflash::kCmdFormatRegion, static_cast<uint8_t>(r)});
      PutU32(cmd, 2, regions[r].address);
      PutU32(cmd, 6, static_cast<uint32_t>(bytes.size()));
      uint32_t f32 = Fletcher32(bytes.data(), bytes.size());
      if (static_cast<int>(r) == tweakRegion) f32 += f32Tweak;
      PutU32(cmd, 10, f32);
      EXPECT_TRUE(link.Write(cmd));
      EXPECT_EQ(LastError(link), 0);
    }
    for (size_t r = 0; r < regions.size(); ++r) {
      if (regions[r].address == padflash::kFlashBase) continue;
      const auto& bytes = regions[r].bytes;
      for (size_t done = 0; done < bytes.size(); done += 520) {
        const size_t n = std::min<size_t>(520, bytes.size() - done);
        cmd = Command({padflash::kCmdWriteData});
        PutU32(cmd, 1, regions[r].address + static_cast<uint32_t>(done));
        PutU32(cmd, 5, static_cast<uint32_t>(n));
        std::copy(bytes.begin() + done, bytes.begin() + done + n, cmd.begin() + 9);
        if (!link.Write(cmd)) return -1;
        const int error = LastError(link);
        if (error != 0) return error;
      }
    }
    EXPECT_TRUE(link.Write(Command({padflash::kCmdFlush})));
    EXPECT_EQ(LastError(link), 0);
    EXPECT_TRUE(link.Write(Command({padflash::kCmdValidate, 1})));
    return LastError(link);
  }
  // Invokes the bootloader and waits out the restart.
  std::unique_ptr<Link> EnterBootloader(sim::Controller& c) {
    EXPECT_TRUE(Firmware(c)->Write(Command({padflash::kCmdInvoke})));
    clock.Advance(c.config().restartDelayMs);
    EXPECT_TRUE(c.inBootloader());
    return Bootloader(c);
  }

  padflash::testing::VirtualClock clock;
  sim::Bus bus{clock};
};

TEST_F(SimController, OneByteReadAtFeedConfig1EchoesAddressAndLengthWithItsChecksum) {
  sim::Controller& c = AttachDefault();
  auto link = Firmware(c);
  ASSERT_TRUE(link->open());
  ASSERT_TRUE(link->Write(Command({0x08, 0xC4, 0xC2, 0x00, 0x00, 0x01, 0x00})));
  Buffer reply = link->Read();
  ASSERT_EQ(reply.size(), 531u);
  const Buffer head = {0xC3, 0x5A, 0x05, 0x00, 0x10, 0xC4, 0xC2, 0x00, 0x00, 0x01, 0x00, 0x5A};
  EXPECT_EQ(Buffer(reply.begin(), reply.begin() + 12), head);
  const uint16_t f16 = Fletcher16(head.data() + 5, 7);
  EXPECT_EQ(reply[12], f16 & 0xFF);
  EXPECT_EQ(reply[13], f16 >> 8);
  EXPECT_TRUE(std::all_of(reply.begin() + 14, reply.end(), [](uint8_t b) { return b == 0; }));
  // The reply is handed out once; then the status header again.
  Buffer next = link->Read();
  EXPECT_EQ(Buffer(next.begin(), next.begin() + 6), Buffer({0xC3, 0x5A, 0x05, 0x00, 0x10, 0x00}));
}

TEST_F(SimController, AccessOffsetAndFlashAreReadThroughTheOffset) {
  sim::Controller& c = AttachDefault();
  auto link = Firmware(c);
  const Buffer offset = ReadMemory(*link, padflash::kAccessOffsetAddress, 4);
  EXPECT_EQ(U32(offset, 0), 0x1FFF3D54u + 480u);
  // The factory page's structure: chip, revision; the access offset at +68.
  const uint32_t page = padflash::kFactoryPageAddress + 480 - U32(offset, 0);
  const Buffer structure = ReadMemory(*link, page, 80);
  EXPECT_EQ(structure[0], 0x12);
  EXPECT_EQ(structure[1], 0x05);
  EXPECT_EQ(U32(structure, 68), 0x1FFF3F34u);
  EXPECT_EQ(Buffer(structure.begin(), structure.end()), c.ReadFlash(0x0800FC00 + 480, 80));
  // The RAM mirror holds the same structure; the last byte of the RAM
  // mirror is readable, one past it is not.
  EXPECT_EQ(ReadMemory(*link, 0xC2C0, 2), Buffer({0x12, 0x05}));
  ReadMemory(*link, 0xC2C0 + 0x1FF, 1);
  ASSERT_TRUE(link->Write(ReadRequest(0xC2C0 + 0x1FF, 2)));
  Buffer status = link->Read();
  EXPECT_EQ(status[3], padflash::NV_err_offset_out_of_range);
  EXPECT_EQ(U32(status, 5), 0u) << "no echo without a reply";
}

TEST_F(SimController, MemoryWriteChecksItsChecksumAndOnlyWritesRam) {
  sim::Controller& c = AttachDefault();
  auto link = Firmware(c);
  Buffer bad = WriteRequest(0xC2C4, {0x33});
  bad[9] ^= 0x01;  // the checksum's high byte
  ASSERT_TRUE(link->Write(bad));
  EXPECT_EQ(LastError(*link), padflash::NV_err_chksum_mismatch);
  EXPECT_EQ(c.feedConfig1(), 0x5A);

  ASSERT_TRUE(link->Write(WriteRequest(0xC2C4, {0x33})));
  EXPECT_EQ(LastError(*link), padflash::NV_err_none);
  EXPECT_EQ(c.feedConfig1(), 0x33);
  EXPECT_EQ(ReadMemory(*link, 0xC2C4, 1), Buffer({0x33}));

  const Buffer before = c.ReadFlash(0x0800FC00, 4);
  ASSERT_TRUE(link->Write(WriteRequest(0x0800FC00 - c.accessOffset(), {1, 2, 3, 4})));
  EXPECT_EQ(LastError(*link), padflash::NV_err_access_violation);
  EXPECT_EQ(c.ReadFlash(0x0800FC00, 4), before);
}

TEST_F(SimController, FirmwareModeOffersThreeCollectionsAndRefusesBootloaderCommands) {
  sim::Controller& c = AttachDefault();
  std::vector<sim::BusInterface> list = bus.Interfaces();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].path, L"/sim/SIM0001&col01");
  EXPECT_EQ(list[2].path, L"/sim/SIM0001&col03");
  EXPECT_EQ(list[0].featureReportId, 7);
  EXPECT_EQ(list[1].featureReportId, 0);
  EXPECT_NE(list[1].inputReportId, 0);
  EXPECT_NE(list[1].inputReportId, 7);
  EXPECT_EQ(list[0].vendorId, 0x0488);
  EXPECT_EQ(list[0].productId, 0x0101);
  EXPECT_EQ(list[0].versionNumber, 0x1205);

  Link col02(bus, L"/sim/SIM0001&col02", 7);
  ASSERT_TRUE(col02.open());
  EXPECT_FALSE(col02.Write(Command({padflash::kCmdReadMemory})));
  EXPECT_TRUE(col02.Read().empty());

  auto link = Firmware(c);
  ASSERT_TRUE(link->Write(Command({padflash::kCmdFormatImage, 0, 1})));
  EXPECT_EQ(LastError(*link), padflash::NV_err_cmd_unknown);
  EXPECT_TRUE(c.imageValid());
  // Reports of another length or report ID do not go through.
  Buffer shortReport(100, 7);
  EXPECT_FALSE(link->handle().SetFeature(shortReport.data(), shortReport.size()));
  Link wrongId(bus, FirmwarePath(c.serial()), 8);
  EXPECT_FALSE(wrongId.Write(Command({padflash::kCmdReadMemory})));
}

TEST_F(SimController, InvokeDisappearsForTheDelayThenComesBackAsTheBootloader) {
  sim::Controller& c = AttachDefault();
  auto link = Firmware(c);
  ASSERT_TRUE(link->Write(Command({padflash::kCmdInvoke})));
  EXPECT_FALSE(c.present());
  EXPECT_TRUE(bus.Interfaces().empty());
  EXPECT_TRUE(link->Read().empty());
  clock.Advance(499);
  EXPECT_TRUE(bus.Interfaces().empty());
  clock.Advance(1);
  std::vector<sim::BusInterface> list = bus.Interfaces();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].path, L"/sim/SIM0001");
  EXPECT_EQ(list[0].vendorId, 0x0488);
  EXPECT_EQ(list[0].productId, 0xD0C0);
  EXPECT_EQ(list[0].featureReportId, 7);
  // The handle opened before the restart is dead; a new one answers.
  EXPECT_TRUE(link->Read().empty());
  auto boot = Bootloader(c);
  Buffer status = boot->Read();
  EXPECT_EQ(Buffer(status.begin(), status.begin() + 5), Buffer({0x5A, 0xC3, 0x05, 0x00, 0x10}));
}

TEST_F(SimController, ReprogrammedImageStartsUnderTheIdsOfItsNewStructure) {
  sim::Controller& c = AttachDefault();
  auto boot = EnterBootloader(c);
  fwgen::FirmwareBuild build;
  build.revision = 0x07;
  build.vendorId = 0x044E;
  build.productId = 0x1234;
  build.bootloaderRegion = true;  // not programmed: the bootloader's own area
  const auto regions = fwgen::GenerateFirmware(build);
  ASSERT_EQ(Program(*boot, regions), padflash::NV_err_none);
  EXPECT_TRUE(c.imageValid());
  EXPECT_EQ(boot->Read()[4] & padflash::kFlagImageValid, padflash::kFlagImageValid);
  EXPECT_EQ(c.ReadFlash(regions[0].address, regions[0].bytes.size()), regions[0].bytes);
  ASSERT_EQ(c.regions().size(), 2u);
  EXPECT_EQ(c.regions()[0].bytesWritten, regions[0].bytes.size());

  ASSERT_TRUE(boot->Write(Command({padflash::kCmdReset})));
  EXPECT_FALSE(c.present());
  clock.Advance(500);
  ASSERT_FALSE(c.inBootloader());
  EXPECT_EQ(c.vendorId(), 0x044E);
  EXPECT_EQ(c.productId(), 0x1234);
  EXPECT_EQ(c.versionNumber(), 0x1207);
  const std::vector<sim::BusInterface> list = bus.Interfaces();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].vendorId, 0x044E);
  EXPECT_EQ(list[0].productId, 0x1234);
}

TEST_F(SimController, ValidateWithAWrongRegionChecksumReportsTheMismatch) {
  sim::Controller& c = AttachDefault();
  auto boot = EnterBootloader(c);
  const auto regions = fwgen::GenerateFirmware(fwgen::FirmwareBuild{});
  EXPECT_EQ(Program(*boot, regions, /*tweakRegion=*/1, /*f32Tweak=*/1),
            padflash::NV_err_chksum_mismatch);
  EXPECT_FALSE(c.imageValid());
  EXPECT_EQ(boot->Read()[4] & padflash::kFlagImageValid, 0);
  // Reset without a valid image: back as the bootloader.
  ASSERT_TRUE(boot->Write(Command({padflash::kCmdReset})));
  clock.Advance(500);
  EXPECT_TRUE(c.present());
  EXPECT_TRUE(c.inBootloader());
}

TEST_F(SimController, ImageCommandsKeepToTheFormattedRegions) {
  sim::Controller& c = AttachDefault();
  auto boot = EnterBootloader(c);
  Buffer data = Command({padflash::kCmdWriteData});
  PutU32(data, 1, 0x08003000);
  PutU32(data, 5, 16);
  ASSERT_TRUE(boot->Write(data));
  EXPECT_EQ(LastError(*boot), padflash::NV_err_not_initialized) << "before format image";

  ASSERT_TRUE(boot->Write(Command({padflash::kCmdFormatImage, 0, 2})));
  EXPECT_EQ(c.ReadFlash(0x0800FC00, 1024), Buffer(1024, 0xFF)) << "factory page erased";
  EXPECT_NE(c.ReadFlash(0x08002800, 16), Buffer(16, 0xFF)) << "bootloader area kept";
  Buffer region = Command({padflash::kCmdFormatRegion, 0});
  PutU32(region, 2, 0x08002000);  // inside the bootloader area of a USB part
  PutU32(region, 6, 0x100);
  ASSERT_TRUE(boot->Write(region));
  EXPECT_EQ(LastError(*boot), padflash::NV_err_protection_violation);
  PutU32(region, 2, 0x08002900);
  ASSERT_TRUE(boot->Write(region));
  EXPECT_EQ(LastError(*boot), padflash::NV_err_none);
  PutU32(data, 1, 0x080029F8);  // runs past the region's end
  ASSERT_TRUE(boot->Write(data));
  EXPECT_EQ(LastError(*boot), padflash::NV_err_offset_out_of_range);
  PutU32(data, 1, 0x080029F0);
  ASSERT_TRUE(boot->Write(data));
  EXPECT_EQ(LastError(*boot), padflash::NV_err_none);
  ASSERT_TRUE(boot->Write(Command({0x42})));
  EXPECT_EQ(LastError(*boot), padflash::NV_err_cmd_unknown);
}

TEST_F(SimController, PowerLossLeavesTheBootloaderWithAnInvalidImageAndErasedPage) {
  sim::Controller& c = AttachDefault();
  auto boot = EnterBootloader(c);
  c.faults().powerLossAtChunk = 3;
  const auto regions = fwgen::GenerateFirmware(fwgen::FirmwareBuild{});
  EXPECT_EQ(Program(*boot, regions), -1) << "the status read after chunk 3 finds no controller";
  EXPECT_FALSE(c.present());
  EXPECT_EQ(c.state().counters.writeChunks, 2u);
  clock.Advance(500);
  ASSERT_TRUE(c.present());
  EXPECT_TRUE(c.inBootloader());
  EXPECT_FALSE(c.imageValid());
  EXPECT_EQ(c.ReadFlash(0x0800FC00, 1024), Buffer(1024, 0xFF));
  EXPECT_EQ(c.faults().powerLossAtChunk, 0) << "fired once";
  // Reset brings it back as the bootloader again.
  auto again = Bootloader(c);
  ASSERT_TRUE(again->Write(Command({padflash::kCmdReset})));
  clock.Advance(500);
  EXPECT_TRUE(c.inBootloader());
}

// A SET refused with an error code is not carried out; power failing at any
// report drops that report and brings the controller back in the mode its
// image allows, with flash as it was.
TEST_F(SimController, ErrorAtASetAndPowerFailureAtAReport) {
  sim::Controller& c = AttachDefault();
  auto boot = EnterBootloader(c);
  ASSERT_NE(c.ReadFlash(0x08002900, 16), Buffer(16, 0xFF));
  c.faults().bootloaderErrorAtSet = 2;
  c.faults().bootloaderErrorCode = 0x0B;
  Buffer format = Command({padflash::kCmdFormatImage, 0, 1});
  ASSERT_TRUE(boot->Write(format));
  EXPECT_EQ(LastError(*boot), 0);
  ASSERT_TRUE(boot->Write(Command({padflash::kCmdFlush})));
  EXPECT_EQ(LastError(*boot), 0x0B);
  EXPECT_EQ(c.ReadFlash(0x08002900, 16), Buffer(16, 0xFF));  // the format was carried out

  c.faults().powerLossAtReport = 2;
  ASSERT_TRUE(boot->Write(Command({padflash::kCmdFlush})));
  EXPECT_TRUE(boot->Read().empty());
  EXPECT_FALSE(c.present());
  clock.Advance(c.config().restartDelayMs);
  EXPECT_TRUE(c.inBootloader());  // the format left no valid image
  EXPECT_EQ(c.ReadFlash(0x08002900, 16), Buffer(16, 0xFF));

  sim::Controller& running = AttachDefault();
  running.faults().powerLossAtReport = 1;
  EXPECT_FALSE(Firmware(running)->Write(ReadRequest(0xC2C4, 1)));
  clock.Advance(running.config().restartDelayMs);
  EXPECT_FALSE(running.inBootloader());
  EXPECT_EQ(running.feedConfig1(), 0x5A);  // taken from flash again
}

// The host-death rule ends the host right after the report it names, once:
// the controller has taken that report (alone, a read's reply is waiting),
// and with a power loss at the same report it is gone as well.
TEST_F(SimController, HostDeathEndsTheHostAfterItsReport) {
  sim::Controller& c = AttachDefault();
  auto link = Firmware(c);
  int deaths = 0;
  bus.SetHostDeathHook([&deaths] { ++deaths; });
  c.faults().hostDeathAtReport = 2;
  EXPECT_TRUE(link->Write(ReadRequest(0xC2C4, 1)));
  EXPECT_EQ(deaths, 0);
  EXPECT_TRUE(link->Write(ReadRequest(0xC2C4, 1)));
  EXPECT_EQ(deaths, 1);
  EXPECT_EQ(link->Read().at(11), 0x5A);  // the report was carried out
  EXPECT_EQ(deaths, 1);

  c.faults().hostDeathAtReport = 1;
  c.faults().powerLossAtReport = 1;
  EXPECT_FALSE(link->Write(ReadRequest(0xC2C4, 1)));
  EXPECT_EQ(deaths, 2);
  EXPECT_FALSE(c.present());
}

TEST_F(SimController, ScriptedTransferFaultsCountFromNow) {
  sim::Controller& c = AttachDefault();
  auto link = Firmware(c);
  c.faults().failSetAt = 2;
  EXPECT_TRUE(link->Write(ReadRequest(0xC2C4, 1)));
  EXPECT_FALSE(link->Write(ReadRequest(0xC2C4, 1)));
  EXPECT_TRUE(link->Write(ReadRequest(0xC2C4, 1)));
  c.faults().failGetAt = 1;
  EXPECT_TRUE(link->Read().empty());
  // The reply waits for the next good read.
  EXPECT_EQ(link->Read().at(11), 0x5A);

  c.faults().corruptReadReplyAt = 1;
  ASSERT_TRUE(link->Write(ReadRequest(0xC2C4, 1)));
  Buffer reply = link->Read();
  EXPECT_NE(U16(reply, 12), Fletcher16(reply.data() + 5, 7));
  ASSERT_TRUE(link->Write(ReadRequest(0xC2C4, 1)));
  reply = link->Read();
  EXPECT_EQ(U16(reply, 12), Fletcher16(reply.data() + 5, 7));
}

TEST_F(SimController, BootloaderErrorAfterAChosenChunk) {
  sim::Controller& c = AttachDefault();
  auto boot = EnterBootloader(c);
  c.faults().bootloaderErrorAfterChunk = 2;
  c.faults().bootloaderErrorCode = padflash::NV_err_timeout;
  EXPECT_EQ(Program(*boot, fwgen::GenerateFirmware(fwgen::FirmwareBuild{})),
            padflash::NV_err_timeout);
  EXPECT_EQ(c.state().counters.writeChunks, 2u);
}

TEST_F(SimController, NoReturnAfterInvokeUntilPowerCycledAndSlowReturn) {
  sim::Controller& c = AttachDefault();
  c.faults().noReturnAfterInvoke = true;
  ASSERT_TRUE(Firmware(c)->Write(Command({padflash::kCmdInvoke})));
  clock.Advance(3600 * 1000);
  EXPECT_FALSE(c.present());
  c.PowerCycle();
  EXPECT_TRUE(c.present());
  EXPECT_FALSE(c.inBootloader()) << "the image is still valid";

  c.faults() = sim::FaultRules{};
  c.faults().returnDelayMs = 5000;
  ASSERT_TRUE(Firmware(c)->Write(Command({padflash::kCmdInvoke})));
  clock.Advance(4999);
  EXPECT_FALSE(c.present());
  clock.Advance(1);
  EXPECT_TRUE(c.inBootloader());
}

TEST_F(SimController, AttachBuildsARealisticFactoryPage) {
  sim::ControllerConfig config;
  config.i2c = true;
  config.compTableSize = 400;
  config.feedConfig1 = 0x21;
  sim::Controller& a = bus.Attach(config);
  sim::Controller& b = bus.Attach(config);
  EXPECT_EQ(a.serial(), "SIM0001");
  EXPECT_EQ(b.serial(), "SIM0002");
  const Buffer page = a.ReadFlash(0x0800FC00, 1024);
  EXPECT_NE(Buffer(page.begin(), page.begin() + 400), Buffer(b.ReadFlash(0x0800FC00, 400)))
      << "comp tables differ by serial";
  EXPECT_EQ(page[400], 0x12);
  EXPECT_EQ(page[401], 0x05);
  EXPECT_EQ(page[404], 0x21);
  EXPECT_EQ(page[400 + 0x11], 0x2C);
  EXPECT_EQ(U16(page, 400 + 0x12), 0x0020);
  EXPECT_EQ(U32(page, 400 + 68), 0x1FFF3D54u + 400u);
  EXPECT_NE(page[400 + 72], 0);
  EXPECT_NE(page[400 + 73], 0);
  EXPECT_NE(page[400 + 74], 0);
  EXPECT_EQ(page[400 + fwgen::kStructEndMarker], 0xFC);
  EXPECT_EQ(page[400 + fwgen::kStructEndMarker + 1], 0xDE);
  // An I2C part carries its image at 0x08001900 and runs from the page.
  EXPECT_EQ(a.ReadFlash(0x080019C0, 2), Buffer({0x12, 0x05}));
  EXPECT_TRUE(a.state().structureFromFactoryPage);
  EXPECT_EQ(a.ReadRam(0xC2C0 + 0x11, 1), Buffer({0x2C}));

  // A USB part has no I2C address or HID descriptor in its structure.
  sim::Controller& usb = AttachDefault();
  EXPECT_EQ(usb.ReadRam(0xC2C0 + 0x11, 3), Buffer({0, 0, 0}));

  sim::Controller& stuck = AttachDefault(/*inBootloader=*/true);
  EXPECT_TRUE(stuck.inBootloader());
  EXPECT_FALSE(stuck.imageValid());
  EXPECT_EQ(stuck.ReadFlash(0x08002900, 16), Buffer(16, 0xFF));
  EXPECT_EQ(stuck.ReadFlash(0x0800FC00 + 480, 2), Buffer({0x12, 0x05}));
}

TEST_F(SimController, ErasedFactoryPageFallsBackToTheImageDefaults) {
  sim::Controller& c = AttachDefault();
  auto boot = EnterBootloader(c);
  fwgen::FirmwareBuild build;
  build.productId = 0x0202;
  build.factoryPageRegion = false;  // the page stays erased
  ASSERT_EQ(Program(*boot, fwgen::GenerateFirmware(build)), padflash::NV_err_none);
  ASSERT_TRUE(boot->Write(Command({padflash::kCmdReset})));
  clock.Advance(500);
  ASSERT_FALSE(c.inBootloader());
  EXPECT_FALSE(c.state().structureFromFactoryPage);
  EXPECT_EQ(c.productId(), 0x0202);
  EXPECT_EQ(c.ReadRam(0xC2C0, 2), Buffer({0x12, 0x05}));
}

TEST_F(SimController, OddConfigurationsAndDamagedSavedStatesStayInsideTheirMemory) {
  sim::ControllerConfig config;
  config.compTableSize = 0xFFFFFFFF;  // no room for a structure on the page
  sim::Controller& odd = bus.Attach(config);
  EXPECT_FALSE(odd.state().structureFromFactoryPage);
  EXPECT_EQ(odd.productId(), 0x0101) << "runs from the image's defaults";

  sim::ControllerState saved = AttachDefault(/*inBootloader=*/true).state();
  saved.config.serial = "DAMAGED";
  saved.flash.resize(100);
  saved.pendingReply.assign(7, 0xAA);
  saved.formatImage.formatted = true;
  saved.regions.push_back({0, 0x0800FF00, 0x1000, 0, 0});  // runs past the flash
  sim::Controller& damaged = bus.Restore(saved);
  EXPECT_TRUE(damaged.regions().empty());
  auto boot = Bootloader(damaged);
  EXPECT_EQ(boot->Read().at(0), 0x5A) << "status, not the damaged reply";
  ASSERT_TRUE(boot->Write(Command({padflash::kCmdValidate, 1})));
  EXPECT_EQ(LastError(*boot), padflash::NV_err_no_recent_image);
  EXPECT_EQ(damaged.ReadFlash(0x0800FFFF, 4).size(), 1u);
}

}  // namespace
