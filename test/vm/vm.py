#!/usr/bin/env python3
"""The test VM: Debian's kernel under QEMU (TCG) with real AHCI, NVMe, SCSI and
virtio disk drivers, the host's root read-only over 9p, and a guest-side
shell script whose output and exit status come back to the host.

As a module (the checks of test/vm use it):

    import vm
    kernel = vm.prepare(cache)                       # kernel.sh + initramfs.sh, cached
    disks = [vm.Disk("sata", "sata", image, serial="S1", model="A-LONG-MODEL-NAME"),
             vm.Disk("nvme4k", "nvme", image4k, sector_bytes=4096, bad_sectors=[90112])]
    guest = vm.Guest(kernel, disks, workdir, timeout=240)
    result = guest.run(script, on_mark={"unplug": lambda g: g.qmp("device_del", id="scsi")})
    result.status, result.output, result.reads("nvme4k", after="a", before="b")

The script runs under chroot in the host's root with the host's /bin/sh, so
the build's own programs run unchanged. It can use:

    vm_disk NAME     the /dev node of the disk called NAME (found by its serial)
    vm_mark NAME     waits until the host has marked this point: the host
                     notes how far each disk's read log has come, runs the
                     on_mark action of that name (QMP, a pause), then lets
                     the guest go on. Reads between two marks are one step's.
    $VM_RESULTS      /run/vm, the writable folder shared with the host; files
                     written there are result.file(NAME)

Every read a disk receives is logged by QEMU (trace event blk_co_preadv), so
result.reads() is a witness of what the disk saw that does not come from the
program under test. From the command line, see run.sh.
"""
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def trees_under_tmp(paths):
    """The host's /tmp/NAME folders or files that hold any of the paths: the
    guest mounts a /tmp of its own, and binds these back over it so that a
    checkout or build tree under /tmp runs there as anywhere else."""
    kept = set()
    for path in paths:
        real = os.path.realpath(path)
        parts = real.split(os.sep)
        if len(parts) > 2 and parts[0] == "" and parts[1] == "tmp" and parts[2] not in ("", ".", ".."):
            kept.add("/tmp/" + parts[2])
    return sorted(kept)


def needed_paths():
    """What the guest's commands may name: this checkout, the folder the
    test runs in, and every path on the command line (the programs and
    files under test)."""
    return [HERE, os.getcwd()] + [a for a in sys.argv if os.path.isabs(a) and os.path.exists(a)]
SKIP = 77


class Unavailable(Exception):
    """QEMU, the kernel package or another part of the guest cannot be had."""


class VmError(Exception):
    """The guest did not run as asked (no boot, time limit, a QMP error)."""


