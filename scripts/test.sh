#!/usr/bin/env bash
# Builds the component three ways from the same sources and runs every test:
#
#   native   the machine's g++                                 tests run directly
#   asan     g++ with AddressSanitizer and UndefinedBehaviorSanitizer  directly
#   windows64  MinGW-w64 x86_64: the DLL for 64-bit clients and its tests
#                                                              under 64-bit Wine
#   windows  MinGW-w64 i686 (-posix, -static)                  under Wine
#
#   fuzz     clang with libFuzzer, ASan and UBSan              each harness briefly
#
#   scripts/test.sh [native] [asan] [windows64] [windows] [fuzz]   (default: all)
#
# windows64 runs before windows, whose setup program, zip and side-by-side
# test take its HDD.dll and client; without it, the windows build makes them.
#
# Installs missing packages first (scripts/install-deps.sh). Build folders are
# $BUILD_ROOT/<build>, by default build/ in the repository; $JOBS sets the
# parallelism (default: number of cores). Exits non-zero when anything fails.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${BUILD_ROOT:-$ROOT/build}
JOBS=${JOBS:-$(nproc)}
TEST_TIMEOUT=${TEST_TIMEOUT:-600}

builds=("$@")
[[ ${#builds[@]} -gt 0 ]] || builds=(native asan windows64 windows fuzz)
with_x64=0
for b in "${builds[@]}"; do
    case $b in native | asan | windows | fuzz) ;; windows64) with_x64=1 ;; *) echo "test.sh: unknown build '$b'" >&2; exit 2 ;; esac
done
# windows64 first, wherever it was named.
if [[ $with_x64 -eq 1 ]]; then
    ordered=()
    for b in "${builds[@]}"; do
        [[ $b == windows ]] && ordered+=(windows64)
        [[ $b == windows64 ]] || ordered+=("$b")
    done
    [[ " ${ordered[*]} " == *" windows64 "* ]] || ordered+=(windows64)
    builds=("${ordered[@]}")
fi

started=$SECONDS
summary=()
details=()
failed=0
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

banner() { printf '\n==== %s ====\n' "$*"; }

