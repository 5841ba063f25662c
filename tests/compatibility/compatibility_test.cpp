// The compatibility rules over identity records built here, and the identity
// questions with and without their printed answers.
#include "update/compatibility.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "session/session.h"
#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"

namespace padflash {
namespace {

using testing::RecordingWindow;
using testing::TestSystemPort;

constexpr const char* kVidPidRefused =
    "VID PID mismatch NOT ALLOWED try using cmd line argument /o for override. See About for more "
    "details.\r\n";
constexpr const char* kI2cRefused =
    "ERROR - The Device I2C Address and HID Descriptor cannot be different in the new FW file. "
    "There is no override for this Error.\r\n";
constexpr const char* kChipRefused =
    "CHIP ID mismatch NOT ALLOWED. Try using Override cmd argument /o. See About for more "
    "info.\r\nModule ChipID: 0x21  File ChipID: 0x22\r\n";
constexpr const char* kVerified = "FW Version, VID/PID, and CHIP ID Compatibility verified\r\n";
constexpr const char* kSame = "WARNING - Firmware version is the same\r\n";
constexpr const char* kOlder = "WARNING - Attempting to load an older version of Firmware\r\n";
constexpr const char* kUnlisted = "WARNING - Firmware ID is NOT in compatibilty list\r\n";
constexpr const char* kAllowedDone = "FW Compatibility Allowed - Done\r\n";
constexpr const char* kWillNotAllow =
    "FW Version Compatibility Check will not allow this to proceed\r\n";
constexpr const char* kUserNo = "FW Version same or older NOT-ALLOWED with customer input\r\n";
constexpr const char* kUserYes = "FW Version same or older ALLOWED with customer input\r\n";

// An I2C controller at 0x2C / 0x20, chip 0x21, revision 0x10, and a firmware
// built for it with the same revision.
DeviceIdentity Device() {
  DeviceIdentity d;
  d.vendorId = 0x044E;
  d.productId = 0x1234;
  d.chipId = 0x21;
  d.firmwareRevision = 0x10;
  d.isI2C = 1;
  d.i2cAddress = 0x2C;
  d.bootloaderI2cAddress = 0x2C;
  d.hidDescriptorAddress = 0x20;
  d.bootloaderHidDescriptorAddress = 0x20;
  return d;
}

DeviceIdentity Firmware() {
  DeviceIdentity f = Device();
  f.fromHexFile = 1;
  return f;
}

enum class Mode { kAsk, kSilent, kOverride };

struct Case {
  const char* name;
  std::function<void(DeviceIdentity& d, DeviceIdentity& f)> setup;
  Mode mode;
  MessageAnswer answer;  // for the "FW Downgrade" box, when asked
  bool allowed;
  std::string verbose;
  std::string status;  // "" when the status line is left alone
  bool asked;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class CompatibilityTable : public ::testing::TestWithParam<Case> {};

TEST_P(CompatibilityTable, DecidesAndReportsAsTheTableSays) {
  const Case& c = GetParam();
  RecordingWindow window;
  TestSystemPort system;
  Session session(window, system, [] { return nullptr; });
  session.config.silent = c.mode == Mode::kSilent;
  window.defaultAnswer = c.answer;
  DeviceIdentity d = Device();
  DeviceIdentity f = Firmware();
  c.setup(d, f);

  EXPECT_EQ(CheckCompatibility(session, d, f, c.mode == Mode::kOverride), c.allowed);
  EXPECT_EQ(window.verbose(), c.verbose);
  EXPECT_EQ(window.status(), c.status.empty() ? "Status:" : c.status);
  const auto boxes = window.messageBoxes();
  ASSERT_EQ(boxes.size(), c.asked ? 1u : 0u);
  if (c.asked) {
    EXPECT_EQ(boxes[0].caption, "FW Downgrade");
    EXPECT_EQ(boxes[0].text, "The FW Version is an older version. \r\n\tDo you want to continue?");
    EXPECT_EQ(boxes[0].buttons, MessageButtons::kYesNo);
    EXPECT_TRUE(boxes[0].owned);
  }
}

void VendorDiffers(DeviceIdentity&, DeviceIdentity& f) {
  f.vendorId = 0x0488;
}
void ProductDiffers(DeviceIdentity&, DeviceIdentity& f) {
  f.productId = 0x1235;
}
void I2cAddressDiffers(DeviceIdentity&, DeviceIdentity& f) {
  f.i2cAddress = 0x2D;
}
void HidDescriptorDiffers(DeviceIdentity&, DeviceIdentity& f) {
  f.hidDescriptorAddress = 0x01;
}
void BootloaderAddressDiffers(DeviceIdentity& d, DeviceIdentity&) {
  d.bootloaderI2cAddress = 0;
}
void ChipDiffers(DeviceIdentity&, DeviceIdentity& f) {
  f.chipId = 0x22;
}
void ChipDiffersAndOlder(DeviceIdentity&, DeviceIdentity& f) {
  f.chipId = 0x22;
  f.firmwareRevision = 0x0F;
}
// Listed revision even though the new firmware is older.
void ListedButOlder(DeviceIdentity&, DeviceIdentity& f) {
  f.firmwareRevision = 0x08;
  f.compatibleFirmwareIds = {0x0E, 0x10};
}
void SameRevision(DeviceIdentity&, DeviceIdentity&) {}
void Older(DeviceIdentity&, DeviceIdentity& f) {
  f.firmwareRevision = 0x0F;
}
void NewerUnlisted(DeviceIdentity&, DeviceIdentity& f) {
  f.firmwareRevision = 0x11;
  f.compatibleFirmwareIds = {0x0F, 0x110};  // 0x110 must not match revision 0x10
}
void UsbFirmwareAddressesDiffer(DeviceIdentity& d, DeviceIdentity& f) {
  f.isI2C = 0;
  f.i2cAddress = 0;
  f.hidDescriptorAddress = 0;
  d.bootloaderHidDescriptorAddress = 0x99;
}

std::string Warn(const char* warning, const char* tail) {
  return std::string(warning) + "\r\n" + tail;
}

const MessageAnswer kYes = MessageAnswer::kYes;
const MessageAnswer kNo = MessageAnswer::kNo;

INSTANTIATE_TEST_SUITE_P(
    Rules, CompatibilityTable,
    ::testing::Values(
        // Vendor or product ID differ.
        Case{"VendorAsk", VendorDiffers, Mode::kAsk, kYes, false, kVidPidRefused, "", false},
        Case{"ProductSilent", ProductDiffers, Mode::kSilent, kYes, false, kVidPidRefused, "",
             false},
        Case{"VendorOverride", VendorDiffers, Mode::kOverride, kNo, true, kSame, kSame, false},
        // I2C addressing differs: no override.
        Case{"I2cAsk", I2cAddressDiffers, Mode::kAsk, kYes, false, kI2cRefused, kI2cRefused, false},
        Case{"HidDescSilent", HidDescriptorDiffers, Mode::kSilent, kYes, false, kI2cRefused,
             kI2cRefused, false},
        Case{"I2cOverride", I2cAddressDiffers, Mode::kOverride, kYes, false, kI2cRefused,
             kI2cRefused, false},
        Case{"BootloaderAddrOverride", BootloaderAddressDiffers, Mode::kOverride, kYes, false,
             kI2cRefused, kI2cRefused, false},
        Case{"UsbFirmwareSkipsAddressRule", UsbFirmwareAddressesDiffer, Mode::kAsk, kYes, true,
             kSame, kSame, false},
        // Chip ID differs.
        Case{"ChipAsk", ChipDiffers, Mode::kAsk, kYes, false, kChipRefused, "", false},
        Case{"ChipSilent", ChipDiffers, Mode::kSilent, kYes, false, kChipRefused, "", false},
        Case{"ChipOverrideGoesOnToRevisions", ChipDiffersAndOlder, Mode::kOverride, kNo, true,
             Warn(kOlder, kAllowedDone), kOlder, false},
        // Device revision in the compatible list.
        Case{"ListedAsk", ListedButOlder, Mode::kAsk, kNo, true, kVerified, "", false},
        Case{"ListedSilent", ListedButOlder, Mode::kSilent, kNo, true, kVerified, "", false},
        Case{"ListedOverride", ListedButOlder, Mode::kOverride, kNo, true, kVerified, "", false},
        // Same revision.
        Case{"SameAsk", SameRevision, Mode::kAsk, kNo, true, kSame, kSame, false},
        Case{"SameSilent", SameRevision, Mode::kSilent, kNo, true, kSame, kSame, false},
        Case{"SameOverride", SameRevision, Mode::kOverride, kNo, true, kSame, kSame, false},
        // Older revision.
        Case{"OlderAskYes", Older, Mode::kAsk, kYes, true,
             Warn(kOlder, (std::string(kUserYes) + kAllowedDone).c_str()), kOlder, true},
        Case{"OlderAskNo", Older, Mode::kAsk, kNo, false,
             Warn(kOlder, (std::string(kUserNo) + kWillNotAllow).c_str()), kOlder, true},
        Case{"OlderSilent", Older, Mode::kSilent, kYes, false, Warn(kOlder, kWillNotAllow), kOlder,
             false},
        Case{"OlderOverride", Older, Mode::kOverride, kNo, true, Warn(kOlder, kAllowedDone), kOlder,
             false},
        // Newer revision that is not listed.
        Case{"NewerAskYes", NewerUnlisted, Mode::kAsk, kYes, true,
             Warn(kUnlisted, (std::string(kUserYes) + kAllowedDone).c_str()), kUnlisted, true},
        Case{"NewerAskNo", NewerUnlisted, Mode::kAsk, kNo, false,
             Warn(kUnlisted, (std::string(kUserNo) + kWillNotAllow).c_str()), kUnlisted, true},
        Case{"NewerSilent", NewerUnlisted, Mode::kSilent, kYes, false,
             Warn(kUnlisted, kWillNotAllow), kUnlisted, false},
        Case{"NewerOverride", NewerUnlisted, Mode::kOverride, kNo, true,
             Warn(kUnlisted, kAllowedDone), kUnlisted, false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The version comparison is a plain unsigned byte comparison.
TEST(CompatibilityRevisions, CompareAsUnsignedBytes) {
  struct Pair {
    uint8_t device, firmware;
    const char* warning;
  };
  for (const Pair& p :
       {Pair{0x0F, 0x10, kUnlisted}, Pair{0x10, 0x0F, kOlder}, Pair{0x80, 0x7F, kOlder},
        Pair{0x00, 0xFF, kUnlisted}, Pair{0xFF, 0x00, kOlder}}) {
    RecordingWindow window;
    TestSystemPort system;
    Session session(window, system, [] { return nullptr; });
    DeviceIdentity d = Device();
    DeviceIdentity f = Firmware();
    d.firmwareRevision = p.device;
    f.firmwareRevision = p.firmware;
    EXPECT_TRUE(CheckCompatibility(session, d, f, true));
    EXPECT_EQ(window.status(), p.warning) << int(p.device) << " vs " << int(p.firmware);
  }
}

// The identity questions.
class IdentityQuestions : public ::testing::Test {
 protected:
  RecordingWindow window;
  TestSystemPort system;
  Session session{window, system, [] { return nullptr; }};
  DeviceIdentity firmware = Firmware();
};

constexpr const char* kVendorYes =
    "The VendorID of the selected device does not match the ID in the Firmware file provided. "
    "User chose to override the values with the ones in the FW file.\r\n";
constexpr const char* kProductNo =
    "The ProductID of the selected device does not match the ID in the Firmware file provided. "
    "User chose not to override the values with the ones in the FW file.\r\n";

TEST_F(IdentityQuestions, MatchingIdsAskNothing) {
  EXPECT_TRUE(ConfirmIdentity(session, 0x044E, 0x1234, firmware, true));
  EXPECT_TRUE(window.messageBoxes().empty());
  EXPECT_EQ(window.verbose(), "");
}

TEST_F(IdentityQuestions, YesToVendorNoToProductStopsWithPrintedAnswers) {
  window.QueueAnswer(MessageAnswer::kYes);
  window.QueueAnswer(MessageAnswer::kNo);
  EXPECT_FALSE(ConfirmIdentity(session, 0x0488, 0x9999, firmware, true));
  const auto boxes = window.messageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "VendorID does not Match");
  EXPECT_EQ(boxes[0].text,
            "The VendorID of the selected device does not match the ID in the Firmware file "
            "provided. Would you like to continue and override the one in the device with the new "
            "one in the Firmware?");
  EXPECT_EQ(boxes[1].caption, "ProductID does not Match");
  EXPECT_EQ(boxes[1].text,
            "The ProductID of the selected device does not match the ID in the Firmware file "
            "provided. Would you like to continue and override the one in the device with the new "
            "one in the Firmware?");
  for (const auto& box : boxes) {
    EXPECT_EQ(box.buttons, MessageButtons::kYesNo);
    EXPECT_TRUE(box.owned);
  }
  EXPECT_EQ(window.verbose(), std::string(kVendorYes) + kProductNo);
  // The refusal's short form goes to the status line only.
  EXPECT_EQ(window.status(), "The ProductID does not match. User chose not to override.\r\n");
}

TEST_F(IdentityQuestions, NoToVendorSkipsTheProductQuestion) {
  window.defaultAnswer = MessageAnswer::kNo;
  EXPECT_FALSE(ConfirmIdentity(session, 0x0488, 0x9999, firmware, true));
  ASSERT_EQ(window.messageBoxes().size(), 1u);
  EXPECT_EQ(window.verbose(),
            "The VendorID of the selected device does not match the ID in the Firmware file "
            "provided. User chose not to override the values with the ones in the FW file.\r\n");
  EXPECT_EQ(window.status(), "The VendorID does not match. User chose not to override.\r\n");
}

TEST_F(IdentityQuestions, AnswersAreNotPrintedOnTheHexPath) {
  window.defaultAnswer = MessageAnswer::kNo;
  EXPECT_FALSE(ConfirmIdentity(session, 0x044E, 0x9999, firmware, false));
  ASSERT_EQ(window.messageBoxes().size(), 1u);
  EXPECT_EQ(window.messageBoxes()[0].caption, "ProductID does not Match");
  EXPECT_EQ(window.verbose(), "");
  EXPECT_EQ(window.status(), "Status:");
}

TEST_F(IdentityQuestions, QuestionsAreAskedEvenUnderOverrideAndSilent) {
  session.config.silent = true;
  session.config.overrideCompatibility = true;
  EXPECT_TRUE(ConfirmIdentity(session, 0x0488, 0x1234, firmware, true));
  EXPECT_EQ(window.messageBoxes().size(), 1u);
  EXPECT_EQ(window.verbose(), kVendorYes);
}

}  // namespace
}  // namespace padflash
