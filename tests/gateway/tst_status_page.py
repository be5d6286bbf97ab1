"""The gateway's status page in a real headless Chromium, against simulated projectors:
usage: tst_status_page.py MX7300_GATEWAY MX7300_SIM"""
import os
import sys
import unittest
import urllib.request

try:
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
    import page_rig
except ImportError as missing:  # setup.sh test installs python3-selenium
    print("SKIP: %s" % missing)
    sys.exit(77)

GATEWAY, SIM = sys.argv[1:3] if len(sys.argv) == 3 else (None, None)
# Everything a browser or a site file could take for markup, a placeholder or an argument.
HOSTILE_ROOM = '<script>window.pwned=1</script><img src=x onerror="window.pwned=2"> %1 {{rooms}} &amp;'


def setUpModule():
    global sims, site
    sims = {name: page_rig.Sim(SIM) for name in ("hall", "lab", "studio")}
    rooms = {"hall": "2.14", "lab": "2.14", "studio": HOSTILE_ROOM}
    site = page_rig.Site(GATEWAY, [
        (name, {"port": sims[name].device, "baud": "9600", "room": rooms[name],
                **({"lamp_warn_hours": "1000"} if name == "studio" else {})})
        for name in ("hall", "lab", "studio")])
    for name in sims:
        if not site.gateway.wait_for_line(r"^<6>%s: online" % name):
            raise RuntimeError("%s never came online: %s" % (name, site.gateway.log()))


def tearDownModule():
    site.stop()
    for sim in sims.values():
        sim.stop()


def row(driver, name):
    return driver.find_element(By.CSS_SELECTOR, 'tr[data-name="%s"]' % name)


def cell(driver, name, kind):
    return row(driver, name).find_element(By.CSS_SELECTOR, "td." + kind)


def press(driver, value):
    driver.find_element(By.CSS_SELECTOR, 'button[name="do"][value="%s"]' % value).click()


class WithScript(unittest.TestCase):
    def setUp(self):
        self.driver = page_rig.chromium()
        self.driver.get(site.url)
        self.wait = WebDriverWait(self.driver, 8, poll_frequency=0.1)

    def tearDown(self):
        page_rig.close_chromium(self.driver)

    def test_rooms_rows_and_nothing_from_elsewhere(self):
        d = self.driver
        rooms = [h.get_property("textContent") for h in d.find_elements(By.CSS_SELECTOR, "h2")]
        self.assertEqual(rooms, ["Room 2.14", "Room " + HOSTILE_ROOM])
        sections = d.find_elements(By.CSS_SELECTOR, "section.room")
        self.assertEqual([[r.get_attribute("data-name") for r in s.find_elements(By.CSS_SELECTOR, "tr[data-name]")]
                          for s in sections], [["hall", "lab"], ["studio"]])
        self.assertIsNone(d.execute_script("return window.pwned"))
        self.wait.until(lambda _: cell(d, "studio", "lamp").text.startswith("1234"))
        self.assertIn("warn", cell(d, "studio", "lamp").get_attribute("class"))
        self.assertNotIn("warn", cell(d, "hall", "lamp").get_attribute("class"))
        self.assertEqual(cell(d, "hall", "avail").text, "online")
        self.wait.until(lambda _: d.find_element(By.ID, "link").text.startswith("Live"))
        loaded = d.execute_script(
            "return performance.getEntriesByType('resource').map(e => e.name)")
        self.assertTrue(loaded)
        self.assertEqual([u for u in loaded if not u.startswith(site.url)], [])

    def test_wrong_token_is_refused_and_said(self):
        d = self.driver
        d.find_element(By.ID, "token").send_keys("not-the-token-at-all")
        press(d, "power:on:projector:lab")
        self.wait.until(lambda _: "Wrong token" in d.find_element(By.ID, "notice").text)
        self.assertTrue(d.find_element(By.ID, "token").is_displayed())
        self.assertNotIn("C00", sims["lab"].received())

    def test_on_reaches_the_line_and_rows_follow(self):
        d = self.driver
        d.find_element(By.ID, "token").send_keys(site.token)
        start = len(sims["hall"].log())
        press(d, "power:on:projector:hall")
        self.assertTrue(sims["hall"].wait_for_line(r"^<- C00  -> <ACK>", 5, start))
        self.wait.until(lambda _: cell(d, "hall", "power").text in ("Count down", "Power ON"))
        self.assertFalse(d.find_element(By.ID, "token").is_displayed())  # kept for the tab

        # A room's button goes to each of its projectors; the room's name is the hostile one.
        start = len(sims["studio"].log())
        press(d, "power:on:room:" + HOSTILE_ROOM.replace('"', '\\"'))
        self.assertTrue(sims["studio"].wait_for_line(r"^<- C00  -> <ACK>", 5, start))
        self.wait.until(lambda _: cell(d, "studio", "power").text in ("Count down", "Power ON"))
        self.assertIn("acknowledged by studio", d.find_element(By.ID, "notice").text)


class WithoutScript(unittest.TestCase):
    def test_table_renders_and_a_form_post_works(self):
        d = page_rig.chromium(javascript=False)
        try:
            d.get(site.url)
            self.assertEqual(cell(d, "lab", "avail").text, "online")
            self.assertEqual(cell(d, "lab", "input").text, "Input 1")
            self.assertTrue(d.find_element(By.ID, "link").text.startswith("Readings of"))
            d.find_element(By.ID, "token").send_keys(site.token)
            start = len(sims["lab"].log())
            press(d, "power:off:projector:lab")
            self.assertTrue(sims["lab"].wait_for_line(r"^<- C01  -> <ACK>", 5, start))
            WebDriverWait(d, 8).until(lambda _: d.current_url == site.url)  # 303 back to /
            self.assertTrue(row(d, "lab").is_displayed())
        finally:
            page_rig.close_chromium(d)

    def test_served_html_escapes_and_forbids_outside_loads(self):
        with urllib.request.urlopen(site.url, timeout=5) as answer:
            html = answer.read().decode("utf-8")
            headers = answer.headers
        self.assertIn("&lt;script&gt;window.pwned=1&lt;/script&gt;&lt;img src=x "
                      "onerror=&quot;window.pwned=2&quot;&gt; %1 {{rooms}} &amp;amp;", html)
        self.assertNotIn("<script>window", html)
        self.assertNotIn("<img", html)
        self.assertIn("default-src 'none'", headers["Content-Security-Policy"])
        self.assertEqual(headers["X-Content-Type-Options"], "nosniff")


if __name__ == "__main__":
    if not GATEWAY or not os.access("/usr/bin/chromedriver", os.X_OK):
        print("SKIP: needs the gateway and simulator paths, and chromium-driver")
        sys.exit(77 if GATEWAY else 2)
    unittest.main(argv=[sys.argv[0]], verbosity=2)
