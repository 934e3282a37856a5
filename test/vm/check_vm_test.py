#!/usr/bin/env python3
"""hddiag check on real kernel disk drivers and the real smartctl, in the
test VM (vm.py).

    check_vm_test.py HDDIAG CACHE

One boot, four disks, each checked by its device path:

  1. a clean SATA disk (AHCI) with `--self-test short`: smartctl starts the
     drive's test, hddiag waits for it, and the check's self-test is the
     newest entry of `smartctl -j -l selftest` in the same guest; verdict
     good, exit 0;
  2. a SATA disk with unreadable sectors planted by blkdebug: failing, exit
     1, its unreadable areas exactly the planted sectors, a reason that
     counts them, and the map through ddrescuelog lists them too;
  3. an NVMe disk after QMP qom-set of smart_critical_warning to 0x04:
     failing on SMART alone (reliability degraded), its scan clean;
  4. a virtio-blk disk, which answers no SMART: good from the scan alone,
     with the note that SMART could not be read.

Exits 77 (skipped), with the reason, when QEMU, the kernel package,
smartctl or ddrescuelog cannot be had; under CI=true that is a failure.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vm  # noqa: E402

MIB = 1 << 20
SECTOR = 512
BAD = [5000, 5001, 70000]
RELIABILITY = 0x04
NO_SMART_NOTE = "SMART could not be read"


from vm import Failure, check, make_image  # noqa: E402


SCRIPT = r"""
H={hddiag}
T={tree_hddiag}
good=$(vm_disk good) || exit 3
bad=$(vm_disk bad) || exit 3
nvme=$(vm_disk nvme) || exit 3
virt=$(vm_disk virt) || exit 3
cd "$VM_RESULTS"
echo "good $good bad $bad nvme $nvme virt $virt" >nodes
env PATH=/usr/bin:/bin $H --json check "$good" --self-test short >good.json 2>good.err; echo $? >good.status
smartctl -j -l selftest "$good" >good-selftest.json
$T check "$good" --no-scan >good.txt 2>&1
$H --json check "$bad" --map bad.map >bad.json 2>bad.err; echo $? >bad.status
$H check "$bad" --map bad.map >bad.txt 2>&1
$H --json check "$virt" >virt.json 2>virt.err; echo $? >virt.status
vm_mark critical
$H --json check "$nvme" >nvme.json 2>nvme.err; echo $? >nvme.status
exit 0
"""


def one_check(result, name, want_status):
    status = int(result.file(f"{name}.status"))
    doc = json.loads(result.file(f"{name}.json"))
    check(status == want_status, f"{name}: check exited {status}, not {want_status}: {result.file(name + '.err')}"
          f"\n{json.dumps(doc, indent=1)[:3000]}")
    check(len(doc["checks"]) == 1, f"{name}: {len(doc['checks'])} disks checked")
    return doc["checks"][0]


def check_self_test(result, nodes):
    entry = one_check(result, "good", 0)
    check(entry["device"] == os.path.basename(nodes["good"]), f"good: checked {entry['device']}")
    check(entry["verdict"] == "good", f"good: {entry['verdict']} {entry['reasons']} {entry['notes']}")
    test = entry["self_test"]
    table = json.loads(result.file("good-selftest.json"))["ata_smart_self_test_log"]["standard"]["table"]
    newest = table[0]
    check(test["ran"] and test["kind"] == "short" and test["passed"] is True,
          f"good: the check's self-test {test}")
    check("short" in newest["type"]["string"].lower() and newest["status"]["passed"],
          f"good: smartctl's newest self-test entry {newest}")
    check(test["lba"] is None, f"good: a passed self-test names LBA {test['lba']}")
    scan = entry["scan"]
    check(scan["ran"] and scan["sectors_unreadable"] == 0 and scan["sectors_untried"] == 0,
          f"good: its scan {scan}")
    return test, newest


def check_bad(result, guest):
    entry = one_check(result, "bad", 1)
    check(entry["verdict"] == "failing", f"bad: {entry['verdict']} {entry['reasons']}")
    scan = entry["scan"]
    listed = [s for a in scan["unreadable_areas"] for s in range(a["first_sector"], a["first_sector"] + a["sectors"])]
    check(listed == BAD and scan["sectors_unreadable"] == len(BAD), f"bad: unreadable {scan['unreadable_areas']}")
    check(any(str(len(BAD)) in r and "unreadable" in r for r in entry["reasons"]), f"bad: reasons {entry['reasons']}")
    mapped = subprocess.run(["ddrescuelog", "-l-", "-b", str(SECTOR), os.path.join(guest.results, "bad.map")],
                            capture_output=True, text=True)
    check([int(x) for x in mapped.stdout.split()] == BAD, f"bad: the map lists {mapped.stdout.split()} {mapped.stderr}")
    return entry


def check_nvme(result):
    entry = one_check(result, "nvme", 1)
    check(entry["verdict"] == "failing" and any("reliability degraded" in r for r in entry["reasons"]),
          f"nvme: {entry['verdict']} {entry['reasons']}")
    check(entry["scan"]["ran"] and entry["scan"]["sectors_unreadable"] == 0, f"nvme: its scan {entry['scan']}")
    return entry


def check_virtio(result):
    entry = one_check(result, "virt", 0)
    check(entry["verdict"] == "good" and not entry["reasons"], f"virt: {entry['verdict']} {entry['reasons']}")
    check(any(NO_SMART_NOTE in n for n in entry["notes"]), f"virt: notes {entry['notes']}")
    check(entry["scan"]["ran"] and entry["scan"]["sectors_untried"] == 0, f"virt: its scan {entry['scan']}")
    return entry


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    hddiag, cache = (os.path.abspath(a) for a in sys.argv[1:])

    for tool, package in (("smartctl", "smartmontools"), ("ddrescuelog", "gddrescue"), ("sfdisk", "fdisk")):
        if shutil.which(tool) is None and not os.path.exists(f"/usr/sbin/{tool}"):
            return vm.unavailable(f"{tool} is not installed (scripts/install-deps.sh installs {package})")
    try:
        kernel = vm.prepare(cache)
    except vm.Unavailable as e:
        return vm.unavailable(str(e))

    work = tempfile.mkdtemp(prefix="check_vm.")
    try:
        images = {name: os.path.join(work, name + ".img") for name in ("good", "bad", "nvme", "virt")}
        make_image(images["good"], 32 * MIB, [(2048, 20480)])
        make_image(images["bad"], 64 * MIB, [(2048, 61440)])
        make_image(images["nvme"], 32 * MIB)
        make_image(images["virt"], 16 * MIB)
        disks = [vm.Disk("good", "sata", images["good"], serial="CHECK-GOOD-1", model="CHECK-GOOD-DISK"),
                 vm.Disk("bad", "sata", images["bad"], serial="CHECK-BAD-1", model="CHECK-BAD-DISK", bad_sectors=BAD),
                 vm.Disk("nvme", "nvme", images["nvme"], serial="CHECK-NVME-1"),
                 vm.Disk("virt", "virtio", images["virt"], serial="CHECK-VIRT-1")]
        # One command runs from a tree under /tmp, which the guest covers
        # with a /tmp of its own: a checkout there must run all the same.
        tree = tempfile.mkdtemp(prefix="hddiag-tree.", dir="/tmp")
        tree_hddiag = os.path.join(tree, "build", "hddiag")
        os.makedirs(os.path.dirname(tree_hddiag))
        shutil.copy2(hddiag, tree_hddiag)
        guest = vm.Guest(kernel, disks, os.path.join(work, "vm"), timeout=300, trace_reads=False, keep=[tree])
        critical = {"critical": lambda g: g.qmp("qom-set", path="/machine/peripheral/nvme",
                                                property="smart_critical_warning", value=RELIABILITY)}
        try:
            result = guest.run(SCRIPT.format(hddiag=hddiag, tree_hddiag=tree_hddiag), on_mark=critical)
        finally:
            shutil.rmtree(tree, ignore_errors=True)
        check(result.status == 0, f"the guest script exited {result.status}: {result.output}")
        check(": good" in result.file("good.txt"), f"hddiag from a tree under /tmp: {result.file('good.txt')}")
        nodes = dict(zip(*[iter(result.file("nodes").split())] * 2))

        test, newest = check_self_test(result, nodes)
        print(f"boot: {result.seconds:.1f} s\ngood ({nodes['good']}, --self-test short): the check's self-test "
              f"{test}; smartctl's newest entry: {newest['type']['string']}, {newest['status']['string']}")
        print(result.file("good.txt"))
        check_bad(result, guest)
        print(f"bad ({nodes['bad']}, planted {BAD}):\n{result.file('bad.txt')}")
        entry = check_nvme(result)
        print(f"nvme ({nodes['nvme']}) after qom-set smart_critical_warning={RELIABILITY:#04x}: "
              f"{entry['verdict']}: {entry['reasons']}")
        entry = check_virtio(result)
        print(f"virtio ({nodes['virt']}): {entry['verdict']}, notes {entry['notes']}")
        return 0
    except (Failure, vm.VmError) as e:
        print(f"FAILED: {e}")
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
