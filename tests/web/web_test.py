#!/usr/bin/python3
"""The display's page in a real browser (make test-web): headless Chromium through its driver.

Checks, in this order:
  load        the page shows the demo (panel lit, first reply) within 3 s of wall time
  transcripts every session of tests/transcripts/*.txt run through the page's test hook gives the
              bytes the transcript expects (the same check as the native transcript test)
  screenshot  after the drawing demo the page's screenshot equals the native --screenshot
  click       a click on the demo's "Push" button reports its press ("x0") on UART0
  docs        the example of docs/web.md typed into the page's terminal shows its reply
  controls    "beep" sounds through Web Audio; a setting kept in the EEPROM survives a reload; the build selector starts the VGA
              build; a card image from the file chooser starts the board with it

usage: web_test.py SITE NATIVE_BUILD [SESSION_FILTER]
"""
import base64
import http.server
import json
import os
import re
import subprocess
import sys
import tempfile
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.support.ui import WebDriverWait

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TRANSCRIPTS = os.path.join(ROOT, "tests", "transcripts")
LOAD_LIMIT_MS = 3000


# ---- transcripts ---------------------------------------------------------------------------------
ESCAPES = {"r": "\r", "n": "\n", "t": "\t", "e": "\x1b", "0": "\0", "\\": "\\", "s": " "}


def unescape(s, where):
    out, i = [], 0
    while i < len(s):
        c = s[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        if i + 1 >= len(s):
            raise ValueError(where + ": backslash at end of line")
        e = s[i + 1]
        if e == "x":
            out.append(chr(int(s[i + 2:i + 4], 16)))
            i += 4
        elif e in ESCAPES:
            out.append(ESCAPES[e])
            i += 2
        else:
            raise ValueError(where + ": unknown escape \\" + e)
    return "".join(out)


def load_sessions():
    sessions = []
    for name in sorted(os.listdir(TRANSCRIPTS)):
        if not name.endswith(".txt") or name == "CMakeLists.txt":
            continue
        cur = None
        with open(os.path.join(TRANSCRIPTS, name), encoding="latin-1") as f:
            for n, line in enumerate(f, 1):
                line = line.rstrip("\n")
                where = "%s:%d" % (name, n)
                if not line or line.startswith("#"):
                    continue
                if line.startswith("=== "):
                    cur = {"file": name, "line": n, "name": line[4:], "program": "zefo5", "args": [],
                           "input": "", "events": "", "expect": []}
                    sessions.append(cur)
                elif line.startswith("@program "):
                    cur["program"] = line[9:]
                elif line.startswith("@args "):
                    cur["args"] += line[6:].split()
                elif line.startswith("@event "):
                    cur["events"] += line[7:] + "\n"
                elif line.startswith("> ") or line == ">":
                    cur["input"] += unescape(line[2:], where)
                elif line.startswith("<~ "):
                    cur["expect"].append(int(line[3:]))
                elif line.startswith("< ") or line == "<":
                    cur["expect"].append(unescape(line[2:], where))
                else:
                    raise ValueError(where + ": unknown line: " + line)
    return sessions


def compare(expect, got):
    want, pos = "", 0
    for e in expect:
        if isinstance(e, int):
            want += got[pos:pos + e]
            pos += e
        else:
            want += e
            pos += len(e)
    if want == got:
        return ""
    at = 0
    while at < min(len(want), len(got)) and want[at] == got[at]:
        at += 1
    return "first difference at byte %d\n  expected: %r\n  received: %r" % (at, want, got)


def module_files(args, native):
    """The session's files as the module sees them: paths rewritten, each with the URL it is served at."""
    files, out = {}, []
    for a in args:
        if a.startswith("../../"):  # beside the native build's test folder: the build's own files
            rel = a[len("../../"):]
            local = os.path.join(native, rel)
            mod = "/build/" + rel
            url = "build/" + rel
        elif a.startswith("$SRC"):
            rel = a[len("$SRC/"):]
            local = os.path.join(TRANSCRIPTS, rel)
            mod = "/src/" + rel
            url = "src/" + rel
        else:
            out.append(a)
            continue
        out.append(mod)
        if os.path.isdir(local):
            for d, _, names in os.walk(local):
                for f in names:
                    r = os.path.relpath(os.path.join(d, f), local)
                    files[mod + "/" + r] = url + "/" + r
        elif os.path.exists(local):
            files[mod] = url
    return out, files


# ---- the server ------------------------------------------------------------------------------------
class Handler(http.server.SimpleHTTPRequestHandler):
    roots = {}

    def translate_path(self, path):
        path = path.split("?", 1)[0]
        for prefix, root in self.roots.items():
            if prefix and path.startswith("/" + prefix + "/"):
                return os.path.join(root, path[len(prefix) + 2:])
        return os.path.join(self.roots[""], path.lstrip("/"))

    def log_message(self, *args):
        pass


def serve(site, native):
    Handler.roots = {"": site, "build": native, "src": TRANSCRIPTS}
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, "http://127.0.0.1:%d/" % server.server_address[1]


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--autoplay-policy=no-user-gesture-required",
                 "--window-size=1400,1000", "--user-data-dir=" + profile]:
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_script_timeout(600)
    return driver


