#!/usr/bin/env bash
# How close hddiag comes to the fastest way of making the same reads: each of
# the four tests runs once with "hddiag --trace" on a loop device (or, without
# one, an image file); its read lines become a fio iolog (version 2) that fio
# replays read for read (psync, 512-byte reads, direct=1 where hddiag reads
# with O_DIRECT). hddiag's timed runs make the same reads (the same seed)
# without the trace. Prints both wall times and their ratio per test; the goal
# is a ratio of at most 1.05.
#
#   bench/fio_compare.sh                  # a 16 GiB sparse image, one partition over it
#   SIZE_MIB=4096 RUNS=5 bench/fio_compare.sh
#   HDDIAG=/path/to/hddiag bench/fio_compare.sh
#
# Each side runs RUNS times (default 3), alternating, and the best time
# counts, so that neither gains from the other warming a cache. Needs sfdisk
# and fio (scripts/install-deps.sh); a loop device needs root.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
HDDIAG=${HDDIAG:-$ROOT/build/native/tools/hddiag/hddiag}
SIZE_MIB=${SIZE_MIB:-16384}
RUNS=${RUNS:-3}
[[ -x $HDDIAG ]] || { echo "fio_compare: no hddiag at $HDDIAG (build the native build first)" >&2; exit 2; }
for tool in sfdisk fio; do
    command -v "$tool" >/dev/null || { echo "fio_compare: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done

work=$(mktemp -d)
loop=
cleanup() {
    [[ -z $loop ]] || losetup -d "$loop" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

image=$work/disk.img
truncate -s "${SIZE_MIB}M" "$image"
printf 'label: dos\nstart=2048, type=7\n' | sfdisk -q --no-reread --no-tell-kernel "$image"

target=$image
if [[ $(id -u) -eq 0 ]] && loop=$(losetup -r -f --show "$image" 2>/dev/null); then
    target=$loop
    medium="loop device $loop over a ${SIZE_MIB} MiB sparse image"
else
    loop=
    medium="image file of ${SIZE_MIB} MiB (no loop device: $([[ $(id -u) -eq 0 ]] && echo 'losetup failed' || echo 'not root'))"
fi
# hddiag says so on standard error when the file system refuses O_DIRECT.
"$HDDIAG" --disk "$target" info >/dev/null 2>"$work/info.err"
direct=1
if grep -q "refuses O_DIRECT" "$work/info.err"; then direct=0; fi

now_ns() { date +%s%N; }

echo "medium: $medium; fio direct=$direct; best of $RUNS runs"
printf '%-8s %9s %12s %12s %7s\n' test reads "hddiag (s)" "fio (s)" ratio
worst=0
for test in linear funnel random surface; do
    trace=$work/$test.trace
    iolog=$work/$test.iolog
    best_h=
    best_f=
    # The reads, once, from the trace; the timed runs print no trace, so
    # that they time the reads and not the formatting of a line per read.
    "$HDDIAG" --disk "$target:sata" --seed 1 --trace test "$test" 0-1 >"$trace" 2>/dev/null || true
    awk -v dev="$target" 'BEGIN { print "fio version 2 iolog"; print dev " add"; print dev " open" }
        /^read / { printf "%s read %.0f 512\n", dev, $3 * 512 }
        END { print dev " close" }' "$trace" >"$iolog"
    for ((run = 0; run < RUNS; run++)); do
        t0=$(now_ns)
        "$HDDIAG" --disk "$target:sata" --seed 1 test "$test" 0-1 >/dev/null 2>&1 || true
        t1=$(now_ns)
        fio --name=replay --ioengine=psync --direct=$direct --read_iolog="$iolog" --replay_no_stall=1 \
            --output="$work/fio.out" 2>"$work/fio.err" || { cat "$work/fio.err" >&2; exit 1; }
        if grep -q "bad iolog" "$work/fio.err"; then cat "$work/fio.err" >&2; exit 1; fi
        t2=$(now_ns)
        h=$((t1 - t0))
        f=$((t2 - t1))
        [[ -n $best_h && $best_h -le $h ]] || best_h=$h
        [[ -n $best_f && $best_f -le $f ]] || best_f=$f
    done
    reads=$(grep -c '^read ' "$trace" || true)
    ratio=$(awk -v h="$best_h" -v f="$best_f" 'BEGIN { printf "%.3f", h / f }')
    printf '%-8s %9d %12.3f %12.3f %7s\n' "$test" "$reads" "$(awk -v n="$best_h" 'BEGIN { print n / 1e9 }')" \
        "$(awk -v n="$best_f" 'BEGIN { print n / 1e9 }')" "$ratio"
    worst=$(awk -v a="$worst" -v b="$ratio" 'BEGIN { print (b > a) ? b : a }')
done
echo "worst ratio: $worst (goal: 1.05 or less)"
