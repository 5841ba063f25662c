// Configuration-instruction lines as a firmware package library writes them.
#include "firmware/config_instruction.h"

#include <gtest/gtest.h>

namespace padflash {
namespace {

TEST(ConfigInstructionLine, ParsesCopyEntryWithComment) {
  EXPECT_EQ(ParseConfigInstruction("0x0800FC00, 0x0800FC00,c,480 # config page"),
            (ConfigInstruction{0x0800FC00, 0x0800FC00, 'c', 480}));
}

TEST(ConfigInstructionLine, KindIsTheFirstCharacterOfItsUntrimmedField) {
  EXPECT_EQ(ParseConfigInstruction("0x10, 0x20, s, 0x5A"),
            (ConfigInstruction{0x10, 0x20, ' ', 0x5A}));
}

TEST(ConfigInstructionLine, CommentOnlyLineGivesAllZeros) {
  EXPECT_EQ(ParseConfigInstruction("# nothing but a remark, 0x10, 0x20, c, 4"),
            ConfigInstruction{});
  EXPECT_EQ(ParseConfigInstruction(""), ConfigInstruction{});
}

TEST(ConfigInstructionLine, CapitalXIsLowerCasedAndReadsAsHex) {
  const ConfigInstruction i = ParseConfigInstruction("0X10,0XaB,S,0X1F");
  EXPECT_EQ(i.target, 0x10u);
  EXPECT_EQ(i.source, 0xABu);
  EXPECT_EQ(i.kind, 's');
  EXPECT_EQ(i.lengthOrValue, 0x1F);
}

TEST(ConfigInstructionLine, FieldsWithoutXReadAsDecimal) {
  const ConfigInstruction i = ParseConfigInstruction("16,0010,c,512");
  EXPECT_EQ(i.target, 16u);
  EXPECT_EQ(i.source, 10u);  // leading zeros do not make it octal
  EXPECT_EQ(i.lengthOrValue, 512);
}

TEST(ConfigInstructionLine, ReadingStopsAtFirstNonDigitAndNoDigitsGiveZero) {
  const ConfigInstruction i = ParseConfigInstruction("  12ab,0xzz,c,  0x7g");
  EXPECT_EQ(i.target, 12u);
  EXPECT_EQ(i.source, 0u);
  EXPECT_EQ(i.lengthOrValue, 7);  // hex digits after the x end at the "g"
  const ConfigInstruction j = ParseConfigInstruction("x 1f,abc,c,-5");
  EXPECT_EQ(j.target, 0x1Fu);  // white space after the x is skipped
  EXPECT_EQ(j.source, 0u);     // neither hex without x nor decimal
  EXPECT_EQ(j.lengthOrValue, 0);
}

TEST(ConfigInstructionLine, LengthKeepsItsLow16BitsAndAddressesSaturate) {
  const ConfigInstruction i = ParseConfigInstruction("0x123456789,99999999999,c,0x12345");
  EXPECT_EQ(i.target, 0xFFFFFFFFu);
  EXPECT_EQ(i.source, 0xFFFFFFFFu);
  EXPECT_EQ(i.lengthOrValue, 0x2345);
}

TEST(ConfigInstructionLine, MissingAndEmptyFieldsStayZeroAndExtraFieldsAreIgnored) {
  EXPECT_EQ(ParseConfigInstruction("0x20"), (ConfigInstruction{0x20, 0, 0, 0}));
  EXPECT_EQ(ParseConfigInstruction("0x20,,,7,0x99,junk"), (ConfigInstruction{0x20, 0, 0, 7}));
}

TEST(ConfigInstructionDefaults, AreTheFactoryTableThenThreeRamBytes) {
  const auto defaults = DefaultConfigInstructions();
  ASSERT_EQ(defaults.size(), 2u);
  EXPECT_EQ(defaults[0], (ConfigInstruction{0x0800FC00, 0x0800FC00, 'c', 480}));
  EXPECT_EQ(defaults[1], (ConfigInstruction{0xC308, 0xC308, 'c', 3}));
}

}  // namespace
}  // namespace padflash
