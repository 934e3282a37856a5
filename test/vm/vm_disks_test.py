#!/usr/bin/env python3
"""hddiag on real kernel disk drivers: SATA (AHCI), NVMe and SCSI disks in the
test VM (vm.py), with 512- and 4096-byte sectors, medium errors, a slow
area and hot-unplug.

    vm_disks_test.py HDDIAG FAULTY_MEDIUM CACHE

Two boots, each a group of checks:

  identity and reads
    1. `hddiag --json info` gives every disk its bus, its model and serial in
       full (without udev, then with systemd-udevd started), the kernel's size
       and sector size; the component's report lists only the SATA disks'
       volumes, disks[].volumes every partition;
    2. linear, funnel and surface on partition 2 of every disk (the others
       through --disk PATH:sata) read only inside partition 2, in the drive's
       own sectors: QEMU's log of what each disk received is exactly
       hddiag's --trace;
    4. on a SATA disk over the faulty medium (FUSE) with a stall range, the
       slowest area of surface lies in the stall range;
  errors and hot-unplug
    3. a sector of partition 2 that each test read in the first boot fails
       (blkdebug): linear, funnel and surface fail there with
       HDD_TEST_READ_ERROR, error 23 (NVMe's medium error reaches the reader
       as ENODATA, AHCI's abort as EIO: dd in the guest says which), and
       badblocks lists the sector;
    5. a SCSI disk unplugged (QMP device_del) in the middle of `run`: the run
       ends within a time limit with exit 1, valid JSON and a documented code
       for every test after the vanishing; the summary says why; no hddiag
       process is left in the guest.

Exits 77 (skipped), with the reason, when QEMU, the kernel package, root
(loop devices for the 4096-byte layouts) or /dev/fuse cannot be had; under
CI=true that is a failure, since CI has them all.
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vm  # noqa: E402

MIB = 1 << 20
IMAGE_BYTES = 64 * MIB
# (start, sectors) of partitions 1 and 2, in the drive's own sectors.
LAYOUT = {512: [(2048, 40960), (43008, 61440)], 4096: [(257, 2000), (2311, 12001)]}
STALL_MS = 100
SLOW = (70144, 70655)  # 512-byte units of the slow disk's stall range, inside partition 2
SATA_MODEL = "ACCEPTANCE-SATA-DISK-LONG-MODEL-NAME"  # longer than SCSI's 16-character product field
RUN_LIMIT_S = 90  # a run whose disk vanished must end well within this
READ_ERROR = "HDD_TEST_READ_ERROR"
DATA_ERROR = 23
TESTS = ("linear", "funnel", "surface")
DOCUMENTED = {"S_OK", READ_ERROR, "HDD_DRIVE_NOT_TESTABLE", "HDD_PARTITION_NOT_TESTABLE", "HDD_TEST_ABORTED"}
BUS = {"sata": "SATA", "nvme": "NVMe", "scsi": "SCSI"}


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class DiskPlan:
    """A disk of the test: its image, kind, sector size and partition 2."""

    def __init__(self, name, kind, sector_bytes, serial):
        self.name = name
        self.kind = kind
        self.sector_bytes = sector_bytes
        self.serial = serial
        self.parts = LAYOUT[sector_bytes]
        self.image = None

    @property
    def p2(self):
        return self.parts[1]

    def inside_p2(self, sector):
        return self.p2[0] <= sector < self.p2[0] + self.p2[1]


DISKS = [
    DiskPlan("sata", "sata", 512, "VM-SATA-0001"),
    DiskPlan("slow", "sata", 512, "VM-SATA-SLOW"),
    DiskPlan("nvme", "nvme", 512, "VM-NVME-0512"),
    DiskPlan("nvme4k", "nvme", 4096, "VM-NVME-4096"),
    DiskPlan("scsi", "scsi", 512, "VM-SCSI-0512"),
    DiskPlan("scsi4k", "scsi", 4096, "VM-SCSI-4096"),
]


class Bench:
    """The temporary folder, the FUSE mount and the loop devices; undone on close."""

    def __init__(self, hddiag, medium):
        self.hddiag = hddiag
        self.medium = medium
        self.dir = tempfile.mkdtemp(prefix="vm_disks.")
        self.mount_proc = None
        self.mnt = None

    def path(self, name):
        return os.path.join(self.dir, name)

    def close(self):
        if self.mount_proc is not None:
            subprocess.run(["fusermount3", "-u", "-z", self.mnt], stderr=subprocess.DEVNULL)
            try:
                self.mount_proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.mount_proc.kill()
                self.mount_proc.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    def make_image(self, name, sector_bytes):
        image = self.path(name + ".img")
        with open(image, "wb") as f:
            f.truncate(IMAGE_BYTES)
        script = "label: gpt\n" + "".join(f"start={s}, size={n}\n" for s, n in LAYOUT[sector_bytes])
        target, loop = image, None
        if sector_bytes != 512:  # sfdisk takes the sector size from the device
            r = subprocess.run(["losetup", "-f", "--show", "-b", str(sector_bytes), image], capture_output=True,
                               text=True)
            check(r.returncode == 0, f"losetup: {r.stderr.strip()}")
            target = loop = r.stdout.strip()
        try:
            r = subprocess.run(["sfdisk", "-q", "--no-reread", "--no-tell-kernel", target], input=script,
                               capture_output=True, text=True)
            check(r.returncode == 0, f"sfdisk on {name}: {r.stderr.strip()}")
        finally:
            if loop is not None:
                subprocess.run(["losetup", "-d", loop], check=True)
        return image

    def mount_slow(self, image):
        """Serves image through the faulty medium with the stall range; returns the file."""
        self.mnt = self.path("medium")
        os.mkdir(self.mnt)
        err = open(self.path("medium.err"), "w")
        self.mount_proc = subprocess.Popen([self.medium, "--slow", "%d-%d:%d" % (*SLOW, STALL_MS), image, self.mnt],
                                           stdout=subprocess.DEVNULL, stderr=err)
        err.close()
        deadline = time.monotonic() + 10
        while not os.path.ismount(self.mnt):
            check(self.mount_proc.poll() is None and time.monotonic() < deadline,
                  f"faulty_medium did not mount: {open(self.path('medium.err')).read().strip()}")
            time.sleep(0.02)
        return os.path.join(self.mnt, "disk.img")


def trace_reads(text):
    return [int(line.split()[2]) for line in text.splitlines() if line.startswith("read ")]


def trace_codes(text):
    return [line.split()[3] for line in text.splitlines() if line.startswith("result ")]


def guest_disks(result):
    """name -> (device, size in 512-byte units, logical sector size), as the guest's kernel says."""
    disks = {}
    for line in result.file("kernel-disks").splitlines():
        name, device, size, sector = line.split()
        disks[name] = (device, int(size), int(sector))
    return disks