# Runs one stage, records its result and time; returns the stage's status.
stage() {
    local label=$1
    shift
    local t0=$SECONDS rc=0
    banner "$label"
    details=()
    "$@" || rc=$?
    local took=$((SECONDS - t0))
    if [[ $rc -eq 0 ]]; then
        summary+=("$(printf '%-22s ok      %4ds' "$label" "$took")")
    else
        summary+=("$(printf '%-22s FAILED  %4ds  (exit %d)' "$label" "$took" "$rc")")
        failed=1
    fi
    [[ ${#details[@]} -eq 0 ]] || summary+=("${details[@]}")
    return $rc
}

# What each GoogleTest program reported ("unit: 138 tests from 27 test suites
# ran; 138 passed"), taken from CTest's log of the run (Wine writes CR LF).
test_counts() {
    local log=$1/Testing/Temporary/LastTest.log
    [[ -f $log ]] || return 0
    tr -d '\r' <"$log" | awk '
        function flush() {
            if (ran != "") {
                line = name ": " ran "; " (passed == "" ? 0 : passed) " passed"
                if (failed > 0) line = line ", " failed " FAILED"
                print line
            }
            ran = ""; passed = ""; failed = 0; delete seen
        }
        /^[0-9]+\/[0-9]+ Test: / { flush(); name = $3 }
        /^\[==========\] .* ran\./ { ran = $0; sub(/^\[==========\] /, "", ran); sub(/\. \(.*$/, "", ran) }
        /^\[  PASSED  \] [0-9]/ { passed = $4 }
        /^\[  FAILED  \] [^0-9]/ { if (!($4 in seen)) { seen[$4] = 1; failed++ } }
        END { flush() }'
}

# Runs CTest in a build folder; its verdict and the tests' own counts go under
# the stage's line in the summary.
# With "rerun" (the Wine stages), the tests that failed run once more, one at
# a time: Wine now and then loses a program at its start or exit when the
# machine is loaded. Both rounds are in the summary; a test that fails again
# fails the stage.
run_ctest() {
    local name=$1 dir=$2 rerun=${3:-} rc=0
    ctest --test-dir "$dir" --output-on-failure --timeout "$TEST_TIMEOUT" -j "$JOBS" 2>&1 |
        tee "$dir/ctest.log" || rc=$?
    local verdict
    verdict=$(grep -E 'tests passed|No tests were found' "$dir/ctest.log" | tail -1 || true)
    details+=("    $name: ${verdict:-ctest printed no verdict}")
    if [[ $rc -ne 0 && $rerun == rerun && -s $dir/Testing/Temporary/LastTestsFailed.log ]]; then
        local failed
        failed=$(cut -d: -f2 "$dir/Testing/Temporary/LastTestsFailed.log" | paste -sd' ' -)
        rc=0
        ctest --test-dir "$dir" --rerun-failed --output-on-failure --timeout "$TEST_TIMEOUT" -j 1 2>&1 |
            tee "$dir/ctest-rerun.log" || rc=$?
        verdict=$(grep -E 'tests passed' "$dir/ctest-rerun.log" | tail -1 || true)
        details+=("    $name: failed at first: $failed; run again alone: ${verdict:-ctest printed no verdict}")
    fi
    while IFS= read -r line; do
        details+=("      $line")
    done < <(test_counts "$dir")
    return $rc
}

configure() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" -G Ninja -Wno-dev "$@"
}

build() { cmake --build "$1" -j "$JOBS"; }

# ---- Wine: one persistent server for each windows build and its tests ---------
# A server started by a test would keep the test's output pipe open (CTest then
# waits for it), so start one here, with Wine's background processes warmed up
# on detached streams, and stop it when the run ends.
# shellcheck source=../cmake/wine-env.sh
source "$ROOT/cmake/wine-env.sh"
wine_session_start() {
    local build=$1 arch=win32
    [[ $build == windows64 ]] && arch=win64
    hdd_wine_env "$BUILD_ROOT/$build/wineprefix" "$arch"
    export HDD_WINEPREFIX=$WINEPREFIX HDD_WINEARCH=$arch  # what cmake/wine-run.sh uses
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    if [[ ! -f $WINEPREFIX/system.reg ]]; then
        echo "creating the $arch Wine prefix $WINEPREFIX"
        hdd_wine_prefix_create
    fi
    hdd_wine_server_start || true
    wine cmd /c exit </dev/null >/dev/null 2>&1 || { echo "wine cannot start a program" >&2; return 1; }
    echo "wineserver up ($(wine --version)) in $WINEPREFIX"
}
wine_session_stop() {
    [[ -n ${WINEPREFIX:-} ]] && wineserver -k </dev/null >/dev/null 2>&1 || true
}
trap wine_session_stop EXIT
trap 'exit 130' INT TERM

# ---- fuzzing: each harness replays its seeds, then runs $FUZZ_SECONDS (20) -------
fuzz_run() {
    local rc=0 line
    BUILD_ROOT=$BUILD_ROOT JOBS=$JOBS "$ROOT/scripts/fuzz.sh" "${FUZZ_SECONDS:-20}" || rc=$?
    while IFS= read -r line; do
        details+=("    $line")
    done < <(cat "$BUILD_ROOT/fuzz/summary.txt" 2>/dev/null || true)
    return $rc
}

# ---- the run ---------------------------------------------------------------------
stage "install-deps" "$ROOT/scripts/install-deps.sh" || { printf '%s\n' "${summary[@]}"; exit 1; }

for b in "${builds[@]}"; do
    if [[ $b == fuzz ]]; then stage "fuzz" fuzz_run || true; continue; fi
    dir=$BUILD_ROOT/$b
    case $b in
    native) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DHDD_SANITIZE=OFF) ;;
    asan) args=(-DCMAKE_BUILD_TYPE=Debug -DHDD_SANITIZE=ON) ;;
    windows64) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake") ;;
    windows)
        x64_dir=
        [[ $with_x64 -eq 1 ]] && x64_dir=$BUILD_ROOT/windows64
        args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake"
            -DHDD_X64_BUILD_DIR="$x64_dir")
        ;;
    esac
    # The 32-bit build runs its own programs under Wine while it builds (the
    # type library) and in every test: a kernel without 32-bit support, as
    # some virtual machines have, can do neither. Said, not failed.
    if [[ $b == windows ]] && ! hdd_wine_runs_32bit; then
        summary+=("$(printf '%-22s SKIPPED       this kernel starts no 32-bit programs ("Exec format error")' "$b")")
        continue
    fi
    stage "$b: configure" configure "$dir" "${args[@]}" || continue
    # The windows builds run a program under Wine too (the type library).
    if [[ $b == windows* ]]; then stage "$b: wine start" wine_session_start "$b" || continue; fi
    stage "$b: build" build "$dir" || { [[ $b == windows* ]] && wine_session_stop; continue; }
    case $b in
    native) stage "native: test" run_ctest "native" "$dir" || true ;;
    asan) stage "asan: test" run_ctest "asan+ubsan" "$dir" || true ;;
    windows64)
        stage "windows64: test" run_ctest "windows64 under 64-bit Wine" "$dir" rerun || true
        wine_session_stop
        ;;
    windows)
        stage "windows: test" run_ctest "windows under Wine" "$dir" rerun || true
        wine_session_stop
        ;;
    esac
done

banner "summary"
printf '%s\n' "${summary[@]}"
total=$((SECONDS - started))
printf 'total %dm%02ds\n' $((total / 60)) $((total % 60))
if [[ $failed -ne 0 ]]; then
    echo "RESULT: FAILED"
    exit 1
fi
echo "RESULT: all builds passed"
