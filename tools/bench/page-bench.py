"""The status page with a site of 200 projectors, in headless Chromium:
  first render  the Navigation and Paint Timing of fresh loads of /, target: the first
                contentful paint and the load event p90 < 300 ms after the navigation started;
  change shown  from the simulator logging a power-on command on its line to the row in an open
                page reading "Count down"/"Power ON", target < 2 s.
The site: 50 simulators on pseudo-terminals, four sections on each (address=single, so all
four are answered): 200 projectors on 50 ports, as 200 simulator processes would be heavy on a
shared machine. The four sections of a port are read one after the other, as on a shared line.
usage: page-bench.py MX7300_GATEWAY MX7300_SIM [OUTPUT_FILE]"""
import os
import random
import statistics
import sys
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "gateway"))
import page_rig  # noqa: E402

SIMS, PER_SIM, LOADS, CHANGES = 50, 4, 30, 20


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100 * (len(ordered) - 1))))]


def first_renders(driver, url):
    rows = []
    for _ in range(LOADS + 3):
        driver.get(url)
        rows.append(driver.execute_script("""
            const n = performance.getEntriesByType('navigation')[0];
            const paint = performance.getEntriesByName('first-contentful-paint')[0];
            return [n.responseStart, n.responseEnd, n.domContentLoadedEventEnd, n.loadEventEnd,
                    paint ? paint.startTime : null, n.transferSize];"""))
    return rows[3:]  # the first loads warm the browser's own caches


def changes_shown(driver, url, site, sims):
    driver.get(url)
    delays = []
    for trial in range(CHANGES):
        name = "p%03d" % (trial * PER_SIM)  # the first section of simulator `trial`
        driver.execute_script("""
            const td = document.querySelector('tr[data-name="' + arguments[0] + '"] td.power');
            window.shownAt = null;
            new MutationObserver(function () {
              if (!window.shownAt && ['Count down', 'Power ON'].includes(td.textContent))
                window.shownAt = Date.now();
            }).observe(td, {childList: true, characterData: true, subtree: true});""", name)
        # At a random point of the page's one-second poll, not just after one.
        time.sleep(random.uniform(0, 1))
        sim = sims[trial]
        start = len(sim.log())
        request = urllib.request.Request(url + "api/projectors/%s/power" % name, data=b"on",
                                         headers={"Authorization": "Bearer " + site.token})
        urllib.request.urlopen(request, timeout=10).read()
        line = sim.wait_for_line(r"^<- C00  -> <ACK>", 5, start)
        on_line = sim.line_times[sim.log().index(line, start)]
        deadline = time.time() + 10
        shown = None
        while shown is None and time.time() < deadline:
            shown = driver.execute_script("return window.shownAt")
            time.sleep(0.02)
        if shown is None:
            raise RuntimeError("%s never showed the change" % name)
        delays.append(shown - on_line * 1000)
    return delays


def main(gateway, sim_path, output=None):
    sims = [page_rig.Sim(sim_path) for _ in range(SIMS)]
    sections = [("p%03d" % (s * PER_SIM + k),
                 {"port": sims[s].device, "baud": "9600", "room": "Room %02d" % (s // 2 + 1)})
                for s in range(SIMS) for k in range(PER_SIM)]
    site = page_rig.Site(gateway, sections)
    driver = page_rig.chromium(1280, 900)
    try:
        deadline = time.time() + 60
        while time.time() < deadline and sum(
                1 for line in site.gateway.log() if line.endswith(": online")) < len(sections):
            time.sleep(0.2)
        renders = first_renders(driver, site.url)
        delays = changes_shown(driver, site.url, site, sims)
    finally:
        page_rig.close_chromium(driver)
        site.stop()
        for sim in sims:
            sim.stop()

    load = [r[3] for r in renders]
    lines = [
        "status page, %d projectors (%d simulators x %d sections), %d loads, %d changes"
        % (len(sections), SIMS, PER_SIM, len(renders), len(delays)),
        "page size %d bytes" % renders[-1][5],
    ]
    for label, index in (("response start", 0), ("response end", 1), ("DOMContentLoaded", 2),
                         ("load event", 3), ("first contentful paint", 4)):
        values = [r[index] for r in renders if r[index] is not None]
        lines.append("%-24s p50 %7.1f ms  p90 %7.1f ms  max %7.1f ms"
                     % (label, statistics.median(values), percentile(values, 90), max(values)))
    lines.append("%-24s p50 %7.1f ms  p90 %7.1f ms  max %7.1f ms"
                 % ("change shown", statistics.median(delays), percentile(delays, 90),
                    max(delays)))
    paint = [r[4] for r in renders if r[4] is not None]
    for label, values in (("first contentful paint", paint), ("load event", load)):
        lines.append("target %s p90 < 300 ms: %s"
                     % (label, "met" if percentile(values, 90) < 300 else "NOT met"))
    lines.append("target change shown max < 2000 ms: %s" % ("met" if max(delays) < 2000 else "NOT met"))
    text = "\n".join(lines) + "\n"
    print(text, end="")
    if output:
        with open(output, "w") as f:
            f.write(text)


if __name__ == "__main__":
    main(*sys.argv[1:4])