# ---- boot 1: identity and reads ---------------------------------------------------

IDENTITY_SCRIPT = r"""
H={hddiag}
R=$VM_RESULTS
vm_mark start
for d in {names}; do
    dev=$(vm_disk $d) || exit 1
    b=/sys/block/${{dev#/dev/}}
    echo "$d $dev $(cat $b/size) $(cat $b/queue/logical_block_size)" >>$R/kernel-disks
done
$H --json info >$R/info.json 2>$R/info.err || echo "info exited $?" >>$R/errors
for d in {names}; do
    dev=$(vm_disk $d)
    # Held open, so the page cache keeps the partition table between runs
    # and the disk receives only the tests' own reads.
    exec 3<$dev
    $H --disk $dev:sata info >/dev/null 2>&1
    for t in linear funnel surface; do
        vm_mark $d-$t
        $H --disk $dev:sata --trace test $t 0-2 >$R/$d-$t.trace 2>$R/$d-$t.err
    done
    vm_mark $d-end
    exec 3<&-
done
$H --disk $(vm_disk slow):sata --json test surface 0-2 >$R/slow.json 2>$R/slow.err
# udev, as on a full system: the whole ATA model from ata_id.
vm_mark udev
export SYSTEMD_IGNORE_CHROOT=1
/lib/systemd/systemd-udevd --daemon >$R/udevd.log 2>&1 || echo "udevd did not start" >>$R/errors
udevadm trigger --subsystem-match=block --action=add
udevadm settle --timeout=60
for d in {names}; do
    udevadm info --query=property --name=$(vm_disk $d) | grep -E '^ID_(MODEL|SERIAL_SHORT)=' | sed "s/^/$d /"
done >$R/udev-properties
$H --json info >$R/info-udev.json 2>$R/info-udev.err || echo "info with udev exited $?" >>$R/errors
udevadm control --exit
vm_mark done
"""


