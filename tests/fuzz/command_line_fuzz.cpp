// The command line, split at zero bytes into arguments: the dialog's
// switches and padflash-cli's long options.
#include <cstring>
#include <string>
#include <vector>

#include "app/console/cli_options.h"
#include "session/run_config.h"
#include "tests/fuzz/fuzz_ports.h"
#include "tests/fuzz/fuzz_target.h"

PADFLASH_FUZZ_TARGET(command_line) {
  std::vector<std::string> args = {"padflash"};
  std::string current;
  for (size_t i = 0; i < size && args.size() < 64; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  if (!current.empty()) args.push_back(current);
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());

  padflash::fuzz::World world;
  const int result =
      padflash::ParseCommandLine(world.session, static_cast<int>(argv.size()), argv.data());
  FUZZ_CHECK(result == 0 || result == padflash::kParseExitNow);
  FUZZ_CHECK(std::memchr(world.session.MessageBuffer, 0, sizeof world.session.MessageBuffer) !=
             nullptr);
  const padflash::CliOptions cli =
      padflash::ParseCliOptions(static_cast<int>(argv.size()), argv.data());
  FUZZ_CHECK(cli.device >= 0 && cli.device <= 255);
  return 0;
}
