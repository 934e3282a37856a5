# The Wine environment of the windows build, in one place; sourced by
# cmake/wine-run.sh (CTest's emulator) and scripts/test.sh.
#
#   hdd_wine_env PREFIX [ARCH] exports the variables for a prefix: win32 (the
#                              default) or win64 (system32 64-bit, syswow64
#                              32-bit, for the x64 build)
#   hdd_wine_prefix_create     creates the prefix when it has no registry yet
#   hdd_wine_server_start [S]  starts a wineserver for it (persistent, or one
#                              that stays up S idle seconds) and warms it up;
#                              status 0 when this call started it
#   hdd_wine_runs_32bit        status 0 when this kernel starts 32-bit x86
#                              programs (some virtual machines' kernels do not:
#                              there only 64-bit prefixes work, through the
#                              64-bit loader of cmake/wine64-only)
#
# Wine's processes run with detached streams, so they never hold the caller's
# output pipe open (CTest would wait for them).

hdd_wine_env() {
    export WINEPREFIX=$1
    export WINEARCH=${2:-win32}
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [[ $WINEARCH == win64 ]] && ! hdd_wine_runs_32bit; then
        local only64
        only64=$(cd "$(dirname "${BASH_SOURCE[0]}")/wine64-only" && pwd)
        [[ ":$PATH:" == *":$only64:"* ]] || export PATH=$only64:$PATH
        export WINELOADER=/usr/lib/wine/wine64
    fi
}

hdd_wine_runs_32bit() {
    # Without the 32-bit loader, Debian's wine takes the 64-bit one by itself.
    [[ -x /usr/lib/wine/wine ]] || return 1
    if [[ -z ${HDD_WINE_RUNS_32BIT:-} ]]; then
        HDD_WINE_RUNS_32BIT=no
        /usr/lib/wine/wine --version </dev/null >/dev/null 2>&1 && HDD_WINE_RUNS_32BIT=yes
        export HDD_WINE_RUNS_32BIT
    fi
    [[ $HDD_WINE_RUNS_32BIT == yes ]]
}

hdd_wine_prefix_create() {
    [[ -f $WINEPREFIX/system.reg ]] && return 0
    mkdir -p "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
}

hdd_wine_server_start() {
    # Exit status 0: this call started the server; 2: one already runs.
    wineserver "-p${1:-}" </dev/null >/dev/null 2>&1 || return 1
    # A throw-away program starts Wine's own background processes here,
    # instead of inside the first test.
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}
