#!/usr/bin/env python3
"""board-sim's UARTs on host serial ports, driven as a teacher's harness would.

    check_serial_port.py MODE BIN_DIR OUT_DIR

tcp-echo   serial_echo.elf on --uart1 tcp:0: a burst far faster than the
           line comes back whole (nothing lost, nothing reordered), a second
           client is turned away, a client that leaves is followed by another.
pty-phone  the phone's address book over --uart0 pty,wait with pyserial (exit
           77, skipped, without python3-serial): add a contact, close the
           port, open it again and list the contacts.

Real sockets and processes, so every wait is bounded; board-sim runs at the
wall clock's pace with a port.
"""
import os
import random
import re
import select
import signal
import socket
import subprocess
import sys
import time

SKIP = 77


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


class BoardSim:
    def __init__(self, args):
        self.proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.stderr = b""

    def wait_line(self, pattern, timeout=15):
        """The first stderr line matching `pattern` (bytes regex)."""
        deadline = time.monotonic() + timeout
        while True:
            for line in self.stderr.split(b"\n")[:-1]:
                m = re.search(pattern, line)
                if m:
                    return m
            left = deadline - time.monotonic()
            if left <= 0 or self.proc.poll() is not None and not self._read(0):
                fail("board-sim never said %r; stderr so far:\n%s" % (pattern, self.stderr.decode(errors="replace")))
            self._read(left)

    def _read(self, timeout):
        ready, _, _ = select.select([self.proc.stderr], [], [], min(timeout, 0.5))
        if not ready:
            return False
        chunk = os.read(self.proc.stderr.fileno(), 4096)
        self.stderr += chunk
        return bool(chunk)

    def finish(self, sig=None, timeout=30):
        if sig is not None and self.proc.poll() is None:
            self.proc.send_signal(sig)
        try:
            self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            fail("board-sim did not end")
        while self._read(0):
            pass
        return self.proc.returncode


def recv_exactly(sock, n, timeout=20):
    got = b""
    deadline = time.monotonic() + timeout
    while len(got) < n:
        left = deadline - time.monotonic()
        if left <= 0:
            fail("received %d of %d bytes" % (len(got), n))
        sock.settimeout(left)
        chunk = sock.recv(n - len(got))
        if not chunk:
            fail("the connection closed after %d of %d bytes" % (len(got), n))
        got += chunk
    return got


def tcp_echo(bin_dir, out):
    board = BoardSim([os.path.join(bin_dir, "board-sim"), "--ui", "none", "--eeprom-off", "--uart-baud", "125000",
                      "--uart1", "tcp:0", os.path.join(bin_dir, "serial_echo.elf")])
    try:
        m = board.wait_line(rb"^board-sim: uart1: tcp 127\.0\.0\.1:(\d+) at 125000 baud 8N1 \(nc 127\.0\.0\.1 \d+\)$")
        port = int(m.group(1))
        first = socket.create_connection(("127.0.0.1", port), timeout=10)
        # 6000 bytes is half a second of line time; the client writes them at
        # once and the board takes them as the line allows.
        burst = bytes(random.Random(7).randrange(256) for _ in range(6000))
        first.sendall(burst)
        back = recv_exactly(first, len(burst))
        if back != burst:
            at = next(i for i in range(len(burst)) if back[i] != burst[i])
            fail("the echo differs from byte %d on" % at)

        # One client at a time: a second one is closed at once.
        second = socket.create_connection(("127.0.0.1", port), timeout=10)
        second.settimeout(10)
        try:
            if second.recv(16) != b"":
                fail("a second client got bytes")
        except ConnectionResetError:
            pass
        board.wait_line(rb"^board-sim: uart1: refused a second client from 127\.0\.0\.1:\d+ on 127\.0\.0\.1:%d: "
                        rb"one at a time$" % port)
        second.close()
        first.sendall(b"still here")
        if recv_exactly(first, 10) != b"still here":
            fail("the first client lost its line to the second")

        # The client leaves; the next one is served.
        first.close()
        deadline = time.monotonic() + 10
        while True:
            third = socket.create_connection(("127.0.0.1", port), timeout=10)
            third.settimeout(1)
            try:
                third.sendall(b"again")
                if recv_exactly(third, 5, timeout=3) == b"again":
                    break
            except (ConnectionResetError, BrokenPipeError, socket.timeout):
                pass
            third.close()
            if time.monotonic() > deadline:
                fail("no client was served after the first left")
        third.close()
    finally:
        status = board.finish(signal.SIGTERM)
    if status != 128 + signal.SIGTERM:
        fail("board-sim ended with %d; stderr:\n%s" % (status, board.stderr.decode(errors="replace")))


def pty_phone(bin_dir, out):
    try:
        import serial  # python3-serial
    except ImportError:
        print("python3-serial is not installed: skipped")
        sys.exit(SKIP)
    eeprom = os.path.join(out, "serial-phone.eeprom")
    if os.path.exists(eeprom):
        os.remove(eeprom)
    script = os.path.join(out, "serial-phone.scn")
    # The script presses the keys; the harness does the typing on the port.
    with open(script, "w") as f:
        f.write("wait 1s\n"
                "expect lcd \"1. Agenda\"\n"
                "key 0\n"
                "key 0\n"
                "expect uart \"Contacto anadido.\" within 60s\n"
                "wait 3s\n"
                "key 0\n"
                "key 1\n"
                "expect uart \"Numero: 612345678\" within 10s\n"
                "wait 2s\n")
    board = BoardSim([os.path.join(bin_dir, "board-sim"), "--script", script, "--eeprom", eeprom,
                      "--uart0", "pty,wait", os.path.join(bin_dir, "phone.elf")])
    try:
        m = board.wait_line(rb"^board-sim: uart0: pty (/dev/\S+) at 115200 baud 8N1 \(picocom -b 115200 \S+\)$")
        path = m.group(1).decode()

        def expect(port, text, timeout=20):
            port.timeout = timeout
            got = port.read_until(text)
            if not got.endswith(text):
                fail("%r did not come on the pty; got %r" % (text, got[-200:]))

        with serial.Serial(path, 115200, timeout=20) as port:
            expect(port, b"Introduzca el Nombre:")
            port.write(b"Ana\r")
            expect(port, b"Introduzca el Numero:")
            port.write(b"612345678\r")
            expect(port, b"Contacto anadido.")
        # Closed, then opened again: the next client hears the listing.
        with serial.Serial(path, 115200, timeout=20) as port:
            expect(port, b"Nombre: Ana")
            expect(port, b"Numero: 612345678")
    finally:
        status = board.finish()
    if status != 0:
        fail("board-sim ended with %d; stderr:\n%s" % (status, board.stderr.decode(errors="replace")))
    with open(eeprom, "rb") as f:
        if b"Ana" not in f.read():
            fail("the contact is not in the EEPROM file")


if __name__ == "__main__":
    mode, bin_dir, out = sys.argv[1:4]
    os.makedirs(out, exist_ok=True)
    {"tcp-echo": tcp_echo, "pty-phone": pty_phone}[mode](bin_dir, out)
    print("passed")
