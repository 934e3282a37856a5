#!/usr/bin/env python3
"""hddiag scan on the faulty medium, through read-only direct-I/O loop devices.

    scan_medium_test.py FAULTY_MEDIUM HDDIAG

Serves images through faulty_medium (test/linux) and checks `hddiag scan`
against what was planted, against badblocks and ddrescuelog, and against the
medium's own log of the reads it served:

  1. planted unreadable ranges (the first sector, so the partition table
     cannot be read; a single sector; a range across a block boundary; two
     ranges closer together than one skip; the last sector) and a stall: the
     unreadable list (--json, --bad-blocks, the map through `ddrescuelog -l-`)
     is exactly the planted one and agrees with `badblocks -b 512`; the slow
     area lies on the stall; every readable sector was read at least once and
     no sector more than twice;
  2. a partition target: the bad-blocks list counts N-byte units from the
     partition's start, and the map leaves the rest of the disk untried;
  3. resume: SIGKILL after the first save, then the same command again gives
     the uninterrupted scan's map, re-reading no more than one save interval;
     SIGINT and SIGTERM exit 130 with the map saved; a map of another disk
     and an unparsable map are refused with exit 2 and left alone;
  4. a disk that vanishes mid-scan: the scan ends at once with the map saved,
     nothing taken for unreadable; two disks at once, one vanishing, the other
     scanned to the end with its own map;
  5. 4096-byte sectors (loop -b 4096): positions, lists and map in them;
  6. output files: --map and --bad-blocks refuse the disk being read, a
     device node and a folder or FIFO where a file is wanted;
  7. ddrescue as a witness of the cost: a 256 MiB image with 8 single
     unreadable sectors far apart, read by `scan 0 --block-size 64K` and by
     `ddrescue -d` (cluster 64 KiB), each on its own fresh loop device: both
     list exactly the planted sectors, and the scan makes no more reads and
     no more backward reads (an offset below the previous read's) than
     ddrescue by the medium's log (the counts on the "  peer:" line).

`ddrescuelog -t` must accept every map the checks leave. Needs root, /dev/fuse,
losetup, badblocks, ddrescue and ddrescuelog; exits 77 (skipped) without them.
Everything mounted or attached is undone on any exit.
"""
import json
import os
import shutil
import signal
import stat
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from faulty_medium_test import SKIP, Bench, Failure, check, gpt_script, make_image, read_log  # noqa: E402

MIB = 1 << 20
SECTOR = 512
IMAGE_BYTES = 64 * MIB
SECTORS = IMAGE_BYTES // SECTOR
BLOCK_SECTORS = MIB // SECTOR  # the default block of 1 MiB
P2 = (43008, 61440)  # partition 2: (start, sectors)

# Inclusive ranges of 512-byte sectors. The close pair lies 2100 sectors
# apart, well inside the 4-block skip after the first one's failed block.
FIRST = (0, 0)
SINGLE = (10001, 10001)
ACROSS = (20 * BLOCK_SECTORS - 3, 20 * BLOCK_SECTORS + 3)
CLOSE = [(61500, 61503), (63604, 63605)]
LAST = (SECTORS - 1, SECTORS - 1)
BAD = [FIRST, SINGLE, ACROSS, *CLOSE, LAST]
STALL = (90112, 90119)
STALL_MS = 300
SLOW_MS = 200

