"""Screenshots of the gateway's status page for the documentation: a site of five projectors in
two rooms (one on, one past its lamp warning, one whose port is missing), at a desktop width and
on a phone-sized screen.
usage: status_page.py MX7300_GATEWAY MX7300_SIM OUTPUT_DIR"""
import json
import os
import sys
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "gateway"))
import page_rig  # noqa: E402


def post(url, token, path, body):
    request = urllib.request.Request(url + path, data=body.encode(), method="POST",
                                     headers={"Authorization": "Bearer " + token})
    return urllib.request.urlopen(request, timeout=10).status


def wait_for(url, test, timeout=15):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        with urllib.request.urlopen(url + "api/projectors", timeout=5) as answer:
            if test(json.load(answer)["projectors"]):
                return
        time.sleep(0.2)
    raise RuntimeError("the site did not settle")


def main(gateway, sim_path, out):
    sims = [page_rig.Sim(sim_path, "--lamp-hours", hours) for hours in ("1234", "3120", "410", "2260")]
    sections = [
        ("aula-left", {"port": sims[0].device, "baud": "9600", "room": "Aula"}),
        ("aula-right", {"port": sims[1].device, "baud": "9600", "room": "Aula"}),
        ("r214", {"port": sims[2].device, "baud": "9600", "room": "2.14"}),
        ("r214-rear", {"port": sims[3].device, "baud": "9600", "room": "2.14"}),
        ("r214-side", {"port": "/dev/ttyUSB9", "room": "2.14"}),
    ]
    site = page_rig.Site(gateway, sections)
    try:
        wait_for(site.url, lambda ps: sum(p["available"] for p in ps) == 4)
        post(site.url, site.token, "api/projectors/aula-left/power", "on")
        post(site.url, site.token, "api/projectors/r214/input", "3")
        wait_for(site.url, lambda ps: ps[0]["power"] == "Power ON" and ps[2]["input"] == "Input 3")
        for name, width, height, mobile in (("status-page.png", 1280, 760, False),
                                            ("status-page-phone.png", 390, 844, True)):
            driver = page_rig.chromium(width, height)
            try:
                driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                    "width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})
                driver.get(site.url)
                time.sleep(1.5)  # one poll, so the "Live" line shows
                driver.save_screenshot(os.path.join(out, name))
            finally:
                page_rig.close_chromium(driver)
    finally:
        site.stop()
        for sim in sims:
            sim.stop()


if __name__ == "__main__":
    main(*sys.argv[1:4])
