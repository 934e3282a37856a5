#!/usr/bin/env bash
# Fetches the kernel of the test VM into a cache folder and prints the folder
# that holds it:
#
#   test/vm/kernel.sh CACHE      ->  CACHE/<version>/vmlinuz
#                                    CACHE/<version>/lib/modules/<version>/...
#
# The kernel is Debian's, the package linux-image-amd64 depends on. It is
# downloaded with apt-get download, never installed: vmlinuz and only the
# modules the guest loads are taken out of it, and depmod indexes them. A
# second call finds the cache and does nothing. Exits 3, with the reason on
# stderr, when the package cannot be had.
set -euo pipefail

cache=${1:?usage: kernel.sh CACHE}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)

fail() {
    echo "kernel.sh: $*" >&2
    exit 3
}

command -v apt-cache >/dev/null || fail "no apt-cache: the kernel comes from Debian's archive"
package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }')
[[ -n $package ]] || fail "apt-cache names no package behind linux-image-amd64"
version=${package#linux-image-}
out=$cache/$version
if [[ -f $out/vmlinuz && -f $out/lib/modules/$version/modules.dep ]]; then
    echo "$out"
    exit 0
fi

# apt-get download writes into the current folder; a stale list gives a 404,
# so the lists are renewed once before the second try.
deb=$(find "$cache" -maxdepth 1 -name "${package}_*.deb" -print -quit)
if [[ -z $deb ]]; then
    if ! (cd "$cache" && apt-get download -q "$package" >&2); then
        echo "kernel.sh: download failed; renewing the package lists" >&2
        if [[ $(id -u) -eq 0 ]]; then apt-get update -q >&2 || true; else sudo -n apt-get update -q >&2 || true; fi
        (cd "$cache" && apt-get download -q "$package" >&2) || fail "apt-get download $package failed"
    fi
    deb=$(find "$cache" -maxdepth 1 -name "${package}_*.deb" -print -quit)
    [[ -n $deb ]] || fail "apt-get download left no ${package}_*.deb in $cache"
fi

# The modules the initramfs loads, one name a line (file names, without .ko).
mapfile -t modules < <(grep -v '^#' "$here/modules.txt" | awk 'NF { print $1 }')
pattern=$(printf '%s|' "${modules[@]}")
pattern="^\./lib/modules/$version/kernel/.*/(${pattern%|})\.ko$"

work=$(mktemp -d "$cache/extract.XXXXXX")
trap 'rm -rf "$work"' EXIT
dpkg-deb --fsys-tarfile "$deb" >"$work/kernel.tar"
mapfile -t members < <(tar -tf "$work/kernel.tar" |
    grep -E "$pattern|^\./boot/vmlinuz-$version$|^\./lib/modules/$version/modules\.(order|builtin|builtin\.modinfo)$")
tar -xf "$work/kernel.tar" -C "$work" "${members[@]}"
for m in "${modules[@]}"; do
    [[ -n $(find "$work/lib/modules/$version/kernel" -name "$m.ko") ]] || fail "$deb has no module $m.ko"
done
mv "$work/boot/vmlinuz-$version" "$work/vmlinuz"
rm -rf "$work/boot" "$work/kernel.tar"
depmod -b "$work" "$version" || fail "depmod failed"
rm -rf "$out"
mv "$work" "$out"
trap - EXIT
echo "$out"
