#!/usr/bin/python3
# The web page in a real browser (headless Chromium, from file://):
# 1. a random walk of clicks gives the same lines as the Qt window given the
#    same walk (tst_window walkGiven);
# 2. a configuration that execs another opens as `zelvar-bits explain` reads it,
#    shown at once; Escape or a paste on the diff downloads nothing;
# 3. an edit downloads the bytes `zelvar-bits set` writes, after a diff that
#    masks the password;
# 4. the keyboard alone reaches every control on show in the design's order,
#    Space clicks a box, the paste key opens text and the copy key copies the line;
# 5. on a phone's width nothing reaches past the screen, no caption is cut and a
#    box still works;
# 6. the page, compressed, stays under 400 KiB.
# Usage: web.py PAGE_DIR ZELVAR_BITS TST_WINDOW. ZELVAR_SEED replays a walk.
import gzip
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

seed = int(os.environ.get("ZELVAR_SEED") or random.randrange(2**32))
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


def wait_for(condition, what, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise TimeoutError(what)


def browser(page, work, width=None):
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--no-first-run", f"--user-data-dir={work}/profile-{width}",
                 "--window-size=800,900"):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
    driver.set_page_load_timeout(30)
    driver.set_script_timeout(30)
    driver.execute_cdp_cmd("Browser.setDownloadBehavior",
                           {"behavior": "allow", "downloadPath": str(work / "downloads")})
    if width:  # a phone's screen; a headless window is never narrower than 500
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": 740, "deviceScaleFactor": 2, "mobile": True})
    driver.get((page / "index.html").as_uri())
    reload(driver)
    return driver


def reload(driver):
    driver.refresh()
    driver.execute_async_script("window.zelvarReady.then(() => arguments[0]())")


def line(driver):
    return driver.find_element(By.ID, "txtBitRate").get_attribute("value")


def walk(driver, work):
    # Each panel button with the boxes of the panel it shows.
    panels = driver.execute_script("""return Object.fromEntries([...document.querySelectorAll(
        'button.command')].map(b => [b.id, [...document.getElementById(b.getAttribute(
        'aria-controls')).querySelectorAll('label[id^=chk]')].map(l => l.id)]))""")
    rng = random.Random(seed)
    boxes, names = panels["Command3"], []
    for _ in range(300):
        roll = rng.random()
        if roll < 0.15:
            names.append(rng.choice(sorted(panels)))
            boxes = panels[names[-1]]
        elif roll < 0.25 and boxes is panels["Command3"]:
            names.append(rng.choice(["optam", "optJK", "optInstructor"]))
        else:
            names.append(rng.choice(boxes))
    # Clicked from the page's own script: three hundred WebDriver clicks
    # would take most of a minute; the other cases click through WebDriver.
    lines = driver.execute_script("""
        return arguments[0].map(name => {
            document.getElementById(name).click();
            return document.getElementById('txtBitRate').value;
        });""", names)
    walk_file = work / "walk"
    walk_file.write_text("\n".join(names) + "\n")
    subprocess.run([tst_window, "walkGiven"], check=True, timeout=120, stdout=subprocess.DEVNULL,
                   env={**os.environ, "ZELVAR_WALK": str(walk_file), "QT_QPA_PLATFORM": "offscreen"})
    window = (work / "walk.lines").read_text().split("\n")
    differ = next((i for i, pair in enumerate(zip(lines, window)) if pair[0] != pair[1]), None)
    check(len(window) == len(names) and differ is None,
          f"seed {seed}, step {differ}: {list(zip(lines, window))[differ or 0]} (page, window)")


def open_and_save(driver, work):
    # A configuration and the file it execs: explained as explain reads
    # them, and an edit downloaded as set writes it.
    config = work / "config"
    config.mkdir()
    (config / "server.cfg").write_bytes(
        b'seta rconpassword "s3cret-pw"\r\nseta g_weaponDisable "8" // the saber\r\n'
        b"exec zv.cfg\r\nseta zv_teamLock 20\r\n")
    (config / "zv.cfg").write_bytes(b"/* weapons */ set g_weaponDisable 40\nexec missing\n")
    driver.find_element(By.ID, "pick").send_keys(
        f"{config / 'server.cfg'}\n{config / 'zv.cfg'}")
    explained = wait_for(lambda: driver.execute_script("return window.zelvarExplained"),
                         "the explanation")
    cli = subprocess.run([bits, "--json", "explain", "server.cfg"], cwd=config,
                         capture_output=True, timeout=30)
    check(len(explained) == 1 and explained[0]["report"] == json.loads(cli.stdout),
          f"the page explains:\n{explained}\nzelvar-bits explains:\n{cli.stdout.decode()}")
    # Shown at once, a line each setting, the password hidden.
    shown = driver.find_element(By.ID, "explanation")
    items = shown.find_elements(By.CSS_SELECTOR, "ol.settings > li")
    check(shown.is_displayed() and len(items) == len(explained[0]["report"]["settings"]) and
          "s3cret" not in shown.text and "read as the server starts" in shown.text,
          f"the explanation shown: {shown.text!r}")
    check(line(driver) == "zv_teamLock 20" and driver.title.startswith("server.cfg"),
          f"opened: {line(driver)!r}, title {driver.title!r}")

    driver.find_element(By.ID, "Command1").click()
    driver.find_element(By.ID, "chkWeapon(0)").click()
    wanted = line(driver)
    # Escape on the diff, or a paste while it shows, downloads nothing: the
    # plan was of what was open before.
    for leave in ("escape", "paste"):
        driver.find_element(By.ID, "save").click()
        wait_for(lambda: driver.find_element(By.ID, "confirmDetails").text, "the diff")
        if leave == "escape":
            ActionChains(driver).send_keys(Keys.ESCAPE).perform()
        else:
            driver.execute_script("""
                const paste = new DataTransfer();
                paste.setData('text/plain', 'zv_teamLock 4');
                document.getElementById('download').dispatchEvent(new ClipboardEvent('paste',
                    {clipboardData: paste, bubbles: true}));""")
        time.sleep(0.5)
        check(not driver.find_element(By.ID, "confirm").get_property("open") and
              not list((work / "downloads").glob("*")), f"{leave} on the diff downloaded")
    check(line(driver) == "zv_teamLock 4", f"the paste during the diff: {line(driver)!r}")
    driver.find_element(By.ID, "pick").send_keys(
        f"{config / 'server.cfg'}\n{config / 'zv.cfg'}")
    wait_for(lambda: driver.title.startswith("server.cfg") and line(driver) == "zv_teamLock 20",
             "the configuration again")
    driver.find_element(By.ID, "Command1").click()
    driver.find_element(By.ID, "chkWeapon(0)").click()
    driver.find_element(By.ID, "save").click()
    shown = wait_for(lambda: driver.find_element(By.ID, "confirmDetails").text, "the diff")
    check("zv.cfg" in shown and "s3cret" not in driver.page_source, f"the diff: {shown}")
    driver.find_element(By.ID, "download").click()
    downloaded = wait_for(lambda: [p for p in (work / "downloads").glob("*")
                                   if not p.name.endswith(".crdownload")], "the download")
    expected = work / "expected"
    shutil.copytree(config, expected)
    subprocess.run([bits, "set", "server.cfg", wanted], cwd=expected, check=True,
                   capture_output=True, timeout=30)
    check([p.name for p in downloaded] == ["zv.cfg"] and
          downloaded[0].read_bytes() == (expected / "zv.cfg").read_bytes(),
          f"downloaded {[p.name for p in downloaded]}, not set's zv.cfg")


