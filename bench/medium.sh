# The medium the comparisons in bench/ read, sourced by them: a sparse image
# with one partition from sector 2048, behind a read-only loop device when
# running as root. The loop device reads its file with direct I/O where it
# can, as a disk would: through the page cache, positions read before (a
# traced run, another round) would come from memory.
#
#   bench_medium SIZE_MIB
#
# sets work (a scratch folder), image, loop (empty without one), target (what
# to read), sector (its logical sector size) and medium (a line saying what it
# is), and undoes the loop device and the folder when the script exits.
bench_medium() {
    work=$(mktemp -d)
    loop=
    trap 'if [[ -n $loop ]]; then losetup -d "$loop" 2>/dev/null || true; fi; rm -rf "$work"' EXIT
    image=$work/disk.img
    truncate -s "$1M" "$image"
    printf 'label: dos\nstart=2048, type=7\n' | sfdisk -q --no-reread --no-tell-kernel "$image"
    target=$image
    sector=512 # an image file's sectors
    if [[ $(id -u) -eq 0 ]] && loop=$(losetup -r --direct-io=on -f --show "$image" 2>/dev/null); then
        target=$loop
        sector=$(blockdev --getss "$loop")
        local cache="direct I/O"
        [[ $(cat "/sys/block/${loop#/dev/}/loop/dio" 2>/dev/null) == 1 ]] || cache="page cache"
        medium="read-only loop device $loop ($cache) over a $1 MiB sparse image"
    else
        loop=
        medium="image file of $1 MiB (no loop device: $([[ $(id -u) -eq 0 ]] && echo 'losetup failed' || echo 'not root'))"
    fi
}
