#!/usr/bin/python3
"""The web front end end to end: phone.elf under `board-sim --ui web`, its page
in headless Chromium through Selenium. Run by web_test.sh (which skips where the
browser is missing).

  - SIGINT ends a run at once with status 130, outputs written;
  - every request without the token, or with a wrong one, page or WebSocket,
    gets 403 and an empty body;
  - the page draws the board's screen exactly (the #lcd canvas read back pixel
    by pixel against the board's own /screen), the main menu first;
  - a click on keypad key 0 opens the address book ("1. Anadir contacto");
  - a contact typed into the console pane is added ("Contacto anadido.");
  - a second page watches: its keys do not reach the board while the first
    page drives, and it drives once the first page is closed;
  - with Sound on, a dialled digit's key tone reaches the page;
  - the keyboard shortcuts work as in the window (Esc = key 15, F1 = help,
    Tab = fast-forward), and so does the Fast-forward button;
  - the page takes the token out of the address bar, and still works on reload;
  - a page served from another local port, knowing the token, cannot open the
    board's WebSocket;
  - the driving page's Quit ends board-sim with status 0, outputs written.

Usage: web_test.py BIN_DIR [--screenshot FILE.png]  (the page, for docs/web.md)
"""
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

WAIT = 10  # seconds of wall time for anything to show: the board runs in real time

READ_CANVAS = """
const c = document.getElementById('lcd');
if (!c.dataset.frames || !c.dataset.palette) return null;
const level = new Map(c.dataset.palette.split(' ').map((hex, i) => [parseInt(hex.slice(1), 16), i.toString(16)]));
const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
let out = '';
for (let i = 0; i < d.length; i += 4) {
  const v = level.get(d[i] << 16 | d[i + 1] << 8 | d[i + 2]);
  out += v === undefined ? 'x' : v;
}
return out;
"""


class Failure(Exception):
    pass


def main():
    bin_dir = os.path.abspath(sys.argv[1])
    screenshot = sys.argv[3] if len(sys.argv) == 4 and sys.argv[2] == "--screenshot" else None
    tmp = tempfile.mkdtemp(prefix="web-test-")
    signal.alarm(80)  # whatever happens, well inside ctest's limit

    out = open(os.path.join(tmp, "stdout.txt"), "wb")
    err = open(os.path.join(tmp, "stderr.txt"), "wb")
    fb_dump = os.path.join(tmp, "fb.bin")
    firmware, eeprom = os.path.join(bin_dir, "phone.elf"), os.path.join(tmp, "eeprom.bin")
    if screenshot:
        # The picture for docs/web.md shows the paths a reader would type,
        # not this machine's.
        os.makedirs(os.path.join(tmp, "build", "bin"))
        os.symlink(firmware, os.path.join(tmp, "build", "bin", "phone.elf"))
        firmware, eeprom = "build/bin/phone.elf", "eeprom.bin"
    sim = subprocess.Popen(
        [os.path.join(bin_dir, "board-sim"), "--ui", "web", "--web-port", "0",
         "--eeprom", eeprom, "--fb-dump", fb_dump, firmware],
        stdin=subprocess.DEVNULL, stdout=out, stderr=err, cwd=tmp)
    driver = None

    def stderr_text():
        with open(os.path.join(tmp, "stderr.txt"), "rb") as f:
            return f.read().decode("utf-8", "replace")

    try:
        url = None
        deadline = time.time() + WAIT
        while time.time() < deadline and not url:
            m = re.search(r"board-sim: web: open (http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32})) ", stderr_text())
            if m:
                url, port, token = m.group(1), int(m.group(2)), m.group(3)
            elif sim.poll() is not None:
                raise Failure("board-sim ended before it served the page")
            time.sleep(0.05)
        if not url:
            raise Failure("board-sim printed no address to open")
        base = "http://127.0.0.1:%d" % port

        check_refusals(base, port, token)
        check_sigint(bin_dir, tmp)
        driver = open_browser(tmp)
        run_page_checks(driver, url, base, token, bin_dir, tmp, screenshot)

        # Quit from the driving page: board-sim ends by itself, outputs written.
        driver.find_element(By.ID, "quit").click()
        try:
            status = sim.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            raise Failure("board-sim did not end after the page's Quit")
        if status != 0:
            raise Failure("board-sim ended with status %d after Quit" % status)
        wait_for(lambda: driver.execute_script("return !document.getElementById('ended').hidden"),
                 "the page to say that board-sim has ended")
        if "1. Agenda" not in fb_text(bin_dir, fb_dump):
            raise Failure("--fb-dump at the end does not show the main menu: " + fb_text(bin_dir, fb_dump))
        with open(os.path.join(tmp, "stdout.txt"), "rb") as f:
            if b"Contacto anadido." not in f.read():
                raise Failure("the console did not also go to stdout")
        print("web test passed")
        return 0
    except Failure as e:
        print("FAIL: %s" % e)
        print("--- board-sim's stderr:")
        print("\n".join(stderr_text().splitlines()[-20:]))
        if driver:
            try:
                print("--- the page's status: " + driver.find_element(By.ID, "status").text)
                print("--- the page's console:\n" + driver.find_element(By.ID, "console").text[-800:])
                for entry in driver.get_log("browser"):
                    print("browser: %s" % entry)
            except Exception as e2:  # the page may be gone
                print("(the page could not be read: %s)" % e2)
        return 1
    finally:
        if driver:
            driver.quit()
        if sim.poll() is None:
            sim.kill()
            sim.wait()


