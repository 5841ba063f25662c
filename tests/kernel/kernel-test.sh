#!/usr/bin/env bash
# The kernel test: boots Debian's own kernel under qemu (software emulation)
# with a small initramfs holding busybox, the hid, uhid and hid-generic
# modules and our programs, and inside it:
#   1. vlmsim-uhid makes a simulated controller (revision 0x05) a kernel HID
#      device on the given bus;
#   2. a user who may not open its hidraw node gets the udev rule line from
#      padflash-cli --list; root lists it with the version the kernel holds;
#   3. an input-mode connection on &col03 reads only that collection's
#      reports while the device sends reports of two collections;
#   4. as that user, with the node's permissions granted 1.5 s after each
#      (re)appearance (udev's lag, made longer than the 1 s between connect
#      passes, so the passes must retry past EACCES), padflash-cli with the
#      real libVLMHID.so
#      updates the controller through /dev/hidraw* (into the bootloader and
#      back), recording the report trace (VLMHID_TRACE);
#   5. the controller holds the new firmware.
# The guest prints a PASS line only when every step held (qemu itself exits 0
# even on a kernel panic). The recorded trace comes out through a second
# serial port and is then replayed on the host through the simulated
# library.
#
#   kernel-test.sh --bus usb|i2c --bin DIR --sim-lib DIR --firmware FILE
#                  --work DIR [--save-trace FILE]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
bus="" bin="" simlib="" firmware="" work="" save_trace=""
while [ $# -gt 0 ]; do
  case "$1" in
    --bus) bus="$2" ;;
    --bin) bin="$2" ;;
    --sim-lib) simlib="$2" ;;
    --firmware) firmware="$2" ;;
    --work) work="$2" ;;
    --save-trace) save_trace="$2" ;;
    *) echo "kernel-test: unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
program=kernel-test
source "$here/bus-and-clock.sh"
started=$(now_ms)

cache="${PADFLASH_KERNEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/padflash/kernel}"
kernel="$("$root/tools/fetch-test-kernel.sh" "$cache")"

rm -rf "$work"
mkdir -p "$work/root"/{bin,dev,proc,sys,tmp,mod,opt/padflash,work}
cp /usr/bin/busybox "$work/root/bin/"
cp "$kernel"/{hid,uhid,hid-generic}.ko "$work/root/mod/"
for program in padflash-cli vlmsim-uhid kernel-probe; do
  cp "$bin/$program" "$work/root/opt/padflash/"
done
cp -a "$bin"/libVLMHID.so* "$work/root/opt/padflash/"
cp "$firmware" "$work/root/opt/padflash/new.hex"
# The dynamic programs' libraries, at the paths the host has them.
for lib in $(ldd "$bin/padflash-cli" "$bin/libVLMHID.so" "$bin/kernel-probe" |
             awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }' |
             grep -v "^$bin/" | sort -u); do
  mkdir -p "$work/root$(dirname "$lib")"
  cp -L "$lib" "$work/root$lib"
done

cat >"$work/root/init" <<GUEST
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs dev /dev
chmod 1777 /tmp
chown 1000:1000 /work
for m in hid uhid hid-generic; do insmod /mod/\$m.ko || echo "KERNEL-TEST FAIL: insmod \$m"; done
cd /opt/padflash
fail() { echo "KERNEL-TEST FAIL: \$*"; echo "=== end ===" >/dev/ttyS1; reboot -f; }
wait_node() {
  for i in \$(seq 1 100); do [ -e /dev/hidraw0 ] && return 0; usleep 50000; done
  fail "no hidraw node appeared"
}
as_user() { /opt/padflash/kernel-probe as-user 1000 "\$@"; }

./vlmsim-uhid $bridge_bus --rev 0x05 --input-every-ms 20 &
bridge=\$!
wait_node

echo "=== list as a user who may not open the node ==="
as_user ./padflash-cli --list >/tmp/list-user.txt 2>&1; status=\$?
cat /tmp/list-user.txt
[ \$status -eq 3 ] || fail "user list ended with \$status"
grep -q "70-padflash.rules" /tmp/list-user.txt || fail "no udev rule line"