def check_identity(doc, kernel, where):
    """Check 1 on one `info --json` document."""
    by_device = {d["path"]: d for d in doc["disks"]}
    sata_disks = set()
    for plan in DISKS:
        device, size512, sector = kernel[plan.name]
        check(device in by_device, f"{where}: info lists no {device} ({plan.name}): {sorted(by_device)}")
        d = by_device[device]
        want = {"bus": BUS[plan.kind], "serial": plan.serial, "size_bytes": size512 * 512, "bytes_per_sector": sector}
        if plan.kind == "sata":
            want["model"] = SATA_MODEL
            sata_disks.add(d["disk"])
        got = {k: d.get(k) for k in want}
        check(got == want, f"{where}: {plan.name} ({device}) is {got}, not {want}")
        check(sector == plan.sector_bytes, f"{where}: the kernel gives {plan.name} {sector}-byte sectors")
        check([v["partition"] for v in d["volumes"]] == [1, 2],
              f"{where}: {plan.name}'s volumes are {d['volumes']}, not partitions 1 and 2")
    report = {(v["disk"], v["partition"]) for v in doc["report"]["volumes"]}
    want = {(disk, p) for disk in sata_disks for p in (1, 2)}
    check(report == want, f"{where}: the report lists {sorted(report)}, not the SATA disks' {sorted(want)}")
    print(f"  {where}: {len(DISKS)} disks with bus, model and serial as QEMU was given them, the kernel's "
          f"size and sector size; the report lists only the SATA disks' {len(report)} volumes")


def check_reads(result, kernel):
    """Check 2: QEMU saw exactly hddiag's reads, all inside partition 2."""
    traces = {}
    for plan in DISKS:
        sector = kernel[plan.name][2]
        for test in TESTS:
            text = result.file(f"{plan.name}-{test}.trace")
            where = f"{plan.name}: {test} 0-2"
            reads = trace_reads(text)
            check(reads and trace_codes(text) == ["0x00000000"],
                  f"{where}: {len(reads)} reads, results {trace_codes(text)}: {result.file(plan.name + '-' + test + '.err')}")
            outside = [s for s in reads if not plan.inside_p2(s)]
            check(not outside, f"{where}: {len(outside)} reads outside partition 2 {plan.p2}, first {outside[:3]}")
            after = f"{plan.name}-{test}"
            before = f"{plan.name}-{TESTS[TESTS.index(test) + 1]}" if test != TESTS[-1] else f"{plan.name}-end"
            seen = result.reads(plan.name, after=after, before=before)
            want = [(s * sector, sector) for s in reads]
            check(seen == want, f"{where}: QEMU saw {len(seen)} reads {seen[:3]}..., hddiag traced {len(want)} "
                                f"{want[:3]}...")
            others = [(n, o) for n, o, _ in result.guest.read_log()[result.marks[after]:result.marks[before]]
                      if n != plan.name]
            check(not others, f"{where}: other disks were read meanwhile: {others[:3]}")
            traces[(plan.name, test)] = reads
        print(f"  {plan.name}: linear, funnel, surface on partition 2: "
              f"{'/'.join(str(len(traces[(plan.name, t)])) for t in TESTS)} reads; QEMU saw exactly these, "
              f"{sector} bytes at P x {sector}, all inside sectors {plan.p2[0]}-{plan.p2[0] + plan.p2[1] - 1}")
    return traces


