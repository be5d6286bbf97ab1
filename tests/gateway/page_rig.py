"""Simulated projectors, a gateway serving HTTP on loopback and a headless Chromium, for the
status page's browser test and its benchmark."""
import os
import re
import secrets
import shutil
import subprocess
import tempfile
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service


class Process:
    """A child whose standard error is collected line by line as it comes."""

    def __init__(self, args):
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True, bufsize=1)
        self.lines = []
        self.line_times = []  # time.time() when each line was read
        self._lock = threading.Lock()
        threading.Thread(target=self._collect, daemon=True).start()

    def _collect(self):
        for line in self.proc.stderr:
            with self._lock:
                self.lines.append(line.rstrip("\n"))
                self.line_times.append(time.time())

    def log(self):
        with self._lock:
            return list(self.lines)

    def wait_for_line(self, pattern, timeout=10.0, start=0):
        """The first line from `start` on that matches, or None after `timeout` seconds."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for line in self.log()[start:]:
                if re.search(pattern, line):
                    return line
            time.sleep(0.05)
        return None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class Sim(Process):
    def __init__(self, sim_path, *extra):
        super().__init__([sim_path, "--baud", "9600", "--warmup", "1", "--cooldown", "1", *extra])
        self.device = self.proc.stdout.readline().strip()
        if not self.device.startswith("/dev/"):
            raise RuntimeError("the simulator gave no device")

    def received(self, start=0):
        """The commands the simulator got, as its traffic log shows them."""
        return [line[3:].split("  ->")[0] for line in self.log()[start:] if line.startswith("<- ")]


class Site:
    """A site file in a directory of its own, a token file, and the gateway serving them."""

    def __init__(self, gateway_path, sections, poll_seconds=1):
        self.dir = tempfile.mkdtemp(prefix="mx7300-page-")
        self.token = secrets.token_urlsafe(24)
        token_file = os.path.join(self.dir, "token")
        with open(token_file, "w") as f:
            f.write(self.token + "\n")
        os.chmod(token_file, 0o600)
        site_file = os.path.join(self.dir, "site.ini")
        with open(site_file, "w", encoding="utf-8") as f:
            for name, keys in sections:
                f.write("[%s]\n" % name)
                for key, value in keys.items():
                    f.write("%s=%s\n" % (key, value))
        self.gateway = Process([gateway_path, "--site", site_file, "--name", "hq",
                                "--http", "127.0.0.1:0", "--http-token-file", token_file,
                                "--poll", str(poll_seconds)])
        line = self.gateway.wait_for_line(r"http: listening on 127\.0\.0\.1:\d+")
        if not line:
            raise RuntimeError("the gateway did not listen: %s" % self.gateway.log())
        self.url = "http://127.0.0.1:%s/" % line.rsplit(":", 1)[1].split()[0]

    def stop(self):
        self.gateway.stop()
        shutil.rmtree(self.dir, ignore_errors=True)


def chromium(width=1280, height=900, javascript=True):
    """Debian's Chromium, headless, as root, with a fresh profile and no network of its own."""
    profile = tempfile.mkdtemp(prefix="mx7300-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                 "--user-data-dir=" + profile, "--window-size=%d,%d" % (width, height)):
        options.add_argument(flag)
    if not javascript:
        options.add_experimental_option(
            "prefs", {"profile.managed_default_content_settings.javascript": 2})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.profile_dir = profile
    return driver


def close_chromium(driver):
    driver.quit()
    shutil.rmtree(driver.profile_dir, ignore_errors=True)