class Failure(Exception):
    """A check of a VM test did not hold."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def make_image(path, size, parts=()):
    """A sparse disk image of size bytes; with parts, a GPT of (start, sectors)."""
    with open(path, "wb") as f:
        f.truncate(size)
    if parts:
        script = "label: gpt\n" + "".join(f"start={s}, size={n}\n" for s, n in parts)
        r = subprocess.run(["sfdisk", "-q", "--no-reread", "--no-tell-kernel", path], input=script,
                           capture_output=True, text=True)
        check(r.returncode == 0, f"sfdisk: {r.stderr}")


def unavailable(reason):
    """The exit status for a check that cannot run here: 77 (skipped), with
    the reason; under CI=true a failure, since CI has QEMU, the kernel
    package and every tool the checks use."""
    if os.environ.get("CI") == "true":
        print(f"FAILED: {reason} (under CI=true this is a failure: CI has QEMU, the kernel package and the tools)")
        return 1
    print(f"skipped: {reason}")
    return SKIP


class Kernel:
    def __init__(self, vmlinuz, initramfs):
        self.vmlinuz = vmlinuz
        self.initramfs = initramfs


def prepare(cache):
    """The kernel and initramfs, made once into the cache folder (a build tree's).
    Raises Unavailable with the reason when they cannot be had."""
    for tool in ("qemu-system-x86_64", "busybox", "cpio", "depmod", "apt-get", "dpkg-deb"):
        if shutil.which(tool) is None and not os.path.exists(f"/sbin/{tool}"):
            raise Unavailable(f"{tool} is not installed (scripts/install-deps.sh installs it)")
    r = subprocess.run([os.path.join(HERE, "kernel.sh"), cache], capture_output=True, text=True)
    if r.returncode != 0:
        raise Unavailable(f"no kernel: {r.stderr.strip()}")
    kernel_dir = r.stdout.strip().splitlines()[-1]
    initramfs = os.path.join(cache, "initramfs-" + os.path.basename(kernel_dir) + ".gz")
    sources = [os.path.join(HERE, f) for f in ("init", "modules.txt", "initramfs.sh")]
    if not os.path.exists(initramfs) or os.path.getmtime(initramfs) < max(map(os.path.getmtime, sources)):
        r = subprocess.run([os.path.join(HERE, "initramfs.sh"), kernel_dir, initramfs], capture_output=True,
                           text=True)
        if r.returncode != 0:
            raise Unavailable(f"no initramfs: {r.stderr.strip()}")
    return Kernel(os.path.join(kernel_dir, "vmlinuz"), initramfs)


class Disk:
    """One virtual disk of the guest.

    kind:          "sata" (ide-hd behind AHCI), "nvme", "scsi" (scsi-hd on
                   virtio-scsi) or "virtio" (virtio-blk)
    image:         its backing file; never written (SATA disks write to a
                   throwaway overlay, the others are read-only)
    serial, model: what the drive says it is (model: SATA only); the serial
                   defaults to "vm-" + name and finds the disk in the guest
    sector_bytes:  logical (and physical) sector size (NVMe, SCSI, virtio)
    bad_sectors:   512-byte units whose reads fail (blkdebug, EIO inside QEMU:
                   AHCI answers ABRT, NVMe an unrecovered read error)
    drive, device: more -drive and -device properties (a dict of strings)
    """

    KINDS = ("sata", "nvme", "scsi", "virtio")

    def __init__(self, name, kind, image, serial=None, model=None, sector_bytes=512, bad_sectors=(), drive=None,
                 device=None):
        if kind not in self.KINDS:
            raise ValueError(f"disk {name}: kind {kind!r} is not one of {self.KINDS}")
        if model is not None and kind != "sata":
            raise ValueError(f"disk {name}: only a SATA disk takes a model")
        self.name = name
        self.kind = kind
        self.image = os.path.abspath(image)
        self.serial = serial or "vm-" + name
        self.model = model
        self.sector_bytes = sector_bytes
        self.bad_sectors = list(bad_sectors)
        self.drive = dict(drive or {})
        self.device = dict(device or {})

    def file_option(self, workdir):
        if not self.bad_sectors:
            return self.image
        conf = os.path.join(workdir, f"blkdebug-{self.name}.conf")
        with open(conf, "w") as f:
            for sector in self.bad_sectors:
                f.write(f'[inject-error]\nevent = "none"\niotype = "read"\nerrno = "5"\n'
                        f'sector = "{sector}"\nonce = "off"\n\n')
        return f"blkdebug:{conf}:{self.image}"


def _options(pairs):
    return ",".join(f"{k}={v}" for k, v in pairs.items())


class Qmp:
    """A QMP connection: commands in order, events kept."""

    def __init__(self, path, deadline):
        self.sock = None
        while self.sock is None:
            try:
                s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                s.connect(path)
                self.sock = s
            except OSError:
                s.close()
                if time.monotonic() > deadline:
                    raise VmError(f"no QMP socket at {path}")
                time.sleep(0.05)
        self.sock.settimeout(30)
        self.buffer = b""
        self.events = []
        self._message()  # the greeting
        self.command("qmp_capabilities")

    def _message(self):
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise VmError("QMP connection closed")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return json.loads(line)

    def command(self, name, **arguments):
        message = {"execute": name}
        if arguments:
            message["arguments"] = arguments
        self.sock.sendall(json.dumps(message).encode() + b"\n")
        while True:
            reply = self._message()
            if "event" in reply:
                self.events.append(reply)
            elif "error" in reply:
                raise VmError(f"QMP {name}: {reply['error'].get('desc', reply['error'])}")
            elif "return" in reply:
                return reply["return"]

    def close(self):
        self.sock.close()


OPEN_LINE = re.compile(r'bdrv_open_common bs (0x[0-9a-f]+) filename "(.*)" flags 0x[0-9a-f]+ format_name "(.*)"')
READ_LINE = re.compile(r"blk_co_preadv blk 0x[0-9a-f]+ bs (0x[0-9a-f]+) offset (\d+) bytes (\d+)")


# Shell functions put before the guest's script.
PRELUDE = r"""
VM_RESULTS=/run/vm
export VM_RESULTS
vm_scan_disks() {
    for b in /sys/block/*; do
        s=
        read -r s 2>/dev/null <"$b/device/serial" || read -r s 2>/dev/null <"$b/serial"
        [ -n "$s" ] || s=$(tail -c +5 "$b/device/vpd_pg80" 2>/dev/null | tr -d '\000')
        echo "${b##*/} $s"
    done | awk 'NR == FNR { name[$2] = $1; next } ($2 in name) { print name[$2], "/dev/" $1 }' \
        "$VM_RESULTS/disks" - >/run/vm-disks
}
vm_disk() {
    # name -> node by serial, from a list made once (again when a disk is new)
    [ -s /run/vm-disks ] && awk -v n="$1" '$1 == n { print $2; f = 1 } END { exit !f }' /run/vm-disks && return 0
    vm_scan_disks
    awk -v n="$1" '$1 == n { print $2; f = 1 } END { exit !f }' /run/vm-disks ||
        { echo "vm_disk: no disk $1" >&2; return 1; }
}
vm_mark() {
    echo "$1" >"$VM_RESULTS/marks/$1.request"
    while [ ! -e "$VM_RESULTS/marks/$1.done" ]; do sleep 0.05; done
}
"""


class Result:
    def __init__(self, guest, status, output, seconds):
        self.guest = guest
        self.status = status  # the script's exit status
        self.output = output  # its stdout and stderr
        self.seconds = seconds  # from QEMU's start to its end
        self.marks = guest.marks  # name -> read-log length when the guest reached it
        self.mark_times = guest.mark_times  # name -> seconds from QEMU's start

    def file(self, name):
        with open(os.path.join(self.guest.results, name), errors="replace") as f:
            return f.read()

    def console(self):
        with open(self.guest.console, errors="replace") as f:
            return f.read()

    def reads(self, disk, after=None, before=None):
        """(offset, bytes) of every read the disk received, in order; only
        those between the marks `after` and `before` when given."""
        log = self.guest.read_log()
        first = self.marks[after] if after is not None else 0
        last = self.marks[before] if before is not None else len(log)
        return [(o, n) for name, o, n in log[first:last] if name == disk]


class Guest:
    """A guest with the given disks; run() boots it once for one script."""

    def __init__(self, kernel, disks, workdir, timeout=300, trace_reads=True, memory_mib=2048, cpus=2, keep=()):
        names = [d.name for d in disks]
        if len(set(names)) != len(names) or len({d.serial for d in disks}) != len(disks):
            raise ValueError("disks need distinct names and serials")
        self.kernel = kernel
        self.disks = list(disks)
        self.workdir = os.path.abspath(workdir)
        self.timeout = timeout
        self.trace_reads = trace_reads
        self.memory_mib = memory_mib
        self.cpus = cpus
        self.keep = list(keep)  # more host paths the guest's commands name
        self.results = os.path.join(self.workdir, "results")
        self.console = os.path.join(self.workdir, "console.log")
        self.trace = os.path.join(self.workdir, "reads.trace")
        self.qmp_path = os.path.join(self.workdir, "qmp.sock")
        self.process = None
        self.monitor = None
        self.marks = {}
        self.mark_times = {}
        self._log = None
        self._files = {}
        self._started = 0.0

    def command_line(self):
        argv = ["qemu-system-x86_64", "-nodefaults", "-display", "none", "-no-reboot",
                "-accel", "tcg,thread=multi", "-smp", str(self.cpus), "-m", str(self.memory_mib),
                "-kernel", self.kernel.vmlinuz, "-initrd", self.kernel.initramfs,
                "-append", "console=ttyS0 panic=-1 loglevel=6",
                "-serial", f"file:{self.console}",
                "-qmp", f"unix:{self.qmp_path},server=on,wait=off",
                "-virtfs", "local,path=/,mount_tag=host,security_model=passthrough,readonly=on,multidevs=remap",
                "-virtfs", f"local,path={self.results},mount_tag=results,security_model=none"]
        if self.trace_reads:
            events = os.path.join(self.workdir, "trace-events")
            with open(events, "w") as f:
                f.write("blk_co_preadv\nbdrv_open_common\n")
            argv += ["-trace", f"events={events},file={self.trace}"]
        kinds = {d.kind for d in self.disks}
        if "sata" in kinds:
            argv += ["-device", "ahci,id=ahci"]
        if "scsi" in kinds:
            argv += ["-device", "virtio-scsi-pci,id=vscsi"]
        port = 0
        for d in self.disks:
            drive = {"if": "none", "id": "drive-" + d.name, "file": self._files[d.name], "format": "raw",
                     "cache": "none", "aio": "threads"}
            # IDE refuses a read-only drive: SATA writes go to a throwaway overlay.
            drive.update({"snapshot": "on"} if d.kind == "sata" else {"readonly": "on"})
            drive.update(d.drive)
            device = {"drive": "drive-" + d.name, "id": d.name, "serial": d.serial}
            if d.kind == "sata":
                device = {"bus": f"ahci.{port}", **device}
                port += 1
                if d.model is not None:
                    device["model"] = d.model
            elif d.kind == "scsi":
                device = {"bus": "vscsi.0", **device}
            if d.kind != "sata" and d.sector_bytes != 512:
                device["logical_block_size"] = device["physical_block_size"] = str(d.sector_bytes)
            device.update(d.device)
            driver = {"sata": "ide-hd", "nvme": "nvme", "scsi": "scsi-hd", "virtio": "virtio-blk-pci"}[d.kind]
            argv += ["-drive", _options(drive), "-device", driver + "," + _options(device)]
        return argv

    def qmp(self, command, **arguments):
        """A QMP command while the guest runs (from an on_mark action)."""
        return self.monitor.command(command, **arguments)

    def run(self, script, on_mark=None):
        """Boots the guest, runs the script and returns its Result once the
        guest has powered off. Raises VmError when it does not come back
        within the time limit or never ran the script."""
        on_mark = on_mark or {}
        os.makedirs(self.workdir, exist_ok=True)
        shutil.rmtree(self.results, ignore_errors=True)
        os.makedirs(os.path.join(self.results, "marks"))
        for path in (self.trace, self.console, self.qmp_path):
            if os.path.exists(path):
                os.unlink(path)
        with open(os.path.join(self.results, "disks"), "w") as f:
            f.writelines(f"{d.name} {d.serial}\n" for d in self.disks)
        with open(os.path.join(self.results, "command"), "w") as f:
            f.write(PRELUDE + "\n" + script + "\n")
        with open(os.path.join(self.results, "keep"), "w") as f:
            f.writelines(t + "\n" for t in trees_under_tmp(needed_paths() + self.keep))
        self._files = {d.name: d.file_option(self.workdir) for d in self.disks}
        self.marks = {}
        self.mark_times = {}
        self._log = None
        started = self._started = time.monotonic()
        deadline = started + self.timeout
        stderr = open(os.path.join(self.workdir, "qemu.stderr"), "w")
        self.process = subprocess.Popen(self.command_line(), stdin=subprocess.DEVNULL, stdout=stderr, stderr=stderr)
        stderr.close()
        try:
            self.monitor = Qmp(self.qmp_path, deadline)
            while self.process.poll() is None:
                if time.monotonic() > deadline:
                    raise VmError(f"the guest did not power off within {self.timeout} s; its console:\n"
                                  + self._tail(self.console))
                self._serve_marks(on_mark)
                time.sleep(0.05)
        finally:
            if self.monitor is not None:
                self.monitor.close()
                self.monitor = None
            if self.process.poll() is None:
                self.process.kill()
            self.process.wait()
            self._log = None  # the log is complete now
        seconds = time.monotonic() - started
        status_file = os.path.join(self.results, "status")
        if not os.path.exists(status_file):
            raise VmError("the guest never ran the script; QEMU said:\n"
                          + self._tail(os.path.join(self.workdir, "qemu.stderr")) + "\nits console:\n"
                          + self._tail(self.console))
        with open(status_file) as f:
            status = int(f.read().strip())
        with open(os.path.join(self.results, "output"), errors="replace") as f:
            output = f.read()
        return Result(self, status, output, seconds)

    def _serve_marks(self, on_mark):
        marks = os.path.join(self.results, "marks")
        for entry in sorted(os.listdir(marks)):
            if not entry.endswith(".request"):
                continue
            name = entry[: -len(".request")]
            if name in self.marks:
                continue
            # The guest waits at the mark, so its reads so far are all logged.
            self.marks[name] = len(self.read_log(refresh=True)) if self.trace_reads else 0
            self.mark_times[name] = time.monotonic() - self._started
            action = on_mark.get(name)
            if action is not None:
                action(self)
            open(os.path.join(marks, name + ".done"), "w").close()

    def read_log(self, refresh=False):
        """[(disk name, offset, bytes)] of every read logged so far."""
        if self._log is not None and not refresh:
            return self._log
        owner = {}  # block node -> disk name, from the nodes QEMU opened for each disk
        current = None
        pending = list(self.disks)  # QEMU opens the drives in command-line order
        log = []
        try:
            with open(self.trace, errors="replace") as f:
                lines = f.readlines()
        except FileNotFoundError:
            lines = []
        for line in lines:
            opened = OPEN_LINE.search(line)
            if opened is not None:
                # A disk's nodes (blkdebug, protocol, format, overlay) open one
                # after another; its protocol node is the first to name its
                # image (two disks may share one).
                if pending and opened[3] == "file" and opened[2] == pending[0].image:
                    current = pending.pop(0).name
                owner[opened[1]] = current
                continue
            read = READ_LINE.search(line)
            if read is not None and line.endswith("\n"):  # the last line may be half written
                name = owner.get(read[1])
                if name is not None:
                    log.append((name, int(read[2]), int(read[3])))
        self._log = log
        return log

    @staticmethod
    def _tail(path, lines=30):
        try:
            with open(path, errors="replace") as f:
                return "".join(f.readlines()[-lines:])
        except FileNotFoundError:
            return "(none)\n"


def main(argv):
    """run.sh's command line."""
    import argparse

    parser = argparse.ArgumentParser(
        prog="run.sh", description="Boots the test VM with the given disks, runs COMMAND in it under chroot in "
        "the host's root and exits with its status. Its output goes to stdout.")
    parser.add_argument("--disk", action="append", default=[], metavar="KIND:IMAGE[:OPTION=VALUE...]",
                        help="a disk: KIND is sata, nvme, scsi or virtio; options name=, serial=, model=, "
                             "sector=512|4096, bad=SECTOR (repeatable, 512-byte units)")
    parser.add_argument("--cache", default=os.path.join(HERE, "..", "..", "build", "vm-kernel"),
                        help="where the kernel is kept (default: build/vm-kernel)")
    parser.add_argument("--workdir", help="QEMU's console log, read log and QMP socket (default: a temporary folder, "
                                          "removed afterwards)")
    parser.add_argument("--timeout", type=float, default=300, help="seconds before the guest is stopped (300)")
    parser.add_argument("--reads", metavar="FILE", help="write every read the disks received: DISK OFFSET BYTES")
    parser.add_argument("command", nargs=argparse.REMAINDER, help="the shell command to run in the guest")
    args = parser.parse_args(argv)
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command")
    disks = []
    for i, spec in enumerate(args.disk):
        kind, image, *options = spec.split(":")
        fields = dict(o.split("=", 1) for o in options)
        bad = [int(x) for x in fields.get("bad", "").split(",") if x]
        disks.append(Disk(fields.get("name", f"{kind}{i}"), kind, image, serial=fields.get("serial"),
                          model=fields.get("model"), sector_bytes=int(fields.get("sector", 512)), bad_sectors=bad))
    try:
        kernel = prepare(os.path.abspath(args.cache))
    except Unavailable as e:
        print(f"run.sh: {e}", file=sys.stderr)
        return SKIP
    workdir = args.workdir or tempfile.mkdtemp(prefix="vm.")
    try:
        guest = Guest(kernel, disks, workdir, timeout=args.timeout)
        print(f"run.sh: QMP socket {guest.qmp_path}, console {guest.console}", file=sys.stderr)
        result = guest.run(" ".join(command))
        sys.stdout.write(result.output)
        if args.reads:
            with open(args.reads, "w") as f:
                f.writelines(f"{name} {offset} {size}\n" for name, offset, size in guest.read_log())
        print(f"run.sh: exit {result.status} after {result.seconds:.1f} s", file=sys.stderr)
        return result.status
    except VmError as e:
        print(f"run.sh: {e}", file=sys.stderr)
        return 1
    finally:
        if not args.workdir:
            shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
