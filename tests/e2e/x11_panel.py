#!/usr/bin/env python3
"""Drives the real control panel through a virtual X display and checks the serial line.

usage: x11_panel.py MX7300_CONTROL MX7300_LAYOUT

The program runs under Xvfb and openbox with its port 1 mapped to a pseudo-terminal whose master
end this script reads. The pointer and keyboard come from xdotool (XTEST), so the events travel
the same road as an operator's. Every one-shot button is clicked, every arrow button is held,
the address prefix and the window-height key are exercised, and "END" must end the program with
the address stored. Exits 77 (skipped) when Xvfb, openbox, xdotool or xwininfo are missing.
"""

import configparser
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time
import tty

SKIP = 77
TITLE = "TAVO  MX7300  CONTROL"
CR = b"\r"

ONE_SHOT = [
    ("Command17", "C00"), ("Command18", "C01"), ("Command27", "C05"), ("Command28", "C06"),
    ("Command53", "C07"), ("Command41", "C08"), ("Command31", "C0F"), ("Command32", "C10"),
    ("Command21", "C0D"), ("Command22", "C0E"), ("Command25", "C43"), ("Command26", "C44"),
    ("Command34", "C8A"), ("Command36", "C8B"), ("Command23", "C1C"), ("Command24", "C1D"),
    ("Command6", "C3F"), ("Command13", "C89"), ("Command3", "C1E"), ("Command73", "C27"),
    ("Command60", "CF KEYDIS NONE"), ("Command61", "CF KEYDIS RC"),
    ("Command62", "CF KEYDIS KEY"), ("Command44", "CR0"), ("Command45", "CR1"),
    ("Command46", "CR3"), ("Command47", "CR4"), ("Command54", "CR6"), ("Command76", "CR7"),
]

ARROWS = [
    ("Command30", "C47"), ("Command42", "C46"), ("Command5", "C3C"), ("Command7", "C3D"),
    ("Command38", "C3B"), ("Command8", "C3A"), ("Command1", "C4B"), ("Command2", "C4A"),
    ("Command48", "C30"), ("Command49", "C31"), ("Command10", "C8E"), ("Command35", "C8F"),
    ("Command4", "C91"), ("Command11", "C90"), ("Command12", "C5D"), ("Command20", "C5E"),
    ("Command15", "C5F"), ("Command19", "C60"),
]

# Ctrl+H moves the outer height between 5100 and 8100 twips: 200 pixels at 96 dpi.
HEIGHT_STEP = (8100 - 5100) // 15
REPEAT_PERIOD = 0.1  # seconds between the repeats of a held arrow


class Results:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print(f"PASS {name}" + (f" ({detail})" if detail else ""))
        else:
            self.failed += 1
            print(f"FAIL {name}: {detail}")
        sys.stdout.flush()
        return ok


class Fatal(Exception):
    """The run cannot go on (no display, no window)."""


def read_line(fd, expected_len, first_timeout=3.0, quiet=0.3):
    """Bytes from fd until expected_len arrived and then `quiet` seconds passed without more,
    or first_timeout passed without reaching expected_len."""
    data = b""
    deadline = time.monotonic() + first_timeout
    while True:
        if len(data) >= expected_len:
            wait = quiet
        else:
            wait = deadline - time.monotonic()
            if wait <= 0:
                return data
        ready, _, _ = select.select([fd], [], [], wait)
        if not ready:
            if len(data) >= expected_len:
                return data
            continue
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            return data
        if not chunk:
            return data
        data += chunk


def drain(fd, quiet=0.1):
    return read_line(fd, 0, 0, quiet)


def repeats_of(data, frame):
    """How many times `frame` fills `data` exactly, or None when anything else is in it."""
    count = len(data) // len(frame) if frame else 0
    return count if frame * count == data else None


def describe(count, data, late=0):
    late_note = f" (release {late} repeat period(s) late)" if late else ""
    return (f"{count} times" if count else f"got {data!r}") + late_note


