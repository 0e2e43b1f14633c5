#!/usr/bin/env python3
"""`expect screen FILE.png` on the phone: the main menu as --screenshot took
it matches, another screen does not (the message counts the pixels and names
the first), and a missing or wrongly sized picture is a script error.

Usage: check_expect_screen.py BIN_DIR OUT_DIR
"""
import os
import re
import struct
import subprocess
import sys
import zlib

bin_dir, out = sys.argv[1:3]
board_sim = os.path.join(bin_dir, "board-sim")
phone = os.path.join(bin_dir, "phone.elf")
suite = os.path.join(out, "screen-suite")  # the scripts and their pictures
os.makedirs(suite, exist_ok=True)
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def board(*args):
    # Run from OUT_DIR, not from the suite: pictures are found beside the script.
    done = subprocess.run([board_sim, "--ui", "none", "--eeprom", os.path.join(out, "screen.eeprom"), *args, phone],
                          capture_output=True, text=True, timeout=120, cwd=out, errors="replace")
    stderr = "\n".join(l for l in done.stderr.splitlines() if "IICADD" not in l)
    print(" ".join(args), "-> exit", done.returncode, stderr)
    return done.returncode, stderr


def script(name, text):
    path = os.path.join(suite, name)
    with open(path, "w") as f:
        f.write(text)
    return path


# The reference: the main menu before the status line's clock appears.
status, _ = board("--until", "500ms", "--screenshot", os.path.join(suite, "menu.png"),
                  "--fb-dump", os.path.join(out, "menu.fb"))
check(status == 0, "the reference is taken")

status, stderr = board("--script", script("same.scn", "expect screen menu.png\n"))
check(status == 0 and stderr == "", "the menu matches its picture")

# The run's own --screenshot may not replace its reference.
status, stderr = board("--script", os.path.join(suite, "same.scn"), "--screenshot", os.path.join(suite, "menu.png"))
check(status == 2 and "same file" in stderr, "--screenshot over a reference picture is refused")

# Agenda's screen is not the menu.
status, stderr = board("--script", script("differs.scn", "wait 200ms\nkey 0\nexpect screen menu.png within 300ms\n"),
                       "--fb-dump", os.path.join(out, "agenda.fb"))
check(status == 1, "another screen fails the expect")
m = re.search(r"differs\.scn:3: .*: not the picture within 300ms: (\d+) pixels differ, "
              r"the first at (\d+) (\d+) \(grey (\d+) on the LCD, (\d+) in the picture\)", stderr)
check(m is not None, "the failure counts the pixels and names the first")
if m:
    # The same count and first pixel from the frames themselves (the run ends
    # at the failure, so --fb-dump holds the screen it compared).
    want = open(os.path.join(out, "menu.fb"), "rb").read()
    got = open(os.path.join(out, "agenda.fb"), "rb").read()
    differ = [i for i in range(len(want)) if want[i] != got[i]]
    check(len(differ) == int(m.group(1)) > 0, "%d pixels differ, the message says %s" % (len(differ), m.group(1)))
    first = differ[0] if differ else 0
    check((first % 320, first // 320, got[first], want[first]) == tuple(int(g) for g in m.groups()[1:]),
          "the first pixel and its greys")

# A picture that is not there, and one of the wrong size: script errors.
status, stderr = board("--script", script("missing.scn", "expect screen nothere.png\n"))
check(status == 2 and len(stderr.splitlines()) == 1 and "missing.scn:1:" in stderr and "nothere.png" in stderr,
      "a missing picture is one line naming the script line and the file")


def png(path, width, height):
    raw = b"".join(b"\x00" + b"\xff" * width for _ in range(height))
    chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data +
                                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


png(os.path.join(suite, "small.png"), 10, 12)
status, stderr = board("--script", script("small.scn", "expect screen small.png\n"))
check(status == 2 and "is 10 x 12 pixels; the LCD is 320 x 240" in stderr, "a wrongly sized picture is a script error")
with open(os.path.join(suite, "garbage.png"), "w") as f:
    f.write("not a picture\n")
status, stderr = board("--script", script("garbage.scn", "expect screen garbage.png\n"))
check(status == 2 and "cannot read" in stderr and "garbage.png" in stderr, "a file that is no PNG is a script error")

# A picture is an input like any other, checked before it is opened: a FIFO
# (nobody writes it: opening it would wait forever), a device, and a header
# that claims a million pixels square (reading it would take gigabytes) are
# one line and status 2, at once.
fifo = os.path.join(suite, "pipe.png")
if not os.path.exists(fifo):
    os.mkfifo(fifo)
png(os.path.join(suite, "lie.png"), 1, 1)
with open(os.path.join(suite, "lie.png"), "r+b") as f:
    data = bytearray(f.read())
    data[16:24] = struct.pack(">II", 1000000, 1000000)
    data[29:33] = struct.pack(">I", zlib.crc32(bytes(data[12:29])) & 0xFFFFFFFF)
    f.seek(0)
    f.write(data)
for name, says in (("pipe.png", "is a FIFO"), ("/dev/zero", "is a device"),
                   ("lie.png", "is 1000000 x 1000000 pixels; the LCD is 320 x 240")):
    try:
        status, stderr = board("--script", script("input.scn", "expect screen %s\n" % name))
    except subprocess.TimeoutExpired:
        status, stderr = None, "(timed out)"
    check(status == 2 and len(stderr.splitlines()) == 1 and says in stderr, "expect screen %s: %s" % (name, says))

sys.exit(1 if failures else 0)
