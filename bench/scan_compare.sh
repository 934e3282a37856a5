#!/usr/bin/env bash
# How fast `hddiag scan` reads a whole disk, beside two tools that read it the
# plainest way: fio with one direct read of the same block size at a time
# (--rw=read --direct=1 --iodepth=1) and badblocks' read-only test with
# 1 MiB reads (-b 4096 -c 256), all on the same read-only direct-I/O loop
# device (bench/medium.sh; without root, the image file).
#
#   bench/scan_compare.sh                 # a 4 GiB sparse image, 1 MiB blocks
#   SIZE_MIB=8192 RUNS=7 BLOCK=4M bench/scan_compare.sh
#   HDDIAG=/path/to/hddiag bench/scan_compare.sh
#
# The three run RUNS times (default 5), interleaved round by round, and each
# tool's best wall time counts, so that a busy moment of the machine hurts one
# sample and neither tool gains from another warming a cache. fio's time is
# its own account of its job, from the first read to the last: its start-up
# takes half a second or more, varies by tenths, and would flatter hddiag.
# hddiag's and badblocks' wall times keep their start-up (milliseconds).
# CPU seconds (user + system) per GiB read are the lowest of the runs; fio's
# less its start-up's, timed in the same rounds as fio reading one block. Exit status: 0, 1 when hddiag reads
# below 0.95 x fio's rate, 2 when it cannot run.
set -euo pipefail

GOAL=0.95
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
HDDIAG=${HDDIAG:-$ROOT/build/native/tools/hddiag/hddiag}
SIZE_MIB=${SIZE_MIB:-4096}
RUNS=${RUNS:-5}
BLOCK=${BLOCK:-1M}
[[ -x $HDDIAG ]] || { echo "scan_compare: no hddiag at $HDDIAG (build the native build first)" >&2; exit 2; }
for tool in sfdisk blockdev fio badblocks; do
    command -v "$tool" >/dev/null || { echo "scan_compare: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done
case $BLOCK in
    *M) block_bytes=$((${BLOCK%M} << 20)) ;;
    *K) block_bytes=$((${BLOCK%K} << 10)) ;;
    *) block_bytes=$BLOCK ;;
esac

# shellcheck source=medium.sh
source "$ROOT/bench/medium.sh"
bench_medium "$SIZE_MIB"
bytes=$((SIZE_MIB << 20))

# hddiag says so on standard error when the file system refuses O_DIRECT;
# fio then reads as it does.
"$HDDIAG" --disk "$target" info >/dev/null 2>"$work/info.err" || true
direct=1
if grep -q "refuses O_DIRECT" "$work/info.err"; then direct=0; fi

hddiag_scan() {
    "$HDDIAG" --disk "$target" --view=none scan 0 --block-size "$BLOCK" >"$work/hddiag.out" 2>&1 ||
        { cat "$work/hddiag.out" >&2; echo "scan_compare: hddiag scan failed" >&2; exit 2; }
}
fio_bytes() {
    fio --name=scan --filename="$target" --readonly --rw=read --bs="$block_bytes" --direct=$direct --iodepth=1 \
        --ioengine=psync --thread --gtod_reduce=1 --disk_util=0 --clocksource=clock_gettime --size="$1" \
        --output="$work/fio.out" 2>"$work/fio.err" ||
        { cat "$work/fio.err" >&2; exit 2; }
}
fio_read() { fio_bytes "$bytes"; }
fio0_startup() { fio_bytes "$block_bytes"; }
badblocks_read() {
    badblocks -b 4096 -c 256 "$target" >"$work/badblocks.out" 2>&1 ||
        { cat "$work/badblocks.out" >&2; echo "scan_compare: badblocks failed" >&2; exit 2; }
}

# Runs tool $1 once; keeps its lowest wall and CPU seconds in wall_$1, cpu_$1.
declare -A wall cpu
timed() {
    local name=$1 r u s c
    TIMEFORMAT='%R %U %S'
    { time "${name}_${2}" >/dev/null; } 2>"$work/time"
    read -r r u s <"$work/time"
    c=$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')
    if [[ -z ${wall[$name]:-} ]] || awk -v a="$r" -v b="${wall[$name]}" 'BEGIN { exit !(a < b) }'; then wall[$name]=$r; fi
    if [[ -z ${cpu[$name]:-} ]] || awk -v a="$c" -v b="${cpu[$name]}" 'BEGIN { exit !(a < b) }'; then cpu[$name]=$c; fi
}

echo "medium: $medium; ${SIZE_MIB} MiB in blocks of $BLOCK; fio direct=$direct; best of $RUNS interleaved runs"
for ((run = 0; run < RUNS; run++)); do
    timed hddiag scan
    timed fio read
    job=$(grep -o 'run=[0-9]*' "$work/fio.out" | head -1)
    job=$(awk -v ms="${job#run=}" 'BEGIN { print ms / 1000 }')
    if [[ -z ${fio_job:-} ]] || awk -v a="$job" -v b="$fio_job" 'BEGIN { exit !(a < b) }'; then fio_job=$job; fi
    timed fio0 startup
    timed badblocks read
done

# fio's reads alone: its job's own time, its CPU less its start-up's.
fio_wall=${wall[fio]}
wall[fio]=$fio_job
cpu[fio]=$(awk -v a="${cpu[fio]}" -v b="${cpu[fio0]}" 'BEGIN { print (a > b) ? a - b : 0 }')
gib=$(awk -v b="$bytes" 'BEGIN { print b / 1073741824 }')
printf '%-10s %10s %10s %12s %8s\n' tool "wall s" "MB/s" "CPU s/GiB" "x fio"
for name in hddiag fio badblocks; do
    awk -v n="$name" -v w="${wall[$name]}" -v c="${cpu[$name]}" -v b="$bytes" -v g="$gib" -v f="${wall[fio]}" \
        'BEGIN { printf "%-10s %10.3f %10.1f %12.3f %8.3f\n", n, w, b / w / 1e6, c / g, f / w }'
done
echo "(fio: its job's own time; its wall time was $fio_wall s, $fio_job s of it reading)"
ratio=$(awk -v h="${wall[hddiag]}" -v f="${wall[fio]}" 'BEGIN { printf "%.3f", f / h }')
echo "hddiag reads at $ratio x fio's rate (goal: $GOAL or more)"
if awk -v r="$ratio" -v g="$GOAL" 'BEGIN { exit !(r < g) }'; then
    echo "scan_compare: hddiag is below the goal" >&2
    exit 1
fi
