#!/usr/bin/env bash
# The Windows kernel test: the Windows programs with the real VLMHID.dll,
# under Wine, through Wine's HID stack (winebus over hidraw, hidclass) onto
# a simulated controller that vlmsim-uhid makes a kernel HID device. Debian's
# own kernel boots under qemu (KVM when /dev/kvm can be opened, else software
# emulation); the guest's root is this machine's root, shared read-only over
# virtio-9p under a tmpfs overlay for its writes, with a Wine prefix made
# here beforehand (winebus without udevd: it watches /dev itself). In it, on
# USB or I2C-HID:
#   1. kernel-probe.exe lists the interfaces Wine's HID stack presents for
#      the controller (revision 0x05): IDs, version, strings, paths; then
#      padflash-cli.exe --list lists it through its &col01 interface;
#   2. kernel-probe.exe reads input reports of the consumer collection only
#      while the device sends reports of two collections;
#   3. padflash-cli.exe /o updates it (into the bootloader and back to
#      revision 0x06); exit codes are read whole through cmd;
#   4. a unit loses power at write-data chunk 4 of an update from its
#      firmware (padflash-cli of Linux: 1603, exit status 4), and
#      padflash-cli.exe started in the same folder recovers it from its
#      bootloader (product ID 0xD0C0, one collection) with the unit's own
#      saved settings, recording the report trace (VLMHID_TRACE): revision
#      0x06 with the comp table it was made with.
# Where Wine's HID stack differs from Windows (Wine 8 gives one interface
# without &colNN for the three collections, and version 0), the step prints
# the call and what it returned, checks what the backend must then do, and
# the guest goes on; any other failure fails the test. The guest writes its
# results into the work folder, shared writable. The recorded trace is then
# replayed on this machine through the simulated library.
#
#   kernel-wine-test.sh --bus usb|i2c --bin DIR (windows build) --linux-bin DIR
#                       --sim-lib DIR (simulated libVLMHID.so)
#                       --firmware FILE --work DIR --prefix DIR
#                       [--save-trace FILE]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
bus="" bin="" linux_bin="" simlib="" firmware="" work="" prefix="" save_trace=""
while [ $# -gt 0 ]; do
  case "$1" in
    --bus) bus="$2" ;;
    --bin) bin="$2" ;;
    --linux-bin) linux_bin="$2" ;;
    --sim-lib) simlib="$2" ;;
    --firmware) firmware="$2" ;;
    --work) work="$2" ;;
    --prefix) prefix="$2" ;;
    --save-trace) save_trace="$2" ;;
    *) echo "kernel-wine-test: unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
program=kernel-wine-test
source "$here/bus-and-clock.sh"
# Wine and the guest need absolute paths.
for name in bin linux_bin simlib firmware work prefix; do
  [ -n "${!name}" ] || {
    echo "kernel-wine-test: --bin, --linux-bin, --sim-lib, --firmware, --work and --prefix are needed" >&2
    exit 2
  }
  printf -v "$name" '%s' "$(realpath -m "${!name}")"
done
for file in "$bin/padflash-cli.exe" "$bin/VLMHID.dll" "$bin/kernel-probe.exe" \
            "$linux_bin/vlmsim-uhid" "$linux_bin/padflash-cli" "$simlib/libVLMHID.so"; do
  [ -e "$file" ] || {
    echo "kernel-wine-test: $file is missing (build vlmsim-uhid, padflash-cli and the simulated" \
         "library in the default preset first)" >&2
    exit 1
  }
done
started=$(now_ms)

cache="${PADFLASH_KERNEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/padflash/kernel}"
kernel="$("$root/tools/fetch-test-kernel.sh" "$cache")"

