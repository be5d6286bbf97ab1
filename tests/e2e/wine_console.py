#!/usr/bin/env python3
"""The Windows console under Wine on a virtual X display, its COM1 a simulated projector.

usage: wine_console.py [--installer SETUP.exe] MX7300_CONTROL_EXE MX7300_SIM MX7300_LAYOUT QT_KIT
                       [SCREENSHOT.png]

A fresh Wine prefix gets what the earlier Windows program would have left in the registry
(ComPort 1, BaudRate 96, ADRESS A001 under HKEY_CURRENT_USER\\Software\\VB and VBA Program
Settings\\TAVO\\StartUP) and COM1 mapped to mx7300-sim's pseudo-terminal. The console must open
COM1 at that address without asking, a click on "STATUS" must put A001CR0 and CR on the line, and
"ALL" then "END" must store ADRESS AFFF back in the registry.

Wine cannot carry the answer back from a pseudo-terminal (its wait for received bytes asks the
line's modem status, which a pseudo-terminal refuses), so the receive path runs in a second start
of the console: `[Ports]` in its INI maps COM1 to tcp://127.0.0.1:PORT, a real ser2net serving the
same simulator, and "STATUS" must then be answered and decoded as " Stand by" (read from the
console's own traffic log).

With --installer the prefix first gets SETUP.exe run silently (/S); the console is then the
installed one, run with nothing of the kit on its paths (the installer must have brought every
DLL and plugin), and its Start-menu entry must exist. The STATUS round trip is left to the run
without it.
"""

import errno
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from x11_panel import Desk, Display, Fatal, Results, load_layout, stop_process  # noqa: E402

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
KEY = r"HKCU\Software\VB and VBA Program Settings\TAVO\StartUP"
TITLE = "TAVO  MX7300  CONTROL"
TWIPS_PER_PIXEL = 15


def wine_env(base, prefix, kit):
    env = dict(base)
    gcc = subprocess.run(["x86_64-w64-mingw32-g++-posix", "-print-libgcc-file-name"],
                         capture_output=True, text=True, check=True).stdout.strip()
    dirs = [os.path.join(kit, "bin"), os.path.dirname(gcc), "/usr/x86_64-w64-mingw32/lib"]
    env.update({"WINEPREFIX": prefix, "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=",
                "WINEPATH": ";".join("Z:" + d.replace("/", "\\") for d in dirs),
                "WINEQT_PLUGIN_PATH": "Z:" + os.path.join(kit, "plugins")})
    return env


def wine(env, *args, check=True):
    done = subprocess.run([WINE, *args], env=env, capture_output=True, text=True, timeout=120)
    if check and done.returncode != 0:
        raise Fatal(f"wine {' '.join(args)}: {done.stderr.strip()}")
    return done.stdout


def registry_value(env, name):
    out = wine(env, "reg", "query", KEY, "/v", name, check=False)
    match = re.search(rf"{name}\s+REG_SZ\s*(.*)", out)
    return match.group(1).strip() if match else None


def centre(rects, name, origin):
    left, top, width, height = rects[name]
    return origin[0] + left + width // 2, origin[1] + top + height // 2


def sent_count(work, frame):
    return open(os.path.join(work, "sim.log"), "rb").read().count(b"<- " + frame + b" ")


def click_status(desk, rects, origin, work, results, frame, how):
    before = sent_count(work, frame)
    desk.move_to(*centre(rects, "Command44", origin))
    desk.xdotool("click", "1")
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and sent_count(work, frame) == before:
        time.sleep(0.2)
    line = open(os.path.join(work, "sim.log"), "rb").read()
    results.check(f"STATUS puts {frame.decode()} and CR on the line {how}",
                  sent_count(work, frame) > before, line[-200:].decode(errors="replace").strip())


def decoded_status(work, results):
    log_dir = os.path.join(work, "prefix", "drive_c", "users")
    decoded = ""
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and "\tStand by\n" not in decoded:
        time.sleep(0.2)
        decoded = "".join(open(os.path.join(root, f), errors="replace").read()
                          for root, _, files in os.walk(log_dir) for f in files
                          if re.fullmatch(r"\d{4}-\d{2}-\d{2}\.log", f))
    results.check("the reply is decoded as \" Stand by\"", "\tStand by\n" in decoded,
                  decoded.strip().splitlines()[-1] if decoded.strip() else "no log")


def free_loopback_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def listening(port):
    """Binding beside a listening socket fails: this tells without connecting to it."""
    with socket.socket() as probe:
        try:
            probe.bind(("127.0.0.1", port))
        except OSError as error:
            return error.errno == errno.EADDRINUSE
    return False