def wait_for(driver, what, seconds, script):
    return WebDriverWait(driver, seconds, poll_frequency=0.05).until(
        lambda d: d.execute_script(script), message=what)


# ---- the checks ------------------------------------------------------------------------------------
def check_load(driver, url):
    driver.get(url)
    wait_for(driver, "the demo on the page", 30, "return window.zefo5 && window.zefo5.loadedMs")
    ms = driver.execute_script("return window.zefo5.loadedMs")
    print("load: demo shown %.0f ms after the page was opened (limit %d ms)" % (ms, LOAD_LIMIT_MS))
    return ms <= LOAD_LIMIT_MS


def check_transcripts(driver, native, pattern):
    sessions = [s for s in load_sessions() if re.search(pattern, "%s:%s" % (s["file"], s["name"]))]
    failed = 0
    started = time.monotonic()
    for s in sessions:
        args, files = module_files(s["args"], native)
        result = driver.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "window.zefo5.runTranscript(arguments[0], arguments[1], arguments[2], arguments[3], arguments[4])"
            ".then(done, (e) => done({status: 'error ' + e, output: '', errors: ''}));",
            s["program"], args, s["input"], s["events"], files)
        diff = compare(s["expect"], result["output"])
        where = "%s:%d (%s)" % (s["file"], s["line"], s["name"])
        if result["status"] != 0 or diff:
            failed += 1
            print("FAIL transcript %s: status %s %s\n%s" % (where, result["status"], diff, result["errors"]))
    print("transcripts: %d of %d sessions give the same bytes in the page (%.1f s)"
          % (len(sessions) - failed, len(sessions), time.monotonic() - started))
    return failed == 0


def pixels(png, workdir, name):
    path = os.path.join(workdir, name)
    with open(path, "wb") as f:
        f.write(png)
    return subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout


