# SPDX-License-Identifier: MIT
"""mapsyms report's pages in Debian's headless Chromium, driven through the DevTools protocol over
a pipe as a person would use them: the counts on the page against the library's (through
mapsyms), typing in the search box, choosing a kind, sorting a column, clicking a block of the
layout, a fragment opening its view, the diff page's counts against mapsyms diff, names and
titles that must stay text, a map without address symbols; no console error on any page, and
a screenshot that is not blank.

usage: report_browser.py BIN_DIR SOURCE_DIR
       report_browser.py --time MAPSYMS MAP   (bench: the page's size and its time to be ready)
"""

import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zlib

CHROMIUM = "/usr/bin/chromium"


class Browser:
    """One headless Chromium and one page, spoken to in the DevTools protocol's JSON messages,
    each ended by a zero byte, on the pipe Chromium reads from descriptor 3 and writes to 4."""

    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="report_browser.")
        to_chrome, self.out = os.pipe()
        self.into, from_chrome = os.pipe()

        def descriptors():
            os.dup2(to_chrome, 3)
            os.dup2(from_chrome, 4)

        self.process = subprocess.Popen(
            [CHROMIUM, "--headless=new", "--remote-debugging-pipe", "--no-sandbox",
             "--disable-gpu", "--no-first-run", "--no-default-browser-check",
             "--disable-extensions", "--allow-file-access-from-files",
             f"--user-data-dir={self.profile}", "about:blank"],
            pass_fds=(3, 4), preexec_fn=descriptors,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_chrome)
        os.close(from_chrome)
        self.buffer = b""
        self.next_id = 0
        self.events = []
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.call("Target.attachToTarget",
                                 {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Page", "Runtime", "Log"):
            self.call(domain + ".enable", session=True)
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": 1280, "height": 1000, "deviceScaleFactor": 1, "mobile": False},
                  session=True)

    def call(self, method, params=None, session=False):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = self.session
        os.write(self.out, json.dumps(message).encode() + b"\0")
        while True:
            reply = self.receive()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise AssertionError(f"{method}: {reply['error']}")
                return reply.get("result", {})
            self.events.append(reply)

    def receive(self):
        while b"\0" not in self.buffer:
            chunk = os.read(self.into, 1 << 20)
            if not chunk:
                raise AssertionError("Chromium closed the pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True}, session=True)
        if "exceptionDetails" in result:
            raise AssertionError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def open(self, url, timeout=60):
        """Opens url and waits until its script says it is ready; the seconds it took."""
        self.events.clear()
        started = time.monotonic()
        self.call("Page.navigate", {"url": url}, session=True)
        while time.monotonic() - started < timeout:
            if self.evaluate("document.readyState === 'complete' && "
                             "document.body && document.body.dataset.ready === 'true'"):
                return time.monotonic() - started
            time.sleep(0.02)
        raise AssertionError(f"{url} was not ready within {timeout} s")

    def errors(self):
        """The page's console errors and uncaught exceptions since it was opened."""
        self.evaluate("0")  # collects the events sent meanwhile
        found = []
        for event in self.events:
            method, params = event.get("method"), event.get("params", {})
            if method == "Runtime.exceptionThrown":
                found.append(params["exceptionDetails"].get("text"))
            elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
                found.append(str(params.get("args")))
            elif method == "Log.entryAdded" and params["entry"].get("level") == "error":
                found.append(params["entry"].get("text"))
            elif method == "Page.javascriptDialogOpening":
                found.append("a dialog opened: " + params.get("message", ""))
        return found

    def click(self, selector, dx=None, dy=None):
        """Clicks an element as a mouse does, at its middle or at (dx, dy) within it."""
        box = self.evaluate(f"""(() => {{ const e = document.querySelector({json.dumps(selector)});
            e.scrollIntoView({{block: 'center'}}); const r = e.getBoundingClientRect();
            return [r.left, r.top, r.width, r.height]; }})()""")
        x = box[0] + (box[2] / 2 if dx is None else dx)
        y = box[1] + (box[3] / 2 if dy is None else dy)
        for kind in ("mouseMoved", "mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y, "button": "left",
                                                   "clickCount": 1}, session=True)

    def type(self, selector, text):
        self.click(selector)
        self.call("Input.insertText", {"text": text}, session=True)

    def screenshot(self):
        return base64.b64decode(self.call("Page.captureScreenshot", {"format": "png"},
                                          session=True)["data"])

    def close(self):
        try:
            self.call("Browser.close")
        except (AssertionError, OSError):
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
        shutil.rmtree(self.profile, ignore_errors=True)


def png_colours(png):
    """How many different bytes the picture's first rows hold (a blank page holds a few)."""
    at, idat, width = 8, b"", 0
    while at < len(png):
        length = int.from_bytes(png[at:at + 4], "big")
        kind = png[at + 4:at + 8]
        if kind == b"IHDR":
            width = int.from_bytes(png[at + 8:at + 12], "big")
        if kind == b"IDAT":
            idat += png[at + 8:at + 8 + length]
        at += 12 + length
    raw = zlib.decompress(idat)
    return len(set(raw[:width * 4 * 400]))


def time_ready(mapsyms, map_path):
    """For bench: the report's size against the map's, and its seconds to be ready."""
    work = tempfile.mkdtemp(prefix="report_time.")
    page = os.path.join(work, "report.html")
    subprocess.run([mapsyms, "report", "-o", page, map_path], check=True)
    browser = Browser()
    try:
        seconds = browser.open("file://" + page, timeout=120)
        searched = time.monotonic()
        browser.type("#search", "uart")
        rows = browser.evaluate("document.getElementById('row-count').textContent")
        search_seconds = time.monotonic() - searched
        errors = browser.errors()
    finally:
        browser.close()
    ratio = os.path.getsize(page) / os.path.getsize(map_path)
    print(f"report / map size: {ratio:.2f}; ready in Chromium: {seconds:.2f} s; "
          f"a search: {search_seconds:.2f} s ({rows}); console errors: {len(errors)}")
    shutil.rmtree(work)


if __name__ == "__main__" and len(sys.argv) == 4 and sys.argv[1] == "--time":
    time_ready(sys.argv[2], sys.argv[3])
    sys.exit(0)


BIN, SOURCE = (sys.argv[1], sys.argv[2]) if len(sys.argv) == 3 else ("", "")
MAPSYMS = os.path.join(BIN, "mapsyms")
DRAWN = ["--kind", "Addr.", "--kind", "loc.", "--kind", "Func.", "--kind", "Var."]
results = {"passed": 0, "failed": 0}


def mapsyms(*args, check=True):
    done = subprocess.run([MAPSYMS, *args], capture_output=True, text=True)
    if check and done.returncode not in (0, 1):
        raise AssertionError(f"mapsyms {args}: {done.stderr}")
    return done.stdout


def expect(what, got, wanted):
    if got != wanted:
        raise AssertionError(f"{what}: {got!r}, expected {wanted!r}")


def case(name, test, browser, *args):
    try:
        test(browser, *args)
        errors = browser.errors()
        expect("console errors", errors, [])
        results["passed"] += 1
    except AssertionError as error:
        results["failed"] += 1
        print(f"{name}: {error}")


def rows(browser, table="symbol-table"):
    """The rendered rows of a table: each a list of its cells' texts."""
    return browser.evaluate(f"""[...document.querySelectorAll('#{table} tbody tr:not(.spacer)')]
        .map(tr => [...tr.cells].map(td => td.textContent))""")


def counted(*args):
    return int(mapsyms("--count", *args).strip())


def check_counts(browser, page, sample):
    browser.open(page)
    cells = browser.evaluate("""Object.fromEntries([...document.querySelectorAll(
        '#counts tbody tr, #counts tfoot tr')].map(tr => [tr.cells[0].textContent,
        tr.cells[4].textContent]))""")
    expect("all symbols", int(cells["All"]), counted(*DRAWN, sample))
    for kind in ("Addr.", "loc.", "Func.", "Var."):
        expect(kind, int(cells.get(kind, "0")), counted("--kind", kind, sample))
    expect("row count", browser.evaluate("document.getElementById('row-count').textContent"),
           f"{cells['All']} of {cells['All']} symbols")
    shown = rows(browser)
    listed = mapsyms(*DRAWN, "--sort", "value", "--format", "csv", sample).splitlines()[1:]
    expect("the table's names, by value", [r[4] for r in shown],
           [line.split(",")[0] for line in listed])
    expect("a row's cells", shown[0][:4] + shown[0][5:], ["0x00000000", "256 B", "Addr.", "g", "6"])


def check_search_kind_sort(browser, page, sample):
    browser.open(page)
    browser.type("#search", "uart")
    names = [r[4] for r in rows(browser)]
    expect("names found by 'uart'", len(names), counted(*DRAWN, "--name", "*uart*", sample))
    if not all("uart" in n for n in names):
        raise AssertionError(f"a row without 'uart': {names}")
    browser.evaluate("""(() => { const s = document.getElementById('kind-filter');
        s.value = 'loc.'; s.dispatchEvent(new Event('change')); })()""")
    expect("uart's loc. symbols", [r[4] for r in rows(browser)], ["uart_wait_tx"])
    browser.evaluate("""(() => { const s = document.getElementById('kind-filter');
        s.value = ''; s.dispatchEvent(new Event('change')); })()""")
    browser.click("#symbol-table th[data-sort=name]")
    by_name = [r[4] for r in rows(browser)]
    expect("sorted by name", by_name, sorted(names))
    browser.click("#symbol-table th[data-sort=name]")
    expect("sorted by name, descending", [r[4] for r in rows(browser)], sorted(names, reverse=True))
    browser.click("#symbol-table th[data-sort=span]")
    spans = [int(r[1].split()[0]) if r[1] else -1 for r in rows(browser)]
    expect("sorted by span", spans, sorted(spans))
    fragment = browser.evaluate("location.hash")
    expect("the fragment", fragment, "#q=uart&sort=span")


def check_block_click(browser, page, sample):
    browser.open(page)
    # code 1 spans 0x0 to 0x2200; uart_putc (0x1040, span 0x1C) lies at its fraction of the band.
    box = browser.evaluate("""(() => { const c = document.querySelector('#layout canvas');
        return [c.clientWidth, c.clientHeight]; })()""")
    x = (0x1040 + 0x0E) / (0x2200 + 1) * box[0]
    browser.click("#layout canvas", dx=x, dy=box[1] / 2)
    selected = browser.evaluate("""[...document.querySelectorAll('#symbol-table tr.selected')]
        .map(tr => tr.cells[4].textContent)""")
    expect("the row selected by the click", selected, ["uart_putc"])
    if "sel=" not in browser.evaluate("location.hash"):
        raise AssertionError("the selection is not in the fragment")
    tooltip = browser.evaluate("document.getElementById('tooltip').textContent")
    if not tooltip.startswith("uart_putc\n0x00001040"):
        raise AssertionError(f"the hover names {tooltip!r}")
    if png_colours(browser.screenshot()) < 20:
        raise AssertionError("the screenshot is blank")


def check_fragment(browser, page, sample):
    browser.open(page + "#q=timer*&sort=-value&kind=loc.")
    expect("the fragment's view", [r[4] for r in rows(browser)], ["timer_isr_exit"])
    browser.open(page + "#q=_&sort=-value")
    values = [int(r[0], 16) for r in rows(browser)]
    expect("descending values", values, sorted(values, reverse=True))
    expect("the search box", browser.evaluate("document.getElementById('search').value"), "_")


def check_diff(browser, page, old, new):
    browser.open(page)
    cells = browser.evaluate("""[...document.querySelectorAll('#change-counts tbody tr')][1]
        .querySelectorAll('td').length && [...[...document.querySelectorAll(
        '#change-counts tbody tr')][1].cells].slice(1).map(td => td.textContent)""")
    summary = mapsyms("diff", old, new).splitlines()[-1]
    expect("the records' counts", summary,
           f"{cells[0]} added, {cells[1]} removed, {cells[2]} moved, {cells[3]} unchanged")
    changes = rows(browser, "change-table")
    if not changes or changes[0][0] not in ("added", "moved", "removed", "grew", "shrank"):
        raise AssertionError(f"the change table: {changes[:3]}")
    marked = browser.evaluate("document.querySelectorAll('#symbol-table tr.added, #symbol-table tr.moved').length")
    if marked == 0:
        raise AssertionError("no changed symbol marked in the table")


def check_escaping(browser, page, title):
    browser.open(page)
    expect("the title", browser.evaluate("document.title"), title)
    expect("the heading", browser.evaluate("document.querySelector('h1').textContent"), title)
    expect("elements made from text", browser.evaluate(
        "document.querySelectorAll('script').length + document.querySelectorAll('b, img').length"), 2)
    caption = browser.evaluate("document.querySelector('#counts caption').textContent")
    if "<b>" not in caption or "\ufffd" not in caption:
        raise AssertionError(f"the map's name as shown: {caption!r}")


def check_no_addresses(browser, page):
    browser.open(page)
    note = browser.evaluate("document.querySelector('#layout .empty').textContent")
    if "No address symbols" not in note:
        raise AssertionError(f"the layout says {note!r}")
    expect("the listed symbols", browser.evaluate("document.getElementById('row-count').textContent"),
           "2 of 2 symbols")


def check_without_script(browser, page):
    browser.call("Emulation.setScriptExecutionDisabled", {"value": True}, session=True)
    try:
        browser.call("Page.navigate", {"url": page}, session=True)
        for _ in range(200):
            if browser.evaluate("document.readyState") == "complete":
                break
            time.sleep(0.02)
        facts = browser.evaluate("[...document.querySelectorAll('#counts tfoot td')].map(td => td.textContent)")
        expect("the counts without a script", facts, ["0", "9", "6", "15"])
        bars = browser.evaluate("[...document.querySelectorAll('#largest li .label')].length")
        expect("the largest symbols without a script", bars, 11)
    finally:
        browser.call("Emulation.setScriptExecutionDisabled", {"value": False}, session=True)


def check_many_regions(browser, page, regions):
    browser.open(page)
    expect("bands drawn", browser.evaluate("document.querySelectorAll('#layout canvas').length"), 40)
    hint = browser.evaluate("document.querySelector('#summary p.hint').textContent")
    expect("the summary's note", hint.split(" regions in all")[0], str(regions))
    rest = int(hint.split(" hold ")[1].split(" ")[0])
    browser.evaluate("""(() => { const s = document.getElementById('region-filter');
        s.value = 'other'; s.dispatchEvent(new Event('change')); })()""")
    expect("the other regions' symbols", browser.evaluate(
        "document.getElementById('row-count').textContent"), f"{rest} of {regions * 3} symbols")


def check_usage(browser, page, map_path, memories):
    """The bars at the top say what mapsyms usage says."""
    browser.open(page)
    got = browser.evaluate("""[...document.querySelectorAll('#usage-table tbody tr')].map(tr =>
        [tr.cells[0].textContent, Number(tr.dataset.used), Number(tr.dataset.size),
         tr.cells[3].textContent, tr.querySelector('.meter span').style.width])""")
    usage = json.loads(mapsyms("usage", "--memory-file", memories, "--format", "json", map_path))
    expect("the memories' use", got, [[m["name"], m["used"], m["size"], f"{m['percent']:.2f}%",
                                       f"{m['percent']:.2f}%"] for m in usage["memories"]])


def check_growth(browser, page, old, new, memories):
    """What grew most at the top is diff --sizes' largest changes."""
    browser.open(page)
    got = browser.evaluate("""[...document.querySelectorAll('#growth tbody tr')].map(tr =>
        [tr.cells[0].textContent, tr.cells[1].textContent, Number(tr.dataset.delta)])""")
    rows_ = json.loads(mapsyms("diff", "--sizes", "--memory-file", memories, "--top", "10",
                               "--format", "json", old, new))["symbols"]
    expect("the growth", got, [[r["change"], r["name"], r["delta"]] for r in rows_])
    totals = browser.evaluate("""[...document.querySelectorAll('#memory-changes tbody tr')]
        .map(tr => tr.cells[0].textContent)""")
    expect("the memories changed", totals, [m.split("=")[0] for m in ("FLASH=", "RAM=")])


def check_layout_filled(browser, page):
    """No pixel column of a band is background where the map has memory: a region's symbols
    cover it from its first value to its last."""
    browser.open(page)
    empty = browser.evaluate("""[...document.querySelectorAll('#layout canvas')].map(c => {
        const g = c.getContext('2d'), y = Math.floor(c.height * 0.7);
        const px = g.getImageData(0, y, c.width, 1).data, blank = [];
        for (let x = 0; x < c.width; ++x)
          if (px[4 * x] === 0xee && px[4 * x + 1] === 0xf1 && px[4 * x + 2] === 0xf5) blank.push(x);
        return c.dataset.region + ': ' + blank.length + ' of ' + c.width; })""")
    expect("background columns", [e for e in empty if not e.split(": ")[1].startswith("0 ")], [])


def check_narrow(browser, page):
    """At 800 px nothing leaves the page, the change table's sort column stays in view, the
    tooltip stays in the window, and headers and bands are reached by the keyboard."""
    browser.call("Emulation.setDeviceMetricsOverride",
                 {"width": 800, "height": 900, "deviceScaleFactor": 1, "mobile": False}, session=True)
    try:
        browser.open(page)
        width = browser.evaluate("document.documentElement.scrollWidth")
        if width > 800:
            raise AssertionError(f"the page is {width} px wide")
        edges = browser.evaluate("""(() => { const th = document.querySelector(
            '#change-table th[data-sort=spanchange]').getBoundingClientRect();
            const box = document.getElementById('change-scroll').getBoundingClientRect();
            return [th.right, box.right]; })()""")
        if edges[0] > edges[1] + 1:
            raise AssertionError(f"the size change column ends at {edges[0]}, its box at {edges[1]}")
        canvas = browser.evaluate("""(() => { const r = document.querySelector('#layout canvas')
            .getBoundingClientRect(); return [r.width, r.height]; })()""")
        browser.click("#layout canvas", dx=canvas[0] - 2, dy=canvas[1] / 2)
        right = browser.evaluate("document.getElementById('tooltip').getBoundingClientRect().right")
        if right > 800:
            raise AssertionError(f"the tooltip ends at {right} px")
        keyed = browser.evaluate("""[...document.querySelectorAll(
            '#symbol-table th, #change-table th, #layout canvas')].every(e => e.tabIndex === 0)""")
        expect("headers and bands reached by Tab", keyed, True)
        browser.evaluate("""document.querySelector('#symbol-table th[data-sort=name]')
            .dispatchEvent(new KeyboardEvent('keydown', {key: 'Enter', bubbles: true}))""")
        if "sort=name" not in browser.evaluate("location.hash"):
            raise AssertionError("Enter on the Name header did not sort by name")
    finally:
        browser.call("Emulation.setDeviceMetricsOverride",
                     {"width": 1280, "height": 1000, "deviceScaleFactor": 1, "mobile": False},
                     session=True)


def main():
    work = tempfile.mkdtemp(prefix="report_pages.")
    sample = os.path.join(SOURCE, "examples", "sample.map")
    new = os.path.join(SOURCE, "tests", "data", "sample_next.map")
    page = os.path.join(work, "sample.html")
    mapsyms("report", "-o", page, sample)
    diff_page = os.path.join(work, "diff.html")
    mapsyms("report", "-o", diff_page, sample, new)
    odd_map = os.path.join(work, "<b>&\"q'\xe9.map".encode("latin-1").decode("utf-8", "surrogateescape"))
    shutil.copy(sample, odd_map)
    title = "<script>alert(1)</script> & \"quotes\" <img src=x onerror=alert(2)>"
    odd_page = os.path.join(work, "odd.html")
    mapsyms("report", "--title", title, "-o", odd_page, odd_map)
    equ_map = os.path.join(work, "equ.map")
    with open(equ_map, "w") as f:
        f.write("  LIMIT  EQU  g  0x10\n  flag  bit  s  0x20(1)\n")
    equ_page = os.path.join(work, "equ.html")
    mapsyms("report", "--all-kinds", "-o", equ_page, equ_map)
    scattered = os.path.join(work, "scattered.map")
    with open(scattered, "w") as f:
        # 50 regions of 3 symbols each, far apart; the page draws the 40 with the most symbols.
        for r in range(50):
            for s in range(3 if r % 5 else 2 if r < 25 else 4):
                f.write(f"  r{r}_s{s}  Addr.  g  0x{r * 0x100000 + s * 0x10:08X}\n")
    scattered_page = os.path.join(work, "scattered.html")
    mapsyms("report", "-o", scattered_page, scattered)
    sizes_old = os.path.join(SOURCE, "tests", "data", "sizes_old.map")
    sizes_new = os.path.join(SOURCE, "tests", "data", "sizes_new.map")
    memories = os.path.join(SOURCE, "tests", "data", "memories.txt")
    sizes_page = os.path.join(work, "sizes.html")
    mapsyms("report", "--memory-file", memories, "-o", sizes_page, sizes_old, sizes_new)
    packed = os.path.join(work, "packed.map")
    with open(packed, "w") as f:  # a byte-sized flag before 32 KiB blocks, and a packed run
        f.write("  a_flag  Var.  g  0x20000000\n  big_buf  Var.  g  0x20000004\n"
                "  tail_buf  Var.  g  0x20008004\n  end_mark  Var.  g  0x20010000\n")
        f.writelines(f"  cell{i}  Var.  g  0x{0x20020000 + 4 * i:08X}\n" for i in range(5000))
    packed_page = os.path.join(work, "packed.html")
    mapsyms("report", "-o", packed_page, packed)
    browser = Browser()
    try:
        url = "file://" + page
        case("counts", check_counts, browser, url, sample)
        case("search_kind_sort", check_search_kind_sort, browser, url, sample)
        case("block_click", check_block_click, browser, url, sample)
        case("fragment", check_fragment, browser, url, sample)
        case("diff", check_diff, browser, "file://" + diff_page, sample, new)
        case("escaping", check_escaping, browser, "file://" + odd_page, title)
        case("no_addresses", check_no_addresses, browser, "file://" + equ_page)
        case("without_script", check_without_script, browser, url)
        case("many_regions", check_many_regions, browser, "file://" + scattered_page, 50)
        case("usage", check_usage, browser, "file://" + sizes_page, sizes_new, memories)
        case("growth", check_growth, browser, "file://" + sizes_page, sizes_old, sizes_new, memories)
        case("layout_filled", check_layout_filled, browser, "file://" + packed_page)
        case("layout_filled_firmware", check_layout_filled, browser, "file://" + sizes_page)
        case("narrow", check_narrow, browser, "file://" + diff_page)
    finally:
        browser.close()
        shutil.rmtree(work)
    print(f"{results['passed']} passed, {results['failed']} failed")
    return 1 if results["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())
