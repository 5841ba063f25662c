#!/usr/bin/env bash
# The Debian package: builds it with CPack from the build folder, checks its
# contents and dependencies, installs it into a temporary root (an extracted
# tree) and runs the installed padflash-cli there.
#
#   package-test.sh BUILD_DIR WORK_DIR [dialog]
set -euo pipefail
build="$1" work="$2" dialog="${3:-}"
now_ms() { echo $(($(date +%s%N) / 1000000)); }
started=$(now_ms)
rm -rf "$work"
mkdir -p "$work"
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"; exit 1; }
deb="$(ls "$work"/padflash_*.deb)"
fail() { echo "package test: $*"; exit 1; }

contents="$(dpkg-deb -c "$deb")"
echo "$contents"
for path in ./usr/lib/udev/rules.d/70-padflash.rules ./usr/lib/libVLMHID.so.2 \
            ./usr/include/VLMHID.h ./usr/lib/pkgconfig/VLMHID.pc ./usr/bin/padflash-cli \
            ./usr/bin/vlmsim; do
  grep -q " $path\( \|$\)" <<<"$contents" || fail "$path is not in the package"
done
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for package in libc6 libstdc++6; do
  grep -q "$package" <<<"$depends" || fail "no dependency on $package"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
"$root/usr/bin/padflash-cli" "/?" >"$work/help.txt" || fail "padflash-cli /? failed"
grep -q "Displays help and exits" "$work/help.txt" || fail "no help text"
# --list with the installed library: a machine without controllers lists
# nothing and says so (status 3). Its own lock folder: another padflash-cli
# may run meanwhile.
status=0
XDG_RUNTIME_DIR="$work" "$root/usr/bin/padflash-cli" --list >"$work/list.txt" 2>&1 || status=$?
cat "$work/list.txt"
[ "$status" -eq 3 ] || [ "$status" -eq 0 ] || fail "padflash-cli --list ended with $status"
libraries="$(ldd "$root/usr/bin/padflash-cli")"
grep -q "$root/usr/bin/../lib/libVLMHID.so.2" <<<"$libraries" ||
  fail "the installed padflash-cli does not load the installed library"
# The dialog, its desktop entry and icon, when it was built.
if [ -n "$dialog" ]; then
  for path in ./usr/bin/padflash ./usr/share/applications/padflash.desktop \
              ./usr/share/icons/hicolor/256x256/apps/padflash.png; do
    grep -q " $path\( \|$\)" <<<"$contents" || fail "$path is not in the package"
  done
fi
echo "package test: $(basename "$deb") built, installed and run in" \
  "$(awk -v a="$started" -v b="$(now_ms)" 'BEGIN { printf "%.1f", (b - a) / 1000 }') s" |
  tee "$work/summary.txt"
