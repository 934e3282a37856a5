#!/usr/bin/env python3
"""hddiag's live view in a real terminal: tmux runs a paced linear test over a
simulated disk with a slow area, and capture-pane must show the map, the
legend and the slow area in its own glyph; after resize-window to 60 columns
no line is wider than the window; with NO_COLOR=1 the pane holds no colour.
Standard error to a file gets no escape byte. Every wait polls against a
deadline.

    live_view_tmux.py HDDIAG [--show]   (--show prints the captures)
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import time

SECTORS_PER_READ = 8192  # the linear test's step
READS = 3000
SLOW_FIRST, SLOW_LAST = 2000000, 2400000  # about 50 reads of 40 ms each, early in the run
DEADLINE_S = 30

MACHINE = {
    "disks": [{
        "bus": "sata",
        "geometry": {"cylinders": 1600, "tracks_per_cylinder": 255, "sectors_per_track": 63},
        "partitions": [{"number": 1, "offset": 1048576, "length": READS * SECTORS_PER_READ * 512, "letter": "C"}],
        "latency": 1.0,
        "slow": [{"sectors": f"{SLOW_FIRST}-{SLOW_LAST}", "ms": 40}],
    }],
}
MAP_ROW = re.compile(r"^[.\-=+*%#X]{20,}$")
SGR = re.compile(r"\x1b\[[0-9;]*m")


def main():
    hddiag = os.path.abspath(sys.argv[1])
    show = "--show" in sys.argv[2:]
    failures = []
    with tempfile.TemporaryDirectory() as work:
        machine = os.path.join(work, "slow.json")
        with open(machine, "w") as f:
            json.dump(MACHINE, f)

        # Standard error to a file: plain lines, no escape byte.
        err_path = os.path.join(work, "err.txt")
        with open(err_path, "wb") as err:
            subprocess.run([hddiag, "--machine", machine, "test", "linear", "0-1"], stdout=subprocess.DEVNULL,
                           stderr=err, check=True)
        text = open(err_path, "rb").read()
        if b"\x1b" in text or b"linear 0-1 100%" not in text:
            failures.append(f"standard error to a file: {text!r}")

        socket = f"hddiag-view-{os.getpid()}"

        def tmux(*args):
            return subprocess.run(["tmux", "-L", socket, "-f", "/dev/null", *args], check=True,
                                  capture_output=True, text=True).stdout

        def capture(target, *flags):
            return tmux("capture-pane", "-p", *flags, "-t", target)

        run = f"{hddiag} --machine {machine} --pace test linear 0-1; sleep 60"
        tmux("new-session", "-d", "-s", "view", "-x", "100", "-y", "30", f"env -u NO_COLOR sh -c '{run}'")
        try:
            tmux("new-window", "-d", "-t", "view:1", f"env NO_COLOR=1 sh -c '{run}'")
            end = time.monotonic() + DEADLINE_S

            def wait_for(what, target, flags, check):
                while time.monotonic() < end:
                    screen = capture(target, *flags)
                    if check(screen):
                        return screen
                    time.sleep(0.05)
                failures.append(f"{what}: not seen before the deadline; the pane:\n{capture(target, *flags)}")
                return None

            def map_rows(screen):
                return [line for line in screen.splitlines() if MAP_ROW.match(line)]

            # The map, the legend, and the slow area ('+', 20-50 ms) among fast reads ('-').
            def slow_area_drawn(screen):
                rows = "".join(map_rows(screen))
                return "+" in rows and "-" in rows and "# >= 500 ms:" in screen and "reads/s" in screen

            screen = wait_for("map with the slow area", "view:0", [], slow_area_drawn)
            if screen and show:
                print(f"--- 100 columns, over the slow area:\n{screen}")
            coloured = capture("view:0", "-e")
            if not SGR.search(coloured):
                failures.append("no colour in the pane without NO_COLOR")

            # Narrower: the next frames fit the new width, nothing wider remains.
            tmux("resize-window", "-t", "view:0", "-x", "60")

            def fits(screen):
                rows = map_rows(screen)
                return rows and all(len(r) == 59 for r in rows) and all(len(l) <= 60 for l in screen.splitlines())

            if wait_for("a frame at 60 columns", "view:0", ["-J"], fits):
                for _ in range(3):
                    time.sleep(0.15)
                    screen = capture("view:0", "-J")
                    if "passed" not in screen and not fits(screen):
                        failures.append(f"a line wider than 60 columns after the resize:\n{screen}")
                        break
                if show:
                    print(f"--- after resize-window -x 60:\n{screen}")

            plain = wait_for("the map with NO_COLOR=1", "view:1", ["-e"], lambda s: "# >= 500 ms:" in s)
            if plain is not None and "\x1b" in plain:
                failures.append(f"colour with NO_COLOR=1: {plain!r}")

            done = wait_for("the test's end", "view:0", ["-S", "-"], lambda s: "linear 0-1: passed" in s)
            if done and show:
                print(f"--- at the end:\n{done}")
        finally:
            subprocess.run(["tmux", "-L", socket, "kill-server"], capture_output=True)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
