#!/usr/bin/env python3
"""hddiag health on real kernel disk drivers and the real smartctl, in the
test VM (vm.py).

    health_vm_test.py HDDIAG RULES CACHE

RULES is deploy/prometheus/hddiag-health.rules.yml. One boot, three disks:

  1. every disk: `hddiag health` and `--json health` in one table; the
     AHCI disk's attributes (id, value, worst, threshold, raw value) are
     those smartctl -j -A gives in the same guest, and its verdict is good;
     the virtio-blk disk, which answers no SMART, is `not supported`;
  2. the NVMe disk after QMP qom-set of smart_critical_warning to 0x04
     (reliability degraded): failing, exit status 1, and its metrics file
     fed to promtool makes the failing and critical-warning alerts fire
     with that disk's labels;
  3. the AHCI disk after `smartctl -t short` (QEMU logs the test at once):
     hddiag, with a PATH that lacks the sbin folders, still finds smartctl
     there and shows the passed short test from the self-test log;
  4. smartctl hidden (a bind mount over it) and a PATH without it: `run`
     gives the note on standard error and still exits 0.

Exits 77 (skipped), with the reason, when QEMU, the kernel package,
smartctl or promtool cannot be had; under CI=true that is a failure.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vm  # noqa: E402

MIB = 1 << 20
SATA_MODEL = "HEALTH-TEST-DISK"
NOTE = "health not read: smartctl not found; install smartmontools"
RELIABILITY = 0x04


from vm import Failure, check, make_image  # noqa: E402


SCRIPT = r"""
H={hddiag}
sata=$(vm_disk sata) || exit 3
nvme=$(vm_disk nvme) || exit 3
virt=$(vm_disk virt) || exit 3
cd "$VM_RESULTS"
echo "sata $sata nvme $nvme virt $virt" >nodes
$H health >health.txt 2>health.err; echo $? >health.status
$H --json health >health.json 2>health-json.err; echo $? >health-json.status
smartctl -j -A "$sata" >sata-attributes.json
for d in sata nvme virt; do
    eval node=\$$d
    smartctl --json --info --health --attributes --log=error --log=selftest "$node" >$d-smartctl.json
    echo $? >$d-smartctl.status
done
smartctl -t short "$sata" >selftest-start.txt 2>&1; echo $? >selftest-start.status
env PATH=/usr/bin:/bin $H --json health "$sata" >selftest.json 2>selftest.err; echo $? >selftest.status
vm_mark critical
$H --json health --metrics nvme.prom "$nvme" >nvme.json 2>nvme.err; echo $? >nvme.status
$H health "$nvme" >nvme.txt 2>&1
for p in /usr/local/sbin/smartctl /usr/sbin/smartctl /sbin/smartctl; do
    if [ -f "$p" ]; then mount --bind /dev/null "$p" || exit 4; fi