def http_status(url):
    try:
        with urllib.request.urlopen(url, timeout=5) as r:
            return r.status, r.read()
    except urllib.error.HTTPError as e:
        return e.code, e.read()


def upgrade(port, target):
    """The answer to a browser's WebSocket request: status and what followed the header."""
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(("GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                   "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n"
                   % (target, port)).encode())
        data = b""
        while True:  # the server closes after a refusal
            chunk = s.recv(4096)
            if not chunk:
                break
            data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    return int(head.split()[1]), head.decode(), rest


def check_refusals(base, port, token):
    wrong = ("0" if token[0] != "0" else "1") + token[1:]
    for target in ["/", "/?token=" + wrong, "/?token=" + token[:-1], "/app.js", "/style.css?token=" + wrong,
                   "/screen", "/?TOKEN=" + token]:
        status, body = http_status(base + target)
        if status != 403 or body:
            raise Failure("GET %s answered %d with %d bytes, not 403 and nothing" % (target, status, len(body)))
    for target in ["/ws", "/ws?token=" + wrong, "/ws?token=" + token + "00"]:
        status, head, rest = upgrade(port, target)
        if status != 403 or rest or "content-length: 0" not in head.lower():
            raise Failure("a WebSocket to %s was answered %d (%r), not 403 and nothing" % (target, status, rest[:40]))
    status, body = http_status(base + "/?token=" + token)
    if status != 200 or b'id="lcd"' not in body:
        raise Failure("the page with the token answered %d" % status)


def check_sigint(bin_dir, tmp):
    """Ctrl-C ends a run in the web front end at once, its outputs written."""
    fb = os.path.join(tmp, "sigint.fb")
    err = os.path.join(tmp, "sigint.err")
    with open(err, "wb") as e:
        p = subprocess.Popen([os.path.join(bin_dir, "board-sim"), "--ui", "web", "--web-port", "0",
                              "--eeprom", os.path.join(tmp, "sigint.eeprom"), "--fb-dump", fb,
                              os.path.join(bin_dir, "phone.elf")],
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=e, cwd=tmp)
    try:
        # The address is printed once the signal handlers are in place.
        wait_for(lambda: b"board-sim: web: open" in open(err, "rb").read(), "the second board-sim's address")
        p.send_signal(signal.SIGINT)
        status = p.wait(timeout=WAIT)
    finally:
        if p.poll() is None:
            p.kill()
            p.wait()
    if status != 128 + signal.SIGINT:
        raise Failure("SIGINT ended --ui web with status %d, not %d" % (status, 128 + signal.SIGINT))
    if os.path.getsize(fb) != 76800:
        raise Failure("SIGINT: --fb-dump was not written")


def open_browser(tmp):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--disable-dev-shm-usage", "--window-size=1280,1000",
                "--user-data-dir=" + os.path.join(tmp, "chromium")]:
        options.add_argument(arg)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    service = Service(executable_path="/usr/bin/chromedriver", log_path=os.path.join(tmp, "chromedriver.log"))
    driver = webdriver.Chrome(service=service, options=options)
    driver.set_page_load_timeout(WAIT)
    driver.set_script_timeout(WAIT)
    return driver


def wait_for(condition, what, timeout=WAIT):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if condition():
            return
        time.sleep(0.1)
    raise Failure("waited %d s for %s" % (timeout, what))


