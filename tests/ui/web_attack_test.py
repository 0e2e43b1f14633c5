#!/usr/bin/python3
"""--ui web under load and attack, end to end with phone.elf and no browser
(only Python's standard library), every wait bounded:

  - board-sim runs with 64 file descriptors (ulimit -n): a thousand idle
    connections without the token do not lock the page out (the page and its
    WebSocket still come with the token), and accept() failures, if any, are
    said once, not in a loop;
  - a driving page that types 40 MB into the console leaves board-sim's memory
    flat, and is told that bytes were dropped;
  - a WebSocket from another origin, and a request for another host name, get
    403;
  - the driving page's Quit still ends the run with status 0, outputs written.

Usage: web_attack_test.py BIN_DIR
"""
import base64
import os
import re
import resource
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import urllib.request

WAIT = 10  # seconds of wall time for anything to happen
SIM_FILES = 64  # board-sim's descriptors


class Failure(Exception):
    pass


def request(port, head):
    """Sends one HTTP request (`head` without the final blank line); the status and the socket."""
    s = socket.create_connection(("127.0.0.1", port), timeout=WAIT)
    s.sendall((head + "\r\n\r\n").encode())
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = s.recv(4096)
        if not chunk:
            break
        data += chunk
    if not data:
        s.close()
        raise Failure("no answer to " + head.splitlines()[0])
    return int(data.split()[1]), s, data.partition(b"\r\n\r\n")[2]


def websocket(port, token, origin=None):
    extra = "\r\nOrigin: " + origin if origin else ""
    key = base64.b64encode(os.urandom(16)).decode()
    status, s, rest = request(port, "GET /ws?token=%s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\n"
                              "Connection: Upgrade\r\nSec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13%s"
                              % (token, port, key, extra))
    return status, Page(s, rest)


class Page:
    """The page's side of the WebSocket: masked binary frames out, frames in."""

    def __init__(self, sock, rest):
        self.sock, self.buf = sock, rest

    def send(self, payload):
        n = len(payload)
        head = bytes([0x82]) + (bytes([0x80 | n]) if n < 126 else bytes([0x80 | 126]) + struct.pack(">H", n))
        self.sock.sendall(head + b"\0\0\0\0" + payload)  # a zero mask leaves the payload as it is

    def _take(self, n):
        while len(self.buf) < n:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise Failure("board-sim closed the page")
            self.buf += chunk
        out, self.buf = self.buf[:n], self.buf[n:]
        return out

    def read(self):
        """The next message: (opcode, payload)."""
        b0, b1 = self._take(2)
        n = b1 & 0x7F
        if n == 126:
            n = struct.unpack(">H", self._take(2))[0]
        elif n == 127:
            n = struct.unpack(">Q", self._take(8))[0]
        return b0 & 0x0F, self._take(n)

    def read_text_with(self, part, timeout=WAIT):
        deadline = time.time() + timeout
        self.sock.settimeout(timeout)
        while time.time() < deadline:
            op, data = self.read()
            if op == 9:  # ping: answered as a browser does
                self.sock.sendall(bytes([0x8A, 0x80 | len(data)]) + b"\0\0\0\0" + data)
            if op == 1 and part in data.decode("utf-8", "replace"):
                return data.decode()
        raise Failure("no message with %r within %d s" % (part, timeout))


def rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))


def main():
    bin_dir = os.path.abspath(sys.argv[1])
    tmp = tempfile.mkdtemp(prefix="web-attack-")
    signal.alarm(80)
    err_path = os.path.join(tmp, "stderr.txt")
    fb_dump = os.path.join(tmp, "fb.bin")

    def low_files():
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        resource.setrlimit(resource.RLIMIT_NOFILE, (SIM_FILES, hard))

    with open(err_path, "wb") as err:
        sim = subprocess.Popen(
            [os.path.join(bin_dir, "board-sim"), "--ui", "web", "--web-port", "0", "--eeprom",
             os.path.join(tmp, "eeprom.bin"), "--fb-dump", fb_dump, os.path.join(bin_dir, "phone.elf")],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err, cwd=tmp, preexec_fn=low_files)

    def stderr_text():
        with open(err_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    idle = []
    try:
        port = token = None
        deadline = time.time() + WAIT
        while time.time() < deadline and not token:
            m = re.search(r"open http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32}) ", stderr_text())
            if m:
                port, token = int(m.group(1)), m.group(2)
            elif sim.poll() is not None:
                raise Failure("board-sim ended before it served the page")
            time.sleep(0.05)
        if not token:
            raise Failure("board-sim printed no address to open")

        # A thousand idle connections without the token (as many as this
        # process may open).
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        want = 1000
        if soft < want + 64:
            resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, want + 64), hard))
            soft = min(hard, want + 64)
        for _ in range(min(want, soft - 64)):
            idle.append(socket.create_connection(("127.0.0.1", port), timeout=WAIT))
        status, s, _ = request(port, "GET /?token=%s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nConnection: close" % (token, port))
        s.close()
        if status != 200:
            raise Failure("the page with the token answered %d behind %d idle connections" % (status, len(idle)))
        status, page = websocket(port, token)
        if status != 101:
            raise Failure("the page's WebSocket answered %d behind %d idle connections" % (status, len(idle)))
        page.read_text_with('"role":"driver"')
        time.sleep(0.5)
        text = stderr_text()
        if text.count("cannot accept") > 1 or len(text) > 20000:
            raise Failure("accept() failures are said more than once (%d bytes of stderr)" % len(text))
        for c in idle:
            c.close()
        idle = []

        # Greedy: 40 MB typed into the console as fast as the socket takes it.
        before = rss_kb(sim.pid)
        piece = bytes([0x05]) + b"A" * 1024
        for _ in range(40 * 1024):
            page.send(piece)
        page.read_text_with("dropped")
        time.sleep(0.5)
        grown = rss_kb(sim.pid) - before
        if grown > 30 * 1024:
            raise Failure("40 MB of console input took board-sim's memory up by %d KB" % grown)

        # Foreign origins and names.
        status, other = websocket(port, token, origin="http://127.0.0.1:%d" % (port + 1 if port < 65535 else 1))
        other.sock.close()
        if status != 403:
            raise Failure("a WebSocket from another local page answered %d, not 403" % status)
        status, s, _ = request(port, "GET /?token=%s HTTP/1.1\r\nHost: evil.example:%d" % (token, port))
        s.close()
        if status != 403:
            raise Failure("a request for the host evil.example answered %d, not 403" % status)

        page.send(bytes([0x07]))  # Quit
        try:
            status = sim.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            raise Failure("board-sim did not end after the page's Quit")
        if status != 0:
            raise Failure("board-sim ended with status %d after Quit" % status)
        if os.path.getsize(fb_dump) != 76800:
            raise Failure("--fb-dump was not written at the end")
        print("web attack test passed (%d KB more after 40 MB typed)" % grown)
        return 0
    except (Failure, OSError) as e:
        print("FAIL: %s" % e)
        print("--- board-sim's stderr:")
        print("\n".join(stderr_text().splitlines()[-20:]))
        return 1
    finally:
        for c in idle:
            c.close()
        if sim.poll() is None:
            sim.kill()
            sim.wait()


if __name__ == "__main__":
    sys.exit(main())
