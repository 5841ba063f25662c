#!/usr/bin/env bash
# The one-command demo: a full firmware update of a simulated touch
# controller through padflash-cli, on a machine without any touchpad.
#
#  1. installs the Debian packages the build needs (only those missing);
#  2. builds the default preset, only the programs the demo runs;
#  3. creates a simulated USB controller running firmware revision 0x05 in
#     a fresh state file in a temporary folder;
#  4. generates a newer firmware image (revision 0x06) with padflash-fwgen;
#  5. shows the controller, updates it with `padflash-sim padflash-cli /o
#     new.hex` inside the temporary folder (the personality file is written
#     into the current directory), and shows the controller again. The
#     status line of the update is shown as it changes; the whole verbose
#     protocol is kept in update.log in the temporary folder.
#
# With --gui the update runs in the dialog program instead: step 5 opens
# `padflash-sim padflash /o new.hex` on the desktop (it needs a display);
# press Execute, wait for "Firmware was successfully updated to version:
# 12.6" on the status line, and close the window.
#
# With --windows the same runs with the Windows programs under Wine: the
# windows preset's sim-bin folder (padflash-cli.exe, vlmsim.exe and
# padflash-fwgen.exe beside the simulated VLMHID.dll), the update through
# `padflash-sim.cmd padflash-cli /o new.hex` in Wine's command interpreter,
# which also prints padflash-cli.exe's exit code as Windows reads it.
#
# Exit status 0 only when the update succeeded and the controller runs the
# new revision. The temporary folder is kept and named at the end.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
gui=0
windows=0
case "${1:-}" in
  --gui) gui=1 ;;
  --windows) windows=1 ;;
  "") ;;
  *) echo "usage: $0 [--gui|--windows]" >&2; exit 2 ;;
esac

step() { printf '\n== %s\n' "$*"; }

step "Installing what is missing"
"$root/tools/install-deps.sh"

if [ "$windows" -eq 1 ]; then
  step "Building the Windows programs beside the simulated VLMHID.dll (build/windows/sim-bin)"
  export WINEPREFIX="$root/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  "$root/tools/wine-prefix"
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target sim_bin
  # Wine finds padflash-sim.cmd and the programs on its PATH.
  export WINEPATH="$(winepath -w "$root/build/windows/sim-bin")"
  work="$(mktemp -d "${TMPDIR:-/tmp}/padflash-demo.XXXXXX")"
  cd "$work"
  vlmsim() { wine vlmsim.exe --state bus.json "$@" | tr -d '\r'; }

  step "Creating a simulated controller running firmware revision 0x05 ($work/bus.json)"
  serial="$(vlmsim attach --rev 0x05)"
  echo "attached $serial"
  step "Generating firmware revision 0x06 ($work/new.hex)"
  wine padflash-fwgen.exe --rev 0x06 -o new.hex
  step "Before: vlmsim.exe show $serial"
  vlmsim show "$serial"

  step "Updating: padflash-sim.cmd padflash-cli /o new.hex"
  echo "(status lines below; the whole protocol goes to $work/update.log)"
  wine cmd /v:on /c 'padflash-sim.cmd --state bus.json --trace trace.txt padflash-cli /o new.hex >update.log & echo padflash-cli.exe exit code: !ERRORLEVEL!' |
    tr -d '\r' | tee exit-code.txt

  step "After: vlmsim.exe show $serial"
  vlmsim show "$serial"

  step "Result"
  success="$(tr -d '\r' <update.log | grep -m1 '^Firmware was successfully updated to version: ' || true)"
  code="$(grep -o 'exit code: .*' exit-code.txt | cut -d' ' -f3)"
  revision="$(vlmsim show "$serial" | grep '^revision:' | grep -o '0x[0-9A-F]*$' || true)"
  echo "state, trace, log: $work"
  if [ "$code" != "0" ] || [ -z "$success" ] || [ "$revision" != "0x06" ]; then
    echo "The demo update did not succeed (padflash-cli.exe exit code $code)." >&2
    exit 1
  fi
  echo "$success"
  echo "padflash-cli.exe ended with exit code $code; controller $serial runs firmware revision $revision."
  exit 0
fi

program=padflash-cli
if [ "$gui" -eq 1 ]; then program=padflash; fi
step "Building $program, the simulated VLMHID library, vlmsim and padflash-fwgen"
cmake --preset default >/dev/null
cmake --build --preset default --target "$program" VLMHID_sim vlmsim padflash-fwgen
bin="$root/build/default/bin"

work="$(mktemp -d "${TMPDIR:-/tmp}/padflash-demo.XXXXXX")"
state="$work/bus.json"
vlmsim() { "$bin/vlmsim" --state "$state" "$@"; }

step "Creating a simulated controller running firmware revision 0x05 ($state)"
serial="$(vlmsim attach --rev 0x05)"
echo "attached $serial"

step "Generating firmware revision 0x06 ($work/new.hex)"
"$bin/padflash-fwgen" --rev 0x06 -o "$work/new.hex"

step "Before: vlmsim show $serial"
vlmsim show "$serial"

step "Updating: padflash-sim $program /o new.hex"
cd "$work"
status=0
if [ "$gui" -eq 1 ]; then
  echo "(press Execute in the dialog; close it when the update has ended)"
  "$bin/padflash-sim" --state "$state" --trace "$work/trace.txt" padflash /o new.hex || status=$?
else
  echo "(status line below; the whole protocol goes to $work/update.log)"
  "$bin/padflash-sim" --state "$state" --trace "$work/trace.txt" padflash-cli /o new.hex \
    >"$work/update.log" || status=$?
fi
cd "$root"
echo

step "After: vlmsim show $serial"
vlmsim show "$serial"

step "Result"
success=""
if [ "$gui" -eq 1 ]; then
  success="The dialog updated the controller."
else
  success="$(grep -m1 '^Firmware was successfully updated to version: ' "$work/update.log" || true)"
fi
revision="$(vlmsim show "$serial" --json | grep -o '"revision": *[0-9]*' | grep -o '[0-9]*$' || true)"
mode="$(vlmsim show "$serial" --json | grep -o '"mode": *"[a-z]*"' | grep -o '[a-z]*"$' | tr -d '"' || true)"
echo "state, trace, log: $work"
if [ "$status" -ne 0 ] || [ -z "$success" ] || [ "$revision" != "6" ] || [ "$mode" != "firmware" ]; then
  echo "The demo update did not succeed ($program exit status $status)." >&2
  exit 1
fi
echo "$success"
printf 'Controller %s runs firmware revision 0x%02X.\n' "$serial" "$revision"
