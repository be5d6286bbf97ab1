#!/usr/bin/env python3
"""Drives the real control panel through a gateway's share and checks the serial line.

usage: x11_share.py MX7300_CONTROL MX7300_LAYOUT MX7300_GATEWAY MX7300_SIM MOSQUITTO

A real mx7300-gateway holds the line of a simulated projector (mx7300-sim at address 002) and
lends it with --share on loopback; the program's port 1 is tcp://127.0.0.1:SHAREPORT. Between
the gateway and the simulator sits a relay on a pseudo-terminal of this script's own, which
copies the bytes both ways and records every command the gateway writes on the line.

The gateway's own reads are left out of what the panel's checks see, by their address: the
gateway addresses its projector (A002CR0 and so on) while the panel, at SINGLE, sends bare
commands. The gateway polls once an hour, so after its first poll the only reads are the ones a
power or input command brings at once; those are exactly what must not be mistaken for the
panel's bytes, and what makes the MQTT state follow the panel.

The panel's checks are those of x11_panel.py, run through the share: every one-shot button puts
its command on the line exactly once, a held arrow repeats with the same bounds, the command
console's SEND arrives whole. Then the panel's STATUS read must come back decoded in its traffic
log, and the gateway's MQTT state must have followed the panel's On and Off.
Exits 77 (skipped) when Xvfb, openbox, xdotool, xwininfo or mosquitto are missing.
"""

import datetime
import json
import os
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import tty

import x11_panel
from x11_panel import SKIP, Display, Fatal, PanelRun, Results, load_layout, stop_process

ADDRESS = b"A002"  # the gateway's framing of its projector; the panel sends no prefix


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def open_raw(path):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    return fd


class Relay(threading.Thread):
    """Copies bytes between the gateway's pseudo-terminal and the simulator's; every whole
    command the gateway writes is recorded, and those without the gateway's address are also
    written to `panel_fd` for the panel's checks to read."""

    def __init__(self, gateway_fd, sim_fd, panel_fd):
        super().__init__(daemon=True)
        self.gateway_fd = gateway_fd
        self.sim_fd = sim_fd
        self.panel_fd = panel_fd
        self.commands = []  # every command on the line, in order
        self.stopping = False

    def run(self):
        pending = b""
        while not self.stopping:
            ready, _, _ = select.select([self.gateway_fd, self.sim_fd], [], [], 0.1)
            try:
                if self.sim_fd in ready:
                    os.write(self.gateway_fd, os.read(self.sim_fd, 4096))
                if self.gateway_fd not in ready:
                    continue
                chunk = os.read(self.gateway_fd, 4096)
            except OSError:
                return
            os.write(self.sim_fd, chunk)
            pending += chunk
            while b"\r" in pending:
                command, _, pending = pending.partition(b"\r")
                command += b"\r"
                self.commands.append(command)
                if not command.startswith(ADDRESS):
                    os.write(self.panel_fd, command)