SAVE_S = 0.3  # the save interval of the interrupted scans
# On the resume medium the second half's reads stall a little, so that the
# fast pass lasts a few save intervals; no planted range lies there.
PACED = (SECTORS // 2, SECTORS - 2 * BLOCK_SECTORS)
PACE_MS = 5
VANISH_AFTER = 20  # reads the medium serves (the table 4, then 1 MiB blocks) before it is gone

# The witness of cost (check 7): single unreadable sectors far apart (no two
# within PEER_APART_BLOCKS blocks), at a block's first sector, its last one and
# in between, clear of the GPT's first and last 34 sectors.
PEER_BYTES = 256 * MIB
PEER_BLOCK = 64 * 1024  # ddrescue's default cluster: 128 sectors of 512 bytes
PEER_BAD = [5000, 65536, 131071, 196613, 262200, 327777, 393343, 500001]
PEER_APART_BLOCKS = 6


def bytes_logged(path):
    """Bytes of the reads the medium has logged so far: whole lines only, as it
    may be writing the last one."""
    with open(path) as f:
        return sum(int(line.split()[1]) for line in f if line.endswith("\n") and len(line.split()) == 2)


def ranges_arg(option, ranges, suffix=""):
    args = []
    for first, last in ranges:
        args += [option, f"{first}-{last}{suffix}"]
    return args


def sectors_of(ranges):
    return [s for first, last in ranges for s in range(first, last + 1)]


def run(argv, timeout=120, **kw):
    return subprocess.run(argv, capture_output=True, text=True, timeout=timeout, **kw)


def parse_map(path):
    """The data lines of a map file as (pos, size, status), checked to cover
    the disk from byte 0 without gap or overlap, and the status line."""
    with open(path) as f:
        lines = [ln.split() for ln in f if ln.strip() and not ln.startswith("#")]
    check(lines and len(lines[0]) in (2, 3), f"{path}: no status line")
    status, data = lines[0], [(int(a, 16), int(b, 16), c) for a, b, c in lines[1:]]
    at = 0
    for pos, size, st in data:
        check(pos == at and size > 0 and st in "?*/-+", f"{path}: line {pos:#x} {size:#x} {st} after {at:#x}")
        at = pos + size
    return status, data


def map_sectors(data, status, sector=SECTOR):
    return [p // sector + i for p, n, st in data if st == status for i in range(n // sector)]


def ddrescuelog(*args):
    return run(["ddrescuelog", *args])


def check_maps_accepted(paths):
    """ddrescuelog -t reads each map and finds it well formed."""
    for path in paths:
        r = ddrescuelog("-t", path)
        check(r.returncode == 0 and "rescued" in r.stdout, f"ddrescuelog -t {path}: {r.returncode} {r.stderr}")
    print(f"  ddrescuelog -t accepts all {len(paths)} maps written")


def sector_counts(log, sector=SECTOR):
    """How often the medium served each sector."""
    counts = {}
    for offset, size in log:
        for s in range(offset // sector, (offset + size + sector - 1) // sector):
            counts[s] = counts.get(s, 0) + 1
    return counts


class Scanner:
    def __init__(self, bench):
        self.bench = bench
        self.maps = []  # every map a check leaves, for ddrescuelog -t

    def argv(self, disks, *args):
        argv = [self.bench.hddiag_path]
        for d in disks:
            argv += ["--disk", d]
        return argv + list(args)

    def scan(self, disks, *args, timeout=120):
        return run(self.argv(disks, *args), timeout=timeout)

    def json(self, r, where):
        try:
            return json.loads(r.stdout)
        except ValueError:
            raise Failure(f"{where}: no JSON (exit {r.returncode}): {r.stdout[:300]} {r.stderr[:300]}")


def disk_entry(doc, where, index=0):
    scans = doc.get("scans")
    check(isinstance(scans, list) and len(scans) > index, f"{where}: the JSON has no scan {index}: {doc}")
    return scans[index]


def json_unreadable(entry):
    """The sectors of every unreadable area the JSON names."""
    got = []
    for area in entry["unreadable_areas"]:
        got += range(area["first_sector"], area["first_sector"] + area["sectors"])
    return got


def check_planted(s, bench, image):
    """Check 1: the exact list, its witnesses, the slow area, the read counts."""
    log = bench.path("reads.log")
    file = bench.mount("medium", image, "--log", log, *ranges_arg("--eio", BAD),
                       "--slow", f"{STALL[0]}-{STALL[1]}:{STALL_MS}")
    loop = bench.loop(file)
    planted = sectors_of(BAD)

    subprocess.run(["blockdev", "--flushbufs", loop], check=True)
    open(log, "w").close()
    mp, bb = bench.path("planted.map"), bench.path("planted.bad")
    t0 = time.monotonic()
    r = s.scan([loop], "--json", "scan", "0", "--map", mp, "--bad-blocks", bb, "--slow", str(SLOW_MS))
    took = time.monotonic() - t0
    # The partition table is read through the page cache, in 4 KiB pages
    # (here only the first, which fails, and is retried), as udev may read
    # the new device; the scan reads its 1 MiB blocks (split by FUSE, and
    # now and then by the kernel into 1,044,480 + 4,096 bytes) and single
    # 512-byte sectors. Whether every sector was read counts every read;
    # how often, all but the 4 KiB ones, which may be another reader's.
    logged = read_log(log)
    served = [(o, n) for o, n in logged if n != 4096]
    check(r.returncode == 1, f"planted: scan exited {r.returncode}: {r.stderr}")
    s.maps.append(mp)
    doc = s.json(r, "planted")
    entry = disk_entry(doc, "planted")

    with open(bb) as f:
        listed = [int(x) for x in f.read().split()]
    check(listed == planted, f"planted: --bad-blocks lists {listed[:12]}..., planted {planted[:12]}...")
    check(json_unreadable(entry) == planted, f"planted: the JSON's unreadable areas {entry['unreadable_areas']}")
    check(entry["sectors_unreadable"] == len(planted) and len(entry["unreadable_areas"]) == len(BAD) and
          entry["sectors_read"] == SECTORS - len(planted) and entry["complete"],
          f"planted: the JSON's totals: {entry['sectors_read']} read, {entry['sectors_unreadable']} unreadable")
    status, data = parse_map(mp)
    check(map_sectors(data, "-") == planted and all(st in "+-" for _, _, st in data),
          f"planted: the map's unreadable sectors differ or some are unsettled: {data}")
    r2 = ddrescuelog("-l-", "-b", str(SECTOR), mp)
    check(r2.returncode == 0 and [int(x) for x in r2.stdout.split()] == planted,
          f"planted: ddrescuelog -l- -b 512 lists {r2.stdout.split()[:12]}... {r2.stderr}")

    r3 = run(["badblocks", "-b", str(SECTOR), loop], timeout=300)
    check(r3.returncode == 0, f"badblocks: {r3.stderr}")
    witness = [int(x) for x in r3.stdout.split()]
    # badblocks reads through the page cache: a bad sector fails its 4 KiB page.
    pages = sorted({p // 8 * 8 + i for p in planted for i in range(8)})
    check(witness == planted or witness == pages,
          f"badblocks -b 512 lists {witness[:12]}..., the scan {planted[:12]}...")

    slow = entry["slow_areas"]
    check(len(slow) == 1 and slow[0]["first_sector"] <= STALL[0] and
          slow[0]["first_sector"] + slow[0]["sectors"] > STALL[1] and slow[0]["sectors"] <= 2 * BLOCK_SECTORS,
          f"planted: slow areas {slow}, the stall is {STALL}")

    counts = sector_counts(served)
    covered = sector_counts(logged)
    bad = set(planted)
    unread = [x for x in range(SECTORS) if x not in bad and covered.get(x, 0) == 0]
    twice = sorted(x for x, n in counts.items() if n > 2)
    check(not unread, f"planted: {len(unread)} readable sectors were never read, first {unread[:5]}")
    check(not twice, f"planted: {len(twice)} sectors read more than twice, first {twice[:5]} "
                     f"({[counts[x] for x in twice[:5]]} times)")
    again = sum(1 for n in counts.values() if n == 2)
    print(f"  planted {len(BAD)} ranges, {len(planted)} sectors: the scan (exit 1, {took:.2f} s, "
          f"{len(served)} reads served) lists exactly them in --json, --bad-blocks and the map "
          f"(ddrescuelog -l- agrees); badblocks -b 512 lists {'the same sectors' if witness == planted else 'their 4 KiB pages'}; "
          f"slow area {slow[0]['first_sector']}+{slow[0]['sectors']} on the stall {STALL}; every readable sector "
          f"read, {again} read twice, none more")
    return data


def check_partition(s, bench, image):
    """Check 2: a partition target, its bad blocks in 4096-byte units from its start."""
    inside = [(P2[0] + 100, P2[0] + 100), (P2[0] + 4095, P2[0] + 4097)]
    file = bench.mount("partition", image, *ranges_arg("--eio", inside + [FIRST]))
    loop = bench.loop(file)
    subprocess.run(["blockdev", "--flushbufs", loop], check=True)
    mp, bb = bench.path("partition.map"), bench.path("partition.bad")
    # The first sector is bad, so the table is unreadable: a partition target is refused.
    r = s.scan([loop], "scan", "0-2", "--map", mp)
    check(r.returncode == 2 and not os.path.exists(mp),
          f"partition: a partition target without a table exited {r.returncode}: {r.stderr}")
    # Served without that fault, the table reads.
    file = bench.mount("partition-ok", image, *ranges_arg("--eio", inside))
    loop = bench.loop(file)
    r = s.scan([loop], "scan", "0-2", "--map", mp, "--bad-blocks", bb, "--bad-block-size", "4096")
    check(r.returncode == 1, f"partition: scan 0-2 exited {r.returncode}: {r.stderr}")
    s.maps.append(mp)
    with open(bb) as f:
        listed = [int(x) for x in f.read().split()]
    want = sorted({(x - P2[0]) * SECTOR // 4096 for x in sectors_of(inside)})
    check(listed == want, f"partition: --bad-blocks 4096 lists {listed}, expected {want}")
    _, data = parse_map(mp)
    outside = [(p, n, st) for p, n, st in data
               if st != "?" and (p < P2[0] * SECTOR or p + n > (P2[0] + P2[1]) * SECTOR)]
    check(not outside, f"partition: the map settled bytes outside partition 2: {outside}")
    check(map_sectors(data, "-") == sectors_of(inside), f"partition: the map's unreadable sectors {data}")
    print(f"  partition 0-2 (table unreadable: refused with exit 2); with the table: bad blocks {listed} in "
          f"4096-byte units from sector {P2[0]}, the map untried outside it")


def settled(data):
    return sum(n for _, n, st in data if st != "?")


def wait_for(path, proc, timeout=30):
    deadline = time.monotonic() + timeout
    while not os.path.exists(path):
        check(proc.poll() is None, f"the scan ended (exit {proc.returncode}) before {path} was saved")
        check(time.monotonic() < deadline, f"{path} was not saved within {timeout} s")
        time.sleep(0.01)


def check_resume(s, bench, image, planted_map):
    """Check 3: SIGKILL and resume, SIGINT and SIGTERM, foreign maps."""
    log = bench.path("resume.log")
    file = bench.mount("resume", image, "--log", log, *ranges_arg("--eio", BAD),
                       "--slow", f"{PACED[0]}-{PACED[1]}:{PACE_MS}")
    loop = bench.loop(file)
    mp = bench.path("resume.map")
    common = ["scan", "0", "--map", mp, "--block-size", "128K", "--save-interval", str(SAVE_S)]

    # The first run dies without a word once its first save is there.
    open(log, "w").close()
    t0 = time.monotonic()
    proc = subprocess.Popen(s.argv([loop], *common), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for(mp, proc)
    # The rate from the first save on: the start (slow under a sanitizer or
    # on a loaded machine) is no part of what one save interval reads.
    saved_at = time.monotonic()
    read_before = bytes_logged(log)
    time.sleep(SAVE_S * 1.5)
    proc.kill()
    proc.wait()
    killed_after = time.monotonic() - t0
    first = read_log(log)
    _, at_kill = parse_map(mp)
    check(0 < settled(at_kill) < IMAGE_BYTES, f"resume: the map at the kill settled {settled(at_kill)} bytes")
    rate = (sum(n for _, n in first) - read_before) / (t0 + killed_after - saved_at)

    open(log, "w").close()
    r = s.scan([loop], *common, "--json")
    check(r.returncode == 1, f"resume: the second run exited {r.returncode}: {r.stderr}")
    s.maps.append(mp)
    _, final = parse_map(mp)
    check(final == planted_map, "resume: the resumed scan's map differs from the uninterrupted one")
    entry = disk_entry(s.json(r, "resume"), "resume")
    check(json_unreadable(entry) == sectors_of(BAD), f"resume: unreadable {entry['unreadable_areas']}")
    # Sectors both runs read: what the first read after its last save (the
    # partition table's reads excepted: they come before every scan).
    seen = sector_counts(first)
    again = sector_counts(read_log(log))
    overlap = sum(1 for x in again if x in seen and x >= 8) * SECTOR
    limit = rate * SAVE_S * 1.5 + 128 * 1024
    check(overlap <= limit, f"resume: the runs overlap by {overlap} bytes, more than one save interval "
                            f"({rate * SAVE_S:.0f} bytes at {rate / MIB:.1f} MiB/s)")
    print(f"  resume: killed after {killed_after:.2f} s with {settled(at_kill) // 1024} KiB settled in the map; "
          f"the second run's map equals the uninterrupted scan's; overlap {overlap // 1024} KiB "
          f"(one save interval: {rate * SAVE_S / 1024:.0f} KiB)")

    # A signal: exit 130, the map saved at that moment (no periodic save in between).
    for sig in (signal.SIGINT, signal.SIGTERM):
        mp2 = bench.path(f"signal-{sig.name}.map")
        proc = subprocess.Popen(s.argv([loop], "scan", "0", "--map", mp2, "--block-size", "128K",
                                       "--save-interval", "3600"),
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        time.sleep(0.6)
        check(proc.poll() is None, f"{sig.name}: the scan ended before the signal")
        proc.send_signal(sig)
        try:
            _, err = proc.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            raise Failure(f"{sig.name}: the scan did not end within 10 s")
        check(proc.returncode == 130, f"{sig.name}: exit {proc.returncode}: {err}")
        check(os.path.exists(mp2), f"{sig.name}: no map saved")
        s.maps.append(mp2)
        _, data = parse_map(mp2)
        check(0 < settled(data) < IMAGE_BYTES, f"{sig.name}: the saved map settled {settled(data)} bytes")
        print(f"  {sig.name}: exit 130 with the map saved ({settled(data) // 1024} KiB settled)")

    # Maps that are not this disk's are refused and left as they were.
    other = bench.path("other.img")
    make_image(other, IMAGE_BYTES // 2, gpt_script([(2048, 8192)]))
    oloop = bench.loop(other)
    garbage = bench.path("garbage.map")
    with open(garbage, "w") as f:
        f.write("# not a map\n0x00000000 +\nhello\n")
    for name, path, disk in (("another disk's map", mp, oloop), ("an unparsable map", garbage, loop)):
        with open(path, "rb") as f:
            before = f.read()
        r = s.scan([disk], "scan", "0", "--map", path)
        with open(path, "rb") as f:
            after = f.read()
        check(r.returncode == 2 and r.stderr.strip() and after == before,
              f"{name}: exit {r.returncode}, changed {after != before}: {r.stderr}")
        print(f"  {name}: refused with exit 2, left alone: {r.stderr.strip().splitlines()[-1]}")


def check_vanishing(s, bench, image):
    """Check 4: a disk that goes away, alone and beside another."""
    for where in ("file", "loop"):
        disk = bench.mount(f"vanish-{where}", image, "--vanish-after", str(VANISH_AFTER))
        if where == "loop":
            disk = bench.loop(disk)
        mp = bench.path(f"vanish-{where}.map")
        t0 = time.monotonic()
        r = s.scan([disk], "--json", "scan", "0", "--map", mp, timeout=60)
        took = time.monotonic() - t0
        check(r.returncode == 1, f"vanish {where}: exit {r.returncode}: {r.stderr}")
        s.maps.append(mp)
        entry = disk_entry(s.json(r, f"vanish {where}"), f"vanish {where}")
        _, data = parse_map(mp)
        check(not map_sectors(data, "-") and not map_sectors(data, "*") and settled(data) > 0,
              f"vanish {where}: the map took the vanishing for bad areas: {data[:6]}")
        check(entry["sectors_unreadable"] == 0, f"vanish {where}: {entry['sectors_unreadable']} unreadable")
        check(took < 20, f"vanish {where}: the scan took {took:.1f} s")
        print(f"  vanish ({where}): ended in {took:.2f} s, exit 1, {settled(data) // 1024} KiB read kept in the "
              f"map, nothing taken for unreadable: {entry['end']} ({entry['verdict']})")

    good = bench.loop(bench.mount("pair-good", image, *ranges_arg("--eio", [SINGLE, ACROSS])))
    gone = bench.loop(bench.mount("pair-gone", image, "--vanish-after", str(VANISH_AFTER)))
    folder = bench.path("maps")
    r = s.scan([good, gone], "--json", "scan", "0", "1", "--map", folder, timeout=120)
    check(r.returncode == 1, f"two disks: exit {r.returncode}: {r.stderr}")
    maps = sorted(os.listdir(folder))
    check(len(maps) == 2 and all(m.endswith(".map") for m in maps), f"two disks: the folder holds {maps}")
    s.maps += [os.path.join(folder, m) for m in maps]
    doc = s.json(r, "two disks")
    a, b = disk_entry(doc, "two disks", 0), disk_entry(doc, "two disks", 1)
    check(json_unreadable(a) == sectors_of([SINGLE, ACROSS]), f"two disks: disk 0 lists {a['unreadable_areas']}")
    check(b["sectors_unreadable"] == 0, f"two disks: the vanished disk lists {b['unreadable_areas']}")
    full = [parse_map(os.path.join(folder, m))[1] for m in maps]
    check(sorted(settled(d) == IMAGE_BYTES for d in full) == [False, True],
          f"two disks: one map should be complete, the other not: {[settled(d) for d in full]}")
    print(f"  two disks at once, one vanishing: maps {maps}; disk 0 scanned to the end with its "
          f"{len(sectors_of([SINGLE, ACROSS]))} unreadable sectors")


def check_4096(s, bench):
    """Check 5: a loop device of 4096-byte sectors."""
    image = bench.path("disk4k.img")
    size = 32 * MIB
    with open(image, "wb") as f:
        f.truncate(size)
    count = size // 4096
    bad4k = [(1000, 1000), (3071, 3073), (count - 1, count - 1)]  # sectors of 4096 bytes
    units = [(a * 8, b * 8 + 7) for a, b in bad4k]
    disk = bench.loop(bench.mount("medium4k", image, *ranges_arg("--eio", units)), 4096)
    mp, bb = bench.path("4k.map"), bench.path("4k.bad")
    r = s.scan([disk], "--json", "scan", "0", "--map", mp, "--bad-blocks", bb)
    check(r.returncode == 1, f"4096: exit {r.returncode}: {r.stderr}")
    s.maps.append(mp)
    want = sectors_of(bad4k)
    with open(bb) as f:
        listed = [int(x) for x in f.read().split()]
    entry = disk_entry(s.json(r, "4096"), "4096")
    _, data = parse_map(mp)
    r2 = ddrescuelog("-l-", "-b", "4096", mp)
    check(listed == want and json_unreadable(entry) == want and map_sectors(data, "-", 4096) == want and
          [int(x) for x in r2.stdout.split()] == want and all(p % 4096 == 0 and n % 4096 == 0 for p, n, _ in data),
          f"4096: --bad-blocks {listed}, JSON {entry['unreadable_areas']}, ddrescuelog {r2.stdout.split()}, "
          f"planted {want}")
    print(f"  4096-byte sectors: unreadable {want} in --json, --bad-blocks, the map and ddrescuelog -b 4096")


def check_output_files(s, bench, image):
    """Check 6: --map and --bad-blocks refuse what is not a file of their own."""
    loop = bench.loop(image)
    link = bench.path("link-to-disk")
    os.symlink(loop, link)
    fifo = bench.path("fifo")
    os.mkfifo(fifo)
    folder = bench.path("a-folder")
    os.mkdir(folder)
    cases = [
        ("--map on the disk being read", ["--map", loop]),
        ("--map through a link to the disk", ["--map", link]),
        ("--map on a device node", ["--map", "/dev/null"]),
        ("--map on a FIFO", ["--map", fifo]),
        ("--bad-blocks on the disk being read", ["--bad-blocks", loop]),
        ("--bad-blocks on a device node", ["--bad-blocks", "/dev/null"]),
        ("--bad-blocks on a folder", ["--bad-blocks", folder]),
        ("--bad-blocks on the map", ["--map", bench.path("same"), "--bad-blocks", bench.path("same")]),
    ]
    for name, args in cases:
        r = s.scan([loop], "scan", "0", *args, timeout=30)
        check(r.returncode == 2 and r.stderr.strip(), f"{name}: exit {r.returncode}: {r.stderr}")
    check(os.listdir(folder) == [] and stat.S_ISFIFO(os.stat(fifo).st_mode) and not os.path.exists(bench.path("same")),
          "a refused run left something behind")
    print(f"  output files: {len(cases)} refusals with exit 2, nothing written")


def read_cost(log, sector=SECTOR):
    """What a read log cost: reads, one-sector reads and backward reads (a
    read whose offset is below the previous read's offset). One definition
    for every tool compared (scan_vm_test.py has its twin)."""
    backward = sum(1 for (a, _), (b, _) in zip(log, log[1:]) if b < a)
    return {"reads": len(log), "one-sector": sum(1 for _, n in log if n == sector), "backward": backward}


def cost_text(cost):
    return f"{cost['reads']} reads ({cost['one-sector']} of one sector, {cost['backward']} backward)"


def peer_read(bench, file, log, argv):
    """Runs argv (its {disk} replaced) on a fresh read-only direct-I/O loop
    device over the medium; returns the run and the reads the medium served
    for it. The device is held open meanwhile and its partition table read
    through the page cache first (by `hddiag info`), so the page cache keeps
    the table and the log holds only the tool's own reads: hddiag's table
    reads (4 KiB and 16 KiB of readahead here) are answered from the cache,
    and ddrescue -d never reads through it. Same treatment for every tool."""
    loop = bench.loop(file)
    held = os.open(loop, os.O_RDONLY)
    try:
        r = run([bench.hddiag_path, "--disk", loop, "info"])
        check(r.returncode == 0, f"peer: hddiag info on {loop} exited {r.returncode}: {r.stderr}")
        open(log, "w").close()
        r = run([a.replace("{disk}", loop) for a in argv], timeout=240)
        served = read_log(log)
    finally:
        os.close(held)
        bench.detach(loop)
    return r, served


def check_peer_cost(s, bench):
    """Check 7: ddrescue as the witness of what a scan of scattered bad sectors costs."""
    image = bench.path("peer.img")
    sectors = PEER_BYTES // SECTOR
    make_image(image, PEER_BYTES, gpt_script([(2048, sectors - 4096)]))
    log = bench.path("peer.log")
    file = bench.mount("peer", image, "--log", log, *ranges_arg("--eio", [(x, x) for x in PEER_BAD]))
    block = str(PEER_BLOCK // 1024) + "K"

    mp = bench.path("peer-hddiag.map")
    r, mine = peer_read(bench, file, log, [bench.hddiag_path, "--disk", "{disk}", "--json", "scan", "0",
                                           "--block-size", block, "--map", mp])
    check(r.returncode == 1, f"peer: hddiag scan exited {r.returncode}: {r.stderr}")
    entry = disk_entry(s.json(r, "peer"), "peer")
    _, data = parse_map(mp)
    listed = ddrescuelog("-l-", "-b", str(SECTOR), mp)
    check(json_unreadable(entry) == PEER_BAD and entry["complete"] and map_sectors(data, "-") == PEER_BAD and
          [int(x) for x in listed.stdout.split()] == PEER_BAD and ddrescuelog("-t", mp).returncode == 0,
          f"peer: hddiag lists {entry['unreadable_areas']} (complete: {entry['complete']}), its map "
          f"{map_sectors(data, '-')}, ddrescuelog -l- {listed.stdout.split()}; planted {PEER_BAD}")

    peer_map = bench.path("peer-ddrescue.map")
    r, theirs = peer_read(bench, file, log, ["ddrescue", "-d", "-f", "-q", "{disk}", "/dev/null", peer_map])
    check(r.returncode == 0, f"peer: ddrescue exited {r.returncode}: {r.stderr}")
    _, data = parse_map(peer_map)
    listed = ddrescuelog("-l-", "-b", str(SECTOR), peer_map)
    check(all(st in "+-" for _, _, st in data) and [int(x) for x in listed.stdout.split()] == PEER_BAD,
          f"peer: ddrescue's map lists {listed.stdout.split()} {listed.stderr}, planted {PEER_BAD}; "
          f"unsettled: {[d for d in data if d[2] not in '+-'][:4]}")

    ours, peer = read_cost(mine), read_cost(theirs)
    print(f"  peer: {PEER_BYTES // MIB} MiB, {len(PEER_BAD)} single unreadable sectors, {block} blocks; "
          f"hddiag {cost_text(ours)}; ddrescue {cost_text(peer)}; both list exactly the planted sectors")
    check(ours["reads"] <= peer["reads"], f"peer: hddiag made {ours['reads']} reads, ddrescue {peer['reads']}")
    check(ours["backward"] <= peer["backward"],
          f"peer: hddiag made {ours['backward']} backward reads, ddrescue {peer['backward']}")


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    if os.geteuid() != 0:
        print("skipped: loop devices and FUSE mounts need root")
        return SKIP
    if not os.path.exists("/dev/fuse"):
        print("skipped: no /dev/fuse")
        return SKIP
    for tool in ("fusermount3", "losetup", "sfdisk", "badblocks", "ddrescue", "ddrescuelog", "blockdev"):
        if shutil.which(tool) is None:
            print(f"skipped: {tool} is not installed")
            return SKIP
    check(CLOSE[1][0] - CLOSE[0][1] < 4 * BLOCK_SECTORS and ACROSS[0] // BLOCK_SECTORS != ACROSS[1] // BLOCK_SECTORS,
          "the close pair must lie within one skip, and ACROSS across a block boundary")
    apart = PEER_APART_BLOCKS * PEER_BLOCK // SECTOR
    check(PEER_BAD == sorted(PEER_BAD) and all(b - a > apart for a, b in zip(PEER_BAD, PEER_BAD[1:])) and
          PEER_BAD[0] >= 34 and PEER_BAD[-1] < PEER_BYTES // SECTOR - 34,
          f"the witness's sectors must lie over {PEER_APART_BLOCKS} blocks apart, clear of the GPT")

    bench = Bench(*sys.argv[1:])
    s = Scanner(bench)
    started = time.monotonic()
    try:
        image = bench.path("disk.img")
        make_image(image, IMAGE_BYTES, gpt_script([(2048, 40960), P2]))
        print(f"{IMAGE_BYTES // MIB} MiB, unreadable {BAD}, stall {STALL} ({STALL_MS} ms)")
        planted_map = check_planted(s, bench, image)
        check_partition(s, bench, image)
        check_resume(s, bench, image, planted_map)
        check_vanishing(s, bench, image)
        check_4096(s, bench)
        check_output_files(s, bench, image)
        check_maps_accepted(s.maps)
        check_peer_cost(s, bench)  # last: it fails until the engine reads as cheaply as ddrescue
    except Failure as failure:
        print(f"FAILED: {failure}")
        return 1
    finally:
        bench.close()
    print(f"passed in {time.monotonic() - started:.1f} s")
    return 0


def stop(signum, _frame):
    raise SystemExit(128 + signum)  # unwinds through main's cleanup


if __name__ == "__main__":
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, stop)
    sys.exit(main())
