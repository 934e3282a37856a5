#!/usr/bin/env bash
# Builds the fuzz harnesses with clang's libFuzzer (and ASan + UBSan), replays
# each seed corpus, then fuzzes each harness for a while.
#
#   scripts/fuzz.sh [SECONDS] [HARNESS...]    (default: 20 seconds, every harness)
#
#   scripts/fuzz.sh             # the short run of scripts/test.sh
#   scripts/fuzz.sh 600         # a longer run: ten minutes each
#   scripts/fuzz.sh 60 machine_file
#
# Harnesses: every fuzz/<harness>_fuzzer.cpp (drive_selector machine_file
# registry_script callback smartctl_json). Seeds are in
# fuzz/corpus/<harness>; what a run adds goes to $BUILD_ROOT/fuzz/corpus/<harness>
# and an input that breaks an invariant to $BUILD_ROOT/fuzz/artifacts/; the
# per-harness results to $BUILD_ROOT/fuzz/summary.txt. Exits non-zero when a
# seed or a new input breaks an invariant.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${BUILD_ROOT:-$ROOT/build}
JOBS=${JOBS:-$(nproc)}
seconds=${1:-20}
shift || true
harnesses=("$@")
if [[ ${#harnesses[@]} -eq 0 ]]; then
    for f in "$ROOT"/fuzz/*_fuzzer.cpp; do
        f=${f##*/}
        harnesses+=("${f%_fuzzer.cpp}")
    done
fi
dir=$BUILD_ROOT/fuzz

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is missing (scripts/install-deps.sh)" >&2; exit 1; }
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$dir" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHDD_FUZZ=ON -DHDD_SANITIZE=ON >/dev/null
cmake --build "$dir" -j "$JOBS" --target hdd_fuzzers
# The faulty medium of test/linux is C++ of ours too: it must also build with clang.
if cmake --build "$dir" --target help | grep -q '^faulty_medium:'; then
    cmake --build "$dir" -j "$JOBS" --target faulty_medium
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$dir/artifacts"
rm -f "$dir/summary.txt"
failed=0
results=()
for h in "${harnesses[@]}"; do
    program=$dir/fuzz/hdd_fuzz_$h
    seeds=$ROOT/fuzz/corpus/$h
    [[ -x $program && -d $seeds ]] || { echo "fuzz.sh: unknown harness '$h'" >&2; exit 2; }
    mkdir -p "$dir/corpus/$h"
    log=$dir/fuzz_$h.log
    # -runs=0: every seed once, nothing new.
    if ! "$program" -runs=0 "$seeds" >"$log.replay" 2>&1; then
        results+=("$(printf '%-16s seed corpus FAILED (see %s)' "$h" "$log.replay")")
        failed=1
        continue
    fi
    rc=0
    "$program" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
        -artifact_prefix="$dir/artifacts/$h-" "$dir/corpus/$h" "$seeds" >"$log" 2>&1 || rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    if [[ $rc -eq 0 ]]; then
        results+=("$(printf '%-16s %4ss  %9s runs  cov %-5s ft %-6s seeds ok' \
            "$h" "$seconds" "${runs:-?}" "$cov" "$ft")")
    else
        results+=("$(printf '%-16s FAILED after %s runs (exit %d); see %s' "$h" "${runs:-?}" "$rc" "$log")")
        grep -E 'invariant broken|ERROR:|SUMMARY|Test unit written' "$log" | head -5 >&2 || true
        failed=1
    fi
done
printf '%s\n' "${results[@]}" | tee "$dir/summary.txt"
exit $failed