class Display:
    """Xvfb plus openbox, torn down in reverse order."""

    def __init__(self, workdir):
        self.procs = []
        self.workdir = workdir
        self.env = None

    def start(self):
        # Out of the way of desktop displays first; any free one if all of those are taken.
        for display in [f":{n}" for n in range(90, 100)] + [None]:
            if display and os.path.exists(f"/tmp/.X{display[1:]}-lock"):
                continue
            number = self.start_xvfb(display)
            if number:
                break
        else:
            raise Fatal("Xvfb did not start on any display")
        self.env = dict(os.environ)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.env["DISPLAY"] = ":" + number
        print(f"display {self.env['DISPLAY']}")

        wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                              stdout=subprocess.DEVNULL,
                              stderr=open(os.path.join(self.workdir, "openbox.log"), "wb"))
        self.procs.append(wm)
        self.wait_for_window_manager()

    def start_xvfb(self, display):
        """The display number Xvfb reports once it accepts connections, or None."""
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", *([display] if display else []), "-displayfd", str(write_end), "-screen",
             "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.workdir, "xvfb.log"), "ab"))
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 1.0)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break  # Xvfb gave up, the display is taken
                number += chunk
        os.close(read_end)
        if not number.strip().isdigit():
            stop_process(xvfb)
            return None
        self.procs.append(xvfb)
        return number.strip().decode()

    def wait_for_window_manager(self):
        if not shutil.which("xprop"):
            time.sleep(1.5)
            return
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env,
                                 capture_output=True, text=True).stdout
            if "window id" in out:
                return
            time.sleep(0.1)
        raise Fatal("openbox did not start managing the display")

    def stop(self):
        for proc in reversed(self.procs):
            stop_process(proc)


def stop_process(proc):
    if proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


class Desk:
    """The operator's hands: xdotool on one display."""

    def __init__(self, env):
        self.env = env

    def xdotool(self, *args, timeout=20):
        done = subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True,
                              timeout=timeout)
        if done.returncode != 0:
            raise Fatal(f"xdotool {' '.join(args)}: {done.stderr.strip()}")
        return done.stdout

    def find_window(self, title, timeout=30):
        try:
            out = self.xdotool("search", "--sync", "--onlyvisible", "--name", title,
                               timeout=timeout)
        except subprocess.TimeoutExpired:
            return None
        ids = out.split()
        return ids[0] if ids else None

    def geometry(self, window):
        """Client area origin in root coordinates, and its size."""
        size = {}
        for line in self.xdotool("getwindowgeometry", "--shell", window).splitlines():
            key, _, value = line.partition("=")
            size[key] = value
        # Under a reparenting window manager xdotool adds the offset inside the frame twice to
        # X and Y; xwininfo's absolute corner is the client origin itself.
        info = subprocess.run(["xwininfo", "-id", window], env=self.env, capture_output=True,
                              text=True, timeout=20).stdout
        corner = {}
        for line in info.splitlines():
            key, _, value = line.strip().partition(":")
            if key.startswith("Absolute upper-left"):
                corner[key[-1]] = int(value)
        if set(corner) != {"X", "Y"}:
            raise Fatal(f"xwininfo gave no position for window {window}")
        return corner["X"], corner["Y"], int(size["WIDTH"]), int(size["HEIGHT"])

    def activate(self, window):
        self.xdotool("windowactivate", "--sync", window)

    def move_to(self, x, y):
        self.xdotool("mousemove", "--sync", str(x), str(y))

    def key(self, keys):
        self.xdotool("key", "--clearmodifiers", keys)