# The prefix: the project's set-up, and winebus told that no udevd runs in
# the guest (it then finds hidraw nodes in /dev and watches it with inotify)
# and to leave game controllers to hidraw (no SDL, no evdev devices).
# Its server is stopped so that the registry is on disk before the guest
# reads it.
prefix_version=1
if [ "$(cat "$prefix/.kernel-wine-ready" 2>/dev/null)" != "$prefix_version" ]; then
  rm -rf "$prefix"
  (
    export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    "$root/tools/wine-prefix" </dev/null >/dev/null 2>&1
    key='HKLM\System\CurrentControlSet\Services\winebus'
    for value in "DisableUdevd 1" "Enable SDL 0" "DisableInput 1" "DisableHidraw 0"; do
      wine reg add "$key" /v "${value% *}" /t REG_DWORD /d "${value##* }" /f </dev/null >/dev/null 2>&1
    done
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
  )
  echo "$prefix_version" >"$prefix/.kernel-wine-ready"
fi

rm -rf "$work"
mkdir -p "$work/root"/{bin,dev,proc,sys,mod,new,lower,upper} "$work/out"
cp /usr/bin/busybox "$work/root/bin/"
modules="virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci netfs fscache
         9pnet 9pnet_virtio 9p overlay hid uhid hid-generic"
for module in $modules; do cp "$kernel/$module.ko" "$work/root/mod/"; done
cp "$firmware" "$work/out/new.hex"

# The guest's program, run in its overlay of this machine's root.
cat >"$work/guest.sh" <<GUEST
#!/bin/bash
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" HOME=/root
unset DISPLAY WAYLAND_DISPLAY
bridge_bus="$bridge_bus" bin="$bin" winbin='Z:${bin//\//\\}' linux_bin="$linux_bin" out="$work/out"
cd "\$out"
failed=0
finding() { echo "KERNEL-WINE FINDING: \$*"; failed=1; }
wait_node() {
  for i in \$(seq 1 100); do ls /dev/hidraw* >/dev/null 2>&1 && return 0; sleep 0.05; done
  finding "no hidraw node appeared"
}
# cli NAME ARGS...: padflash-cli.exe under cmd, which reads its exit code
# whole; its output goes to NAME.txt, the code to NAME.status.
cli() {
  local name="\$1"; shift
  wine cmd /v:on /c "\$winbin\\padflash-cli.exe \$* >\$name.txt 2>&1 & echo !ERRORLEVEL! >\$name.status" \
    </dev/null >/dev/null 2>&1
  tr -d '\r' <\$name.txt >\$name.log
  cat \$name.log
  echo "(\$name: exit code \$(tr -d '\r\n ' <\$name.status))"
}
status_of() { tr -d '\r\n ' <"\$1.status"; }
# updated NAME CODE BRIDGE: the run NAME ended with CODE and said that the
# firmware was updated, and vlmsim-uhid's last line (in BRIDGE) shows
# revision 0x06 with the comp table the controller was made with.
updated() {
  [ "\$(status_of \$1)" = \$2 ] || finding "\$1 ended with \$(status_of \$1), not \$2"
  grep -q "Firmware was successfully updated to version: 12.6" \$1.log || finding "\$1: no success line"
  grep -q ": firmware chip 0x12 revision 0x06 image valid, comp table as made" \$3 ||
    finding "\$1: the controller's state afterwards"
}
stop_bridge() { kill \$bridge; wait \$bridge; cat /tmp/bridge.txt; cp /tmp/bridge.txt "\$1"; }

echo "=== Wine starts (its HID stack's log: wine-hid.log) ==="
"\$linux_bin/vlmsim-uhid" \$bridge_bus --rev 0x05 --input-every-ms 20 >/tmp/bridge.txt 2>&1 &
bridge=\$!
wait_node
# One server for every program (under emulation each start of the prefix's
# services takes a minute).
WINEDEBUG=err+all,+hid wineserver -p </dev/null >/dev/null 2>&1
WINEDEBUG=err+all,+hid wineboot </dev/null >wine-hid.log 2>&1

echo "=== the interfaces Wine's HID stack presents ==="
# winebus brings the device in shortly after its node appears.
for i in \$(seq 1 20); do
  wine "\$bin/kernel-probe.exe" paths 0x0488 </dev/null >paths.txt 2>&1 && break
  sleep 1
done
tr -d '\r' <paths.txt

