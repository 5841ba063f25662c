#!/usr/bin/env bash
# The Windows zip: builds it with CPack from the windows build folder,
# checks what it holds, unpacks it into an empty folder and runs its
# programs from there under Wine, with nothing of the build on the path:
# padflash-cli.exe /?, --version and --list (on the zip's own VLMHID.dll,
# which finds no controller under Wine: status 21), and padflash.exe /?,
# whose help box help_box_check.exe reads and answers.
#
#   zip-test.sh BUILD_DIR WORK_DIR HELP_BOX_CHECK_EXE VERSION
set -euo pipefail
build="$1" work="$2" check="$3" version="$4"
root="$(cd "$(dirname "$0")/../.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
unset WINEPATH
now_ms() { echo $(($(date +%s%N) / 1000000)); }
started=$(now_ms)
fail() { echo "zip test: $*"; exit 1; }
rm -rf "$work"
mkdir -p "$work/unpacked"
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"; exit 1; }
top="padflash-$version-win64"
zip="$work/$top.zip"
[ -f "$zip" ] || fail "no $top.zip: $(ls "$work")"

contents="$(cmake -E tar tf "$zip" | grep -v '/$' | sort)"
expected="$(printf "$top/%s\n" LICENSE.txt README.md VLMHID.dll include/VLMHID.h lib/VLMHID.def \
  lib/libVLMHID.dll.a padflash-cli.exe padflash.exe | sort)"
[ "$contents" = "$expected" ] || {
  diff <(echo "$expected") <(echo "$contents") || true
  fail "the zip does not hold what it should (<: expected, >: found)"
}

(cd "$work/unpacked" && cmake -E tar xf "$zip")
folder="$work/unpacked/$top"
# run NAME.exe ARGS...: the program unpacked, run in its folder.
run() {
  local program="$1"
  shift
  (cd "$folder" && "$root/tools/wine-run" "$folder/$program" "$@")
}
run padflash-cli.exe "/?" >"$work/help.txt" 2>&1 ||
  { cat "$work/help.txt"; fail "padflash-cli.exe /? failed"; }
grep -q "Displays help and exits" "$work/help.txt" || { cat "$work/help.txt"; fail "no help text"; }
version_line="$(run padflash-cli.exe --version | tr -d '\r')"
[ "$version_line" = "padflash-cli $version" ] || fail "padflash-cli.exe --version prints $version_line"
status=0
run padflash-cli.exe --list >"$work/list.txt" 2>&1 || status=$?
[ "$status" -eq 21 ] && grep -q "No compatible devices" "$work/list.txt" ||
  { cat "$work/list.txt"; fail "padflash-cli.exe --list ended with $status"; }
"$root/tools/wine-gui-run" "$check" "$(winepath -w "$folder/padflash.exe" 2>/dev/null)" ||
  fail "padflash.exe /? as unpacked"

echo "zip test: $top.zip built, unpacked and run under Wine in" \
  "$(awk -v a="$started" -v b="$(now_ms)" 'BEGIN { printf "%.1f", (b - a) / 1000 }') s" |
  tee "$work/summary.txt"
