#!/usr/bin/env bash
# The Debian packages: builds them with CPack from the build folder, checks
# what each holds and depends on, runs Debian's own checkers on them
# (lintian must report no error and no warning; desktop-file-validate and
# appstreamcli on the desktop entry and the AppStream file), installs them
# into a temporary root (an extracted tree) and runs the installed programs
# there: padflash-cli on the real library, padflash-sim on the simulated
# one, and each program's usage text against its manual page.
#
#   package-test.sh BUILD_DIR WORK_DIR [dialog]
set -euo pipefail
build="$1" work="$2" dialog="${3:-}"
here="$(cd "$(dirname "$0")" && pwd)"
now_ms() { echo $(($(date +%s%N) / 1000000)); }
started=$(now_ms)
fail() { echo "package test: $*"; exit 1; }
rm -rf "$work"
mkdir -p "$work"
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"; exit 1; }
deb() { ls "$work/$1"_*.deb; }
version="$(dpkg-deb -f "$(deb padflash)" Version)"
multiarch="$(gcc -print-multiarch 2>/dev/null || dpkg-architecture -qDEB_HOST_MULTIARCH)"
lib="./usr/lib/$multiarch"

# has PACKAGE PATH...: each path is in the package.
has() {
  local package="$1" contents
  shift
  contents="$(dpkg-deb -c "$(deb "$package")")"
  for path in "$@"; do
    grep -q " $path\( \|$\)" <<<"$contents" || fail "$path is not in $package"
  done
}
# depends PACKAGE TEXT...: its Depends field names each.
depends() {
  local package="$1" field
  shift
  field="$(dpkg-deb -f "$(deb "$package")" Depends)"
  echo "$package Depends: $field"
  for text in "$@"; do
    grep -qF "$text" <<<"$field" || fail "$package does not depend on $text"
  done
}
for package in libvlmhid2 libvlmhid-dev padflash padflash-sim; do
  has "$package" "./usr/share/doc/$package/copyright" "./usr/share/doc/$package/changelog.gz"
done
has libvlmhid2 "$lib/libVLMHID.so.2"
has libvlmhid-dev ./usr/include/VLMHID.h "$lib/libVLMHID.so" "$lib/pkgconfig/VLMHID.pc"
has padflash ./usr/bin/padflash-cli ./usr/lib/udev/rules.d/70-padflash.rules \
  ./usr/share/man/man1/padflash-cli.1.gz
has padflash-sim ./usr/bin/vlmsim ./usr/bin/padflash-sim ./usr/bin/padflash-fwgen \
  "$lib/padflash-sim/libVLMHID.so.2" ./usr/share/man/man1/vlmsim.1.gz \
  ./usr/share/man/man1/padflash-fwgen.1.gz ./usr/share/man/man1/padflash-sim.1.gz
if [ -n "$dialog" ]; then
  has padflash ./usr/bin/padflash ./usr/share/applications/padflash.desktop \
    ./usr/share/icons/hicolor/256x256/apps/padflash.png ./usr/share/man/man1/padflash.1.gz \
    ./usr/share/metainfo/invalid.velmar.padflash.metainfo.xml
fi
depends libvlmhid2 libc6 libstdc++6
depends libvlmhid-dev "libvlmhid2 (= $version)"
depends padflash "libvlmhid2 (= $version)" libc6
depends padflash-sim "padflash (= $version)"
# The library's shlibs file is what dpkg-shlibdeps reads for its users.
shlibs="$(dpkg-deb --ctrl-tarfile "$(deb libvlmhid2)" | tar -xO ./shlibs)"
[ "$shlibs" = "libVLMHID 2 libvlmhid2 (>= $version)" ] ||
  fail "libvlmhid2's shlibs file reads: $shlibs"

root="$work/root"
for package in libvlmhid2 libvlmhid-dev padflash padflash-sim; do
  dpkg-deb -x "$(deb "$package")" "$root"
done
changelog_version="$(zcat "$root/usr/share/doc/padflash/changelog.gz" |
  sed -n '1s/^padflash (\([^)]*\)).*/\1/p')"
[ "$changelog_version" = "$version" ] ||
  fail "the changelog's latest entry is $changelog_version, the packages are $version"