# Where Wine's HID stack presents the device otherwise than Windows, the
# step names the call and its answer (a "WINE DIFFERENCE" line) and checks
# what the backend must then do; any other outcome fails the test.
difference() { echo "KERNEL-WINE DIFFERENCE: \$*"; }
split=yes
grep -qi "&col01#" paths.txt || split=no
[ \$split = yes ] || difference "SetupDiGetDeviceInterfaceDetailW gives one interface for the" \
  "three top-level collections, without &colNN: \$(tr -d '\r' <paths.txt | awk '/^0x0488 / { print \$NF }')"
if grep -q "0x0488 0x0101 version 0x1205 " paths.txt; then :
elif grep -q "0x0488 0x0101 version 0x0000 " paths.txt; then
  difference "HidD_GetAttributes gives VersionNumber 0x0000 (the kernel device's is 0x1205)"
else finding "no interface 0x0488 0x0101"; fi
grep -q 'product "Velmar Touchpad" serial "UHID0001"' paths.txt || finding "product or serial string"

echo "=== list ==="
cli list --list
if [ \$split = yes ]; then
  [ "\$(status_of list)" = 0 ] || finding "padflash-cli.exe --list ended with \$(status_of list)"
  grep -qE "^0: 0x488 - 0x101 - 0x(1205|0) -Velmar Touchpad - UHID0001\$" list.log || finding "list line"
else
  # No interface holds "&col01": nothing is a candidate.
  [ "\$(status_of list)" = 21 ] || finding "--list without a &col01 interface ended with \$(status_of list)"
fi

echo "=== input reports of one collection ==="
if [ \$split = yes ]; then
  wine "\$bin/kernel-probe.exe" input 0x0488 0x0101 9 '&col03' 20 </dev/null >probe.txt 2>&1
  probe=\$?
  tr -d '\r' <probe.txt
  [ \$probe -eq 0 ] || finding "kernel-probe.exe input ended with \$probe"
else
  difference "no &col03 interface to read the consumer collection's reports from (not run)"
fi
stop_bridge bridge-list.txt

echo "=== update from the firmware ==="
"\$linux_bin/vlmsim-uhid" \$bridge_bus --rev 0x05 >/tmp/bridge.txt 2>&1 &
bridge=\$!
wait_node
sleep 2
cli update /o new.hex
stop_bridge bridge-update.txt
if [ \$split = yes ]; then
  updated update 0 bridge-update.txt
else
  [ "\$(status_of update)" = 21 ] || finding "update without a &col01 interface ended with \$(status_of update)"
  difference "the update from the firmware finds no &col01 interface: not prepared (21)"
fi

echo "=== a unit in its bootloader: power loss at chunk 4, then the recovery ==="
# The bootloader's device has one collection and product ID 0xD0C0: it is
# listed without "&col01".
# winebus without udevd never removes a device whose node went (its reads
# fail with EIO for ever) and takes a device created again on the same node
# for a duplicate: Wine starts afresh for a new device.
wine_afresh() {
  wineserver -k; wineserver -w
  WINEDEBUG=err+all,+hid wineserver -p </dev/null >/dev/null 2>&1
  WINEDEBUG=err+all,+hid wineboot </dev/null >>wine-hid.log 2>&1
}
removed=\$(grep -c "Read failed. Likely an unplugged device" wine-hid.log)
[ "\$removed" = 0 ] || difference "winebus (no udevd) keeps the devices of removed nodes:" \
  "\$removed reads failed with EIO, \$(grep -c 'duplicate device found' wine-hid.log) re-created devices refused as duplicates"
