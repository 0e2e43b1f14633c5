#!/usr/bin/env python3
"""bench-inflate's input, made at build time.

    bench-inflate-data.py OUT_DIR

Writes OUT_DIR/bench-inflate.deflate, a raw DEFLATE stream (no zlib or gzip
wrapper) of about 1.9 MB of deterministic data (about 1 MB compressed), and OUT_DIR/bench-inflate-data.h
with the sizes and CRC-32s of both that the program checks.

The data is a log-like text with random hexadecimal fields (moderately
compressible) and a run of pseudo-random bytes (incompressible). The stream
holds every kind of block: its parts are compressed by separate compressors,
each ended by a full flush (non-final blocks that end on a byte boundary and
refer to nothing before them), so they concatenate into one valid stream:
dynamic Huffman blocks (level 9), fixed Huffman blocks (strategy Z_FIXED),
stored blocks (level 0), and a last part at the default level that ends the
stream.
"""
import os
import sys
import zlib


class Xorshift32:
    def __init__(self, seed):
        self.x = seed

    def next(self):
        x = self.x
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.x = x
        return x


WORDS = ("boot load image block sector flash erase write verify read cache line "
         "buffer page table entry valid dirty clean fetch store branch return "
         "interrupt timer uart ready busy done error retry ok").split()


def text(rng, size):
    out = []
    n = 0
    line = 0
    while n < size:
        fields = ["%06d" % line, "%08x" % rng.next(), "%04x" % (rng.next() & 0xFFFF)]
        for _ in range(3 + rng.next() % 6):
            fields.append(WORDS[rng.next() % len(WORDS)])
        s = " ".join(fields) + "\n"
        out.append(s)
        n += len(s)
        line += 1
    return "".join(out).encode()[:size]


def noise(rng, size):
    b = bytearray()
    while len(b) < size:
        b += rng.next().to_bytes(4, "little")
    return bytes(b[:size])


def main():
    out_dir = sys.argv[1]
    rng = Xorshift32(0x1234567)
    parts = [
        (text(rng, 576 * 1024), dict(level=9)),
        (text(rng, 192 * 1024), dict(level=6, strategy=zlib.Z_FIXED)),
        (noise(rng, 512 * 1024), dict(level=0)),
        (text(rng, 664 * 1024), dict(level=6)),
    ]
    data = b"".join(p for p, _ in parts)
    stream = b""
    for i, (part, options) in enumerate(parts):
        c = zlib.compressobj(options["level"], zlib.DEFLATED, -15, 9, options.get("strategy", zlib.Z_DEFAULT_STRATEGY))
        last = i == len(parts) - 1
        stream += c.compress(part) + c.flush(zlib.Z_FINISH if last else zlib.Z_FULL_FLUSH)
    d = zlib.decompressobj(-15)
    if d.decompress(stream) + d.flush() != data or not d.eof:
        sys.exit("bench-inflate-data.py: the stream does not inflate to the data")

    with open(os.path.join(out_dir, "bench-inflate.deflate"), "wb") as f:
        f.write(stream)
    with open(os.path.join(out_dir, "bench-inflate-data.h"), "w") as f:
        f.write("// Made by tests/firmware/bench-inflate-data.py; do not edit.\n")
        f.write("#define DEFLATED_SIZE %du\n" % len(stream))
        f.write("#define DEFLATED_CRC32 0x%08Xu\n" % zlib.crc32(stream))
        f.write("#define INFLATED_SIZE %du\n" % len(data))
        f.write("#define INFLATED_CRC32 0x%08Xu\n" % zlib.crc32(data))


if __name__ == "__main__":
    main()