def keyboard(driver):
    # Tab from the top, with the first panel and with one that has labels:
    # the controls on show, in the design's order (from its tables).
    design = driver.execute_script("""
        const layout = window.zelvarControls.layout, stops = {};
        const walk = (list, panel) => list.forEach(c => {
            if (c.kind === 'panel') return walk(c.contents, c.group);
            const at = stops[panel] ??= [];
            if (['panelButton', 'textBox'].includes(c.kind)) at.push([c.tabIndex, 'always']);
            if (c.kind === 'optionButton') at.push([c.tabIndex, c.rank]);
            if (c.kind === 'checkBoxes') c.options.forEach(o => at.push([o.tabIndex, 'always']));
        });
        walk(layout.controls, 'window');
        return stops;""")
    for panel, button in (("2", None), ("1", "Command2")):  # Admin at start, then Force
        if button:  # from the top again, the panel shown without moving the focus
            reload(driver)
            driver.execute_script("document.getElementById(arguments[0]).click()", button)
        expected = sorted(t for t, when in design["window"] + design[panel]
                          if when in ("always", 2))  # the rank selected: Council
        seen = []
        for _ in expected:
            ActionChains(driver).send_keys(Keys.TAB).perform()
            seen.append(driver.switch_to.active_element.get_property("tabIndex") - 1)
        check(seen == expected, f"Tab reaches {seen}, the design's order is {expected}")
    driver.find_element(By.CSS_SELECTOR, "[id='chkForce(0)'] input").send_keys(Keys.SPACE)
    check(line(driver) != "g_forcePowerDisable 0", f"Space on a box: {line(driver)!r}")
    # The paste key opens the clipboard's text, the copy key copies the line.
    copied = driver.execute_script("""
        const paste = new DataTransfer(), copy = new DataTransfer();
        paste.setData('text/plain', 'seta zv_teamLock "20"');
        document.body.dispatchEvent(new ClipboardEvent('paste', {clipboardData: paste, bubbles: true}));
        document.body.dispatchEvent(new ClipboardEvent('copy', {clipboardData: copy, bubbles: true}));
        return copy.getData('text/plain');""")
    check(copied == line(driver) == "zv_teamLock 20", f"pasted, then copied: {copied!r}")


def narrow(work):
    driver = browser(page, work, 360)
    try:
        width = driver.execute_script("return document.documentElement.scrollWidth")
        check(width <= 360, f"at 360 pixels the page is {width} wide")
        driver.save_screenshot(str(work / "narrow.png"))
        driver.find_element(By.ID, "Command1").click()
        cut = driver.execute_script("""return [...document.querySelectorAll('label.green')]
            .filter(l => l.offsetParent && l.scrollWidth > l.clientWidth).map(l => l.textContent)""")
        check(not cut, f"at 360 pixels these captions are cut: {cut}")
        box = driver.find_element(By.ID, "chkWeapon(18)")
        box.click()
        check(line(driver) != "g_weaponDisable 0", f"a box at 360 pixels: {line(driver)!r}")
    finally:
        driver.quit()


def main():
    size = sum(len(gzip.compress(p.read_bytes(), 9)) for p in page.iterdir())
    check(size < 400 * 1024, f"the page is {size} bytes compressed")
    with tempfile.TemporaryDirectory() as name:
        work = Path(name)
        (work / "downloads").mkdir()
        driver = browser(page, work)
        try:
            keyboard(driver)
            reload(driver)
            walk(driver, work)
            reload(driver)
            open_and_save(driver, work)
        finally:
            driver.quit()
        narrow(work)
    print(f"web: seed {seed}, {size} bytes compressed, {len(failures)} failures")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    page, bits, tst_window = (Path(a).resolve() for a in sys.argv[1:4])
    main()