# The power loss comes in an update from the firmware, which saves the
# unit's factory settings first; Wine lists no "&col01" interface, so that
# run is padflash-cli of Linux with the real libVLMHID.so, and the recovery
# from the bootloader is the Windows program's, started in the same folder.
# (A unit that is already in its bootloader when the first run starts has
# nothing saved: its calibration is lost with the user's "yes" to the
# defaults, as that question says.)
wineserver -k; wineserver -w
"\$linux_bin/vlmsim-uhid" \$bridge_bus --rev 0x05 --power-loss-at-chunk 4 >/tmp/bridge.txt 2>&1 &
bridge=\$!
wait_node
PADFLASH_STATE_DIR="\$out/linux-state" "\$linux_bin/padflash-cli" /o --answer yes new.hex >broken.log 2>&1
echo \$? >broken.status
cat broken.log
echo "(broken, Linux: exit status \$(status_of broken))"
[ "\$(status_of broken)" = 4 ] || finding "the Linux run with the power loss ended with \$(status_of broken), not 4 (1603)"
ls -l *.unit 2>/dev/null || finding "no personality file was left for the recovery"
wine_afresh
started=\$(cut -d' ' -f1 /proc/uptime)
VLMHID_TRACE=trace.txt cli recovery /o --answer yes new.hex
finished=\$(cut -d' ' -f1 /proc/uptime)
echo "recovery: \$started s to \$finished s of guest uptime"
# The file is known for this unit's by its serial: no question about it.
grep -q "Found Personality File: sf" recovery.log || finding "the recovery found no personality file"
if grep -qiE "unknown controller|another controller" recovery.log; then
  finding "the recovery did not take the file for this unit's"
fi
if [ \$split = yes ]; then
  stop_bridge bridge-recovery.txt
  updated recovery 3010 bridge-recovery.txt
else
  # The new firmware answers on an interface without "&col01": the
  # recovery cannot reconnect to it to restore the settings, keeps the
  # personality file and advises another run (3010). padflash-cli of Linux
  # then finds the kept file in this folder and restores the unit's own
  # calibration.
  [ "\$(status_of recovery)" = 3010 ] || finding "the recovery run ended with \$(status_of recovery)"
  grep -q "Firmware was successfully updated to version: 12.6" recovery.log ||
    finding "recovery: no success line"
  grep -q "Unable to reconnect to touchpad device" recovery.log &&
    difference "the recovery cannot reconnect to the new firmware (no &col01 interface); the" \
      "personality file is kept and 3010 advises another run"
  ls sf*.mem >/dev/null 2>&1 || finding "the recovery did not keep the personality file"
  # What the recovery found in its folder, for its replay on the host.
  mkdir -p replay && cp sf*.mem sf*.mem.unit replay/
  wineserver -k; wineserver -w
  PADFLASH_STATE_DIR="\$out/linux-state" "\$linux_bin/padflash-cli" /o --answer yes new.hex \
    >restore.log 2>&1
  echo \$? >restore.status
  cat restore.log
  stop_bridge bridge-recovery.txt
  updated restore 0 bridge-recovery.txt
fi

wineserver -k
if [ \$failed = 0 ]; then echo "KERNEL-WINE PASS"; else echo "KERNEL-WINE FAIL"; fi
GUEST
chmod +x "$work/guest.sh"

cat >"$work/root/init" <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs dev /dev
for m in $(echo $modules); do insmod /mod/\$m.ko || echo "KERNEL-WINE FAIL: insmod \$m"; done
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=512000 hostroot /lower ||
  echo "KERNEL-WINE FAIL: 9p"
mount -t tmpfs -o size=1536m tmpfs /upper
mkdir -p /upper/data /upper/work
mount -t overlay overlay -o lowerdir=/lower,upperdir=/upper/data,workdir=/upper/work /new ||
  echo "KERNEL-WINE FAIL: overlay"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 work /new$work/out
mount -t proc proc /new/proc
mount -t sysfs sysfs /new/sys
mount -t devtmpfs dev /new/dev
mkdir -p /new/dev/pts /new/dev/shm
mount -t devpts devpts /new/dev/pts
mount -t tmpfs tmpfs /new/dev/shm
mount -t tmpfs tmpfs /new/tmp
mount -t tmpfs tmpfs /new/run
chroot /new /bin/bash $work/guest.sh 2>&1 | tee /new$work/out/guest.log
sync
reboot -f
INIT
chmod +x "$work/root/init"
(cd "$work/root" && find . | busybox cpio -o -H newc 2>/dev/null) | gzip -1 >"$work/initrd.gz"

