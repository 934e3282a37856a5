#!/usr/bin/env python3
"""Every command's outputs, byte for byte, against the saved ones.

    outputs_test.py HDDIAG SOURCE_DIR [--update]

Runs a fixed set of hddiag commands (info, test, run, scan, health and check
on the built-in and troubled machines and on a disk image; plain, --json,
--trace, --report and --metrics) and compares what each printed, its exit
status and every file it wrote with expected/NAME.out beside this script.
Before comparing, wall-clock times are replaced by <time> and the pages'
style sheets by <style>, the only parts that may differ between two runs or
between two ways of writing the same page.

A change of output on purpose regenerates the files: --update writes them
anew, and the diff goes into the same commit.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
EXPECTED = os.path.join(HERE, "expected")
IMAGE_BYTES = 64 << 20
IMAGE_PARTS = "label: gpt\nstart=2048, size=61440\nstart=63488, size=63488\n"

TROUBLED = "test/machines/troubled.json"
# (name, arguments before the command, the command and its arguments, files it writes)
MACHINES = [("builtin", ["--machine", "builtin"]),
            ("troubled", ["--machine", TROUBLED]),
            ("image", ["--disk", "disk.img"])]
COMMANDS = {
    "builtin": [("test", ["test", "surface", "0-1"]), ("scan", ["scan", "1"]),
                ("check", ["check", "2", "--self-test", "long"])],
    "troubled": [("test", ["test", "linear", "0-1"]), ("scan", ["scan", "0"]), ("check", ["check", "0"])],
    "image": [("test", ["test", "funnel", "0-1"]), ("scan", ["scan", "0"]), ("check", ["check", "0"])],
}


def cases():
    """Every (name, argv, files) of the comparison."""
    out = []
    for machine, where in MACHINES:
        own = dict(COMMANDS[machine])
        for command, argv in [("info", ["info"]), ("test", own["test"]), ("run", ["--seed", "7", "run"]),
                              ("scan", own["scan"]), ("health", ["health"]), ("check", own["check"])]:
            base = where + ["--view=none"]
            out.append((f"{machine}-{command}", base + argv, []))
            out.append((f"{machine}-{command}-json", base + ["--json"] + argv, []))
            # An image's pages chart and colour what its reads took: compared on the machines only.
            page = [] if machine == "image" else ["page.html"]
            out.append((f"{machine}-{command}-files", base + ["--report", "page.html", "--metrics", "m.prom"] + argv,
                        page + ["m.prom", "m-health.prom"]))
            if command in ("test", "run") and machine != "builtin":  # the built-in's traces run to 80 MB
                out.append((f"{machine}-{command}-trace", base + ["--trace"] + argv, []))
            if command in ("scan", "check"):
                out.append((f"{machine}-{command}-map", base + argv + ["--map", "disk.map"], ["disk.map"]))
    return out


# A disk image's reads take what the host's page cache gives them: its
# measured figures (every decimal number) are not compared.
# So are which reads were slowest and how many fell in each latency class.
MEASURED = re.compile(r"\d+\.\d+(?:e-?\d+)?(?: (?:us|ms|s)\b)?"
                      r"|(?<=ms: )\d+|(?<=ms\"\: )\d+|(?<=\"sector\": )\d+|(?<=sectors )\d+-\d+|(?<=sector )\d+"
                      r"|(?<=ms\"\} )\d+|(?<=le=\"<measured>\"\} )\d+")
TIME = re.compile(r"(?<![\d.])1[6-9]\d{8}(?:\.\d+)?\b|\b\d{4}-\d\d-\d\d[T ]\d\d:\d\d(?::\d\d(?:\.\d+)?)?(?:Z|[+-]\d\d:?\d\d| UTC)?")
STYLE = re.compile(r"<style>.*?</style>", re.S)


def normal(text, measured):
    text = STYLE.sub("<style>", TIME.sub("<time>", text))
    if measured:
        text = MEASURED.sub("<measured>", MEASURED.sub("<measured>", text))
    return text


def run_case(hddiag, work, name, argv, files):
    for f in files:
        path = os.path.join(work, f)
        if os.path.exists(path):
            os.remove(path)
    done = subprocess.run([hddiag] + argv, cwd=work, capture_output=True, text=True, errors="replace", timeout=300,
                          env=dict(os.environ, NO_COLOR="1", TZ="UTC"))
    parts = [f"$ hddiag {' '.join(argv)}\n", f"--- exit {done.returncode}\n",
             "--- stdout\n", done.stdout, "--- stderr\n", done.stderr]
    for f in files:
        path = os.path.join(work, f)
        if os.path.exists(path):
            with open(path, errors="replace") as fh:
                parts += [f"--- {f}\n", fh.read()]
            os.remove(path)
    return normal("".join(parts), name.startswith("image-"))


def main():
    args = [a for a in sys.argv[1:] if a != "--update"]
    update = "--update" in sys.argv[1:]
    if len(args) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    hddiag, source = os.path.abspath(args[0]), os.path.abspath(args[1])
    work = tempfile.mkdtemp(prefix="hddiag_outputs.")
    try:
        os.symlink(os.path.join(source, "test"), os.path.join(work, "test"))
        image = os.path.join(work, "disk.img")
        with open(image, "wb") as f:
            f.truncate(IMAGE_BYTES)
        r = subprocess.run(["sfdisk", "-q", "--no-reread", "--no-tell-kernel", image], input=IMAGE_PARTS,
                           capture_output=True, text=True)
        if r.returncode != 0:
            print(f"sfdisk: {r.stderr}")
            return 1
        if update:
            os.makedirs(EXPECTED, exist_ok=True)
        differ = []
        names = set()
        for name, argv, files in cases():
            names.add(name + ".out")
            got = run_case(hddiag, work, name, argv, files)
            path = os.path.join(EXPECTED, name + ".out")
            if update:
                with open(path, "w") as f:
                    f.write(got)
                continue
            want = open(path).read() if os.path.exists(path) else None
            if got != want:
                differ.append(name)
                with open(os.path.join(work, name + ".got"), "w") as f:
                    f.write(got)
                if want is None:
                    print(f"{name}: no expected/{name}.out")
                else:
                    diff = subprocess.run(["diff", "-u", path, os.path.join(work, name + ".got")],
                                          capture_output=True, text=True).stdout
                    print(f"{name}: differs\n{diff[:4000]}")
        if update:
            for stale in set(os.listdir(EXPECTED)) - names:
                os.remove(os.path.join(EXPECTED, stale))
            print(f"outputs: wrote {len(names)} files to {EXPECTED}")
            return 0
        stale = sorted(set(os.listdir(EXPECTED)) - names)
        if stale:
            print(f"expected/ holds files of no command: {stale}")
        print(f"outputs: {len(names)} commands, {len(differ)} differ")
        return 1 if differ or stale else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
