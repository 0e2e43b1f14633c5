#!/usr/bin/env python3
"""board-sim --audio-out as Python's own wave module reads it (format 1).

Usage: check_wav.py BIN_DIR OUT_DIR
"""
import os
import subprocess
import sys
import wave

bin_dir, out = sys.argv[1:3]
os.makedirs(out, exist_ok=True)
path = os.path.join(out, "phone.wav")
if os.path.exists(path):
    os.remove(path)
done = subprocess.run([os.path.join(bin_dir, "board-sim"), "--ui", "none", "--until", "2s", "--eeprom",
                       os.path.join(out, "wav.eeprom"), "--audio-out", path, os.path.join(bin_dir, "phone.elf")],
                      capture_output=True, text=True, timeout=120)
if done.returncode != 0:
    print(done.stderr)
    sys.exit("board-sim exited with %d" % done.returncode)
with wave.open(path, "rb") as w:
    got = (w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes())
    frames = w.readframes(w.getnframes())
print("channels, sample width, rate, frames:", got)
if got != (2, 2, 15625, 2 * 15625) or len(frames) != 4 * 2 * 15625:
    sys.exit("expected 2 s of 16-bit stereo at 15625 Hz")
print("ok")
