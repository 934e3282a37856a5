#!/usr/bin/env python3
"""The --report pages as a browser shows them.

    pages_render_test.py HDDIAG [--screenshots DIR]

Makes the run, scan, health and check pages on the built-in machine, loads
each in headless Chromium, and checks that nothing reached the browser's
console and that the rendered text names the disk, the date the run ended
and the verdict. A page with a deliberate script error goes through the same
check first: a Chromium that stops reporting console messages fails the test
instead of passing every page. With --screenshots, also saves DIR/NAME.png of
each page at 1280x2000.

Exits 77, which CTest counts as skipped, when chromium is not installed.
"""
import concurrent.futures
import datetime
import html
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
# The built-in machine's disk 2 is the failing one: every page shows it but run's,
# whose tests take only lettered partitions (disk 0's).
PAGES = [
    ("run", ["run", "--tests", "linear"], "PhysicalDrive0", "2 tests: 2 passed"),
    ("scan", ["scan", "2"], "PhysicalDrive2", "24 unreadable sectors"),
    ("health", ["health"], "PhysicalDrive2", "failing"),
    ("check", ["check", "2"], "PhysicalDrive2", "failing"),
]
DATE = re.compile(r"ended (\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) UTC")
CONSOLE = re.compile(r":CONSOLE\b.*")
BROKEN_PAGE = ("<!DOCTYPE html>\n<html><head><title>broken</title></head><body><p>broken</p>"
               "<script>console.error('deliberate'); notDefinedAnywhere();</script></body></html>\n")
# No network, no services, no first-run work: the page stands on its own.
CHROMIUM = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync"]


def chromium(browser, work, name, page, *how):
    """Chromium's exit status, standard output and console lines for the page."""
    profile = tempfile.mkdtemp(prefix="profile.", dir=work)
    done = subprocess.run([browser] + CHROMIUM + [f"--user-data-dir={profile}", "--enable-logging=stderr", "--v=0"]
                          + list(how) + ["file://" + page],
                          capture_output=True, text=True, errors="replace", timeout=90)
    return done.returncode, done.stdout, CONSOLE.findall(done.stderr)


def rendered_text(dom):
    dom = re.sub(r"<(style|script)\b.*?</\1>", " ", dom, flags=re.S)
    return re.sub(r"\s+", " ", html.unescape(re.sub(r"<[^>]+>", " ", dom)))


def check_page(browser, work, name, page, disk, verdict, started):
    """The faults found in one page, as lines."""
    code, dom, console = chromium(browser, work, name, page, "--dump-dom")
    faults = [f"{name}: chromium exited {code}"] if code != 0 else []
    faults += [f"{name}: console: {line}" for line in console]
    text = rendered_text(dom)
    for want in (disk, verdict):
        if want not in text:
            faults.append(f"{name}: the rendered text lacks {want!r}")
    date = DATE.search(text)
    if date is None:
        faults.append(f"{name}: the rendered text has no date ('ended YYYY-MM-DD HH:MM:SS UTC')")
    else:
        ended = datetime.datetime.strptime(date.group(1), "%Y-%m-%d %H:%M:%S").replace(tzinfo=datetime.timezone.utc)
        if not started - 1 <= ended.timestamp() <= time.time() + 1:
            faults.append(f"{name}: the date {date.group(0)!r} is not when the run ended")
    return faults


def main():
    args = sys.argv[1:]
    shots = None
    if "--screenshots" in args:
        at = args.index("--screenshots")
        shots = os.path.abspath(args[at + 1])
        del args[at:at + 2]
    if len(args) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    hddiag = os.path.abspath(args[0])
    browser = shutil.which("chromium")
    if browser is None:
        print("SKIPPED: chromium is not installed (scripts/install-deps.sh installs it)")
        return SKIPPED
    work = tempfile.mkdtemp(prefix="hddiag_pages.")
    try:
        started = time.time()
        pages = []
        for name, argv, disk, verdict in PAGES:
            page = os.path.join(work, name + ".html")
            done = subprocess.run([hddiag, "--machine", "builtin", "--view=none", "--report", page] + argv,
                                  capture_output=True, text=True, timeout=120)
            if not os.path.exists(page):
                print(f"{name}: hddiag wrote no page (exit {done.returncode}): {done.stderr}")
                return 1
            pages.append((name, page, disk, verdict))
        broken = os.path.join(work, "broken.html")
        with open(broken, "w") as f:
            f.write(BROKEN_PAGE)

        # Each Chromium spends most of its start waiting: all of them at once.
        with concurrent.futures.ThreadPoolExecutor(max_workers=len(pages) + 1) as pool:
            control = pool.submit(chromium, browser, work, "broken", broken, "--dump-dom")
            checks = [pool.submit(check_page, browser, work, name, page, disk, verdict, started)
                      for name, page, disk, verdict in pages]
            faults = []
            console = control.result()[2]
            if not any("deliberate" in line for line in console) or not any("notDefinedAnywhere" in line
                                                                            for line in console):
                faults.append("chromium did not report the broken page's console error and exception, "
                              f"so no page's console can be checked: {console}")
            for check in checks:
                faults += check.result()
        if shots is not None:
            os.makedirs(shots, exist_ok=True)
            for name, page, _, _ in pages:
                png = os.path.join(shots, name + ".png")
                chromium(browser, work, name, page, f"--screenshot={png}", "--window-size=1280,2000")
                print(f"{name}: {png}")
        for fault in faults:
            print(fault)
        if not faults:
            print(f"{len(pages)} pages rendered without console messages, each with its disk, date and verdict")
        return 1 if faults else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
