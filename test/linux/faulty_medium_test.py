#!/usr/bin/env python3
"""hddiag on a faulty medium through the kernel.

    faulty_medium_test.py FAULTY_MEDIUM HDDIAG

Serves GPT images through faulty_medium (a FUSE file system of ours that
answers EIO, stalls, vanishes or refuses O_DIRECT on purpose) and checks what
hddiag reads and reports, on the FUSE file itself and through read-only loop
devices over it:

  1. linear, funnel and surface on partition 2 read only inside partition 2;
  2. surface fails at its first block inside the bad range, --json names that
     sector and error 23, the summary and the HTML report name the read, and
     badblocks lists the same sector;
  3. the surface scan's reads in the slow range are exactly its reads slower
     than half the stall, and the slowest area and read lie there;
  4. a disk that vanishes in the middle of `run`: the run ends in time with
     exit 1 and valid JSON, every later test fails with error 21 on the file
     (ENXIO) or 23 through the loop device (the block layer's EIO);
  5. a file system that refuses O_DIRECT: the note, same reads, same result;
  6. 4096-byte sectors (loop -b 4096): every read the medium sees is P x 4096
     inside the selected partition, and a bad 4096-byte sector is found by the
     linear test at the position that covers it.

The faults lie inside partition 2 past its length counted from sector 0, where
a scan that ignored the partition's start would never look. Fault ranges are
4 KiB aligned, so the file (read in aligned 4 KiB units) and the loop device
(512-byte reads) meet the same faults. Needs root and /dev/fuse; exits 77
(skipped) without them. Everything mounted or attached is undone on any exit.
"""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
MIB = 1 << 20
SURFACE_BLOCK = 4 * 63  # four tracks of 63 sectors: the geometry of every image
STALL_MS = 100
HALF_STALL_MS = STALL_MS / 2
RUN_LIMIT_S = 60  # a run whose disk vanished must end well within this

# 512-byte sectors: (start, sectors) of partitions 1 and 2.
P1 = (2048, 40960)
P2 = (43008, 61440)
BAD = (90112, 90623)  # inclusive, inside P2 and past P2's length from sector 0
SLOW = (70144, 70655)
IMAGE_BYTES = 64 * MIB
VANISH_AFTER = 1000  # reads: during the first random test of `run`

# 4096-byte sectors: partitions at odd sectors; the bad sector is partition 2's
# second linear position (one read every 8192 sectors).
P4K = [(257, 2000), (2311, 12001)]
BAD_4K = 2311 + 8192

READ_ERROR = "HDD_TEST_READ_ERROR"
EIO_ERROR = 23
ENXIO_ERROR = 21
MEANING = {21: "the device is not ready", 23: "data error: CRC"}


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class Bench:
    """Owns the temporary folder, mounts and loop devices; undoes them all."""

    def __init__(self, medium, hddiag):
        self.medium = medium
        self.hddiag_path = hddiag
        self.dir = tempfile.mkdtemp(prefix="faulty_medium.")
        self.mounts = []  # (mountpoint, process)
        self.loops = []

    def close(self):
        for loop in reversed(self.loops):
            subprocess.run(["losetup", "-d", loop], stderr=subprocess.DEVNULL)
        self.loops = []
        for mnt, proc in reversed(self.mounts):
            subprocess.run(["fusermount3", "-u", "-z", mnt], stderr=subprocess.DEVNULL)
            try:
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        self.mounts = []
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def mount(self, name, image, *options):
        """Serves `image` as <dir>/<name>/disk.img; returns that path."""
        mnt = self.path(name)
        os.mkdir(mnt)
        err = open(self.path(name + ".err"), "w")
        proc = subprocess.Popen([self.medium, *options, image, mnt], stdout=subprocess.DEVNULL, stderr=err)
        err.close()
        self.mounts.append((mnt, proc))
        deadline = time.monotonic() + 10
        while not os.path.ismount(mnt):
            if proc.poll() is not None or time.monotonic() > deadline:
                with open(self.path(name + ".err")) as f:
                    raise Failure(f"faulty_medium did not mount {mnt}: {f.read().strip()}")
            time.sleep(0.02)
        return os.path.join(mnt, "disk.img")

    def loop(self, file, sector_bytes=512, read_only=True, direct=True):
        argv = ["losetup", "-f", "--show", "-b", str(sector_bytes)]
        argv += ["-r"] if read_only else []
        argv += ["--direct-io=on"] if direct else []
        r = subprocess.run(argv + [file], capture_output=True, text=True)
        check(r.returncode == 0, f"losetup: {r.stderr.strip()}")
        device = r.stdout.strip()
        self.loops.append(device)
        return device

    def detach(self, device):
        subprocess.run(["losetup", "-d", device], check=True)
        self.loops.remove(device)

    def hddiag(self, disk, *args, timeout=120):
        return subprocess.run([self.hddiag_path, "--disk", disk, *args], capture_output=True, text=True,
                              timeout=timeout)


