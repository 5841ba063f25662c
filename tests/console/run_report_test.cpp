// What the JSON documents of padflash-cli make of text that is not UTF-8:
// device strings with characters outside the basic plane or broken
// surrogates, and paths in another code page. The document is still
// written, never thrown away.
#include "app/console/run_report.h"
#include "session/unit_identity.h"

#include <gtest/gtest.h>

#include <string>

namespace padflash {
namespace {

TEST(RunReportText, DeviceStringsAndPathsBecomeValidUtf8) {
  // "Pad" U+00E9 U+1F590, then a lone surrogate.
  std::wstring product = L"Pad\u00E9";
  if constexpr (sizeof(wchar_t) == 2) {
    product +=
        {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDD90), static_cast<wchar_t>(0xD800)};
  } else {
    product += {static_cast<wchar_t>(0x1F590), static_cast<wchar_t>(0xD800)};
  }
  EXPECT_EQ(Utf8FromWide(product), "Pad\xC3\xA9\xF0\x9F\x96\x90\xEF\xBF\xBD");

  // A firmware path in Latin-1 ("caf\xE9.hex") as the program was given it.
  nlohmann::ordered_json document = {{"firmwareFile", "caf\xE9.hex"}};
  const std::string dumped = DumpJson(document);
  EXPECT_EQ(dumped, "{\n  \"firmwareFile\": \"caf\xEF\xBF\xBD.hex\"\n}\n");
  EXPECT_EQ(nlohmann::json::parse(dumped)["firmwareFile"], "caf\xEF\xBF\xBD.hex");
}

TEST(RunReportText, UtcTimestamps) {
  using namespace std::chrono;
  const WallClock::time_point time =
      sys_days{year{2015} / 8 / 11} + hours{10} + minutes{10} + seconds{10} + milliseconds{7};
  EXPECT_EQ(FormatUtcTimestamp(time), "2015-08-11T10:10:10.007Z");
}

}  // namespace
}  // namespace padflash