def start_ser2net(work, device):
    """A real ser2net serving DEVICE raw on a free loopback port; returns (process, port)."""
    program = shutil.which("ser2net") or "/usr/sbin/ser2net"
    port = free_loopback_port()
    config = os.path.join(work, "ser2net.yaml")
    with open(config, "w") as out:
        out.write("%YAML 1.1\n---\nconnection: &com1\n"
                  f"  accepter: tcp,127.0.0.1,{port}\n"
                  f"  connector: serialdev,{device},9600n81,local\n"
                  "  options:\n    mdns: false\n")
    proc = subprocess.Popen([program, "-n", "-d", "-c", config,
                             "-P", os.path.join(work, "ser2net.pid")],
                            stdout=subprocess.DEVNULL,
                            stderr=open(os.path.join(work, "ser2net.log"), "wb"))
    deadline = time.monotonic() + 10
    while not listening(port):
        if time.monotonic() > deadline or proc.poll() is not None:
            raise Fatal(f"ser2net did not listen on 127.0.0.1:{port}")
        time.sleep(0.05)
    return proc, port


def map_port_in_ini(env, target):
    """Adds COM1=TARGET under [Ports] of %LOCALAPPDATA%\\TAVO\\TAVO.ini in the prefix."""
    local = wine(env, "cmd", "/c", "echo %LOCALAPPDATA%").strip()
    if not re.fullmatch(r"[Cc]:\\.+", local):
        raise Fatal(f"%LOCALAPPDATA% is {local!r}")
    folder = os.path.join(env["WINEPREFIX"], "drive_c", *local[3:].split("\\"), "TAVO")
    os.makedirs(folder, exist_ok=True)
    ini = os.path.join(folder, "TAVO.ini")
    text = open(ini, newline="").read() if os.path.exists(ini) else ""
    if "[Ports]" in text:
        raise Fatal(f"{ini} already has [Ports]: {text!r}")
    with open(ini, "a", newline="") as out:
        out.write(f"\r\n[Ports]\r\nCOM1={target}\r\n")


def start_console(env, exe, work, name, results, log):
    console = subprocess.Popen([WINE, exe, "-platform", "windows"], env=env,
                               stdout=subprocess.DEVNULL,
                               stderr=open(os.path.join(work, log), "wb"))
    desk = Desk(env)
    window = desk.find_window(TITLE, timeout=90)
    results.check(f"the console on {name} opens its main window, not the port dialog",
                  window is not None)
    return console, desk, window


def end_console(desk, rects, origin, console, results, name):
    desk.move_to(*centre(rects, "Command16", origin))  # END
    desk.xdotool("click", "1")
    try:
        console.wait(timeout=30)
    except subprocess.TimeoutExpired:
        pass
    results.check(f"END ends the console on {name}", console.poll() == 0,
                  f"status {console.poll()}")


