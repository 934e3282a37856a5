#!/usr/bin/env python3
"""hddiag scan on real kernel disk drivers, in the test VM (vm.py).

    scan_vm_test.py HDDIAG CACHE

One boot, three disks:

  1. a SATA disk (AHCI) with unreadable sectors planted by blkdebug, among
     them sector 300,000 inside partition 2 (204,800-404,799): the scan's
     unreadable list (--bad-blocks, --json and the map through ddrescuelog)
     is exactly the planted one, and QEMU's log of what the disk received
     shows every other sector read;
  2. a SCSI disk unplugged (QMP device_del) in the middle of its scan: the
     scan ends within a time limit with exit 1 and the map saved, and
     nothing is taken for unreadable;
  3. ddrescue as a witness of the cost: a second SATA disk with 8 single
     unreadable sectors far apart, read in the same guest by `scan 0
     --block-size 64K` and by `ddrescue -d` (cluster 64 KiB): both list
     exactly the planted sectors, and by QEMU's log of the disk's reads the
     scan makes no more reads than ddrescue (the counts on the "  peer:"
     line).

Exits 77 (skipped), with the reason, when QEMU or the kernel package cannot
be had; under CI=true that is a failure, since CI has them all.
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
SECTOR = 512
SATA_BYTES = 256 * MIB
SCSI_BYTES = 1024 * MIB
PARTS = [(2048, 202752), (204800, 200000)]  # (start, sectors)
# Sector 300,000 and the next, inside partition 2, and a pair across a block
# boundary (blocks of 2048 sectors from the disk's start).
BAD = [300000, 300001, 196 * 2048 - 1, 196 * 2048]
UNPLUG_LIMIT_S = 30  # a scan whose disk was unplugged must end well within this
# The witness of cost (check 3): the sectors of scan_medium_test.py's check 7,
# single ones far apart (no two within 6 blocks of 64 KiB), clear of the GPT.
PEER_BYTES = 256 * MIB
PEER_BAD = [5000, 65536, 131071, 196613, 262200, 327777, 393343, 500001]


from vm import Failure, check, make_image  # noqa: E402


def parse_map(text):
    lines = [ln.split() for ln in text.splitlines() if ln.strip() and not ln.startswith("#")]
    data = [(int(a, 16), int(b, 16), c) for a, b, c in lines[1:]]
    at = 0
    for pos, size, st in data:
        check(pos == at and size > 0 and st in "?*/-+", f"map line {pos:#x} {size:#x} {st} after {at:#x}")
        at = pos + size
    return data


def read_cost(log, sector=SECTOR):
    """What a read log cost: reads, one-sector reads and backward reads (a
    read whose offset is below the previous read's offset). One definition
    for every tool compared (the twin of scan_medium_test.py's)."""
    backward = sum(1 for (a, _), (b, _) in zip(log, log[1:]) if b < a)
    return {"reads": len(log), "one-sector": sum(1 for _, n in log if n == sector), "backward": backward}


def cost_text(cost):
    return f"{cost['reads']} reads ({cost['one-sector']} of one sector, {cost['backward']} backward)"


SCRIPT = r"""
hddiag={hddiag}
sata=$(vm_disk sata) || exit 3
scsi=$(vm_disk scsi) || exit 3
peer=$(vm_disk peer) || exit 3
cd "$VM_RESULTS"
vm_mark sata-start
"$hddiag" --disk "$sata" --json scan 0 --map sata.map --bad-blocks sata.bad >sata.json 2>sata.err
echo $? >sata.status
vm_mark sata-end

# The witness: held open, its partition table read once through the page
# cache, so that the cache keeps the table and the disk receives between the
# marks only each tool's own reads (ddrescue -d never reads through the cache).
exec 3<"$peer"
"$hddiag" --disk "$peer" info >/dev/null 2>peer-info.err
vm_mark peer-hddiag
"$hddiag" --disk "$peer" --json scan 0 --block-size 64K --map peer-hddiag.map >peer-hddiag.json 2>peer-hddiag.err
echo $? >peer-hddiag.status
vm_mark peer-ddrescue
ddrescue -d -f -q "$peer" /dev/null peer-ddrescue.map >peer-ddrescue.out 2>&1
echo $? >peer-ddrescue.status
vm_mark peer-end
exec 3<&-

"$hddiag" --disk "$scsi" --json scan 0 --map scsi.map --block-size 64K --save-interval 0.2 >scsi.json 2>scsi.err &
pid=$!
n=0
while [ ! -e scsi.map ] && [ $n -lt 1200 ]; do sleep 0.05; n=$((n + 1)); done
vm_mark unplug
t0=$(date +%s.%N)
wait $pid
echo $? >scsi.status
t1=$(date +%s.%N)
echo "$t0 $t1" >scsi.time
pgrep -x hddiag >/dev/null && echo "an hddiag process is left"
exit 0
"""


def ddrescuelog(*args):
    return subprocess.run(["ddrescuelog", *args], capture_output=True, text=True)


def check_peer_cost(result, guest):
    """Check 3: ddrescue as the witness of what a scan of scattered bad sectors costs."""
    status = int(result.file("peer-hddiag.status"))
    check(status == 1, f"peer: hddiag scan exited {status}: {result.file('peer-hddiag.err')}")
    entry = json.loads(result.file("peer-hddiag.json"))["scans"][0]
    got = [s for a in entry["unreadable_areas"] for s in range(a["first_sector"], a["first_sector"] + a["sectors"])]
    mine = ddrescuelog("-l-", "-b", str(SECTOR), os.path.join(guest.results, "peer-hddiag.map"))
    check(got == PEER_BAD and entry["complete"] and [int(x) for x in mine.stdout.split()] == PEER_BAD,
          f"peer: hddiag lists {entry['unreadable_areas']} (complete: {entry['complete']}), its map "
          f"{mine.stdout.split()} {mine.stderr}; planted {PEER_BAD}")
    status = int(result.file("peer-ddrescue.status"))
    check(status == 0, f"peer: ddrescue exited {status}: {result.file('peer-ddrescue.out')}")
    peer_map = result.file("peer-ddrescue.map")
    theirs = ddrescuelog("-l-", "-b", str(SECTOR), os.path.join(guest.results, "peer-ddrescue.map"))
    check(all(st in "+-" for _, _, st in parse_map(peer_map)) and [int(x) for x in theirs.stdout.split()] == PEER_BAD,
          f"peer: ddrescue's map lists {theirs.stdout.split()} {theirs.stderr}, planted {PEER_BAD}:\n{peer_map}")

    ours = read_cost(result.reads("peer", after="peer-hddiag", before="peer-ddrescue"))
    peer = read_cost(result.reads("peer", after="peer-ddrescue", before="peer-end"))
    seconds = [result.mark_times[b] - result.mark_times[a]
               for a, b in (("peer-hddiag", "peer-ddrescue"), ("peer-ddrescue", "peer-end"))]
    print(f"  peer: SATA {PEER_BYTES // MIB} MiB, {len(PEER_BAD)} single unreadable sectors, 64K blocks; "
          f"hddiag {cost_text(ours)} in {seconds[0]:.1f} s; ddrescue {cost_text(peer)} in {seconds[1]:.1f} s "
          f"(QEMU's log); both list exactly the planted sectors")
    check(ours["reads"] <= peer["reads"], f"peer: hddiag made {ours['reads']} reads, ddrescue {peer['reads']}")


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    hddiag, cache = (os.path.abspath(a) for a in sys.argv[1:])

    for tool in ("ddrescue", "ddrescuelog"):
        if shutil.which(tool) is None:
            return vm.unavailable(f"{tool} is not installed (scripts/install-deps.sh installs gddrescue)")
    try:
        kernel = vm.prepare(cache)
    except vm.Unavailable as e:
        return vm.unavailable(str(e))

    started = time.monotonic()
    work = tempfile.mkdtemp(prefix="scan_vm.")
    try:
        sata, scsi = os.path.join(work, "sata.img"), os.path.join(work, "scsi.img")
        peer = os.path.join(work, "peer.img")
        make_image(sata, SATA_BYTES, PARTS)
        make_image(scsi, SCSI_BYTES)
        make_image(peer, PEER_BYTES, [(2048, PEER_BYTES // SECTOR - 4096)])
        disks = [vm.Disk("sata", "sata", sata, serial="SCAN-SATA-1", model="SCAN-TEST-DISK", bad_sectors=BAD),
                 vm.Disk("scsi", "scsi", scsi, serial="SCAN-SCSI-1"),
                 vm.Disk("peer", "sata", peer, serial="SCAN-PEER-1", bad_sectors=PEER_BAD)]
        guest = vm.Guest(kernel, disks, os.path.join(work, "vm"), timeout=300)
        result = guest.run(SCRIPT.format(hddiag=hddiag),
                           on_mark={"unplug": lambda g: g.qmp("device_del", id="scsi")})
        check(result.status == 0 and "left" not in result.output,
              f"the guest script exited {result.status}: {result.output}")

        # 1. the SATA disk's unreadable sectors are the planted ones, and every other one was read.
        status = int(result.file("sata.status"))
        check(status == 1, f"sata: scan exited {status}: {result.file('sata.err')}")
        listed = [int(x) for x in result.file("sata.bad").split()]
        check(listed == sorted(BAD), f"sata: --bad-blocks lists {listed}, planted {sorted(BAD)}")
        doc = json.loads(result.file("sata.json"))
        entry = doc["scans"][0]
        got = [s for a in entry["unreadable_areas"] for s in range(a["first_sector"], a["first_sector"] + a["sectors"])]
        check(got == sorted(BAD), f"sata: the JSON's unreadable areas {entry['unreadable_areas']}")
        mp = os.path.join(guest.results, "sata.map")
        r = ddrescuelog("-l-", "-b", str(SECTOR), mp)
        check([int(x) for x in r.stdout.split()] == sorted(BAD), f"sata: ddrescuelog -l- lists {r.stdout.split()}")
        check(ddrescuelog("-t", mp).returncode == 0, "sata: ddrescuelog -t refuses the map")
        reads = result.reads("sata", after="sata-start", before="sata-end")
        seen = bytearray(SATA_BYTES // SECTOR)
        for offset, size in reads:
            for s in range(offset // SECTOR, min(len(seen), (offset + size + SECTOR - 1) // SECTOR)):
                seen[s] = 1
        missing = [s for s in range(len(seen)) if not seen[s] and s not in BAD]
        check(not missing, f"sata: QEMU saw no read of {len(missing)} readable sectors, first {missing[:5]}")
        print(f"  sata: scan 0 exit 1; unreadable {sorted(BAD)} in --bad-blocks, --json and the map "
              f"(ddrescuelog agrees); QEMU served {len(reads)} reads covering every other sector; "
              f"{entry['mb_per_s']:.1f} MB/s")

        # 2. the unplugged SCSI disk: the scan ended, the map saved, nothing unreadable.
        status = int(result.file("scsi.status"))
        t0, t1 = (float(x) for x in result.file("scsi.time").split())
        check(status == 1, f"scsi: scan exited {status} after the unplug: {result.file('scsi.err')}")
        check(t1 - t0 < UNPLUG_LIMIT_S, f"scsi: the scan took {t1 - t0:.1f} s to end after the unplug")
        data = parse_map(result.file("scsi.map"))
        read = sum(n for _, n, st in data if st == "+")
        check(0 < read < SCSI_BYTES and all(st in "+?" for _, _, st in data),
              f"scsi: the saved map after the unplug: {data[:6]}")
        check(ddrescuelog("-t", os.path.join(guest.results, "scsi.map")).returncode == 0,
              "scsi: ddrescuelog -t refuses the map")
        doc = json.loads(result.file("scsi.json"))
        check(doc["scans"][0]["sectors_unreadable"] == 0, f"scsi: {doc['scans'][0]['sectors_unreadable']} unreadable")
        print(f"  scsi: unplugged mid-scan; the scan ended {t1 - t0:.2f} s later with exit 1, "
              f"{read // MIB} MiB read kept in the map, nothing taken for unreadable: "
              f"{(result.file('scsi.err').strip().splitlines() or [''])[-1]}")

        check_peer_cost(result, guest)  # last: it fails until the engine reads as cheaply as ddrescue
    except (Failure, vm.VmError) as failure:
        print(f"FAILED: {failure}")
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(f"passed in {time.monotonic() - started:.1f} s")
    return 0


def stop(signum, _frame):
    raise SystemExit(128 + signum)  # unwinds through main's cleanup


if __name__ == "__main__":
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, stop)
    sys.exit(main())