# lintian_clean DEB...: lintian finds no error and no warning (an override
# stands only with its reason beside it, in the package's overrides file).
lintian_clean() {
  local report
  report="$(lintian --tag-display-limit 0 "$@" 2>&1 | grep -v 'running with root privileges')" ||
    true
  [ -z "$report" ] || echo "$report"
  local errors warnings
  errors="$(grep -c '^E: ' <<<"$report" || true)"
  warnings="$(grep -c '^W: ' <<<"$report" || true)"
  echo "lintian: $errors errors, $warnings warnings"
  [ "$errors" -eq 0 ] && [ "$warnings" -eq 0 ]
}
lintian_clean "$work"/*.deb || fail "lintian reports the packages above"
# The check above fails when a tag appears: padflash-sim rebuilt without a
# manual page must be refused.
broken="$work/broken"
mkdir -p "$broken"
dpkg-deb -R "$(deb padflash-sim)" "$broken/tree"
rm "$broken/tree/usr/share/man/man1/padflash-fwgen.1.gz"
sed -i '/padflash-fwgen\.1\.gz/d' "$broken/tree/DEBIAN/md5sums"
dpkg-deb --root-owner-group -b "$broken/tree" "$broken/padflash-sim_${version}_broken.deb" \
  >/dev/null
if lintian_clean "$broken"/*.deb >"$broken/lintian.txt"; then
  cat "$broken/lintian.txt"
  fail "lintian's check passed a package without a manual page"
fi
grep -q 'no-manual-page.*padflash-fwgen' "$broken/lintian.txt" ||
  { cat "$broken/lintian.txt"; fail "lintian did not name the missing manual page"; }

if [ -n "$dialog" ]; then
  desktop-file-validate "$root/usr/share/applications/padflash.desktop" ||
    fail "desktop-file-validate refuses padflash.desktop"
  appstreamcli validate --no-net \
    "$root/usr/share/metainfo/invalid.velmar.padflash.metainfo.xml" ||
    fail "appstreamcli refuses the AppStream file"
fi

bin="$root/usr/bin"
"$bin/padflash-cli" "/?" >"$work/help.txt" || fail "padflash-cli /? failed"
grep -q "Displays help and exits" "$work/help.txt" || fail "no help text"
[ "$("$bin/padflash-cli" --version)" = "padflash-cli $version" ] ||
  fail "padflash-cli --version does not print $version"
# --list with the installed library: a machine without controllers lists
# nothing and says so (status 3). Its own lock folder: another padflash-cli
# may run meanwhile.
status=0
PADFLASH_LOCK_DIR="$work" XDG_RUNTIME_DIR="$work" "$bin/padflash-cli" --list >"$work/list.txt" 2>&1 || status=$?
cat "$work/list.txt"
[ "$status" -eq 3 ] || [ "$status" -eq 0 ] || fail "padflash-cli --list ended with $status"
libraries="$(ldd "$bin/padflash-cli")"
grep -q "$root/usr/bin/../lib/$multiarch/libVLMHID.so.2" <<<"$libraries" ||
  fail "the installed padflash-cli does not load the installed library"
# padflash-sim as installed: the simulated library in its own folder answers
# as the controller vlmsim attached (the real one would list none).
state="$work/bus.json"
env -u VLMHID_SIM_STATE -u PADFLASH_STATE_DIR "$bin/vlmsim" --state "$state" attach \
  --serial PKG1 >/dev/null || fail "the installed vlmsim cannot attach a controller"
PADFLASH_LOCK_DIR="$work" XDG_RUNTIME_DIR="$work" "$bin/padflash-sim" --state "$state" padflash-cli --list \
  >"$work/sim-list.txt" 2>&1 || { cat "$work/sim-list.txt"; fail "padflash-sim failed"; }
grep -q "^0: 0x488 - 0x101 - 0x1205" "$work/sim-list.txt" ||
  { cat "$work/sim-list.txt"; fail "padflash-sim does not list the simulated controller"; }

# Each usage text says what its manual page says.
manual() { zcat "$root/usr/share/man/man1/$1.1.gz" >"$work/$1.1" && echo "$work/$1.1"; }
"$bin/padflash-cli" --help >"$work/padflash-cli.help"
"$bin/vlmsim" --help >"$work/vlmsim.help"
"$bin/padflash-fwgen" --help >"$work/padflash-fwgen.help"
"$bin/padflash-sim" --help >"$work/padflash-sim.help"
mismatch=0
for program in padflash-cli vlmsim padflash-fwgen padflash-sim; do
  "$here/help-matches-manual.sh" "$work/$program.help" "$(manual "$program")" || mismatch=1
done
if [ -n "$dialog" ]; then
  "$here/help-matches-manual.sh" "$work/padflash-cli.help" "$(manual padflash)" switches ||
    mismatch=1
fi
[ "$mismatch" -eq 0 ] || fail "a usage text and its manual page differ"

echo "package test: $(cd "$work" && ls ./*.deb | xargs -n1 basename | tr '\n' ' ')built," \
  "checked, installed and run in" \
  "$(awk -v a="$started" -v b="$(now_ms)" 'BEGIN { printf "%.1f", (b - a) / 1000 }') s" |
  tee "$work/summary.txt"
