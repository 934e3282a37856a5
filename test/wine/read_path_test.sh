#!/usr/bin/env bash
# The Win32 read path on a real handle: links a sparse image of a little over
# 9 GiB as the Wine prefix's \\.\PHYSICALDRIVE0 (Wine looks the name up in
# dosdevices/ first), plants a pattern in sectors below and beyond 2^32 and
# 2^33 bytes and at the very end, and has hdd_wine_read_path read them back
# through the component's primitives. The link is removed afterwards, on every
# path. Other tests share the prefix: run this one alone (RUN_SERIAL).
#
#   read_path_test.sh WINE_RUN PROGRAM BUILD_DIR WORK_DIR
set -euo pipefail

run=$1
program=$2
build_dir=$3
work=$4
# shellcheck source=../../cmake/wine-env.sh
source "$(dirname "$run")/wine-env.sh"
# The build's own kind of prefix: a restart with the wrong one starts no
# background processes, and the next test's would hold its output open.
hdd_wine_env "${HDD_WINEPREFIX:-$build_dir/wineprefix}" \
    "${HDD_WINEARCH:-$(cat "$build_dir/wine-arch" 2>/dev/null || echo win32)}"
link=$WINEPREFIX/dosdevices/physicaldrive0
image=$work/disk.img

# 9 GiB and three sectors; the last sector is 18874370.
image_bytes=$((9 * 1024 * 1024 * 1024 + 3 * 512))
last=$((image_bytes / 512 - 1))
# Around 2^32 bytes (sector 8388608), around 2^33 (16777216), and the end.
planted=(1 8388607 8388608 8388609 16777215 16777216 $last)
zeros=(z0 z8388610 z12345678 z$((last - 1)))

# The pattern of one sector: 64 little-endian words, word k = sector ^ (k << 48).
pattern() {
    local sector=$1 k b word byte out=""
    for ((k = 0; k < 64; k++)); do
        word=$((sector ^ (k << 48)))
        for ((b = 0; b < 8; b++)); do
            printf -v byte '\\x%02x' $(((word >> (8 * b)) & 0xFF))
            out+=$byte
        done
    done
    printf '%b' "$out"
}

# Wine reads the links when its server starts.
restart_wineserver() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    hdd_wine_server_start 600 || true
}

cleanup() {
    if [[ -L $link ]]; then
        rm -f "$link"
        restart_wineserver
    fi
    rm -f "$image"
}

# The prefix exists once a program has run in it.
"$run" cmd /c exit </dev/null >/dev/null 2>&1 || true
if [[ -e $link || -L $link ]]; then
    if [[ $(readlink "$link") != "$image" ]]; then
        echo "read_path_test: $link exists and is not this test's; leaving it alone" >&2
        exit 1
    fi
fi
trap cleanup EXIT

mkdir -p "$work"
rm -f "$image"
truncate -s "$image_bytes" "$image"
for sector in "${planted[@]}"; do
    pattern "$sector" | dd of="$image" bs=512 seek="$sector" conv=notrunc status=none
done
echo "image: $image_bytes bytes (sparse, $(du -k "$image" | cut -f1) KiB on disk); planted: ${planted[*]}"

ln -sfn "$image" "$link"
restart_wineserver
"$run" "$program" "${planted[@]}" "${zeros[@]}"
