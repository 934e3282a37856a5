#!/usr/bin/python3
"""hddiag never writes over what it reads, and never through a planted link:
--report and --metrics aimed at the disk image (by name, through a symlink,
through a hard link), at a device, at each other, through a link planted at
a temporary name, and into a folder that does not exist. Each case checks
the exit status, the message, that nothing was read when the outputs were
refused (--trace has no `read` line), the image's hash and the content of
every planted file afterwards. Then a --json run on an image whose name is
not UTF-8 must parse, and the page and metrics of a run on a hostile
selector must satisfy an XML and an OpenMetrics parser.

    check_output_files.py HDDIAG
"""
import hashlib
import json
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

from prometheus_client.openmetrics.parser import text_string_to_metric_families

HDDIAG = None


def fail(message):
    print("check_output_files: " + message, file=sys.stderr)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def hddiag(*args):
    return subprocess.run([HDDIAG] + [os.fsencode(a) if isinstance(a, str) else a for a in args],
                          capture_output=True)


def make_image(path):
    with open(path, "wb") as f:
        f.truncate(8 << 20)
    subprocess.run(["sfdisk", "-q", "--no-reread", "--no-tell-kernel", path],
                   input=b"label: dos\nstart=2048, size=4096, type=83\n", check=True, capture_output=True)


def refused_cases(folder, image, planted):
    link = os.path.join(folder, "link.html")
    os.symlink(image, link)
    hard = os.path.join(folder, "hard.html")
    os.link(image, hard)
    node = os.path.join(folder, "node")
    if os.geteuid() == 0:
        os.mknod(node, 0o600 | 0o060000, os.makedev(7, 200))  # a block device node, as --disk and --report
    out = os.path.join(folder, "out")
    return [
        ("the image as --report", ["--disk", image, "--report", image], "which this run reads"),
        ("the image as --metrics", ["--disk", image, "--metrics", image], "which this run reads"),
        ("a symlink to the image", ["--disk", image, "--report", link], "which this run reads"),
        ("a hard link to the image", ["--disk", image, "--metrics", hard], "which this run reads"),
        ("a character device", ["--disk", image, "--report", "/dev/null"], "is a device"),
        ("a block device node", ["--disk", image, "--report", node], "is a device") if os.geteuid() == 0 else None,
        ("a planted file as both outputs", ["--disk", image, "--report", planted, "--metrics", planted], "same file"),
        ("one new file as both outputs", ["--disk", image, "--report", out, "--metrics", folder + "/./out"],
         "same file"),
        ("a missing folder", ["--disk", image, "--report", folder + "/no-such-folder/r.html"], "does not exist"),
        ("a path under a regular file", ["--disk", image, "--metrics", image + "/r.prom"], "is not a folder"),
        ("a folder", ["--disk", image, "--report", folder], "is a folder"),
    ]


