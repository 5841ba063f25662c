#!/usr/bin/env bash
# Installs the Debian packages padflash builds with, only those missing.
set -euo pipefail
# qt6-base-dev: the padflash dialog and its Qt tests (offscreen platform
# included); fonts-dejavu-core: a font for its dialog units when no desktop
# font is installed. The windows preset: the mingw-w64 cross compiler (posix
# threads), GoogleTest's sources to build with it, and Wine to run what it
# builds; for padflash.exe's dialog tests Wine's own fonts (fonts-wine) and a
# virtual X display (xvfb, xauth), and ImageMagick's import for its screenshot.
packages=(g++ cmake ninja-build pkg-config libgtest-dev libbenchmark-dev
          nlohmann-json3-dev libsystemd-dev clang-format qt6-base-dev fonts-dejavu-core
          g++-mingw-w64-x86-64-posix googletest wine wine64 fonts-wine xvfb xauth imagemagick)
# The fuzzers (clang with libFuzzer) and ThreadSanitizer's runtime.
packages+=(clang-14 libclang-rt-14-dev libtsan2)
# The kernel test (Debian's kernel under qemu, busybox initramfs) and the
# Debian package (dpkg-shlibdeps).
packages+=(qemu-system-x86 busybox-static xz-utils dpkg-dev)
# The package test: Debian's own checkers of the packages, their desktop
# entry and AppStream file.
packages+=(lintian desktop-file-utils appstream)
# bench/run: objcopy (binutils) and srec_cat (srecord) beside the HEX parser.
packages+=(binutils srecord)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
