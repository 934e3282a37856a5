#!/usr/bin/env bash
# Runs a Windows program under Wine in a 32-bit prefix: the cross build's
# CMAKE_CROSSCOMPILING_EMULATOR, so CTest runs the test programs through it.
#
#   wine-run.sh program.exe [arguments...]
#
# The prefix is $HDD_WINEPREFIX when set, else "wineprefix" in the build
# folder that holds the program (found by its CMakeCache.txt); the caller's
# WINEPREFIX is ignored, as it is usually a 64-bit one. A missing prefix is
# created on first use.
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

if [[ -n "${HDD_WINEPREFIX:-}" ]]; then
    WINEPREFIX=$HDD_WINEPREFIX
else
    build_dir=$(find_build_dir "$1") || build_dir=$PWD
    WINEPREFIX=$build_dir/wineprefix
fi
export WINEPREFIX
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Create the prefix once, and start a server when none runs for it. A fresh
# server is warmed up with a throw-away program, so Wine's own background
# processes start with detached streams instead of inheriting (and holding
# open) the test's output pipe. The lock keeps parallel tests from racing.
mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
        wineboot -i </dev/null >/dev/null 2>&1 9>&- || true
        wineserver -w </dev/null >/dev/null 2>&1 9>&- || true
    fi
    # Exit status 0: this call started the server; 2: one already runs.
    # (Wine's processes must not inherit the lock, or they hold it.)
    if wineserver -p600 </dev/null >/dev/null 2>&1 9>&-; then
        wine cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
    fi
) 9>"$WINEPREFIX.lock"

exec wine "$@"
