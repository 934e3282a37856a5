#!/usr/bin/python3
"""The metrics chain with the real programs: hddiag writes its metrics on a
machine with an unreadable sector; Debian's node_exporter serves them through
its textfile collector; Prometheus scrapes it every second with the alert
rules and must show the read-error alert with the disk's device and serial.

    fleet_e2e.py HDDIAG RULES_FILE

Every program listens on 127.0.0.1 on a port of its own and works in a
temporary folder of its own, so that several runs (the native and the ASan
build) can go at once. Prints the scraped hddiag series and the alert.
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

from prometheus_client.parser import text_string_to_metric_families

MODEL = 'SIM "Fleet" 500\\GB'
SERIAL = "FLEET-0001"
WWN = "0x5000000000000001"
MACHINE = {
    "disks": [{
        "bus": "sata", "model": MODEL, "serial": SERIAL, "wwn": WWN,
        "geometry": {"cylinders": 8, "tracks_per_cylinder": 255, "sectors_per_track": 63},
        "partitions": [{"number": 1, "offset": 1048576, "length": 4194304, "letter": "C"}],
        "unreadable": [8192],  # read by every test
    }]
}
DEADLINE_S = 40


def fail(message):
    print("fleet_e2e: " + message, file=sys.stderr)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def get(url):
    with urllib.request.urlopen(url, timeout=2) as response:
        return response.status, response.read().decode()


def poll(what, process, log, attempt):
    """Calls attempt() until it returns something true, while the process runs."""
    end = time.monotonic() + DEADLINE_S
    last = None
    while time.monotonic() < end:
        if process.poll() is not None:
            fail("%s ended with status %d:\n%s" % (what, process.returncode, read(log)))
        try:
            result = attempt()
            if result:
                return result
        except OSError as error:  # not listening yet
            last = error
        time.sleep(0.2)
    fail("%s: gave up after %d s (%s):\n%s" % (what, DEADLINE_S, last, read(log)))


def read(path):
    with open(path, errors="replace") as f:
        return f.read()


def start(argv, log):
    with open(log, "w") as out:
        return subprocess.Popen(argv, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)


def stop(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def main():
    hddiag, rules = sys.argv[1], os.path.abspath(sys.argv[2])
    exporter = shutil.which("prometheus-node-exporter")
    prometheus = shutil.which("prometheus")
    check(exporter and prometheus, "prometheus-node-exporter and prometheus are needed (scripts/install-deps.sh)")

    processes = []
    with tempfile.TemporaryDirectory(prefix="hddiag-fleet-") as folder:
        try:
            run_end_to_end(folder, hddiag, rules, exporter, prometheus, processes)
        finally:
            for process in processes:
                stop(process)


def run_end_to_end(folder, hddiag, rules, exporter, prometheus, processes):
    textfiles = os.path.join(folder, "textfile")
    os.mkdir(textfiles)
    machine = os.path.join(folder, "machine.json")
    with open(machine, "w") as f:
        json.dump(MACHINE, f)

    # 1. hddiag: the read error fails the run (exit status 1).
    run = subprocess.run([hddiag, "--machine", machine, "--metrics", os.path.join(textfiles, "hddiag.prom"), "run"],
                         capture_output=True, text=True)
    check(run.returncode == 1, "hddiag exit status %d: %s" % (run.returncode, run.stderr))

    # 2. node_exporter serves the file.
    exporter_port = free_port()
    exporter_log = os.path.join(folder, "node_exporter.log")
    processes.append(start([exporter, "--web.listen-address=127.0.0.1:%d" % exporter_port,
                            "--collector.disable-defaults", "--collector.textfile",
                            "--collector.textfile.directory=" + textfiles], exporter_log))
    scrape = poll("node_exporter", processes[-1], exporter_log,
                  lambda: get("http://127.0.0.1:%d/metrics" % exporter_port)[1])
    samples = [s for family in text_string_to_metric_families(scrape) for s in family.samples]
    check(any(s.name == "node_textfile_scrape_error" and s.value == 0 for s in samples),
          "node_textfile_scrape_error is not 0:\n" + scrape)
    ours = [s for s in samples if s.name.startswith("hddiag_")]
    info = [s for s in ours if s.name == "hddiag_disk_info"]
    check(len(info) == 1 and info[0].labels == {"disk": "0", "device": "PhysicalDrive0", "model": MODEL,
                                                 "serial": SERIAL, "wwn": WWN},
          "hddiag_disk_info: %s" % info)
    failed = [s for s in ours if s.name == "hddiag_test_failed_reads" and s.value > 0]
    check(failed and all(s.labels["device"] == "PhysicalDrive0" and s.labels["serial"] == SERIAL for s in failed),
          "no failed reads on PhysicalDrive0 with its serial: %s" % failed)
    for name in ["hddiag_test_passed", "hddiag_test_result_code", "hddiag_test_reads",
                 "hddiag_test_read_latency_seconds_bucket", "hddiag_run_end_timestamp_seconds"]:
        check(any(s.name == name for s in ours), "no %s in the scrape" % name)
    print("fleet_e2e: node_exporter serves %d hddiag samples, e.g.:" % len(ours))
    for line in scrape.splitlines():
        if line.startswith(("hddiag_disk_info", "hddiag_test_failed_reads", "hddiag_test_passed",
                            "node_textfile_scrape_error")):
            print("    " + line)

    # 3. Prometheus with the rules, scraping every second.
    prometheus_port = free_port()
    config = os.path.join(folder, "prometheus.yml")
    with open(config, "w") as f:
        f.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                "rule_files:\n  - %s\n"
                "scrape_configs:\n  - job_name: node\n    static_configs:\n      - targets: ['127.0.0.1:%d']\n"
                % (json.dumps(rules), exporter_port))
    prometheus_log = os.path.join(folder, "prometheus.log")
    processes.append(start([prometheus, "--config.file=" + config,
                            "--storage.tsdb.path=" + os.path.join(folder, "data"),
                            "--web.listen-address=127.0.0.1:%d" % prometheus_port], prometheus_log))
    base = "http://127.0.0.1:%d" % prometheus_port
    poll("prometheus", processes[-1], prometheus_log, lambda: get(base + "/-/ready")[0] == 200)

    def read_error_alert():
        alerts = json.loads(get(base + "/api/v1/alerts")[1])["data"]["alerts"]
        return [a for a in alerts if a["labels"].get("alertname") == "HddiagReadErrors"
                and a["state"] in ("pending", "firing")]

    alerts = poll("the read-error alert", processes[-1], prometheus_log, read_error_alert)
    labels = alerts[0]["labels"]
    check(labels.get("device") == "PhysicalDrive0" and labels.get("serial") == SERIAL,
          "the alert's labels: %s" % labels)
    check(SERIAL in alerts[0]["annotations"].get("summary", ""), "the summary: %s" % alerts[0]["annotations"])
    print("fleet_e2e: Prometheus reports:")
    print(json.dumps(alerts[0], indent=2))

    # node_exporter says nothing is wrong (it drops a file it cannot read
    # with a log line only); running as root is the one warning allowed.
    complaints = [line for line in read(exporter_log).splitlines()
                  if ("level=error" in line or "level=warn" in line) and "running as root" not in line]
    check(not complaints, "node_exporter complains:\n" + "\n".join(complaints))


if __name__ == "__main__":
    main()
