#!/usr/bin/env bash
# Makes the test VM's initramfs from busybox, the modules kernel.sh took out
# of the kernel package, and test/vm/init:
#
#   test/vm/initramfs.sh KERNEL_DIR OUTPUT      (KERNEL_DIR: what kernel.sh printed)
#
# Exits 3, with the reason on stderr, when busybox or cpio is missing.
set -euo pipefail

kernel=${1:?usage: initramfs.sh KERNEL_DIR OUTPUT}
output=${2:?usage: initramfs.sh KERNEL_DIR OUTPUT}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

busybox=$(command -v busybox || true)
[[ -n $busybox ]] && file -L "$busybox" | grep -q 'statically linked' ||
    { echo "initramfs.sh: no static busybox (package busybox-static)" >&2; exit 3; }
command -v cpio >/dev/null || { echo "initramfs.sh: no cpio" >&2; exit 3; }

version=$(basename "$kernel")
work=$(mktemp -d "${TMPDIR:-/tmp}/vm-initramfs.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work"/{bin,dev,proc,sys,host,lib/modules}
cp "$busybox" "$work/bin/busybox"
cp -a "$kernel/lib/modules/$version" "$work/lib/modules/"
install -m 0755 "$here/init" "$work/init"
# The load order of modules.txt, as paths inside the initramfs.
grep -v '^#' "$here/modules.txt" | awk 'NF { print $1 }' | while read -r m; do
    path=$(cd "$work" && find "lib/modules/$version/kernel" -name "$m.ko" -print -quit)
    [[ -n $path ]] || { echo "initramfs.sh: no $m.ko under $kernel" >&2; exit 3; }
    echo "/$path"
done >"$work/modules.list"

(cd "$work" && find . -print0 | LC_ALL=C sort -z | cpio --null -o -H newc --quiet) | gzip -1 >"$output.tmp"
mv "$output.tmp" "$output"