def board_screen(base, token):
    with urllib.request.urlopen(base + "/screen?token=" + token, timeout=5) as r:
        return "".join("%x" % b for b in r.read())


def fb_text(bin_dir, path):
    return subprocess.run([os.path.join(bin_dir, "fb-text"), os.path.join(bin_dir, "phone.elf"), path],
                          capture_output=True, text=True, timeout=WAIT).stdout


def page_text(driver, bin_dir, tmp):
    """The text on the page's canvas, read with the firmware's font."""
    levels = driver.execute_script(READ_CANVAS)
    if not levels or "x" in levels:
        return ""
    path = os.path.join(tmp, "canvas.bin")
    with open(path, "wb") as f:
        f.write(bytes(int(c, 16) for c in levels))
    return fb_text(bin_dir, path)


def expect_same_screen(driver, base, token, who):
    # The board's screen moves on (the clock): compare until one frame is
    # seen the same on both sides, exactly.
    last = None
    deadline = time.time() + WAIT
    while time.time() < deadline:
        page = driver.execute_script(READ_CANVAS)
        board = board_screen(base, token)
        if page == board:
            return
        last = page
        time.sleep(0.2)
    if not last:
        raise Failure("%s drew no frame" % who)
    if "x" in last:
        raise Failure("%s has colours on the canvas that are none of the 16 greys" % who)
    differ = sum(1 for a, b in zip(last, board) if a != b)
    raise Failure("%s never showed the board's screen (%d pixels differ)" % (who, differ))


def press(driver, element):
    """A person's press: held 150 ms."""
    ActionChains(driver).click_and_hold(element).pause(0.15).release().perform()