def check_slow_area(result):
    """Check 4: the slowest area of surface on the slow disk lies in the stall range."""
    doc = json.loads(result.file("slow.json"))
    latency = doc["results"][0]["latency"]
    buckets = latency["by_position"]["buckets"]
    area = max(buckets, key=lambda b: b["max_ms"])
    check(area["first_sector"] <= SLOW[1] and area["last_sector"] >= SLOW[0],
          f"slow: the slowest area {area['first_sector']}-{area['last_sector']} misses the stall range {SLOW}")
    slowest = latency["slowest"][0]
    check(SLOW[0] <= slowest["sector"] <= SLOW[1] and slowest["ms"] >= STALL_MS / 2,
          f"slow: the slowest read {slowest} is not a stalled one in {SLOW}")
    print(f"  slow (SATA over the faulty medium): slowest area {area['first_sector']}-{area['last_sector']} "
          f"(max {area['max_ms']:.1f} ms), slowest read {slowest['sector']} ({slowest['ms']:.1f} ms), "
          f"in the stall range {SLOW[0]}-{SLOW[1]}")


def identity_and_reads(bench, kernel):
    disks = []
    for plan in DISKS:
        image = plan.image
        if plan.name == "slow":
            image = bench.mount_slow(plan.image)
        disks.append(vm.Disk(plan.name, plan.kind, image, serial=plan.serial,
                             model=SATA_MODEL if plan.kind == "sata" else None, sector_bytes=plan.sector_bytes))
    guest = vm.Guest(kernel, disks, bench.path("boot1"), timeout=240)
    script = IDENTITY_SCRIPT.format(hddiag=bench.hddiag, names=" ".join(p.name for p in DISKS))
    result = guest.run(script)
    check(result.status == 0, f"the guest's script exited {result.status}:\n{result.output}")
    errors = os.path.exists(os.path.join(guest.results, "errors")) and result.file("errors")
    check(not errors, f"in the guest: {errors}")
    print(f"boot 1 (identity and reads): {result.seconds:.1f} s; marks at "
          + ", ".join(f"{n} {t:.1f}" for n, t in result.mark_times.items()))
    kernel_disks = guest_disks(result)
    check_identity(json.loads(result.file("info.json")), kernel_disks, "without udev")
    check_identity(json.loads(result.file("info-udev.json")), kernel_disks, "with udev")
    udev = result.file("udev-properties")
    check(f"sata ID_MODEL={SATA_MODEL.replace(' ', '_')}" in udev, f"udev gave the SATA disk no full model:\n{udev}")
    traces = check_reads(result, kernel_disks)
    check_slow_area(result)
    return traces


# ---- boot 2: errors and hot-unplug ------------------------------------------------

ERROR_DISKS = ("sata", "nvme", "nvme4k", "scsi", "scsi4k")
UNPLUGGED = ("gone-json", "gone-text")
UNPLUG_AFTER_READS = 200  # of the run's, on the disk: then device_del

ERRORS_SCRIPT = r"""
H={hddiag}
R=$VM_RESULTS
uptime() {{ cut -d' ' -f1 /proc/uptime; }}
while read -r d bps first last bad; do
    dev=$(vm_disk $d) || exit 1
    for t in linear funnel surface; do
        $H --disk $dev:sata --json test $t 0-2 >$R/$d-$t.json 2>$R/$d-$t.err
    done
    $H --disk $dev:sata test linear 0-2 >$R/$d-summary.txt 2>&1
    for s in $(echo $bad | tr , ' '); do
        dd if=$dev of=/dev/null bs=$bps skip=$s count=1 iflag=direct 2>&1 | head -n 1 | sed "s/^/$s /"
    done >$R/$d-dd.txt
    badblocks -b $bps $dev $last $first >$R/$d-badblocks 2>$R/$d-badblocks.err
done <<'TABLE'
{bad_table}
TABLE
for g in {unplugged}; do
    dev=$(vm_disk $g) || exit 1
    form=; [ $g = gone-json ] && form=--json
    t0=$(uptime)
    timeout {limit} $H --disk $dev:sata --seed 7 $form run >$R/$g.out 2>$R/$g.err &
    pid=$!
    vm_mark unplug-$g
    wait $pid
    echo "$? $t0 $(uptime)" >$R/$g.status
done
for p in /proc/[0-9]*; do
    [ "$(cat $p/comm 2>/dev/null)" = hddiag ] && echo "${{p#/proc/}}"
done >$R/hddiag-left
true
"""


