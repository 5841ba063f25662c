// Telling controllers of one model apart: finding the selected one again
// among those listed under a pair of IDs, predicting whether it can be, and
// the unit record that says which controller a personality file came from.
#include "session/unit_identity.h"

#include <gtest/gtest.h>

#include "session/personality_record.h"

namespace padflash {
namespace {

AttachedDevice Device(const wchar_t* path, uint16_t product, const char* serial,
                      const char* location = "") {
  return {path, 0x0488, product, 0x1205, serial, location};
}

UnitTrail Trail(const char* serial, const wchar_t* path = L"", const char* location = "") {
  UnitTrail t;
  t.id.serial = serial;
  t.id.location = location;
  t.path = path;
  t.vendorId = 0x0488;
  t.productId = 0x0101;
  return t;
}

TEST(UnitIdentity, FoundBySerialThenLocationThenPathThenAsTheOnlyNewcomer) {
  size_t at = 99;
  const std::vector<AttachedDevice> two = {Device(L"/a&col01", 0x0101, "PADB"),
                                           Device(L"/b&col01", 0x0101, "PADA")};
  EXPECT_EQ(IdentifyUnit(two, Trail("PADA"), {}, false, at), Identification::kFound);
  EXPECT_EQ(at, 1u);

  const std::vector<AttachedDevice> placed = {Device(L"/a", 0x0101, "None", "/usb1/1-1"),
                                              Device(L"/b", 0x0101, "None", "/usb1/1-2")};
  EXPECT_EQ(IdentifyUnit(placed, Trail("", L"", "/usb1/1-2"), {}, false, at),
            Identification::kFound);
  EXPECT_EQ(at, 1u);
  EXPECT_EQ(IdentifyUnit(placed, Trail("", L"/a"), {}, false, at), Identification::kFound);
  EXPECT_EQ(at, 0u);
  // Nothing tells the two apart.
  EXPECT_EQ(IdentifyUnit(placed, Trail(""), {}, false, at), Identification::kAmbiguous);

  // After a restart: the one device listed is taken, unless it is one of
  // the others attached when the unit was selected, or shows another
  // serial than the unit is known to show.
  const std::vector<AttachedDevice> one = {Device(L"/c", 0xD0C0, "None")};
  EXPECT_EQ(IdentifyUnit(one, Trail("PADA", L"/x&col01"), {}, true, at), Identification::kFound);
  EXPECT_EQ(IdentifyUnit(one, Trail("PADA"), one, true, at), Identification::kNotPresent);
  UnitTrail known = Trail("PADA");
  known.id.bootloaderSerialKnown = true;
  known.id.bootloaderSerial = "BL-A";
  EXPECT_EQ(IdentifyUnit({Device(L"/c", 0xD0C0, "BL-C")}, known, {}, true, at),
            Identification::kNotPresent);
  EXPECT_EQ(IdentifyUnit({Device(L"/c", 0xD0C0, "BL-A")}, known, {}, true, at),
            Identification::kFound);
  EXPECT_EQ(IdentifyUnit({}, Trail("PADA"), {}, true, at), Identification::kNotPresent);
}

TEST(UnitIdentity, ToldApartOnlyByWhatTheOthersDoNotShare) {
  UnitIdentity unit;
  unit.serial = "PADA";
  const std::vector<AttachedDevice> loaders = {Device(L"/b", 0xD0C0, "None")};
  EXPECT_TRUE(CanBeToldApart(unit, true, {}));
  // Its bootloader's serial was never seen.
  EXPECT_FALSE(CanBeToldApart(unit, true, loaders));
  unit.bootloaderSerialKnown = true;
  unit.bootloaderSerial = "PADA";
  EXPECT_TRUE(CanBeToldApart(unit, true, loaders));
  EXPECT_FALSE(CanBeToldApart(unit, true, {Device(L"/b", 0xD0C0, "PADA")}));
  EXPECT_TRUE(CanBeToldApart(unit, false, {Device(L"/b&col01", 0x0101, "PADB")}));
  UnitIdentity placed;
  placed.location = "/usb1/1-2";
  EXPECT_TRUE(CanBeToldApart(placed, true, {Device(L"/b", 0xD0C0, "None", "/usb1/1-1")}));
  EXPECT_FALSE(CanBeToldApart(placed, true, {Device(L"/b", 0xD0C0, "None", "/usb1/1-2")}));
}

TEST(PersonalityRecord, EncodesAndDecodesEveryFieldWithItsEscapes) {
  PersonalityRecord r;
  r.unit.serial = "PAD=A%1\n";
  r.unit.bootloaderSerialKnown = true;
  r.unit.location = "/devices/usb1/1-2";
  r.path = "/dev/hidraw3&col01";
  r.vendorId = 0x0488;
  r.productId = 0x0101;
  r.versionNumber = 0x1205;
  r.saved = "2026-12-09 18:42:50 UTC";
  r.sequence = 7;
  r.compTableSize = 480;
  r.compTableSum = 0x1A2B3C4D;
  const std::string text = EncodeRecord(r);
  EXPECT_NE(text.find("serial=PAD%3DA%251%0A\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nbootloaderSerial=\n"), std::string::npos) << text;
  PersonalityRecord back;
  ASSERT_TRUE(DecodeRecord(text, back));
  EXPECT_EQ(back.unit.serial, r.unit.serial);
  EXPECT_TRUE(back.unit.bootloaderSerialKnown);
  EXPECT_EQ(back.unit.bootloaderSerial, "");
  EXPECT_EQ(back.unit.location, r.unit.location);
  EXPECT_EQ(back.path, r.path);
  EXPECT_EQ(back.versionNumber, 0x1205);
  EXPECT_EQ(back.sequence, 7u);
  EXPECT_EQ(back.compTableSum, 0x1A2B3C4Du);

  for (const char* bad :
       {"", "another file\nserial=A\n", "padflash unit record 1\nsequence=-1\n",
        "padflash unit record 1\nserial=%4\n", "padflash unit record 1\nids=1 2\n",
        "padflash unit record 1\nno equals sign\n"}) {
    EXPECT_FALSE(DecodeRecord(bad, back)) << bad;
  }
  EXPECT_TRUE(DecodeRecord("padflash unit record 1\r\nfuture=1\r\n", back));
}

TEST(PersonalityRecord, AFileIsTheUnitsOnlyWhenWhatBothShowAgrees) {
  PersonalityRecord saved;
  saved.unit.serial = "PADA";
  UnitIdentity running;
  running.serial = "PADA";
  EXPECT_EQ(MatchRecord(&saved, running, false), UnitMatch::kThisUnit);
  running.serial = "PADB";
  EXPECT_EQ(MatchRecord(&saved, running, false), UnitMatch::kOtherUnit);
  running.serial = "";
  EXPECT_EQ(MatchRecord(&saved, running, false), UnitMatch::kOtherUnit);
  EXPECT_EQ(MatchRecord(nullptr, running, false), UnitMatch::kUnknownUnit);

  // A bootloader: by its own serial when the record saw it, else only when
  // it shows the firmware's.
  UnitIdentity loader;
  loader.bootloaderSerialKnown = true;
  loader.bootloaderSerial = "PADA";
  EXPECT_EQ(MatchRecord(&saved, loader, true), UnitMatch::kThisUnit);
  loader.bootloaderSerial = "";
  EXPECT_EQ(MatchRecord(&saved, loader, true), UnitMatch::kUnknownUnit);
  saved.unit.bootloaderSerialKnown = true;
  saved.unit.bootloaderSerial = "BL-A";
  EXPECT_EQ(MatchRecord(&saved, loader, true), UnitMatch::kOtherUnit);
  loader.bootloaderSerial = "BL-A";
  EXPECT_EQ(MatchRecord(&saved, loader, true), UnitMatch::kThisUnit);

  // Locations must agree where both are known; alone they decide.
  saved.unit.location = "/usb1/1-2";
  loader.location = "/usb1/1-1";
  EXPECT_EQ(MatchRecord(&saved, loader, true), UnitMatch::kOtherUnit);
  PersonalityRecord placed;
  placed.unit.location = "/usb1/1-1";
  UnitIdentity unnamed;
  unnamed.location = "/usb1/1-1";
  EXPECT_EQ(MatchRecord(&placed, unnamed, false), UnitMatch::kThisUnit);
}

TEST(PersonalityRecord, DateFromTheFileName) {
  EXPECT_EQ(DateOfPersonalityFile("sf20150811_101010.mem"), "2015-08-11 10:10:10 UTC");
  EXPECT_EQ(DateOfPersonalityFile("/home/u/.local/state/padflash/sf20261209_090501_2.mem"),
            "2026-12-09 09:05:01 UTC");
  EXPECT_EQ(DateOfPersonalityFile("sfx.mem"), "");
}

}  // namespace
}  // namespace padflash