def same_pixels(what, got, want):
    if got == want:
        print("screenshot: %s equals the native --screenshot, %d pixels" % (what, len(want) // 3))
        return True
    diff = sum(1 for i in range(0, min(len(got), len(want)), 3) if got[i:i + 3] != want[i:i + 3])
    print("FAIL screenshot: %s: %d of %d pixels differ (sizes %d, %d bytes)" % (what, diff, len(want) // 3, len(got),
                                                                               len(want)))
    return False


def check_screenshot_and_click(driver, url, site, native, workdir):
    ref = os.path.join(workdir, "native.png")
    with open(os.devnull, "rb") as nothing:
        subprocess.run([os.path.join(native, "zefo5"), "--sd", os.path.join(native, "cards", "demo.img"), "--events",
                        os.path.join(site, "demo.events"), "--screenshot", ref, "--display", "none",
                        "--clock", "virtual"], stdin=nothing, stdout=subprocess.DEVNULL, check=True)
    with open(os.path.join(site, "demo.events")) as f:
        last = max(int(line.split()[0]) for line in f if line.strip() and not line.startswith("#"))
    driver.get(url)
    # The demo's lines have all been sent and answered: virtual time is past the last one.
    wait_for(driver, "the drawing demo", 120, "return window.zefo5 && window.zefo5.nowMs() > %d" % (last + 500))
    shot = driver.execute_script("return window.zefo5.screenshot()")
    got = pixels(base64.b64decode(shot.split(",", 1)[1]), workdir, "page.png")
    with open(ref, "rb") as f:
        want = pixels(f.read(), workdir, "native-copy.png")
    same = same_pixels("the page's screenshot", got, want)
    # The module's own --screenshot, on the virtual clock, written by the browser build's PNG writer.
    with open(os.path.join(site, "demo.events")) as f:
        events = f.read()
    result = driver.execute_async_script(
        "const done = arguments[arguments.length - 1];"
        "window.zefo5.runTranscript('zefo5', ['--sd', '/demo.img', '--screenshot', '/shot.png'], '', arguments[0],"
        " {'/demo.img': 'build/cards/demo.img'}, '/shot.png').then(done, (e) => done({status: String(e)}));", events)
    module_png = base64.b64decode(result.get("file") or "")
    if result.get("errors"):
        print("FAIL the module said: " + result["errors"])
        same = False
    same &= result["status"] == 0 and same_pixels("the module's --screenshot", pixels(module_png, workdir, "module.png"),
                                                  want)
    # "Push": a momentary button at 584,340 on the demo screen; the pen is held until its report.
    canvas = driver.find_element("id", "screen")
    w, h = canvas.rect["width"], canvas.rect["height"]
    px, py = 584 + 12, 340 + 12
    dx = (px + 0.5) * w / 800 - w / 2
    dy = (py + 0.5) * h / 480 - h / 2
    before = len(driver.execute_script("return window.zefo5.output()"))
    ActionChains(driver).move_to_element_with_offset(canvas, dx, dy).click_and_hold().perform()
    try:
        wait_for(driver, "the press report", 10, "return window.zefo5.output().slice(%d).includes('x0')" % before)
        pressed = True
    except Exception:
        pressed = False
    ActionChains(driver).release().perform()
    report = driver.execute_script("return window.zefo5.output()")[before:]
    print("click: %s; the display sent %r" % ("press reported" if pressed else "FAIL no press report", report))
    return same and pressed


def check_docs_example(driver):
    """The example of docs/web.md typed into the terminal: its first line typed, the rest shown."""
    with open(os.path.join(ROOT, "docs", "web.md"), encoding="utf-8") as f:
        block = re.search(r"```web-terminal\n(.*?)```", f.read(), re.S).group(1).splitlines()
    typed, shown = block[0], [line.rstrip() for line in block[1:]]
    before = len(driver.execute_script("return document.getElementById('term').textContent"))
    driver.find_element("id", "line").send_keys(typed + "\n")
    want = "\n".join(shown)

    def got():
        text = driver.execute_script("return document.getElementById('term').textContent")[before:]
        return "\n".join(line.rstrip() for line in text.split("\n"))
    try:
        WebDriverWait(driver, 10, poll_frequency=0.05).until(lambda d: want in got())
        print("docs example: %r typed, the terminal shows %r" % (typed, want))
    except Exception:
        print("FAIL docs example: %r typed, the terminal shows %r, not %r" % (typed, got(), want))
        return False
    # The command blinked the status LED: its lamp shows it, the trace text does not.
    trace = driver.execute_script("return document.getElementById('trace').textContent")
    if "LED" in trace or "backlight" not in trace:
        print("FAIL trace panel: LED lines shown or the backlight missing:\n" + trace[-400:])
        return False
    return True


def reply_after(driver, line, before, want, seconds=10):
    """Sends a line to UART0 and waits until the display's output since `before` holds `want`."""
    driver.execute_script("window.zefo5.send(arguments[0])", line)
    try:
        wait_for(driver, repr(want), seconds,
                 "return window.zefo5.output().slice(%d).includes(%s)" % (before, json.dumps(want)))
        return True
    except Exception:
        return False


def output_length(driver):
    return driver.execute_script("return window.zefo5.output().length")


def check_page_controls(driver, url, native):
    """The EEPROM survives a reload; the build selector and the file chooser start other boards."""
    # The beeper: the page hears of the tone and plays it (audio is on since the click above).
    driver.execute_script("window.zefo5.send('beep 300\\r')")
    try:
        wait_for(driver, "the tone", 10, "return document.getElementById('tone').textContent.includes(' Hz') && "
                 "window.zefo5.audio().playing")
        wait_for(driver, "the tone's end", 10, "return document.getElementById('tone').textContent === 'tone off' && "
                 "!window.zefo5.audio().playing")
        ok = True
    except Exception:
        ok = False
    print("beeper: %s" % ("a beep plays through Web Audio and ends" if ok else "FAIL no beep heard"))
    at = output_length(driver)
    saved = reply_after(driver, "*auxEsc 5a\r", at, ">\r") and driver.execute_script(
        "return window.zefo5.saveEeprom()")
    driver.get(url)
    wait_for(driver, "the reloaded page", 30, "return window.zefo5 && window.zefo5.loadedMs")
    kept = saved and reply_after(driver, "*auxEsc\r", output_length(driver), "0x5a\r")
    print("eeprom: a setting %s a reload" % ("survives" if kept else "FAIL does not survive"))
    ok &= kept
    driver.execute_script("const s = document.getElementById('build'); s.value = 'zefo5-vga';"
                          "s.dispatchEvent(new Event('change'));")
    try:
        wait_for(driver, "the VGA build", 30, "return window.zefo5.program() === 'zefo5-vga' && "
                 "document.getElementById('screen').width === 640 && window.zefo5.loadedMs")
        vga = reply_after(driver, "vers\r", 0, "VGA \r")
    except Exception:
        vga = False
    print("builds: %s" % ("the VGA build runs at 640x480" if vga else "FAIL the VGA build did not start"))
    ok &= vga
    card = os.path.join(native, "cards", "touch.img")
    driver.find_element("id", "file").send_keys(card)
    try:
        wait_for(driver, "the chosen card", 30,
                 "return document.getElementById('status').textContent.includes('touch.img') && "
                 "window.zefo5.output().includes('>\\r')")
        chosen = True
    except Exception:
        chosen = False
    print("file: %s" % ("a chosen card image starts the board" if chosen else "FAIL the chosen card did not start"))
    return ok and chosen


def main():
    site, native = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    pattern = sys.argv[3] if len(sys.argv) > 3 else ""
    server, url = serve(site, native)
    ok = True
    with tempfile.TemporaryDirectory(prefix="zefo5-web-") as workdir:
        driver = browser(os.path.join(workdir, "profile"))
        try:
            ok &= check_load(driver, url)
            ok &= check_transcripts(driver, native, pattern)
            ok &= check_screenshot_and_click(driver, url, site, native, workdir)
            ok &= check_docs_example(driver)
            ok &= check_page_controls(driver, url, native)
        finally:
            driver.quit()
            server.shutdown()
    print("web tests: " + ("passed" if ok else "FAILED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