def choose_bad_sectors(traces):
    """Per disk, the middle read of each test on partition 2 in the first boot."""
    bad = {}
    for name in ERROR_DISKS:
        bad[name] = sorted({traces[(name, t)][len(traces[(name, t)]) // 2] for t in TESTS})
    return bad


def check_errors(result, plans, traces, bad):
    """Check 3: each test fails at the first bad sector it reads, named error 23."""
    for name in ERROR_DISKS:
        plan = plans[name]
        for test in TESTS:
            where = f"{name}: {test} 0-2"
            expected = next(p for p in traces[(name, test)] if p in bad[name])
            doc = json.loads(result.file(f"{name}-{test}.json"))
            r = doc["results"][0]
            failed = r.get("latency", {}).get("failed", [])
            check(r["code_name"] == READ_ERROR and failed and (failed[0]["sector"], failed[0]["error"]) ==
                  (expected, DATA_ERROR), f"{where}: {r['code_name']} {failed[:1]}, not {READ_ERROR} at sector "
                                          f"{expected} with error {DATA_ERROR}: {result.file(name + '-' + test + '.err')}")
        first_linear = next(p for p in traces[(name, "linear")] if p in bad[name])
        text = f"read error at sector {first_linear}: error {DATA_ERROR} (data error: CRC)"
        summary = result.file(f"{name}-summary.txt")
        check(text in summary, f"{name}: the summary does not say '{text}':\n{summary}")
        dd = result.file(f"{name}-dd.txt")
        errnos = sorted({line.split(": ")[-1] for line in dd.splitlines()})
        want = {"nvme": "No data available", "sata": "Input/output error"}.get(plan.kind)
        check(want is None or errnos == [want], f"{name}: dd of the bad sectors says {errnos}, not {want!r}")
        listed = [int(x) for x in result.file(f"{name}-badblocks").split()]
        page = 4096 // plan.sector_bytes  # badblocks may list the whole page around a bad sector
        check(set(bad[name]) <= set(listed) and all(any(b // page == x // page for b in bad[name]) for x in listed),
              f"{name}: badblocks lists {listed}, not the bad sectors {bad[name]} (and their pages)"
              f": {result.file(name + '-badblocks.err')}")
        print(f"  {name}: bad sectors {bad[name]}: linear, funnel and surface failed at the first one each read "
              f"with {READ_ERROR}, error {DATA_ERROR}; dd says {errnos}; badblocks lists "
              f"{len(listed)} sectors, the bad ones among them")


def check_unplug(result):
    """Check 5: the disk unplugged in the middle of `run`."""
    outputs = {}
    for g in UNPLUGGED:
        status, t0, t1 = result.file(f"{g}.status").split()
        took = float(t1) - float(t0)
        check(int(status) == 1, f"{g}: the run on an unplugged disk exited {status} after {took:.1f} s "
                                f"(124: past the {RUN_LIMIT_S} s limit): {result.file(g + '.err')[-2000:]}")
        check(took < RUN_LIMIT_S, f"{g}: the run took {took:.1f} s")
        outputs[g] = (result.file(f"{g}.out"), took)
    text, took = outputs["gone-json"]
    doc = json.loads(text)
    results = doc["results"]
    gone = next((i for i, t in enumerate(results) if t["outcome"] != "passed"), None)
    check(gone is not None and gone > 0, f"gone-json: the disk did not vanish in the middle of the run: "
                                         f"{[t['outcome'] for t in results]}")
    check(doc["passed"] is False, "gone-json: the JSON says the run passed")
    codes = []
    for t in results[gone:]:
        check(t["outcome"] in ("failed", "refused") and t["code_name"] in DOCUMENTED,
              f"gone-json: {t['method']} {t['selector']} after the vanishing: {t['outcome']} {t['code_name']}")
        for f in t.get("latency", {}).get("failed", [])[:1]:
            check(f["error"] != 0, f"gone-json: {t['method']} {t['selector']}: a failed read without an error code")
        codes.append(t["code_name"])
    summary, _ = outputs["gone-text"]
    lines = [line for line in summary.splitlines() if line.startswith("  HDD") and " passed " not in line]
    check(lines and all("; read error at sector " in line or "; open failed: error " in line for line in lines),
          f"gone-text: the summary does not say why each test after the vanishing failed:\n{summary}")
    left = result.file("hddiag-left").split()
    check(not left, f"hddiag processes left in the guest: {left}")
    print(f"  gone-json: unplugged after {UNPLUG_AFTER_READS} reads, in test {gone + 1} of {len(results)} "
          f"({results[gone]['method']} {results[gone]['selector']}); the run ended in {took:.1f} s with exit 1; "
          f"after it: {', '.join(sorted(set(codes)))}; the summary names each failed read; no hddiag left")


def unplug_when_read(name):
    """An on_mark action: device_del once the disk has received enough of the run's reads."""

    def action(guest):
        mark = guest.marks["unplug-" + name]
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            seen = [n for n, _, _ in guest.read_log(refresh=True)[mark:] if n == name]
            if len(seen) >= UNPLUG_AFTER_READS:
                break
            time.sleep(0.05)
        guest.qmp("device_del", id=name)

    return action


def errors_and_unplug(bench, kernel, traces):
    plans = {p.name: p for p in DISKS}
    bad = choose_bad_sectors(traces)
    disks, rows = [], []
    for name in ERROR_DISKS:
        plan = plans[name]
        units = [s * plan.sector_bytes // 512 for s in bad[name]]
        disks.append(vm.Disk(name, plan.kind, plan.image, serial=plan.serial,
                             model=SATA_MODEL if plan.kind == "sata" else None, sector_bytes=plan.sector_bytes,
                             bad_sectors=units))
        first, length = plan.p2
        rows.append(f"{name} {plan.sector_bytes} {first} {first + length - 1} {','.join(map(str, bad[name]))}")
    for g in UNPLUGGED:
        disks.append(vm.Disk(g, "scsi", plans["scsi"].image))
    guest = vm.Guest(kernel, disks, bench.path("boot2"), timeout=240)
    script = ERRORS_SCRIPT.format(hddiag=bench.hddiag, bad_table="\n".join(rows), unplugged=" ".join(UNPLUGGED),
                                  limit=RUN_LIMIT_S)
    result = guest.run(script, on_mark={"unplug-" + g: unplug_when_read(g) for g in UNPLUGGED})
    check(result.status == 0, f"the guest's script exited {result.status}:\n{result.output}")
    print(f"boot 2 (errors and hot-unplug): {result.seconds:.1f} s")
    check_errors(result, plans, traces, bad)
    check_unplug(result)


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    hddiag, medium, cache = (os.path.abspath(a) for a in sys.argv[1:])

    if os.geteuid() != 0:
        return vm.unavailable("the 4096-byte layouts need loop devices, and the slow disk a FUSE mount: run as root")
    if not os.path.exists("/dev/fuse") or not os.path.exists(medium):
        return vm.unavailable("no /dev/fuse or no faulty_medium")
    try:
        kernel = vm.prepare(cache)
    except vm.Unavailable as e:
        return vm.unavailable(str(e))

    started = time.monotonic()
    bench = Bench(hddiag, medium)
    try:
        for plan in DISKS:
            plan.image = bench.make_image(plan.name, plan.sector_bytes)
        traces = identity_and_reads(bench, kernel)
        errors_and_unplug(bench, kernel, traces)
    except (Failure, vm.VmError) as failure:
        print(f"FAILED: {failure}")
        return 1
    finally:
        if os.environ.get("VM_KEEP") != "1":
            bench.close()
        else:
            print(f"kept {bench.dir}")
    print(f"passed in {time.monotonic() - started:.1f} s")
    return 0


def stop(signum, _frame):
    raise SystemExit(128 + signum)  # unwinds through main's cleanup


if __name__ == "__main__":
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, stop)
    sys.exit(main())
