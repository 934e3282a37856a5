#!/usr/bin/env bash
# How close hddiag comes to the fastest way of making the same reads. Each of
# the four tests runs once with "hddiag --trace" on a loop device (or, without
# one, an image file); its read lines become a fio iolog (version 2) that fio
# replays read for read (psync, one sector per read at sector x the device's
# logical sector size, direct=1 where hddiag reads with O_DIRECT), at its
# leanest: a thread, no clock calibration, no latency statistics.
#
# The timed runs are unseeded, as a user runs them: the random test draws its
# positions from the kernel, and fio replays the traced run's draw (the same
# count, an equally random spread). Each tool's fixed start-up is timed in
# the same rounds and taken off: "hddiag info" on the device, and fio
# replaying the test's first read alone. The ratio per test is
#   (best hddiag test - best hddiag info) / (best fio replay - best fio one read)
# and the goal is at most 1.05.
#
#   bench/fio_compare.sh                  # an 8 GiB sparse image, partition 1 over it
#   bench/fio_compare.sh --check          # also exit 1 when a ratio is above the goal
#   SIZE_MIB=4096 RUNS=7 bench/fio_compare.sh
#   HDDIAG=/path/to/hddiag bench/fio_compare.sh
#
# Each of the four timings runs RUNS times (default 5), interleaved round by
# round, and the best counts, so that neither side gains from the other
# warming a cache and a busy moment of the machine hurts only one sample.
# Needs sfdisk, blockdev and fio (scripts/install-deps.sh); a loop device
# needs root. Exit status: 0, 1 (--check and above the goal), 2 (cannot run).
set -euo pipefail

GOAL=1.05
check=0
case ${1:-} in
    --check) check=1 ;;
    "") ;;
    *) echo "usage: fio_compare.sh [--check]" >&2; exit 2 ;;
esac

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
HDDIAG=${HDDIAG:-$ROOT/build/native/tools/hddiag/hddiag}
SIZE_MIB=${SIZE_MIB:-8192}
RUNS=${RUNS:-5}
[[ -x $HDDIAG ]] || { echo "fio_compare: no hddiag at $HDDIAG (build the native build first)" >&2; exit 2; }
for tool in sfdisk blockdev fio; do
    command -v "$tool" >/dev/null || { echo "fio_compare: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done

# shellcheck source=medium.sh
source "$ROOT/bench/medium.sh"
bench_medium "$SIZE_MIB"

# hddiag says so on standard error when the file system refuses O_DIRECT.
"$HDDIAG" --disk "$target" info >/dev/null 2>"$work/info.err"
direct=1
if grep -q "refuses O_DIRECT" "$work/info.err"; then direct=0; fi

# Microseconds, without starting a process (the separator follows the locale).
now_us() { local t=$EPOCHREALTIME; echo "${t//[!0-9]/}"; }
# Runs the command and keeps its wall time in the variable named by $1 when
# it is the shortest so far.
best_of() {
    local -n best=$1
    shift
    local t0 t1
    t0=$(now_us)
    "$@"
    t1=$(now_us)
    ((${best:-0} != 0 && best <= t1 - t0)) || best=$((t1 - t0))
}
hddiag_test() { "$HDDIAG" --disk "$target:sata" test "$1" 0-1 >/dev/null 2>&1 || true; }
hddiag_info() { "$HDDIAG" --disk "$target:sata" info >/dev/null 2>&1 || true; }
fio_replay() {
    fio --name=replay --thread --clocksource=clock_gettime --gtod_reduce=1 --ioengine=psync --direct=$direct \
        --read_iolog="$1" --replay_no_stall=1 --output="$work/fio.out" 2>"$work/fio.err" || { cat "$work/fio.err" >&2; exit 2; }
    if grep -q "bad iolog" "$work/fio.err"; then cat "$work/fio.err" >&2; exit 2; fi
}
# fio's own account of the last replay's job, from its first I/O to its last
# (milliseconds): a cross-check on the start-up taken off its wall time.
fio_job_us() { local ms; ms=$(grep -o 'run=[0-9]*' "$work/fio.out" | head -1); echo $((${ms#run=} * 1000)); }
# The first $2 read lines of trace $1 as a fio iolog: the trace names
# sectors of the device's own size.
to_iolog() {
    awk -v dev="$target" -v ss="$sector" -v max="$2" '
        BEGIN { print "fio version 2 iolog"; print dev " add"; print dev " open" }
        /^read / && n++ < max { printf "%s read %.0f %d\n", dev, $3 * ss, ss }
        END { print dev " close" }' "$1"
}
seconds() { awk -v n="$1" 'BEGIN { printf "%.3f", n / 1e6 }'; }

echo "medium: $medium; ${sector}-byte sectors; fio direct=$direct; best of $RUNS interleaved runs"
printf '%-8s %7s %10s %10s %10s %10s %10s %7s\n' test reads "hddiag s" "fio s" "hddiag 0" "fio 0" "fio job s" ratio
worst=0
for test in linear funnel random surface; do
    trace=$work/$test.trace
    # The reads, once, from the trace; the timed runs print no trace, so
    # that they time the reads and not the formatting of a line per read.
    "$HDDIAG" --disk "$target:sata" --trace test "$test" 0-1 >"$trace" 2>/dev/null || true
    reads=$(grep -c '^read ' "$trace" || true)
    ((reads > 0)) || { echo "fio_compare: hddiag made no reads in the $test test" >&2; exit 2; }
    to_iolog "$trace" "$reads" >"$work/$test.iolog"
    to_iolog "$trace" 1 >"$work/$test.one.iolog"
    h= f= h0= f0= fj=
    for ((run = 0; run < RUNS; run++)); do
        best_of h hddiag_test "$test"
        best_of f fio_replay "$work/$test.iolog"
        job=$(fio_job_us)
        ((${fj:-0} != 0 && fj <= job)) || fj=$job
        best_of h0 hddiag_info
        best_of f0 fio_replay "$work/$test.one.iolog"
    done
    net_h=$((h > h0 ? h - h0 : 1))
    net_f=$((f > f0 ? f - f0 : 1))
    ratio=$(awk -v h="$net_h" -v f="$net_f" 'BEGIN { printf "%.2f", h / f }')
    printf '%-8s %7d %10s %10s %10s %10s %10s %7s\n' "$test" "$reads" "$(seconds "$net_h")" "$(seconds "$net_f")" \
        "$(seconds "$h0")" "$(seconds "$f0")" "$(seconds "$fj")" "$ratio"
    worst=$(awk -v a="$worst" -v b="$ratio" 'BEGIN { print (b > a) ? b : a }')
done
echo "(hddiag s, fio s: the reads alone; hddiag 0, fio 0: the start-up taken off; fio job s: fio's own timing)"
echo "worst ratio: $worst (goal: $GOAL or less)"
if ((check)) && awk -v w="$worst" -v g="$GOAL" 'BEGIN { exit !(w > g) }'; then
    echo "fio_compare: above the goal" >&2
    exit 1
fi
