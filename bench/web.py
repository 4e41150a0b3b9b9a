#!/usr/bin/python3
"""The web page in headless Chromium, opened from its folder: the first
contentful paint, the calculator built with its line written, and a box's
click to the new line (the click handler, the model and the line written),
each run on a fresh load (the click the mean of a thousand). Prints JSON:
lists of milliseconds.

Usage: bench/web.py PAGE_DIR RUNS
"""
import json
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests"))
from web import browser  # noqa: E402  the test's browser, started as the test starts it

page, runs = Path(sys.argv[1]).resolve(), int(sys.argv[2])
found = {"paint": [], "loaded": [], "click": []}
with tempfile.TemporaryDirectory() as work:
    driver = browser(page, Path(work))
    try:
        for _ in range(runs + 1):  # the first warms the disk cache
            driver.get((page / "index.html").as_uri())
            paint, loaded, clicks = driver.execute_async_script("""
                const done = arguments[0];
                window.zelvarReady.then(() => requestAnimationFrame(() => setTimeout(() => {
                    const box = document.getElementById('chkAdmin(3)');
                    const line = document.getElementById('txtBitRate');
                    const lines = new Set(), began = performance.now();
                    for (let i = 0; i < 1000; ++i) {
                        box.click();
                        lines.add(line.value);
                    }
                    if (lines.size !== 2) throw new Error('the clicks did not change the line');
                    done([performance.getEntriesByName('first-contentful-paint')[0].startTime,
                          performance.getEntriesByName('zelvar-loaded')[0].startTime,
                          (performance.now() - began) / 1000]);
                })));""")
            found["paint"].append(paint)
            found["loaded"].append(loaded)
            found["click"].append(clicks)
    finally:
        driver.quit()
for key in found:
    found[key] = found[key][1:]
print(json.dumps(found))