echo "=== list as root ==="
./padflash-cli --list >/tmp/list-root.txt 2>&1 || fail "root list failed"
cat /tmp/list-root.txt
grep -qx "0: 0x488 - 0x101 - 0x1205 -None - UHID0001" /tmp/list-root.txt || fail "list line"

echo "=== input reports of one collection ==="
./kernel-probe input 0x0488 0x0101 9 '&col03' 20 || fail "input reports"
kill \$bridge; wait \$bridge

echo "=== update as the user, permissions granted late ==="
./vlmsim-uhid $bridge_bus --rev 0x05 --grant-after-ms 1500 >/tmp/bridge.txt 2>&1 &
bridge=\$!
wait_node
for i in \$(seq 1 100); do grep -q "opened to every user" /tmp/bridge.txt && break; usleep 50000; done
cd /work
started=\$(cut -d' ' -f1 /proc/uptime)
VLMHID_TRACE=/tmp/trace.txt XDG_STATE_HOME=/tmp/user-state \
  as_user /opt/padflash/padflash-cli /o /opt/padflash/new.hex >/tmp/update.txt 2>&1; status=\$?
finished=\$(cut -d' ' -f1 /proc/uptime)
cd /opt/padflash
cat /tmp/update.txt
echo "update: \$started s to \$finished s of guest uptime"
kill \$bridge; wait \$bridge
cat /tmp/bridge.txt
[ \$status -eq 0 ] || fail "update ended with \$status"
grep -q "Firmware was successfully updated to version: 12.6" /tmp/update.txt || fail "no success line"
grep -q ": firmware chip 0x12 revision 0x06 image valid" /tmp/bridge.txt || fail "controller state"
grep -q "0488:D0C0 version 0x0005 on $bus_name (bootloader)" /tmp/bridge.txt || fail "no bootloader device"
ls /tmp/user-state/padflash/sf*.mem >/dev/null 2>&1 || fail "no copy of the factory settings kept"
cat /tmp/trace.txt >/dev/ttyS1
echo "=== end ===" >/dev/ttyS1
echo "KERNEL-TEST PASS $bus"
reboot -f
GUEST
chmod +x "$work/root/init"
(cd "$work/root" && find . | busybox cpio -o -H newc 2>/dev/null) | gzip -1 >"$work/initrd.gz"

prepared=$(seconds_since "$started")
boot_started=$(now_ms)
timeout 900 qemu-system-x86_64 -accel tcg -smp 1 -m 768 -nodefaults -display none -no-reboot \
  -kernel "$kernel/vmlinux" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1 oops=panic" \
  -serial "file:$work/console.txt" -serial "file:$work/trace.raw" </dev/null || true
guest=$(seconds_since "$boot_started")

tr -d '\r' <"$work/console.txt" >"$work/console.log"
if ! grep -q "^KERNEL-TEST PASS $bus" "$work/console.log"; then
  cat "$work/console.log"
  echo "kernel test ($bus): FAILED"
  exit 1
fi
sed -n '/^=== /,$p' "$work/console.log" | grep -v "^\[" || true
tr -d '\r' <"$work/trace.raw" | sed '/^=== end ===$/,$d' >"$work/trace.txt"
echo "trace: $(wc -l <"$work/trace.txt") lines recorded through /dev/hidraw*"
if [ -n "$save_trace" ]; then cp "$work/trace.txt" "$save_trace"; fi

# The recorded trace played back by the simulated library.
# (its own lock folder: another padflash-cli may run meanwhile)
(cd "$work" && PADFLASH_LOCK_DIR="$work" XDG_RUNTIME_DIR="$work" VLMHID_SIM_REPLAY="$work/trace.txt" LD_LIBRARY_PATH="$simlib" \
  "$bin/padflash-cli" /o "$work/root/opt/padflash/new.hex" >"$work/replay.txt" 2>&1) || {
  cat "$work/replay.txt"
  echo "kernel test ($bus): the recorded trace does not replay"
  exit 1
}
grep -q "Firmware was successfully updated to version: 12.6" "$work/replay.txt" || {
  cat "$work/replay.txt"; exit 1; }
echo "replay of the recorded trace: updated"
echo "kernel test ($bus): PASS; preparing ${prepared} s, qemu ${guest} s, total $(seconds_since "$started") s" |
  tee "$work/summary.txt"