# KVM when it works: a nested one may open and then never run the guest (or
# refuse its CPU), so a guest that only says hello must come back first.
accel=tcg
if [ -r /dev/kvm ] && [ -w /dev/kvm ]; then
  mkdir -p "$work/hello/bin"
  cp /usr/bin/busybox "$work/hello/bin/"
  printf '#!/bin/busybox sh\n/bin/busybox echo KVM-HELLO\n/bin/busybox reboot -f\n' >"$work/hello/init"
  chmod +x "$work/hello/init"
  (cd "$work/hello" && find . | busybox cpio -o -H newc 2>/dev/null) | gzip -1 >"$work/hello.gz"
  if timeout 20 qemu-system-x86_64 -accel kvm -cpu host -m 256 -nodefaults -display none \
       -no-reboot -kernel "$kernel/vmlinux" -initrd "$work/hello.gz" \
       -append "console=ttyS0 quiet panic=-1" -serial stdio </dev/null 2>/dev/null |
     grep -q KVM-HELLO; then
    accel="kvm -cpu host"
  fi
fi
prepared=$(seconds_since "$started")
boot_started=$(now_ms)
timeout 900 qemu-system-x86_64 -accel $accel -smp 2 -m 2048 -nodefaults -display none -no-reboot \
  -kernel "$kernel/vmlinux" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1 oops=panic" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs local,path="$work/out",mount_tag=work,security_model=none \
  -serial "file:$work/console.txt" </dev/null || true
guest=$(seconds_since "$boot_started")

tr -d '\r' <"$work/console.txt" >"$work/console.log"
if [ ! -f "$work/out/guest.log" ]; then
  cat "$work/console.log"
  echo "kernel test under Wine ($bus): FAILED, the guest did not run (qemu -accel $accel, ${guest} s)"
  exit 1
fi
cat "$work/out/guest.log"
if ! grep -q "^KERNEL-WINE PASS" "$work/out/guest.log"; then
  grep "KERNEL-WINE FINDING" "$work/out/guest.log" || true
  echo "kernel test under Wine ($bus): FAILED (qemu -accel $accel, ${guest} s)"
  exit 1
fi
grep "KERNEL-WINE DIFFERENCE" "$work/out/guest.log" >"$work/differences.txt" || true
tr -d '\r' <"$work/out/trace.txt" >"$work/trace.txt"
echo "trace: $(wc -l <"$work/trace.txt") lines recorded through Wine's HID stack"
if [ -n "$save_trace" ]; then cp "$work/trace.txt" "$save_trace"; fi

# The recorded trace played back by the simulated library (its own lock
# folder: another padflash-cli may run meanwhile).
# The recovery ran from its bootloader with the personality file that the
# Linux run had left in its folder: the replay starts beside a copy of it,
# with a state folder of its own.
replay_dir="$work/out/replay"
mkdir -p "$replay_dir"
(cd "$replay_dir" && PADFLASH_LOCK_DIR="$work" PADFLASH_STATE_DIR="$work/replay-state" \
  VLMHID_SIM_REPLAY="$work/trace.txt" LD_LIBRARY_PATH="$simlib" \
  "$linux_bin/padflash-cli" /o --answer yes "$work/out/new.hex" >"$work/replay.txt" 2>&1) || true
grep -q "Firmware was successfully updated to version: 12.6" "$work/replay.txt" || {
  cat "$work/replay.txt"
  echo "kernel test under Wine ($bus): the recorded trace does not replay"
  exit 1
}
echo "replay of the recorded trace: updated"
{
  echo "kernel test under Wine ($bus): PASS; qemu -accel $accel; preparing ${prepared} s, qemu ${guest} s," \
       "total $(seconds_since "$started") s; $(wc -l <"$work/differences.txt") differences of Wine's HID stack:"
  sed 's/^KERNEL-WINE DIFFERENCE: /  /' "$work/differences.txt"
} | tee "$work/summary.txt"