done
env PATH=/usr/bin:/bin $H --disk "$sata:sata" --seed 7 run >nosmartctl.out 2>nosmartctl.err; echo $? >nosmartctl.status
exit 0
"""


def entries(doc):
    """(disk row, health entry) by device name."""
    rows = {d["disk"]: d for d in doc["disks"]}
    return {rows[h["disk"]]["device"]: (rows[h["disk"]], h) for h in doc["health"]}


def check_every_disk(result, nodes):
    status = int(result.file("health.status"))
    table = result.file("health.txt")
    check(status == 0, f"health exited {status} with no disk failing:\n{table}{result.file('health.err')}")
    doc = json.loads(result.file("health.json"))
    by_device = entries(doc)
    sata, nvme, virt = (os.path.basename(nodes[k]) for k in ("sata", "nvme", "virt"))
    for device in (sata, nvme, virt):
        check(device in by_device, f"--json health has no {device}: {sorted(by_device)}")
        check(re.search(rf"^\d+\s+{device}\s", table, re.M), f"the health table has no {device}:\n{table}")

    row, h = by_device[sata]
    check(h["state"] == "read" and h["verdict"] == "good", f"{sata}: {h['state']} {h['verdict']} {h['reasons']}")
    check(row["model"] == SATA_MODEL, f"{sata}: model {row['model']!r}")
    theirs = json.loads(result.file("sata-attributes.json"))["ata_smart_attributes"]["table"]
    want = [(a["id"], a["value"], a["worst"], a["thresh"], a["raw"]["value"]) for a in theirs]
    got = [(a["id"], a["value"], a["worst"], a["thresh"], a["raw"]) for a in h["smart"]["attributes"]]
    check(got == want, f"{sata}: hddiag's attributes\n  {got}\nsmartctl -j -A's\n  {want}")
    check(len(want) >= 5, f"{sata}: smartctl listed only {len(want)} attributes")

    _, h = by_device[nvme]
    check(h["state"] == "read" and h["verdict"] == "good", f"{nvme} before qom-set: {h['verdict']} {h['reasons']}")
    check(h["smart"]["nvme"]["critical_warning"] == 0, f"{nvme}: {h['smart']['nvme']}")

    _, h = by_device[virt]
    check(h["state"] == "not supported" and h["verdict"] is None,
          f"{virt} (virtio-blk): {h['state']} {h['verdict']} {h['note']}")
    check(re.search(rf"^\d+\s+{virt}\s.*not supported", table, re.M), f"the table's {virt} row:\n{table}")
    return table


def metric_samples(text):
    """[(name, {labels}, value)] of an OpenMetrics text."""
    samples = []
    for line in text.splitlines():
        if not line or line.startswith("#"):
            continue
        m = re.fullmatch(r'([a-z_]+)\{(.*)\} (\S+)', line)
        check(m is not None, f"a metrics line of an unknown shape: {line!r}")
        labels = dict(re.findall(r'(\w+)="((?:[^"\\]|\\.)*)"', m[2]))
        samples.append((m[1], labels, float(m[3])))
    return samples


def check_failing_nvme(result, nodes, rules, work):
    nvme = os.path.basename(nodes["nvme"])
    status = int(result.file("nvme.status"))
    check(status == 1, f"health of a failing disk exited {status}: {result.file('nvme.err')}")
    doc = json.loads(result.file("nvme.json"))
    row, h = entries(doc)[nvme]
    check(h["verdict"] == "failing" and h["smart"]["nvme"]["critical_warning"] == RELIABILITY,
          f"{nvme} after qom-set: {h['verdict']} {h['smart']['nvme']}")
    check(any("reliability degraded" in r for r in h["reasons"]), f"{nvme}: reasons {h['reasons']}")

    samples = metric_samples(result.file("nvme.prom"))
    ours = {"disk": str(row["disk"]), "device": nvme, "serial": row["serial"]}
    named = [(n, lb, v) for n, lb, v in samples if {k: lb.get(k) for k in ours} == ours]
    check(named == samples and samples, f"nvme.prom holds series of other disks or none:\n{samples}")
    values = {(n, lb.get("verdict")): v for n, lb, v in samples}
    check(values.get(("hddiag_nvme_critical_warning", None)) == RELIABILITY and
          values.get(("hddiag_smart_verdict", "failing")) == 1 and values.get(("hddiag_smart_status", None)) == 0,
          f"nvme.prom: {values}")

    # The node_exporter's scrape of that file, an hour apart, through the rules.
    instance = {"instance": "vm:9100", "job": "node"}
    series = []
    for name, labels, value in samples:
        all_labels = {**instance, **labels}
        text = ",".join(f'{k}="{v}"' for k, v in all_labels.items())
        series.append(f"      - series: '{name}{{{text}}}'\n        values: '{value:g}x6'\n")
    labels = "{" + ", ".join(f'{k}: "{v}"' for k, v in {**instance, **ours}.items()) + "}"
    where = f"on vm:9100 {nvme} (serial {row['serial']})"
    about = f"{row['disk']} ({nvme}, serial {row['serial']}) on vm:9100"
    test = (f"rule_files:\n  - {rules}\nevaluation_interval: 1h\ntests:\n  - interval: 1h\n    input_series:\n"
            + "".join(series) + "    alert_rule_test:\n"
            f"      - eval_time: 3h\n        alertname: HddiagDiskFailing\n        exp_alerts:\n"
            f"          - exp_labels: {labels[:-1]}, severity: critical, verdict: failing}}\n"
            f"            exp_annotations:\n"
            f"              summary: \"Disk failing {where}\"\n"
            f"              description: \"SMART of disk {about} says it is failing; `hddiag health` gives the reasons.\"\n"
            f"      - eval_time: 3h\n        alertname: HddiagNvmeCriticalWarning\n        exp_alerts:\n"
            f"          - exp_labels: {labels[:-1]}, severity: critical}}\n"
            f"            exp_annotations:\n"
            f"              summary: \"NVMe critical warning {RELIABILITY} {where}\"\n"
            f"              description: \"NVMe disk {about} sets critical warning bits {RELIABILITY} (1 spare low, "
            f"2 temperature, 4 reliability degraded, 8 read-only, 16 volatile backup failed).\"\n")
    path = os.path.join(work, "nvme-alerts.test.yml")
    with open(path, "w") as f:
        f.write(test)
    r = subprocess.run(["promtool", "test", "rules", path], capture_output=True, text=True)
    check(r.returncode == 0, f"promtool on the NVMe disk's metrics:\n{r.stdout}{r.stderr}\n{test}")
    return result.file("nvme.txt"), r.stdout.strip()


def check_self_test(result, nodes):
    sata = os.path.basename(nodes["sata"])
    check(int(result.file("selftest-start.status")) == 0, f"smartctl -t short: {result.file('selftest-start.txt')}")
    status = int(result.file("selftest.status"))
    check(status == 0, f"health with a PATH without sbin exited {status}: {result.file('selftest.err')}")
    _, h = entries(json.loads(result.file("selftest.json")))[sata]
    check(h["state"] == "read", f"{sata}: smartctl not found outside PATH? {h['state']} {h['note']}")
    tests = h["smart"].get("self_tests")
    check(tests is not None and tests["entries"], f"{sata}: no self-test log after smartctl -t short: {tests}")
    newest = tests["entries"][0]
    check(newest["kind"] == "short" and newest["result"] == "passed" and h["verdict"] == "good",
          f"{sata}: newest self-test {newest}, verdict {h['verdict']} {h['reasons']}")
    return newest


def check_without_smartctl(result):
    status = int(result.file("nosmartctl.status"))
    err = result.file("nosmartctl.err")
    check(status == 0, f"run with no smartctl on PATH exited {status}:\n{result.file('nosmartctl.out')}{err}")
    check(NOTE in err, f"run with no smartctl on PATH: no note on standard error:\n{err}")


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    hddiag, rules, cache = (os.path.abspath(a) for a in sys.argv[1:])

    for tool, package in (("smartctl", "smartmontools"), ("promtool", "prometheus"), ("sfdisk", "fdisk")):
        if shutil.which(tool) is None and not os.path.exists(f"/usr/sbin/{tool}"):
            return vm.unavailable(f"{tool} is not installed (scripts/install-deps.sh installs {package})")
    try:
        kernel = vm.prepare(cache)
    except vm.Unavailable as e:
        return vm.unavailable(str(e))

    work = tempfile.mkdtemp(prefix="health_vm.")
    try:
        images = {name: os.path.join(work, name + ".img") for name in ("sata", "nvme", "virt")}
        make_image(images["sata"], 64 * MIB, [(2048, 20480), (22528, 20480)])
        make_image(images["nvme"], 64 * MIB)
        make_image(images["virt"], 16 * MIB)
        disks = [vm.Disk("sata", "sata", images["sata"], serial="HEALTH-SATA-1", model=SATA_MODEL),
                 vm.Disk("nvme", "nvme", images["nvme"], serial="HEALTH-NVME-1"),
                 vm.Disk("virt", "virtio", images["virt"], serial="HEALTH-VIRT-1")]
        guest = vm.Guest(kernel, disks, os.path.join(work, "vm"), timeout=300, trace_reads=False)
        critical = {"critical": lambda g: g.qmp("qom-set", path="/machine/peripheral/nvme",
                                                property="smart_critical_warning", value=RELIABILITY)}
        result = guest.run(SCRIPT.format(hddiag=hddiag), on_mark=critical)
        check(result.status == 0, f"the guest script exited {result.status}: {result.output}")
        nodes = dict(zip(*[iter(result.file("nodes").split())] * 2))

        table = check_every_disk(result, nodes)
        print(f"boot: {result.seconds:.1f} s\nhddiag health, every disk:\n{table}")
        failing, promtool = check_failing_nvme(result, nodes, rules, work)
        print(f"after qom-set smart_critical_warning={RELIABILITY:#04x}:\n{failing}promtool: {promtool}")
        newest = check_self_test(result, nodes)
        print(f"after smartctl -t short, found outside PATH: {newest}")
        check_without_smartctl(result)
        print(f"run with no smartctl on PATH: exit 0, standard error says {NOTE!r}")
        return 0
    except (Failure, vm.VmError) as e:
        print(f"FAILED: {e}")
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