class Child:
    """A process whose standard error is kept in a file and can be searched."""

    def __init__(self, args, workdir, name, env=None):
        self.log_path = os.path.join(workdir, name + ".log")
        self.proc = subprocess.Popen(args, env=env, stdout=subprocess.PIPE,
                                     stderr=open(self.log_path, "wb"), text=True)

    def log(self):
        with open(self.log_path, errors="replace") as log:
            return log.read()

    def wait_for(self, text, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if text in self.log():
                return True
            if self.proc.poll() is not None:
                return False
            time.sleep(0.1)
        return False


class StateWatch(threading.Thread):
    """mosquitto_sub on the projector's state topic: every power value in arrival order."""

    def __init__(self, mosquitto_sub, broker_port, topic):
        super().__init__(daemon=True)
        self.proc = subprocess.Popen([mosquitto_sub, "-h", "127.0.0.1", "-p", str(broker_port),
                                      "-t", topic], stdout=subprocess.PIPE, text=True)
        self.powers = []

    def run(self):
        for line in self.proc.stdout:
            try:
                self.powers.append(json.loads(line).get("power"))
            except ValueError:
                pass

    def wait_for(self, power, timeout):
        deadline = time.monotonic() + timeout
        while power not in self.powers and time.monotonic() < deadline:
            time.sleep(0.1)
        return power in self.powers


class Rig:
    """Broker, simulator, relay and gateway, stopped in reverse order."""

    def __init__(self, gateway, sim, mosquitto, workdir):
        self.workdir = workdir
        self.children = []
        self.fds = []
        broker_port = free_port()
        conf = os.path.join(workdir, "mosquitto.conf")
        with open(conf, "w") as f:
            f.write(f"listener {broker_port} 127.0.0.1\nallow_anonymous true\n"
                    "persistence false\n")
        self.children.append(Child([mosquitto, "-c", conf], workdir, "mosquitto"))
        self.broker_port = broker_port
        # A long warm-up: after On the projector stays counting down for the whole run.
        self.sim = Child([sim, "--baud", "9600", "--address", "002", "--warmup", "600"],
                         workdir, "sim")
        self.children.append(self.sim)
        sim_device = self.sim.proc.stdout.readline().strip()
        if not sim_device.startswith("/dev/"):
            raise Fatal(f"the simulator gave no device: {self.sim.log()}")
        gateway_master, gateway_slave = os.openpty()
        tty.setraw(gateway_master)
        tty.setraw(gateway_slave)
        self.panel_read, panel_write = os.pipe()
        self.fds += [gateway_master, gateway_slave, self.panel_read, panel_write]
        sim_fd = open_raw(sim_device)
        self.fds.append(sim_fd)
        self.relay = Relay(gateway_master, sim_fd, panel_write)
        self.relay.start()
        self.device = os.ttyname(gateway_slave)

        site = os.path.join(workdir, "hall.ini")
        with open(site, "w") as f:
            f.write(f"[p]\nport={self.device}\nbaud=9600\naddress=002\n")
        self.share_port = free_port()
        env = dict(os.environ)
        env.pop("RUNTIME_DIRECTORY", None)
        env["XDG_RUNTIME_DIR"] = os.path.join(workdir, "gateway-run")
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        self.gateway = Child([gateway, "--site", site, "--poll", "3600",
                              "--share", f"127.0.0.1:{self.share_port}",
                              "--mqtt", f"mqtt://127.0.0.1:{broker_port}"], workdir, "gateway",
                             env)
        self.children.append(self.gateway)
        if not self.gateway.wait_for("p: online", 20):
            raise Fatal(f"the gateway did not read the projector:\n{self.gateway.log()}")

    def stop(self):
        self.relay.stopping = True
        for child in reversed(self.children):
            stop_process(child.proc)
        self.relay.join(2)
        for fd in self.fds:
            os.close(fd)


def traffic_rows(state_home):
    """The panel's traffic log of today, one list of tab-separated fields per row."""
    day = datetime.date.today().isoformat()
    path = os.path.join(state_home, "TAVO", "log", day + ".log")
    if not os.path.exists(path):
        return []
    with open(path, errors="replace") as log:
        return [line.rstrip("\n").split("\t") for line in log]


POWER_WORDS = {"80": "Stand by", "40": "Count down", "20": "Cooling down", "00": "Power ON"}


def check_answer_shown(run, sim, state_home, results):
    """STATUS through the share: the panel's traffic log (the rows its status line and Traffic
    Log window show) has exactly the bytes the projector answered, decoded."""
    def sent_at(rows):
        return [i for i, r in enumerate(rows) if len(r) > 4 and r[1] == "TX"
                and r[4] == "43 52 30 0D"]

    earlier = len(sent_at(traffic_rows(state_home)))
    run.stray("STATUS")
    run.click("Command44")
    results.check("STATUS puts CR0 on the line", x11_panel.read_line(run.master, 4) == b"CR0\r")
    deadline = time.monotonic() + 5
    row = []
    while not row and time.monotonic() < deadline:
        rows = traffic_rows(state_home)
        sent = sent_at(rows)
        if len(sent) > earlier and sent[-1] + 1 < len(rows):
            row = rows[sent[-1] + 1]
        else:
            time.sleep(0.2)
    answers = [line.split("-> ")[-1] for line in sim.log().splitlines()
               if line.startswith("<- CR0 ")]
    answer = answers[-1].replace("<CR>", "\r") if answers else ""
    wanted = " ".join(f"{b:02X}" for b in answer.encode())
    results.check("the panel shows the projector's answer to CR0, decoded",
                  answer and len(row) > 6 and row[1] == "RX" and row[4] == wanted
                  and row[6] == POWER_WORDS.get(answer.strip()), f"projector answered "
                  f"{answer!r}, row {row!r}")


def check_mqtt_followed(watch, results):
    # On then Off were clicked through the share, with the line polled hourly: the gateway read
    # the projector again after each.
    results.check("MQTT follows the panel's On", watch.wait_for("Count down", 10),
                  f"powers {watch.powers!r}")
    results.check("MQTT follows the panel's Off", watch.wait_for("Cooling down", 10),
                  f"powers {watch.powers!r}")


def main(argv):
    if len(argv) != 6:
        print(__doc__)
        return 2
    program, layout_tool, gateway, sim, mosquitto = argv[1:]
    tools = ("Xvfb", "openbox", "xdotool", "xwininfo", "mosquitto_sub")
    missing = [tool for tool in tools if not shutil.which(tool)]
    if not os.access(mosquitto, os.X_OK):
        missing.append("mosquitto")
    if missing:
        print(f"x11_share: skipped, {', '.join(missing)} not installed")
        return SKIP

    results = Results()
    rects = load_layout(layout_tool)
    workdir = tempfile.mkdtemp(prefix="x11_share-")
    display = Display(workdir)
    rig = run = watch = None
    state_home = os.path.join(workdir, "state")
    try:
        rig = Rig(gateway, sim, mosquitto, workdir)
        watch = StateWatch(shutil.which("mosquitto_sub"), rig.broker_port, "tavo/hall/p/state")
        watch.start()
        results.check("MQTT has the projector in standby first", watch.wait_for("Stand by", 10),
                      f"powers {watch.powers!r}")
        ini = x11_panel.write_settings(os.path.join(workdir, "config"),
                                       f"tcp://127.0.0.1:{rig.share_port}")
        display.start()
        display.env["XDG_STATE_HOME"] = state_home
        run = PanelRun(program, rects, display, rig.panel_read, ini, workdir, results)
        run.start()
        # The status reads and "Command Table" are in the window's taller part.
        run.desk.key("ctrl+h")
        time.sleep(0.6)
        run.check_one_shots()
        run.check_arrows()
        run.check_long_hold()
        run.check_console()
        check_answer_shown(run, rig.sim, state_home, results)
        check_mqtt_followed(watch, results)
        polls = [command for command in rig.relay.commands if command.startswith(ADDRESS)]
        results.check("the gateway's own reads were on the line too", b"A002CR0\r" in polls,
                      f"{len(polls)} addressed commands")
    except (Fatal, subprocess.TimeoutExpired) as error:
        results.check("run completed", False, str(error))
    finally:
        if run:
            run.stop()
        display.stop()
        if watch:
            stop_process(watch.proc)
        if rig:
            rig.stop()
    if results.failed:
        for name in ("program", "gateway", "sim"):
            path = os.path.join(workdir, name + ".log")
            if os.path.exists(path):
                with open(path, errors="replace") as log:
                    print(f"{name} stderr (end):\n" + log.read()[-2000:])
        print(f"logs kept in {workdir}")
    else:
        shutil.rmtree(workdir, ignore_errors=True)
    print(f"x11_share: {results.passed} passed, {results.failed} failed")
    return 0 if results.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
