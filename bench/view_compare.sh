#!/usr/bin/env bash
# Whether the live view slows the reads: each of the four tests runs on a
# loop device (or, without one, an image file; see medium.sh) with the view forced on
# (--view=map, standard error discarded) and off (--view=none), alternating,
# the best of RUNS each. Prints both wall times and their ratio per test; the
# goal is a ratio of at most 1.05. Made like bench/fio_compare.sh (the same
# sparse image with one partition), which it leaves alone.
#
#   bench/view_compare.sh
#   SIZE_MIB=4096 RUNS=5 HDDIAG=/path/to/hddiag bench/view_compare.sh
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
HDDIAG=${HDDIAG:-$ROOT/build/native/tools/hddiag/hddiag}
SIZE_MIB=${SIZE_MIB:-16384}
RUNS=${RUNS:-3}
[[ -x $HDDIAG ]] || { echo "view_compare: no hddiag at $HDDIAG (build the native build first)" >&2; exit 2; }
command -v sfdisk >/dev/null || { echo "view_compare: sfdisk is missing (scripts/install-deps.sh)" >&2; exit 2; }

# shellcheck source=medium.sh
source "$ROOT/bench/medium.sh"
bench_medium "$SIZE_MIB"

now_ns() { date +%s%N; }
run() { # view test -> nanoseconds
    local t0 t1
    t0=$(now_ns)
    "$HDDIAG" --disk "$target:sata" --seed 1 --view="$1" test "$2" 0-1 >/dev/null 2>&1 || true
    t1=$(now_ns)
    echo $((t1 - t0))
}

echo "medium: $medium; best of $RUNS runs"
printf '%-8s %12s %12s %7s\n' test "on (s)" "off (s)" ratio
worst=0
for test in linear funnel random surface; do
    best_on=
    best_off=
    for ((i = 0; i < RUNS; i++)); do
        off=$(run none "$test")
        on=$(run map "$test")
        [[ -n $best_on && $best_on -le $on ]] || best_on=$on
        [[ -n $best_off && $best_off -le $off ]] || best_off=$off
    done
    ratio=$(awk -v a="$best_on" -v b="$best_off" 'BEGIN { printf "%.3f", a / b }')
    printf '%-8s %12.3f %12.3f %7s\n' "$test" "$(awk -v n="$best_on" 'BEGIN { print n / 1e9 }')" \
        "$(awk -v n="$best_off" 'BEGIN { print n / 1e9 }')" "$ratio"
    worst=$(awk -v a="$worst" -v b="$ratio" 'BEGIN { print (b > a) ? b : a }')
done
echo "worst ratio: $worst (goal: 1.05 or less)"