def make_image(path, size, script):
    with open(path, "wb") as f:
        f.truncate(size)
    r = subprocess.run(["sfdisk", "-q", "--no-reread", "--no-tell-kernel", path], input=script,
                       capture_output=True, text=True)
    check(r.returncode == 0, f"sfdisk: {r.stderr}")


def gpt_script(parts):
    return "label: gpt\n" + "".join(f"start={s}, size={n}\n" for s, n in parts)


def trace_reads(out):
    return [int(line.split()[2]) for line in out.splitlines() if line.startswith("read ")]


def trace_codes(out):
    return [line.split()[3] for line in out.splitlines() if line.startswith("result ")]


def inside(sector, part):
    return part[0] <= sector < part[0] + part[1]


def first_block_in(part, first, last):
    """The surface scan's first block position at or past `first`, if it is <= last."""
    k = -(-(first - part[0]) // SURFACE_BLOCK)
    pos = part[0] + k * SURFACE_BLOCK
    return pos if pos <= last else None


def failed_read_text(sector, error):
    return f"read error at sector {sector}: error {error} ({MEANING[error]})"


def check_reads_inside(bench, disk, where):
    """Check 1: every read of the three sweeps on partition 2 lies inside it."""
    traces = {}
    for test in ("linear", "funnel", "surface"):
        r = bench.hddiag(disk, "--trace", "test", test, "0-2")
        reads = trace_reads(r.stdout)
        check(reads, f"{where}: {test} made no reads: {r.stderr}")
        outside = [s for s in reads if not inside(s, P2)]
        check(not outside, f"{where}: {test} read {len(outside)} of {len(reads)} sectors outside partition 2, "
                           f"first {outside[:3]}")
        traces[test] = r
        print(f"  {where}: {test} 0-2: {len(reads)} reads, all inside partition 2 "
              f"[{P2[0]}, {P2[0] + P2[1] - 1}]")
    bad = first_block_in(P2, *BAD)
    for test in ("linear", "funnel"):
        check(trace_codes(traces[test].stdout) == ["0x00000000"], f"{where}: {test} did not pass on partition 2")
    surface = trace_reads(traces["surface"].stdout)
    check(surface[-1] == bad, f"{where}: surface's last read is {surface[-1]}, not {bad}")
    check(trace_codes(traces["surface"].stdout) == ["0x20010001"], f"{where}: surface did not end with {READ_ERROR}")
    return traces


def check_surface_figures(bench, disk, where):
    """Checks 2 and 3 from the JSON, the summary and the HTML report."""
    bad = first_block_in(P2, *BAD)
    report = bench.path("report.html")
    r = bench.hddiag(disk, "--json", "--report", report, "test", "surface", "0-2")
    check(r.returncode == 1, f"{where}: surface exited {r.returncode}: {r.stderr}")
    doc = json.loads(r.stdout)
    result = doc["results"][0]
    latency = result["latency"]
    check(result["code_name"] == READ_ERROR, f"{where}: surface ended with {result['code_name']}")
    first = latency["failed"][0]
    check((first["sector"], first["error"]) == (bad, EIO_ERROR),
          f"{where}: the first failed read is {first}, not sector {bad} with error {EIO_ERROR}")
    text = failed_read_text(bad, EIO_ERROR)
    with open(report) as f:
        check(text in f.read(), f"{where}: the HTML report does not say '{text}'")

    # Every read in the slow range stalled, and no other read came near it.
    slow_reads = [p for p in range(P2[0], bad, SURFACE_BLOCK) if SLOW[0] <= p <= SLOW[1]]
    classes = latency["classes"]
    over_half = classes["lt_150ms"] + classes["lt_500ms"] + classes["ge_500ms"]
    slowest = [s for s in latency["slowest"] if s["ms"] >= HALF_STALL_MS]
    check(len(slow_reads) >= 2 and over_half == len(slow_reads) and
          sorted(s["sector"] for s in slowest) == slow_reads,
          f"{where}: reads over {HALF_STALL_MS} ms: {over_half} ({slowest}); in the slow range: {slow_reads}")
    buckets = latency["by_position"]["buckets"]
    area = max(buckets, key=lambda b: b["max_ms"])  # the first of equal ones
    check(area["first_sector"] <= SLOW[1] and area["last_sector"] >= SLOW[0],
          f"{where}: the slowest area {area['first_sector']}-{area['last_sector']} misses the slow range")
    check(SLOW[0] <= latency["slowest"][0]["sector"] <= SLOW[1],
          f"{where}: the slowest read {latency['slowest'][0]} lies outside the slow range")

    r = bench.hddiag(disk, "test", "surface", "0-2")
    check(text in r.stdout, f"{where}: the summary does not say '{text}':\n{r.stdout}")
    m = re.search(r"slowest area: sectors (\d+)-(\d+) .*slowest read: sector (\d+) \(([\d.]+) ms\)", r.stdout)
    check(m is not None and int(m[1]) <= SLOW[1] and int(m[2]) >= SLOW[0] and SLOW[0] <= int(m[3]) <= SLOW[1],
          f"{where}: the summary's slowest area or read is not in the slow range:\n{r.stdout}")
    print(f"  {where}: surface 0-2: {latency['reads']} reads, failed at sector {bad} with error {EIO_ERROR}; "
          f"{len(slow_reads)} reads over {HALF_STALL_MS:.0f} ms, all in the slow range; slowest area "
          f"{area['first_sector']}-{area['last_sector']} (max {area['max_ms']:.1f} ms), slowest read "
          f"{latency['slowest'][0]['sector']} ({latency['slowest'][0]['ms']:.1f} ms)")
    return doc


def check_badblocks(loop):
    bad = first_block_in(P2, *BAD)
    last = P2[0] + P2[1] - 1
    r = subprocess.run(["badblocks", "-b", "512", loop, str(last), str(P2[0])], capture_output=True, text=True)
    check(r.returncode == 0, f"badblocks: {r.stderr}")
    listed = [int(x) for x in r.stdout.split()]
    check(bad in listed and all(BAD[0] <= s <= BAD[1] for s in listed),
          f"badblocks lists {len(listed)} sectors ({listed[:3]}...), expected {bad} among them, all in {BAD}")
    print(f"  loop: badblocks -b 512 on partition 2 lists {len(listed)} sectors {listed[0]}-{listed[-1]}, "
          f"{bad} among them")


def check_vanishing(bench, image, expected_error, through_loop):
    """Check 4: the disk goes away in the middle of `run`."""
    where = "loop" if through_loop else "file"
    outputs = []
    took = 0.0
    for form in (["--json"], []):
        disk = bench.mount(f"vanish-{where}-{len(outputs)}", image, "--vanish-after", str(VANISH_AFTER))
        if through_loop:
            disk = bench.loop(disk)
        t0 = time.monotonic()
        try:
            r = bench.hddiag(disk, "--seed", "7", *form, "run", timeout=RUN_LIMIT_S)
        except subprocess.TimeoutExpired:
            raise Failure(f"{where}: the run on a vanished disk took over {RUN_LIMIT_S} s")
        took = max(took, time.monotonic() - t0)
        check(r.returncode == 1, f"{where}: the run on a vanished disk exited {r.returncode}: {r.stderr}")
        outputs.append(r.stdout)
    doc = json.loads(outputs[0])
    results = doc["results"]
    gone = next((i for i, t in enumerate(results) if t["outcome"] != "passed"), None)
    check(gone is not None and 0 < gone < len(results) - 1,
          f"{where}: the disk did not vanish in the middle of the run: {[t['outcome'] for t in results]}")
    check(doc["passed"] is False, f"{where}: the JSON says the run passed")
    for t in results[gone:]:
        failed = t.get("latency", {}).get("failed", [])
        check(t["outcome"] == "failed" and t["code_name"] == READ_ERROR and failed and
              failed[0]["error"] == expected_error,
              f"{where}: {t['method']} {t['selector']} after the vanishing: {t['outcome']} {t['code_name']} "
              f"{failed[:1]}, not {READ_ERROR} with error {expected_error}")
    summary = [line for line in outputs[1].splitlines() if " failed " in line and READ_ERROR in line]
    why = f"error {expected_error} ({MEANING[expected_error]})"
    check(len(summary) == len(results) - gone and all(why in line for line in summary),
          f"{where}: the summary does not say why each test failed ('{why}'):\n{outputs[1]}")
    print(f"  {where}: the disk vanished after {VANISH_AFTER} reads, in test {gone + 1} of {len(results)} "
          f"({results[gone]['method']} {results[gone]['selector']}); the run ended in {took:.2f} s, exit 1; "
          f"{len(results) - gone} tests failed with {READ_ERROR}, {why}")


def check_refused_direct(bench, image, with_direct):
    """Check 5: the same reads and result where O_DIRECT is refused."""
    disk = bench.mount("refuses-direct", image, "--refuse-direct", "--eio", "%d-%d" % BAD,
                       "--slow", "%d-%d:%d" % (*SLOW, STALL_MS))
    for test in ("linear", "funnel", "surface"):
        r = bench.hddiag(disk, "--trace", "test", test, "0-2")
        check("refuses O_DIRECT" in r.stderr, f"no note that O_DIRECT was refused: {r.stderr}")
        check(r.stdout == with_direct[test].stdout, f"{test}: the trace differs from the one with O_DIRECT")
    r = bench.hddiag(disk, "--json", "test", "surface", "0-2")
    doc = json.loads(r.stdout)
    got, want = doc["results"][0], with_direct["json"]["results"][0]
    check(got["code"] == want["code"] and got["latency"]["failed"][0]["sector"] ==
          want["latency"]["failed"][0]["sector"] and got["latency"]["failed"][0]["error"] ==
          want["latency"]["failed"][0]["error"], f"the result differs from the one with O_DIRECT: {got['code']}")
    print(f"  file refusing O_DIRECT: the note; linear, funnel and surface traces identical "
          f"({len(trace_reads(with_direct['surface'].stdout))} surface reads), same failed read and code")


def read_log(path):
    with open(path) as f:
        return [tuple(int(x) for x in line.split()) for line in f if line.strip()]


def check_4096(bench):
    """Check 6: a loop device of 4096-byte sectors over the medium."""
    image = bench.path("disk4k.img")
    with open(image, "wb") as f:
        f.truncate(IMAGE_BYTES)
    writable = bench.loop(image, 4096, read_only=False, direct=False)  # our own image, to partition it
    r = subprocess.run(["sfdisk", "-q", writable], input=gpt_script(P4K), capture_output=True, text=True)
    check(r.returncode == 0, f"sfdisk on 4096-byte sectors: {r.stderr}")
    bench.detach(writable)

    log = bench.path("reads4k.log")
    bad_units = (BAD_4K * 8, BAD_4K * 8 + 7)
    disk = bench.loop(bench.mount("medium4k", image, "--log", log, "--eio", "%d-%d" % bad_units), 4096)
    for number, part in enumerate(P4K, start=1):
        # Partition 1's extent covers the disk from its first byte to the
        # partition's end (the component's extent rule); every other one is
        # the partition's own range.
        extent = (0, part[0] + part[1]) if number == 1 else part
        for test in ("linear", "funnel", "surface"):
            open(log, "w").close()
            r = bench.hddiag(disk, "--trace", "test", test, f"0-{number}")
            reads = trace_reads(r.stdout)
            seen = read_log(log)
            where = f"4096: {test} 0-{number}"
            # The test's reads are the last ones the medium saw (hddiag read the
            # partition table before), one per sector, in order.
            check(reads and len(seen) >= len(reads), f"{where}: {len(reads)} reads, the medium saw {len(seen)}")
            check(seen[-len(reads):] == [(p * 4096, 4096) for p in reads],
                  f"{where}: the medium saw {seen[-len(reads):][:4]}..., hddiag read sectors {reads[:4]}...")
            check(all(inside(p, extent) for p in reads),
                  f"{where}: a read lies outside partition {number}'s extent {extent}: {reads}")
            print(f"  {where}: {len(reads)} reads, each at byte P x 4096 inside sectors "
                  f"{extent[0]}-{extent[0] + extent[1] - 1}")
    r = bench.hddiag(disk, "--json", "test", "linear", "0-2")
    result = json.loads(r.stdout)["results"][0]
    failed = result["latency"]["failed"]
    check(result["code_name"] == READ_ERROR and failed and (failed[0]["sector"], failed[0]["error"]) ==
          (BAD_4K, EIO_ERROR), f"4096: linear 0-2 on the bad sector {BAD_4K}: {result['code_name']} {failed[:1]}")
    print(f"  4096: linear 0-2 failed at sector {BAD_4K} (bytes {BAD_4K * 4096}-{BAD_4K * 4096 + 4095}) "
          f"with error {EIO_ERROR}")


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
    for tool in ("fusermount3", "losetup", "sfdisk", "badblocks"):
        if shutil.which(tool) is None:
            print(f"skipped: {tool} is not installed")
            return SKIP
    check(P2[1] <= BAD[0] and BAD[1] < P2[0] + P2[1] and P2[1] <= SLOW[0] and SLOW[1] < BAD[0],
          "the faults must lie inside partition 2, past its length, the slow range before the bad one")
    check(all(first % 8 == 0 and (last + 1) % 8 == 0 for first, last in (BAD, SLOW)),
          "fault ranges must be 4 KiB aligned, so the file and the loop device meet the same faults")

    bench = Bench(*sys.argv[1:])
    started = time.monotonic()
    try:
        image = bench.path("disk.img")
        make_image(image, IMAGE_BYTES, gpt_script([P1, P2]))
        faults = ["--eio", "%d-%d" % BAD, "--slow", "%d-%d:%d" % (*SLOW, STALL_MS)]
        file = bench.mount("medium", image, *faults)
        print(f"partition 1 {P1}, partition 2 {P2}; unreadable {BAD}, slow {SLOW} ({STALL_MS} ms)")
        with_direct = check_reads_inside(bench, file, "file")
        with_direct["json"] = check_surface_figures(bench, file, "file")
        loop = bench.loop(file)
        check_reads_inside(bench, loop, "loop")
        check_surface_figures(bench, loop, "loop")
        check_badblocks(loop)
        check_refused_direct(bench, image, with_direct)
        check_vanishing(bench, image, ENXIO_ERROR, through_loop=False)
        check_vanishing(bench, image, EIO_ERROR, through_loop=True)
        check_4096(bench)
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