def run_page_checks(driver, url, base, token, bin_dir, tmp, screenshot):
    key = lambda k: driver.find_element(By.CSS_SELECTOR, '[data-key="%d"]' % k)
    role = lambda: driver.execute_script("return document.body.dataset.role")
    console = lambda: driver.find_element(By.ID, "console").text

    driver.get(url)
    wait_for(lambda: role() == "driver", "the first page to drive")
    # The token leaves the address bar; a reload still works.
    wait_for(lambda: "reload=" in driver.current_url, "the token to leave the address bar")
    if token in driver.current_url:
        raise Failure("the token is still in the address bar: " + driver.current_url)
    driver.refresh()
    wait_for(lambda: role() == "driver", "the page to drive again after a reload")
    for name in ['[data-button="0x40"]', '[data-button="0x80"]', '[data-led="left"]', '[data-led="right"]',
                 "#console", "#console-input"] + ['[data-key="%d"]' % k for k in range(16)]:
        if not driver.find_elements(By.CSS_SELECTOR, name):
            raise Failure("the page has no " + name)
    wait_for(lambda: "1. Agenda" in page_text(driver, bin_dir, tmp), "the main menu on the canvas")
    expect_same_screen(driver, base, token, "the page")
    if driver.find_elements(By.CSS_SELECTOR, "[data-led].lit"):
        raise Failure("an LED is lit in the main menu")

    press(driver, key(0))
    wait_for(lambda: "1. Anadir contacto" in page_text(driver, bin_dir, tmp), "the address book after key 0")

    press(driver, key(0))
    wait_for(lambda: "Introduzca el Nombre:" in console(), "the name prompt in the console pane")
    typed = driver.find_element(By.ID, "console-input")
    typed.send_keys("Ana" + Keys.ENTER)
    wait_for(lambda: "Introduzca el Numero:" in console(), "the number prompt")
    typed.send_keys("612345678" + Keys.ENTER)
    wait_for(lambda: "Contacto anadido." in console(), "the contact to be added")
    wait_for(lambda: "1. Agenda" in page_text(driver, bin_dir, tmp), "the main menu after the contact")
    press(driver, key(0))
    wait_for(lambda: "1. Anadir contacto" in page_text(driver, bin_dir, tmp), "the address book again")
    if screenshot:
        driver.find_element(By.ID, "console-input").send_keys(Keys.TAB)  # no caret in the picture
        driver.execute_script("window.scrollTo(0, 0)")
        time.sleep(0.5)
        driver.save_screenshot(screenshot)

    # A second page watches while the first drives.
    first = driver.current_window_handle
    driver.switch_to.new_window("tab")
    driver.get(url)
    wait_for(lambda: role() == "watcher", "the second page to watch")
    expect_same_screen(driver, base, token, "the second page")
    press(driver, key(15))
    wait_for(lambda: "ignored" in driver.find_element(By.ID, "status-message").text,
             "the second page to be told its input is ignored")
    time.sleep(1.0)
    shown = fb_text_of_board(base, token, bin_dir, tmp)
    if "1. Anadir contacto" not in shown:
        raise Failure("a watching page's key 15 reached the board: " + shown)

    # The first page goes: the second drives.
    driver.switch_to.window(first)
    driver.close()
    driver.switch_to.window(driver.window_handles[0])
    wait_for(lambda: role() == "driver", "the second page to take over")
    press(driver, key(15))
    wait_for(lambda: "1. Agenda" in page_text(driver, bin_dir, tmp), "the main menu after key 15 from the new driver")

    # Sound: the key tone of a dialled digit reaches the page.
    driver.find_element(By.ID, "sound").click()
    press(driver, key(2))  # 3. Llamar
    wait_for(lambda: "1. Agenda" not in page_text(driver, bin_dir, tmp), "the dialling screen")
    press(driver, key(0))  # dials 1
    wait_for(lambda: "100 100 2 1" in page_text(driver, bin_dir, tmp), "the dialled digit")
    sound = driver.find_element(By.ID, "sound")
    # The phone plays its tones at -30 dB: about 1/30 of full scale at most.
    try:
        wait_for(lambda: float(sound.get_attribute("data-peak") or 0) > 0.002, "the key tone in the page's sound")
    except Failure as e:
        raise Failure("%s (frames %s, peak %s)" % (e, sound.get_attribute("data-frames"), sound.get_attribute("data-peak")))

    # The window's shortcuts: Esc is key 15 (back), F1 the help.
    body = driver.find_element(By.TAG_NAME, "body")
    body.click()
    ActionChains(driver).key_down(Keys.ESCAPE).pause(0.15).key_up(Keys.ESCAPE).perform()
    wait_for(lambda: "1. Agenda" in page_text(driver, bin_dir, tmp), "the main menu after Esc")
    ActionChains(driver).send_keys(Keys.F1).perform()
    wait_for(lambda: driver.find_element(By.ID, "help").is_displayed(), "the help after F1")
    if "numeric keypad" not in driver.find_element(By.ID, "help").text:
        raise Failure("the help does not list the shortcuts: " + driver.find_element(By.ID, "help").text)
    ActionChains(driver).send_keys(Keys.ESCAPE).perform()
    wait_for(lambda: not driver.find_element(By.ID, "help").is_displayed(), "the help to close on Esc")
    speed = lambda: driver.find_element(By.ID, "status-speed").text
    driver.find_element(By.ID, "fast").click()
    wait_for(lambda: "fast-forward" in speed(), "fast-forward from its button")
    ActionChains(driver).send_keys(Keys.TAB).perform()
    wait_for(lambda: "real time" in speed(), "real time again after Tab")
    check_foreign_page(driver, base, token)


FOREIGN_PAGE = """<!doctype html><body data-ws="pending"><script>
const ws = new WebSocket('%s');
ws.onopen = () => { document.body.dataset.ws = 'open'; };
ws.onclose = () => { if (document.body.dataset.ws !== 'open') document.body.dataset.ws = 'refused'; };
</script></body>"""


def check_foreign_page(driver, base, token):
    """A page from another local port that knows the token must not reach the board."""
    import http.server
    target = base.replace("http://", "ws://") + "/ws?token=" + token
    body = (FOREIGN_PAGE % target).encode()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    # A thread per connection: Chromium opens speculative connections that
    # never send a request, and a single-threaded server would wait on one
    # for ever (and its shutdown with it).
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    first = driver.current_window_handle
    try:
        driver.switch_to.new_window("tab")
        driver.get("http://127.0.0.1:%d/" % server.server_address[1])
        wait_for(lambda: driver.execute_script("return document.body.dataset.ws") != "pending",
                 "the foreign page's WebSocket to be answered")
        if driver.execute_script("return document.body.dataset.ws") == "open":
            raise Failure("a page from another origin opened the board's WebSocket")
        driver.close()
        driver.switch_to.window(first)
    finally:
        server.shutdown()
        server.server_close()


def fb_text_of_board(base, token, bin_dir, tmp):
    path = os.path.join(tmp, "board.bin")
    with open(path, "wb") as f:
        f.write(bytes(int(c, 16) for c in board_screen(base, token)))
    return fb_text(bin_dir, path)


if __name__ == "__main__":
    sys.exit(main())
