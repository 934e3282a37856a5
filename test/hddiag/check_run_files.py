#!/usr/bin/python3
"""hddiag's --report and --metrics files, read by real parsers: the metrics by
the OpenMetrics parser of python3-prometheus-client, the page by an XML parser
(it must be well-formed). Their figures must agree with the --json document
of the same run.

    check_run_files.py HDDIAG VERSION
"""
import json
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

from prometheus_client.openmetrics.parser import text_string_to_metric_families

SVG = "{http://www.w3.org/2000/svg}svg"

# Disk 0: C: (partition 1) and D: (partition 2, sectors 10240-20239), 2.5 ms a
# read, a slow area, an unreadable sector in D:; partition 3 has no letter.
# Its model holds what label values must escape: quotes, a backslash, a newline.
MODEL = 'WDC "Blue" C:\\disk\nline 2'
SERIAL = "WD-0001"
MACHINE = {
    "disks": [{
        "bus": "sata", "model": MODEL, "serial": SERIAL, "wwn": "0x50014ee2b1c2d3e4",
        "geometry": {"cylinders": 8, "tracks_per_cylinder": 255, "sectors_per_track": 63},
        "partitions": [
            {"number": 1, "offset": 1048576, "length": 4194304, "letter": "C"},
            {"number": 2, "offset": 5242880, "length": 5120000, "letter": "D"},
            {"number": 3, "offset": 10362880, "length": 1048576},
        ],
        "unreadable": [18432],
        "latency": 2.5,
        "slow": [{"sectors": "5000-5100", "ms": 300}],
        # smartctl's output for it, beside the machine file.
        "smartctl": "disk0-smartctl.json",
    }]
}
SMARTCTL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "smartctl", "ata-pending.json")
HEALTH_FAMILIES = {"hddiag_smart_status", "hddiag_smart_verdict", "hddiag_smart_attribute_raw",
                   "hddiag_smart_attribute_normalized", "hddiag_disk_temperature_celsius",
                   "hddiag_disk_power_on_hours", "hddiag_smart_read_timestamp_seconds"}


def fail(message):
    print("check_run_files: " + message, file=sys.stderr)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)