def main():
    global HDDIAG
    HDDIAG = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        image = os.path.join(folder, "victim.img")
        make_image(image)
        digest = sha256(image)
        planted = os.path.join(folder, "planted.txt")
        with open(planted, "w") as f:
            f.write("planted\n")

        for case in refused_cases(folder, image, planted):
            if case is None:
                continue
            what, args, message = case
            run = hddiag("--trace", *args, "run")
            err = run.stderr.decode(errors="replace")
            check(run.returncode == 2, "%s: exit status %d: %s" % (what, run.returncode, err))
            check(message in err, "%s: the message says %r" % (what, err))
            check(b"read " not in run.stdout and run.stdout == b"", "%s: something was read" % what)
            check(sha256(image) == digest, "%s: the image changed" % what)
            with open(planted) as f:
                check(f.read() == "planted\n", "%s: the planted file changed" % what)
        check(not os.path.exists(os.path.join(folder, "out")), "a refused output was made")

        # The backing file of a loop device this run reads (root only).
        loop = subprocess.run(["losetup", "-r", "-f", "--show", image], capture_output=True, text=True)
        if os.geteuid() == 0 and loop.returncode == 0:
            device = loop.stdout.strip()
            try:
                run = hddiag("--trace", "--disk", device, "--metrics", image, "run")
                check(run.returncode == 2 and b"which this run reads" in run.stderr and run.stdout == b"",
                      "a loop device's backing file: %d %r" % (run.returncode, run.stderr))
            finally:
                subprocess.run(["losetup", "-d", device], check=False)
            check(sha256(image) == digest, "the loop device's backing file changed")

        # A link planted at the old temporary name is never followed, and an
        # image named like the old temporary file is never touched.
        report = os.path.join(folder, "r.html")
        os.symlink(planted, report + ".tmp")
        os.rename(image, report + ".tmp.img")
        image = report + ".tmp.img"
        run = hddiag("--disk", image, "--report", report, "--metrics", os.path.join(folder, "m.prom"), "info")
        check(run.returncode == 0, "planted link: exit status %d: %s" % (run.returncode, run.stderr))
        check(os.path.islink(report + ".tmp") and open(planted).read() == "planted\n", "the planted link was used")
        check(sha256(image) == digest, "the image changed")
        with open(report) as f:
            check(f.read().startswith("<!DOCTYPE html>"), "no page")

        # An output that is a symlink to an allowed file is followed: the
        # link stays, its target gets the page.
        target = os.path.join(folder, "target.html")
        with open(target, "w") as f:
            f.write("old\n")
        os.chmod(target, 0o640)
        alias = os.path.join(folder, "alias.html")
        os.symlink(target, alias)
        run = hddiag("--disk", image, "--report", alias, "info")
        check(run.returncode == 0, "link to a file: exit status %d: %s" % (run.returncode, run.stderr))
        check(os.path.islink(alias), "the link was replaced")
        with open(target) as f:
            check(f.read().startswith("<!DOCTYPE html>"), "the link's target was not written")
        check(os.stat(target).st_mode & 0o777 == 0o640, "the target lost its permissions")
        check(sha256(image) == digest, "the image changed")

        # Nothing is left under a temporary name.
        expected = {"victim.img", "planted.txt", "link.html", "hard.html", "node", "r.html", "r.html.tmp",
                    "r.html.tmp.img", "m.prom", "m-health.prom", "target.html", "alias.html"}
        left = set(os.listdir(folder)) - expected
        check(not left, "files left behind: %s" % sorted(left))

        # A name that is not UTF-8 gives JSON that parses.
        bad = os.fsencode(folder) + b"/bad\xff\x1b.img"
        os.rename(image, bad)
        run = hddiag(b"--disk", bad, b"--json", b"info")
        check(run.returncode == 0, "--json on a bad name: exit status %d: %s" % (run.returncode, run.stderr))
        doc = json.loads(run.stdout.decode("utf-8"))
        check(doc["disks"][0]["device"].endswith("/bad\ufffd\x1b.img"), "device %r" % doc["disks"][0]["device"])
        table = hddiag(b"--disk", bad, b"info")
        check(b"/bad\\xff\\x1b.img" in table.stdout and b"\x1b" not in table.stdout,
              "the table shows %r" % table.stdout)

        # A hostile selector reaches the page and the metrics intact but escaped.
        page = os.path.join(folder, "hostile.html")
        prom = os.path.join(folder, "hostile.prom")
        selector = b'0-1\xff"\\\n<script>\xf0\x9f\x92\xbe'
        run = hddiag(b"--machine", b"builtin", b"--report", page.encode(), b"--metrics", prom.encode(), b"test",
                     b"linear", selector)
        check(run.returncode in (0, 1), "hostile selector: exit status %d: %s" % (run.returncode, run.stderr))
        text = "".join(ET.parse(page).getroot().itertext())
        check("<script>" in text and "\\xff" in text and "\U0001f4be" in text, "the page shows %r" % text)
        with open(prom, encoding="utf-8") as f:
            families = {family.name: family for family in text_string_to_metric_families(f.read())}
        labels = families["hddiag_test_passed"].samples[0].labels
        check(labels["partition"] == '1\ufffd"\\\n<script>\U0001f4be', "partition label %r" % labels)
    print("check_output_files: outputs never alias an input, and every name is escaped")


if __name__ == "__main__":
    main()