def load_layout(layout_tool):
    rects = {}
    out = subprocess.run([layout_tool], capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        name, *numbers = line.split()
        rects[name] = tuple(int(n) for n in numbers)
    return rects


def write_settings(config_home, device):
    folder = os.path.join(config_home, "TAVO")
    os.makedirs(folder)
    path = os.path.join(folder, "TAVO.ini")
    with open(path, "w") as ini:
        ini.write(f"[StartUP]\nComPort=1\nBaudRate=96\n\n[Ports]\nCOM1={device}\n")
    return path


def stored_settings(path):
    parser = configparser.ConfigParser(interpolation=None)
    parser.optionxform = str  # keys keep their case, as the program writes them
    parser.read(path)
    return parser["StartUP"] if parser.has_section("StartUP") else {}


class PanelRun:
    """One run of the program and the checks made on it."""

    def __init__(self, program, rects, display, master, ini, workdir, results):
        self.program = program
        self.rects = rects
        self.display = display
        self.master = master
        self.ini = ini
        self.workdir = workdir
        self.results = results
        self.desk = Desk(display.env)
        self.proc = None
        self.window = None
        self.log_path = os.path.join(workdir, "program.log")

    def start(self):
        env = dict(self.display.env)
        env["QT_QPA_PLATFORM"] = "xcb"
        env["XDG_CONFIG_HOME"] = os.path.dirname(os.path.dirname(self.ini))
        runtime = os.path.join(self.workdir, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env["XDG_RUNTIME_DIR"] = runtime
        self.proc = subprocess.Popen([self.program], env=env, stdout=subprocess.DEVNULL,
                                     stderr=open(self.log_path, "wb"))
        self.window = self.desk.find_window(TITLE)
        if not self.window:
            dialog = self.desk.find_window("COM PORT", timeout=2)
            why = " (the port dialog is open: the port did not open)" if dialog else ""
            raise Fatal(f"no window titled {TITLE!r}{why}")
        self.desk.activate(self.window)
        # Let the window manager frame it and the program settle its height.
        time.sleep(0.5)

    def stop(self):
        if self.proc:
            stop_process(self.proc)

    def centre(self, name):
        x, y, _, _ = self.desk.geometry(self.window)
        left, top, width, height = self.rects[name]
        return x + left + width // 2, y + top + height // 2

    def stray(self, before):
        # Only a failure is worth a line: the check before each action is the same check.
        leftover = drain(self.master)
        if leftover:
            self.results.check(f"line quiet before {before}", False, f"got {leftover!r}")

    def expect_line(self, name, expected, data):
        self.results.check(name, data == expected, f"got {data!r}")

    def click(self, name):
        self.desk.move_to(*self.centre(name))
        self.desk.xdotool("click", "1")

    def hold(self, name, seconds, button="1"):
        """Holds a button; returns the repeat ticks the release may have come late by.

        Each xdotool call is a process of its own: on a loaded machine the press and the release can
        reach the window further apart than `seconds`, and the repeat rightly keeps sending until the
        release. Only whole periods of that delay may add a repeat.
        """
        self.desk.move_to(*self.centre(name))
        start = time.monotonic()
        self.desk.xdotool("mousedown", button)
        time.sleep(seconds)
        self.desk.xdotool("mouseup", button)
        overrun = time.monotonic() - start - seconds
        return max(0, int(overrun // REPEAT_PERIOD))

    # The checks, in the order they run.

    def check_start_up(self):
        self.results.check("nothing sent at start-up", drain(self.master, 0.5) == b"")
        # The icon is set just after the first frame, not in it.
        icon = ""
        deadline = time.monotonic() + 5
        while "Icon (32 x 32)" not in icon and time.monotonic() < deadline:
            icon = subprocess.run(["xprop", "-id", self.window, "_NET_WM_ICON"], env=self.desk.env,
                                  capture_output=True, text=True).stdout
            time.sleep(0.1)
        self.results.check("the window has its icon", "Icon (32 x 32)" in icon, icon[:80])

    def check_height_key(self):
        _, _, _, compact = self.desk.geometry(self.window)
        self.desk.key("h")
        time.sleep(0.4)
        _, _, _, after_h = self.desk.geometry(self.window)
        self.results.check("H alone keeps the height", after_h == compact,
                           f"{compact} -> {after_h}")
        for step, sign in (("taller", 1), ("compact again", -1), ("taller again", 1)):
            _, _, _, before = self.desk.geometry(self.window)
            self.desk.key("ctrl+h")
            time.sleep(0.6)
            _, _, _, after = self.desk.geometry(self.window)
            grown = (after - before) * sign
            self.results.check(f"Ctrl+H makes the window {step}",
                               abs(grown - HEIGHT_STEP) <= 3,
                               f"client height {before} -> {after}, expected a change of "
                               f"{sign * HEIGHT_STEP} px")

    def check_one_shots(self):
        for name, command in ONE_SHOT:
            self.stray(name)
            self.click(name)
            frame = command.encode() + CR
            self.expect_line(f"{name} sends {command}", frame, read_line(self.master, len(frame)))

    def check_arrows(self):
        for name, command in ARROWS:
            self.stray(name)
            late = self.hold(name, 0.3)
            frame = command.encode() + CR
            data = read_line(self.master, 1, quiet=0.5)
            count = repeats_of(data, frame)
            self.results.check(f"{name} held 0.3 s sends {command} 2..5 times",
                               count is not None and 2 <= count <= 5 + late,
                               describe(count, data, late))

    def check_long_hold(self):
        self.stray("long hold")
        late = self.hold("Command30", 1.0)
        data = read_line(self.master, 1, quiet=0.5)
        count = repeats_of(data, b"C47\r")
        self.results.check("Command30 held 1.0 s sends C47 9..13 times",
                           count is not None and 9 <= count <= 13 + late,
                           describe(count, data, late))

        # Any mouse button starts the repeat.
        self.stray("right-button hold")
        late = self.hold("Command42", 0.3, button="3")
        data = read_line(self.master, 1, quiet=0.5)
        count = repeats_of(data, b"C46\r")
        self.results.check("Command42 held with the right button sends C46 2..5 times",
                           count is not None and 2 <= count <= 5 + late,
                           describe(count, data, late))

    def check_address(self):
        self.stray("Option3")
        self.click("Option3")
        self.results.check("selecting 001 sends nothing", drain(self.master, 0.5) == b"")
        self.click("Command17")
        self.expect_line("On with 001 sends A001C00", b"A001C00\r",
                         read_line(self.master, 8))
        self.click("Option1")
        self.results.check("selecting SINGLE sends nothing", drain(self.master, 0.5) == b"")
        self.click("Command17")
        self.expect_line("On with SINGLE sends C00", b"C00\r", read_line(self.master, 4))

    def check_space_bar(self):
        # "Enter" (tab 68) is followed in tab order by the MENU up arrow (tab 69). A click gives
        # "Enter" the focus; space on it must send, proving the keys reach the focused button.
        self.stray("space bar")
        self.click("Command6")
        self.expect_line("Enter clicked sends C3F", b"C3F\r", read_line(self.master, 4))
        self.desk.key("space")
        self.expect_line("space on focused Enter sends C3F", b"C3F\r", read_line(self.master, 4))
        self.desk.key("Tab")
        time.sleep(0.2)
        self.desk.key("space")
        leftover = drain(self.master, 0.8)
        self.results.check("space on the focused MENU up arrow sends nothing", leftover == b"",
                           f"got {leftover!r}")
        # Back one step: if space reaches "Enter" again, the focus had moved exactly one step.
        self.desk.key("shift+Tab")
        time.sleep(0.2)
        self.desk.key("space")
        self.expect_line("space after Shift+Tab back on Enter sends C3F", b"C3F\r",
                         read_line(self.master, 4))

    # The command console's controls in pixels at 96 dpi, from its designed twips.
    CONSOLE = {"Command4": (184, 8, 177, 25), "Command1": (600, 45, 57, 25),
               "Command2": (600, 80, 57, 25)}

    def click_console(self, window, name):
        x, y, _, _ = self.desk.geometry(window)
        left, top, width, height = self.CONSOLE[name]
        self.desk.move_to(x + left + width // 2, y + top + height // 2)
        self.desk.xdotool("click", "1")

    def check_console(self):
        # "Command Table", an expanded entry with "%", its digits typed over the "%", SEND.
        self.stray("Command Table")
        self.click("Command74")
        console = self.desk.find_window("Command List", timeout=15)
        self.results.check("Command Table opens the console", console is not None)
        if console is None:
            return
        self.results.check("opening the console sends nothing", drain(self.master, 0.5) == b"")
        self.desk.activate(console)
        self.click_console(console, "Command4")  # "Expand Command List"
        time.sleep(0.2)
        # Tab order after the list buttons reaches the visible list; the arrow keys step
        # through it, and the first entry with "%" ("CF CONT 0%%") takes the focus away.
        self.desk.key("Tab")
        self.desk.key("Tab")
        for _ in range(2):
            self.desk.key("Down")
            time.sleep(0.1)
        self.desk.key("Home")
        for _ in range(len("CF CONT 0")):
            self.desk.key("Right")
        self.desk.key("shift+Right")
        self.desk.key("shift+Right")
        self.desk.xdotool("type", "--delay", "50", "35")
        time.sleep(0.2)
        self.click_console(console, "Command1")  # SEND
        self.expect_line("console SEND puts the filled command on the line", b"CF CONT 035\r",
                         read_line(self.master, 12))
        self.click_console(console, "Command2")  # CLOSE
        time.sleep(0.3)
        self.desk.activate(self.window)

    def check_end(self):
        # A non-default address, so the stored value tells something.
        self.click("Option5")
        self.stray("END")
        self.click("Command16")
        try:
            code = self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            code = None
        self.results.check("END ends the program", code == 0, f"exit status {code}")
        self.results.check("END sends nothing", drain(self.master, 0.3) == b"")
        stored = stored_settings(self.ini)
        self.results.check("END stores the address", stored.get("ADRESS") == "A003",
                           f"ADRESS is {stored.get('ADRESS')!r}")

    def run_checks(self):
        self.check_start_up()
        self.check_height_key()
        self.check_one_shots()
        self.check_arrows()
        self.check_long_hold()
        self.check_address()
        self.check_space_bar()
        self.check_console()
        self.check_end()


def main(argv):
    if len(argv) != 3:
        print(__doc__)
        return 2
    missing = [tool for tool in ("Xvfb", "openbox", "xdotool", "xwininfo") if not shutil.which(tool)]
    if missing:
        print(f"x11_panel: skipped, {', '.join(missing)} not installed")
        return SKIP
    program, layout_tool = argv[1], argv[2]

    results = Results()
    rects = load_layout(layout_tool)
    wanted = [name for name, _ in ONE_SHOT + ARROWS] + ["Option1", "Option3", "Option5",
                                                        "Command16", "Command74"]
    absent = [name for name in wanted if name not in rects]
    if not results.check("layout tool lists every control used", not absent,
                         ", ".join(absent)):
        return 1

    workdir = tempfile.mkdtemp(prefix="x11_panel-")
    master, slave = os.openpty()
    tty.setraw(slave)
    ini = write_settings(os.path.join(workdir, "config"), os.ttyname(slave))
    display = Display(workdir)
    run = None
    try:
        display.start()
        run = PanelRun(program, rects, display, master, ini, workdir, results)
        run.start()
        run.run_checks()
    except (Fatal, subprocess.TimeoutExpired) as error:
        results.check("run completed", False, str(error))
    finally:
        if run:
            run.stop()
        display.stop()
        os.close(master)
        os.close(slave)
    if results.failed and run and os.path.exists(run.log_path):
        with open(run.log_path, errors="replace") as log:
            tail = log.read()[-2000:]
        if tail:
            print("program stderr:\n" + tail)
    if not results.failed:
        shutil.rmtree(workdir, ignore_errors=True)
    else:
        print(f"logs kept in {workdir}")
    print(f"x11_panel: {results.passed} passed, {results.failed} failed")
    return 0 if results.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
