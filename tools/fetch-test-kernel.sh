#!/usr/bin/env bash
# Fetches Debian's own kernel for the kernel test, once, into a cache folder:
# the uncompressed vmlinux (boots directly through its PVH entry, about
# twice as fast as the compressed image), the hid, uhid and hid-generic
# modules, and those that share a host folder into the guest (virtio PCI,
# 9p over virtio, overlayfs). The image package is downloaded, never
# installed.
#
#   fetch-test-kernel.sh CACHE_DIR      prints the folder holding vmlinux
#                                       and the modules (NAME.ko)
set -euo pipefail
cache="${1:?usage: fetch-test-kernel.sh CACHE_DIR}"
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9

# linux-image-amd64 is a meta package: the image package is its dependency.
image_package() {
  apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -n 1
}
package="$(image_package)"
if [ -z "$package" ]; then
  apt-get update -qq >&2
  package="$(image_package)"
fi
[ -n "$package" ] || { echo "fetch-test-kernel: no linux-image-amd64 in the package lists" >&2; exit 1; }

# In loading order.
modules="hid uhid hid-generic virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev
         virtio_pci netfs fscache 9pnet 9pnet_virtio 9p overlay"
dir="$cache/$package"
complete=yes
for module in vmlinux $modules; do
  case "$module" in vmlinux) file="$dir/vmlinux" ;; *) file="$dir/$module.ko" ;; esac
  [ -f "$file" ] || complete=no
done
if [ "$complete" = yes ]; then
  echo "$dir"
  exit 0
fi

work="$(mktemp -d "$cache/fetch.XXXXXX")"
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download -qq "$package" >&2 2>/dev/null) ||
  (cd "$work" && apt-get download "$package" >&2)
deb="$(ls "$work"/*.deb)"
dpkg-deb --fsys-tarfile "$deb" |
  tar -x -C "$work" --wildcards './boot/vmlinuz-*' \
    './lib/modules/*/kernel/drivers/hid/*' './lib/modules/*/kernel/drivers/virtio/*' \
    './lib/modules/*/kernel/fs/9p/*' './lib/modules/*/kernel/fs/netfs/*' \
    './lib/modules/*/kernel/fs/fscache/*' './lib/modules/*/kernel/fs/overlayfs/*' \
    './lib/modules/*/kernel/net/9p/*'
mkdir -p "$work/out"
for module in $modules; do
  file="$(find "$work/lib/modules" -name "$module.ko*" | head -n 1)"
  [ -n "$file" ] || { echo "fetch-test-kernel: no $module module in $package" >&2; exit 1; }
  case "$file" in
    *.ko.xz) xz -dc "$file" >"$work/out/$module.ko" ;;
    *.ko.zst) zstd -qdc "$file" >"$work/out/$module.ko" ;;
    *) cp "$file" "$work/out/$module.ko" ;;
  esac
done

# The bzImage carries the kernel compressed after its setup code: find the
# compressed stream and unpack it.
vmlinuz="$(ls "$work"/boot/vmlinuz-*)"
unpack() {  # magic (grep -P), decompressor
  local offset
  for offset in $(LC_ALL=C grep -obUaP "$1" "$vmlinuz" | cut -d: -f1); do
    if tail -c +"$((offset + 1))" "$vmlinuz" | $2 >"$work/out/vmlinux" 2>/dev/null ||
       [ -s "$work/out/vmlinux" ]; then
      if [ "$(head -c 4 "$work/out/vmlinux" | od -An -tx1 | tr -d ' ')" = "7f454c46" ]; then
        return 0
      fi
    fi
  done
  return 1
}
unpack '\xfd7zXZ\x00' 'xz -dc' || unpack '\x28\xb5\x2f\xfd' 'zstd -qdc' ||
  unpack '\x1f\x8b\x08' 'gzip -dc' || {
  echo "fetch-test-kernel: cannot unpack $vmlinuz" >&2
  exit 1
}
rm -rf "$dir"
mv "$work/out" "$dir"
echo "$dir"
