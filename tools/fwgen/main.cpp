// padflash-fwgen: writes a realistic firmware image as Intel HEX.
//
//   padflash-fwgen [options] [-o FILE]     (Usage() lists the options)
//
// Numbers are decimal or 0x hex. Without -o the text goes to stdout. An I2C
// build defaults to I2C address 0x2C and HID descriptor 0x20; a USB build
// carries 0 in both unless they are given.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "session/program_version.h"
#include "tools/fwgen/binary_stdout.h"
#include "tools/fwgen/firmware_generator.h"

namespace {

// The usage text: on standard output for --help, else on standard error.
void Usage(FILE* out = stderr) {
  std::fputs(
      "usage: padflash-fwgen [options] [-o FILE]\n"
      "       padflash-fwgen --help | --version\n"
      "\n"
      "Writes a firmware image as Intel HEX to FILE, else to standard output.\n"
      "Numbers are decimal or 0x hex.\n"
      "\n"
      "  --i2c               an I2C build at 0x08001900 (default: USB, 0x08002900)\n"
      "  --chip C            chip ID (default 0x12)\n"
      "  --rev R             firmware revision (default 0x05)\n"
      "  --vid V             vendor ID the firmware runs under (default 0x0488)\n"
      "  --pid P             product ID the firmware runs under (default 0x0101)\n"
      "  --size BYTES        bytes of the main region (default 0x3000, at most 0x10000)\n"
      "  --bootloader-region a region at 0x08000000 too, last in the file\n"
      "  --i2c-address A     I2C address (default 0x2C for I2C, 0 for USB)\n"
      "  --hid-desc A        HID descriptor address (default 0x20 for I2C, 0 for USB)\n"
      "  --feedconfig1 B     FeedConfig1 of the default structure (default 0x5A)\n"
      "  --seed N            seed of the pseudo-random code bytes (default 1)\n"
      "  --no-factory-page   no default factory page at 0x0800FC00\n"
      "  -o FILE             write the image to FILE\n"
      "  --version           print the program's version and exit\n"
      "  --help, -h          this text\n",
      out);
}

// Decimal or 0x hex, whole text, at most `max`.
bool ParseNumber(const char* text, unsigned long max, unsigned long& value) {
  if (text == nullptr || *text == '\0' || *text == '-') return false;
  const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (hex && text[2] == '\0') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoul(text, &end, hex ? 16 : 10);
  return errno == 0 && *end == '\0' && value <= max;
}

}  // namespace

int main(int argc, char** argv) {
  fwgen::FirmwareBuild build;
  const char* outPath = nullptr;
  bool addressGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
    unsigned long v = 0;
    auto number = [&](unsigned long max) {
      if (!ParseNumber(next, max, v)) {
        std::fprintf(stderr, "padflash-fwgen: %s needs a number up to 0x%lX\n", arg.c_str(), max);
        std::exit(2);
      }
      ++i;
      return v;
    };
    if (arg == "--i2c") {
      build.i2c = true;
    } else if (arg == "--bootloader-region") {
      build.bootloaderRegion = true;
    } else if (arg == "--no-factory-page") {
      build.factoryPageRegion = false;
    } else if (arg == "--chip") {
      build.chipId = static_cast<uint8_t>(number(0xFF));
    } else if (arg == "--rev") {
      build.revision = static_cast<uint8_t>(number(0xFF));
    } else if (arg == "--vid") {
      build.vendorId = static_cast<uint16_t>(number(0xFFFF));
    } else if (arg == "--pid") {
      build.productId = static_cast<uint16_t>(number(0xFFFF));
    } else if (arg == "--size") {
      build.codeBytes = static_cast<uint32_t>(number(0x10000));
    } else if (arg == "--i2c-address") {
      build.i2cAddress = static_cast<uint8_t>(number(0xFF));
      addressGiven = true;
    } else if (arg == "--hid-desc") {
      build.hidDescriptorAddress = static_cast<uint16_t>(number(0xFFFF));
      addressGiven = true;
    } else if (arg == "--feedconfig1") {
      build.feedConfig1 = static_cast<uint8_t>(number(0xFF));
    } else if (arg == "--seed") {
      build.seed = static_cast<uint32_t>(number(0xFFFFFFFFul));
    } else if (arg == "-o") {
      if (next == nullptr) {
        Usage();
        return 2;
      }
      outPath = next;
      ++i;
    } else if (arg == "-h" || arg == "--help") {
      Usage(stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("padflash-fwgen %s\n", padflash::FormatProgramVersion().c_str());
      return 0;
    } else {
      std::fprintf(stderr, "padflash-fwgen: unknown option %s\n", arg.c_str());
      Usage();
      return 2;
    }
  }

  // A USB build carries no I2C addressing unless it is asked for: the
  // firmware identifies itself as I2C by a nonzero address.
  if (!build.i2c && !addressGiven) {
    build.i2cAddress = 0;
    build.hidDescriptorAddress = 0;
  }
  const std::string text = fwgen::ToIntelHex(fwgen::GenerateFirmware(build));
  if (outPath == nullptr) fwgen::UseBinaryStdout();
  FILE* out = outPath ? std::fopen(outPath, "wb") : stdout;
  if (out == nullptr) {
    std::fprintf(stderr, "padflash-fwgen: cannot create %s: %s\n", outPath, std::strerror(errno));
    return 1;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  const bool closed = outPath ? std::fclose(out) == 0 : std::fflush(out) == 0;
  if (!written || !closed) {
    std::fprintf(stderr, "padflash-fwgen: write failed\n");
    return 1;
  }
  return 0;
}