def main(argv):
    installer = None
    if len(argv) > 2 and argv[1] == "--installer":
        installer = argv[2]
        argv = argv[:1] + argv[3:]
    if len(argv) not in (5, 6):
        print(__doc__)
        return 2
    exe, sim_path, layout_tool, kit = argv[1:5]
    shot = argv[5] if len(argv) == 6 else None
    # The Windows leg installs all of these: a missing one is a failure, not a skip.
    for tool in (WINE, "Xvfb", "openbox", "xdotool", "xwininfo", installer or WINE,
                 "/usr/sbin/ser2net" if installer is None else WINE):
        if not (os.path.exists(tool) or shutil.which(tool)):
            print(f"FAIL: {tool} is missing")
            return 1
    results = Results()
    work = tempfile.mkdtemp(prefix="wine-console-")
    display = Display(work)
    sim = console = ser2net = None
    try:
        display.start()
        env = wine_env(display.env, os.path.join(work, "prefix"), kit)
        wine(env, "wineboot", "--init")
        if installer:
            wine(env, installer, "/S")
            subprocess.run([WINESERVER, "-w"], env=env)
            drive_c = os.path.join(env["WINEPREFIX"], "drive_c")
            exe = os.path.join(drive_c, "Program Files", "TAVO MX7300 CONTROL", "bin",
                               "mx7300-control.exe")
            results.check("the silent install puts the console in Program Files",
                          os.path.exists(exe), exe)
            links = [f for _, _, files in os.walk(os.path.join(drive_c, "ProgramData"))
                     for f in files if f == "TAVO MX7300 CONTROL.lnk"]
            results.check("the installer adds a Start-menu entry", len(links) == 1, str(links))
            for name in ("WINEPATH", "WINEQT_PLUGIN_PATH"):
                env.pop(name)
        sim = subprocess.Popen([sim_path, "--baud", "9600"], stdout=subprocess.PIPE,
                               stderr=open(os.path.join(work, "sim.log"), "wb"), text=True)
        device = sim.stdout.readline().strip()
        if not device.startswith("/dev/"):
            raise Fatal(f"mx7300-sim printed {device!r}, not a device")
        wine(env, "reg", "add", r"HKLM\Software\Wine\Ports", "/v", "COM1", "/d", device, "/f")
        for name, value in (("ComPort", "1"), ("BaudRate", "96"), ("ADRESS", "A001")):
            wine(env, "reg", "add", KEY, "/v", name, "/t", "REG_SZ", "/d", value, "/f")
        subprocess.run([WINESERVER, "-k"], env=env)  # COM ports are read when Wine starts
        subprocess.run([WINESERVER, "-w"], env=env)

        console, desk, window = start_console(env, exe, work, "COM1", results, "console.log")
        if window is None:
            return 1
        desk.activate(window)
        rects = load_layout(layout_tool)
        x, y, _, height = desk.geometry(window)
        # Wine takes the keyboard once its window has been clicked: a label is inert.
        time.sleep(2.0)
        desk.move_to(*centre(rects, "Label1", (x, y)))
        desk.xdotool("click", "1")
        time.sleep(0.5)
        desk.key("ctrl+h")  # the full panel: status buttons, address options, status line
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and height <= 5100 // TWIPS_PER_PIXEL:
            time.sleep(0.2)
            x, y, _, height = desk.geometry(window)
        results.check("Ctrl+H shows the full panel", height > 5100 // TWIPS_PER_PIXEL,
                      f"{height} px high")
        if shot:
            subprocess.run(["import", "-window", window, shot], env=env, check=False)

        if not installer:
            click_status(desk, rects, (x, y), work, results, b"A001CR0",
                         "COM1 (Wine's serial port)")

        desk.move_to(*centre(rects, "Option2", (x, y)))  # ALL: AFFF
        desk.xdotool("click", "1")
        time.sleep(0.5)
        end_console(desk, rects, (x, y), console, results, "COM1")
        results.check("END stores ADRESS AFFF in the registry",
                      registry_value(env, "ADRESS") == "AFFF", registry_value(env, "ADRESS"))
        results.check("ComPort and BaudRate stay as the earlier program wrote them",
                      (registry_value(env, "ComPort"), registry_value(env, "BaudRate"))
                      == ("1", "96"))
        if installer:
            return 1 if results.failed else 0

        stop_process(console)  # already ended unless END failed above
        # The receive path: COM1 through [Ports] to ser2net on the simulator's line.
        ser2net, port = start_ser2net(work, device)
        map_port_in_ini(env, f"tcp://127.0.0.1:{port}")
        console, desk, window = start_console(env, exe, work, f"tcp://127.0.0.1:{port}", results,
                                              "console-tcp.log")
        if window is None:
            return 1
        desk.activate(window)
        x, y, _, height = desk.geometry(window)
        time.sleep(2.0)
        desk.move_to(*centre(rects, "Label1", (x, y)))
        desk.xdotool("click", "1")
        time.sleep(0.5)
        if height <= 5100 // TWIPS_PER_PIXEL:
            desk.key("ctrl+h")
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and height <= 5100 // TWIPS_PER_PIXEL:
                time.sleep(0.2)
                x, y, _, height = desk.geometry(window)
        # The status line decodes replies to unaddressed commands only: the single projector.
        desk.move_to(*centre(rects, "Option1", (x, y)))
        desk.xdotool("click", "1")
        time.sleep(0.5)
        click_status(desk, rects, (x, y), work, results, b"CR0", "through ser2net")
        decoded_status(work, results)
        end_console(desk, rects, (x, y), console, results, "the network port")
        results.check("END stores the single projector's empty ADRESS",
                      registry_value(env, "ADRESS") == "", repr(registry_value(env, "ADRESS")))
    except Fatal as error:
        print(f"FAIL {error}")
        results.failed += 1
    finally:
        for proc in (console, ser2net, sim):
            if proc:
                stop_process(proc)
        if "env" in locals():
            subprocess.run([WINESERVER, "-k"], env=env)
        display.stop()
        print(f"{results.passed} passed, {results.failed} failed; files in {work}")
    return 1 if results.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