def main():
    hddiag, version = sys.argv[1], sys.argv[2]
    out = subprocess.run([hddiag, "--version"], capture_output=True, text=True, check=True).stdout
    check(out == "hddiag %s\n" % version, "--version printed %r" % out)

    with tempfile.TemporaryDirectory() as folder:
        machine = os.path.join(folder, "machine.json")
        report = os.path.join(folder, "report.html")
        metrics = os.path.join(folder, "hddiag.prom")
        with open(machine, "w") as f:
            json.dump(MACHINE, f)
        with open(SMARTCTL) as src, open(os.path.join(folder, "disk0-smartctl.json"), "w") as dst:
            dst.write(src.read())
        health_file = os.path.join(folder, "hddiag-health.prom")
        run = subprocess.run([hddiag, "--machine", machine, "--json", "run", "0-1", "0-2", "0-3",
                              "--tests", "linear,surface", "--report", report, "--metrics", metrics],
                             capture_output=True, text=True)
        check(run.returncode == 1, "exit status %d: %s" % (run.returncode, run.stderr))
        doc = json.loads(run.stdout)
        left = sorted(set(os.listdir(folder)) - {"machine.json", "disk0-smartctl.json", "report.html",
                                                    "hddiag.prom", "hddiag-health.prom"})
        check(not left, "temporary files left: %s" % left)

        # ---- metrics --------------------------------------------------------
        with open(metrics) as f:
            families = {family.name: family for family in text_string_to_metric_families(f.read())}
        for name, kind in [("hddiag_test_result_code", "gauge"), ("hddiag_test_passed", "gauge"),
                           ("hddiag_test_reads", "gauge"), ("hddiag_test_failed_reads", "gauge"),
                           ("hddiag_test_duration_seconds", "gauge"),
                           ("hddiag_test_read_latency_seconds", "histogram"), ("hddiag_run_passed", "gauge"),
                           ("hddiag_disk_info", "gauge"), ("hddiag_run_tests", "gauge"),
                           ("hddiag_disk_tested", "gauge"), ("hddiag_disk_slow_reads", "gauge"),
                           ("hddiag_run_slow_read_seconds", "gauge"),
                           ("hddiag_run_end_timestamp_seconds", "gauge")]:
            check(name in families and families[name].type == kind, "no %s %s" % (kind, name))
        check(families["hddiag_run_passed"].samples[0].value == 0, "the run did not pass")
        check(families["hddiag_run_end_timestamp_seconds"].samples[0].value > 1.7e9, "no end time")

        # What the run did to each disk, as --json has it.
        check(families["hddiag_run_tests"].samples[0].value == doc["tests_run"], "hddiag_run_tests")
        check(families["hddiag_run_slow_read_seconds"].samples[0].value * 1000 == doc["slow_read_ms"],
              "hddiag_run_slow_read_seconds")
        for name, key in [("hddiag_disk_tested", "tested"), ("hddiag_disk_slow_reads", "slow_reads")]:
            got = {s.labels["disk"]: s.value for s in families[name].samples}
            want = {str(d["disk"]): float(d[key]) for d in doc["per_disk"]}
            check(got == want, "%s: %s, --json: %s" % (name, got, want))

        # The identity, read back exactly by the parser, as --json has it.
        identity = {"disk": "0", "device": "PhysicalDrive0", "model": MODEL, "serial": SERIAL,
                    "wwn": "0x50014ee2b1c2d3e4"}
        check([s.labels for s in families["hddiag_disk_info"].samples] == [identity],
              "hddiag_disk_info: %s" % families["hddiag_disk_info"].samples)
        disk = doc["disks"][0]
        check({k: str(disk[k]) for k in identity} == identity, "--json disks: %s" % disk)
        for family in families.values():
            for s in family.samples:
                if s.name.startswith("hddiag_test_"):
                    check(s.labels["device"] == "PhysicalDrive0" and s.labels["serial"] == SERIAL,
                          "no identity on %s" % (s,))

        def series(name, suffix=""):
            found = {}
            for s in families[name].samples:
                if s.name == name + suffix:
                    key = (s.labels["disk"], s.labels["partition"], s.labels["test"])
                    found.setdefault(key, []).append(s)
            return found

        codes = series("hddiag_test_result_code")
        buckets = series("hddiag_test_read_latency_seconds", "_bucket")
        counts = series("hddiag_test_read_latency_seconds", "_count")
        check(len(codes) == 6, "result codes for %s" % sorted(codes))
        bounds = ["0.005", "0.02", "0.05", "0.15", "0.5", "+Inf"]
        classes = ["lt_5ms", "lt_20ms", "lt_50ms", "lt_150ms", "lt_500ms", "ge_500ms"]
        for result in doc["results"]:
            disk, partition = result["selector"].split("-")
            key = (disk, partition, result["test"])
            code = int(result["code"], 16)
            check(codes[key][0].value == (code - (1 << 32) if code >= 1 << 31 else code), "code of %s" % (key,))
            latency = result["latency"]
            check(series("hddiag_test_reads")[key][0].value == latency["reads"], "reads of %s" % (key,))
            check(series("hddiag_test_failed_reads")[key][0].value == latency["failed_reads"],
                  "failed reads of %s" % (key,))
            cumulative = 0
            for bound, name, sample in zip(bounds, classes, buckets[key]):
                cumulative += latency["classes"][name]
                check(sample.labels["le"] == bound and sample.value == cumulative,
                      "bucket %s of %s: %s" % (bound, key, sample))
            check(counts[key][0].value == latency["reads"] - latency["failed_reads"], "count of %s" % (key,))

        # ---- the health file beside them: only its own series ----------------
        check(not any(name in families for name in HEALTH_FAMILIES), "health series among the tests'")
        with open(health_file) as f:
            health = {family.name: family for family in text_string_to_metric_families(f.read())}
        check(set(health) == HEALTH_FAMILIES, "health families: %s" % sorted(health))
        want = {"disk": "0", "device": "PhysicalDrive0", "serial": SERIAL}
        verdicts = {}
        for family in health.values():
            for s in family.samples:
                check({k: s.labels[k] for k in want} == want, "no identity on %s" % (s,))
                if s.name == "hddiag_smart_verdict":
                    verdicts[s.labels["verdict"]] = s.value
        entry = doc["health"][0]
        check(entry["verdict"] == "warning" and verdicts == {"good": 0, "warning": 1, "failing": 0},
              "verdict: %s, %s" % (entry["verdict"], verdicts))
        raw = {s.labels["id"]: s.value for s in health["hddiag_smart_attribute_raw"].samples}
        check(raw == {str(a["id"]): a["raw"] for a in entry["smart"]["attributes"]
                      if a["id"] in (5, 187, 188, 197, 198)}, "raw values: %s" % raw)
        stamp = health["hddiag_smart_read_timestamp_seconds"].samples[0].value
        check(abs(stamp - entry["read_time"]) < 0.01, "read time %s, JSON %s" % (stamp, entry["read_time"]))

        # ---- the page -------------------------------------------------------
        page = ET.parse(report).getroot()
        sections = [h2 for h2 in page.iter("h2")]
        charts = list(page.iter(SVG))
        timed = [r for r in doc["results"] if r["latency"]["reads"] > 0]
        check(len(charts) == 2 * len(timed), "%d charts for %d timed tests" % (len(charts), len(timed)))
        check(len(sections) == 2 + len(doc["results"]), "%d headings" % len(sections))
        check(sections[1].text == "Health", "the health section is not second: %s" % sections[1].text)
        text = "".join(page.itertext())
        check("slowest area: sectors" in text, "no slowest area on the page")
        check("18432" in text, "the failed read is not on the page")
        # (the page shows control characters escaped)
        check(MODEL.replace("\n", "\\n") in text and SERIAL in text, "the disk's identity is not on the page")
        check("Current_Pending_Sector: raw value 8" in text, "the health reason is not on the page")
    print("check_run_files: metrics and page agree with the JSON of the run")


if __name__ == "__main__":
    main()
