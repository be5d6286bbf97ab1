"""The monitoring assets against a real gateway: the dashboard's JSON reads, and every series the
dashboard, the alert rules and the recording rules query is one a running gateway serves (or a
recording rule defines). The gateway runs against simulated projectors and a mosquitto broker on
loopback; its scrape must pass `promtool check metrics`.

monitoring_assets.py GATEWAY SIM MOSQUITTO PROMTOOL MONITORING_DIR"""
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

import yaml

GATEWAY, SIM, MOSQUITTO, PROMTOOL, MONITORING = sys.argv[1:6]
SERIES = re.compile(r"\b(mx7300_[a-z0-9_]+|[a-z_]+:mx7300_[a-z0-9_:]+)")


def queried(expr):
    """Series names an expression reads, label values and strings left out."""
    return set(SERIES.findall(re.sub(r'"[^"]*"', '""', expr)))


def dashboard_exprs(path):
    with open(path, encoding="utf-8") as f:
        board = json.load(f)
    exprs = [t["expr"] for p in board["panels"] for t in p.get("targets", [])]
    for var in board["templating"]["list"]:
        query = var.get("query")
        if isinstance(query, dict):
            exprs.append(query["query"])
        elif var["type"] == "query":
            exprs.append(query)
    ids = [p["id"] for p in board["panels"]]
    if len(ids) != len(set(ids)):
        raise SystemExit("dashboard: panel ids repeat")
    return exprs


def rules(path):
    with open(path, encoding="utf-8") as f:
        return [r for g in yaml.safe_load(f)["groups"] for r in g["rules"]]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Child:
    def __init__(self, args, **kw):
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True, bufsize=1, **kw)
        self.lines = []
        threading.Thread(target=self._collect, daemon=True).start()

    def _collect(self):
        for line in self.proc.stderr:
            self.lines.append(line.rstrip("\n"))

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def scrape_running_gateway(workdir):
    """/metrics of a gateway holding two simulated projectors, once it has read both and the
    broker has it."""
    children = []
    try:
        broker_port = free_port()
        conf = os.path.join(workdir, "mosquitto.conf")
        with open(conf, "w") as f:
            f.write("listener %d 127.0.0.1\nallow_anonymous true\npersistence false\n"
                    % broker_port)
        children.append(Child([MOSQUITTO, "-c", conf]))
        sims = []
        for _ in range(2):
            sim = Child([SIM, "--baud", "9600", "--quiet"])
            children.append(sim)
            sims.append(sim.proc.stdout.readline().strip())
        site = os.path.join(workdir, "north.ini")
        with open(site, "w") as f:
            f.write("[hall]\nport=%s\nbaud=9600\nroom=2.14\n" % sims[0])
            f.write("[lab]\nport=%s\nbaud=9600\nroom=Lab 3\nlamp_warn_hours=2000\n" % sims[1])
        gateway = Child([GATEWAY, "--site", site, "--http", "127.0.0.1:0", "--poll", "1",
                         "--mqtt", "mqtt://127.0.0.1:%d" % broker_port])
        children.append(gateway)
        url = None
        deadline = time.monotonic() + 30
        text = ""
        while time.monotonic() < deadline:
            time.sleep(0.2)
            if url is None:
                for line in gateway.lines:
                    m = re.search(r"http: listening on 127\.0\.0\.1:(\d+)", line)
                    if m:
                        url = "http://127.0.0.1:%s/metrics" % m.group(1)
                continue
            text = urllib.request.urlopen(url, timeout=5).read().decode()
            if ("mx7300_broker_connected{site=\"north\"} 1" in text
                    and text.count("mx7300_temperature_celsius{") == 6):
                return text
        raise SystemExit("the gateway never served a whole scrape:\n%s\n%s"
                         % ("\n".join(gateway.lines), text))
    finally:
        for child in reversed(children):
            child.stop()


def main():
    board = dashboard_exprs(os.path.join(MONITORING, "dashboard-site.json"))
    alert_rules = rules(os.path.join(MONITORING, "alerts.yml"))
    recording = rules(os.path.join(MONITORING, "rules.yml"))
    recorded = {r["record"] for r in recording}
    wanted = {}
    for where, exprs in (("dashboard", board),
                         ("alerts.yml", [r["expr"] for r in alert_rules]),
                         ("rules.yml", [r["expr"] for r in recording])):
        for expr in exprs:
            for name in queried(expr):
                wanted.setdefault(name, set()).add(where)

    workdir = tempfile.mkdtemp(prefix="mx7300-monitoring-")
    try:
        text = scrape_running_gateway(workdir)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)

    lint = subprocess.run([PROMTOOL, "check", "metrics"], input=text, capture_output=True,
                          text=True)
    if lint.returncode != 0 or lint.stdout or lint.stderr:
        raise SystemExit("promtool check metrics:\n" + lint.stdout + lint.stderr)
    served = {re.split(r"[{ ]", line, 1)[0] for line in text.splitlines()
              if line and not line.startswith("#")}
    missing = sorted("%s (in %s)" % (name, ", ".join(sorted(where)))
                     for name, where in wanted.items()
                     if name not in (recorded if ":" in name else served))
    if missing:
        raise SystemExit("queried but neither served nor recorded:\n  " + "\n  ".join(missing))
    served_read = [n for n in wanted if ":" not in n]
    print("%d series queried (%d served, %d recorded), all present; promtool check metrics clean"
          % (len(wanted), len(served_read), len(wanted) - len(served_read)))
    if len(served_read) < 10 or not any(":" in n for n in wanted):
        raise SystemExit("too few series found in the assets: the extraction is broken")


main()
