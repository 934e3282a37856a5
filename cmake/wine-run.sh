#!/usr/bin/env bash
# Runs a Windows program under Wine: the cross build's
# CMAKE_CROSSCOMPILING_EMULATOR, so CTest runs the test programs through it.
#
#   wine-run.sh program.exe [arguments...]
#
# The prefix is $HDD_WINEPREFIX when set, else "wineprefix" in the build
# folder that holds the program (found by its CMakeCache.txt); the caller's
# WINEPREFIX is ignored, as it is usually a 64-bit one. A missing prefix is
# created on first use. The prefix is 32-bit, or 64-bit when $HDD_WINEARCH is
# win64 or the build folder's wine-arch file says so (the x64 build).
#
# scripts/test.sh starts one persistent wineserver before the windows build
# and its tests and stops it after. When none runs (ctest or a build started
# by hand), this script starts one that stays up for ten idle minutes, with
# Wine's processes on detached streams, so they never hold the caller's output
# pipe open.
set -euo pipefail

if [[ $# -lt 1 ]]; then
    echo "usage: $0 program.exe [arguments...]" >&2
    exit 2
fi

find_build_dir() {
    local dir
    dir=$(cd "$(dirname "$1")" 2>/dev/null && pwd) || return 1
    while [[ "$dir" != "/" ]]; do
        [[ -f "$dir/CMakeCache.txt" ]] && { echo "$dir"; return 0; }
        dir=$(dirname "$dir")
    done
    return 1
}

# shellcheck source=wine-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
build_dir=$(find_build_dir "$1") || build_dir=$PWD
arch=${HDD_WINEARCH:-$(cat "$build_dir/wine-arch" 2>/dev/null || echo win32)}
if [[ -n "${HDD_WINEPREFIX:-}" ]]; then
    hdd_wine_env "$HDD_WINEPREFIX" "$arch"
else
    hdd_wine_env "$build_dir/wineprefix" "$arch"
fi

# Create the prefix once, and start a server when none runs for it. The lock
# keeps parallel tests from racing; Wine's processes must not inherit it, or
# they hold it.
mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    hdd_wine_prefix_create 9>&-
    hdd_wine_server_start 600 9>&- || true
) 9>"$WINEPREFIX.lock"

# wine starts a 64-bit program file as such, but a program of the prefix's
# system folder (regsvr32, cscript) as the 32-bit one, even when named
# C:\windows\system32\...: /usr/lib/wine/wine64 starts the 64-bit one.
exec wine "$@"
