#!/usr/bin/env python3
"""The docs check over small fixtures: the good pages pass, and each bad
variant (fixtures/bad/<case>: the files that differ from fixtures/good, and
EXPECT, the message the check must give) makes it fail with that message.

    check_docs_test.py scripts/check-docs.py
"""
import contextlib
import importlib.util
import io
import os
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "fixtures")


def load(script):
    found = importlib.util.spec_from_file_location("check_docs", script)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def check(module, root):
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        status = module.main(["--root", root, "--hddiag", os.path.join(root, "fake-hddiag", "hddiag")])
    return status, out.getvalue()


def slugs(module):
    """GitHub's anchors, as the check makes them from headings."""
    cases = [
        ("Options", "options"),
        ("The front end: `hddiag`", "the-front-end-hddiag"),
        ("Many machines: the playbook", "many-machines-the-playbook"),
        ("Real disks: the Linux machine and the faulty medium", "real-disks-the-linux-machine-and-the-faulty-medium"),
        ("`--json` keys, and `fuzz_replay_*`", "--json-keys-and-fuzz_replay_"),
        ("See [the guide](x.md) **now**", "see-the-guide-now"),
        ("Größe in MiB", "größe-in-mib"),
    ]
    failures = []
    for heading, want in cases:
        got = module.github_slug(heading)
        if got != want:
            failures.append(f"slug of {heading!r}: {got!r}, want {want!r}")
    return failures


def json_keys(module):
    """The keys the JSON rule looks up: inside lists and nested objects too,
    each once, and never a value."""
    document = {"scans": [{"disk": 1, "slow_areas": [{"worst_ms": 2.5}]}, []],
                "totals": {"sectors_read": 8, "map": None},
                "passed": True, "note": "disk"}
    want = ["scans", "disk", "slow_areas", "worst_ms", "totals", "sectors_read", "map", "passed", "note"]
    found = {}
    module.json_keys(document, found)
    got = list(found)
    return [] if got == want else [f"json_keys: {got}, want {want}"]


def main():
    module = load(os.path.abspath(sys.argv[1]))
    failures = slugs(module) + json_keys(module)
    good = os.path.join(FIXTURES, "good")
    with tempfile.TemporaryDirectory(prefix="check-docs-test-") as scratch:
        status, output = check(module, good)
        if status != 0:
            failures.append(f"good: exit {status}, want 0\n{output}")
        bad = os.path.join(FIXTURES, "bad")
        for case in sorted(os.listdir(bad)):
            root = os.path.join(scratch, case)
            shutil.copytree(good, root, symlinks=True)
            shutil.copytree(os.path.join(bad, case), root, dirs_exist_ok=True,
                            ignore=shutil.ignore_patterns("EXPECT"))
            with open(os.path.join(bad, case, "EXPECT")) as f:
                expected = f.read().strip()
            status, output = check(module, root)
            if status != 1 or expected not in output:
                failures.append(f"{case}: exit {status}, want 1 with '{expected}'\n{output}")
            else:
                print(f"{case}: fails as it should")
    for failure in failures:
        print("FAILED " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
