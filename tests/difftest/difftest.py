#!/usr/bin/env python3
"""Random differential test of board-sim's modes, in the manner of risu.

A seeded generator writes ARM and Thumb programs (every data-processing form,
shifts by register, multiplies, loads and stores of every form with
writeback, LDM/STM, SWP, MSR/MRS, conditional execution, short branches and
counted loops) whose data lie in the SDRAM, the internal SRAM, the flash
(reads, and writes that change nothing), an empty bank and the SFRs (timer
0's count, INTMSK), with the cache off, on, on with the write buffer and in
half-cache mode, some with a timer tick counting in RAM. Each program prints
its registers, its flags and a checksum of its memories (harness.c).

Each runs in board-sim's default mode, with --no-skip and with --reference
(the oracle: one instruction at a time); the console, the register trace
with its cycles, stderr and the exit status must be identical.

  difftest.py --bin BUILD/bin [--seed N] [--count INSTRUCTIONS] [--out DIR]

A divergence prints the program's seed and where the outputs part; the
program's source stays in DIR (rerun it alone with --seed N --count the
same and --programs 1 --first K).
"""
import argparse
import os
import random
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
FIRMWARE = os.path.join(HERE, "..", "firmware")
CC = "arm-none-eabi-gcc"
MODES = [("default", []), ("no-skip", ["--no-skip"]), ("reference", ["--reference"])]

CONDS = ["eq", "ne", "cs", "cc", "mi", "pl", "vs", "vc", "hi", "ls", "ge", "lt", "gt", "le", ""]
DP = ["and", "eor", "sub", "rsb", "add", "adc", "sbc", "rsc", "tst", "teq", "cmp", "cmn", "orr", "mov", "bic", "mvn"]
SHIFTS = ["lsl", "lsr", "asr", "ror"]
DEST = ["r%d" % i for i in range(9)]          # r0..r8 take results
SRC = DEST + ["r9", "r11", "r12"]             # r9 region base, r11 address, r12 scratch
# SYSCFG values: cache off; 8 KB cache without and with the write buffer;
# half cache (4 KB SRAM) without and with it.
CACHE_MODES = [0x0, 0x6, 0xE, 0x2, 0xA]


# dt_body's start (the registers from dt_init) and end (they go to dt_regs).
PROLOGUE = ["  .syntax unified", "  .text", "  .arm", "  .align 2", "  .global dt_body", "dt_body:",
            "  push {r4-r11, lr}", "  ldr r12, =dt_init", "  ldmia r12, {r0-r8, r10, r11}", "  ldr r9, =dt_sdram+1024"]
EPILOGUE = ["  msr cpsr_c, #0x13", "  ldr r12, =dt_regs", "  stmia r12, {r0-r11}", "  mrs r0, cpsr", "  str r0, [r12, #48]",
            "  pop {r4-r11, pc}", "  .ltorg"]


def whole(text):
    """A kept program (tests/difftest/found/) holds its first line and the
    body's own instructions: the rest is the generator's."""
    if "dt_body:" in text:
        return text
    first, rest = text.split("\n", 1)
    return "\n".join([first] + PROLOGUE + [rest.rstrip("\n")] + EPILOGUE) + "\n"


class Body:
    """One program's generated assembly (dt_body)."""

    def __init__(self, rng, syscfg, tick):
        self.rng = rng
        self.lines = []
        self.label = 0
        self.syscfg = syscfg
        self.tick = tick
        self.irq_on = True       # the CPSR's I bit is clear (the monitor enters main so)
        self.regions = ["sdram", "flash", "empty"]
        if (syscfg & 6) in (0, 2):
            self.regions.append("sram")
        self.since_pool = 0

    def emit(self, line):
        self.lines.append("  " + line)
        self.since_pool += 1

    def new_label(self):
        self.label += 1
        return "L%d" % self.label

    def cond(self, p=0.3):
        return self.rng.choice(CONDS[:-1]) if self.rng.random() < p else ""

    def imm8r(self):
        value = self.rng.randrange(256)
        rot = self.rng.randrange(16) * 2
        return ((value >> rot) | (value << (32 - rot))) & 0xFFFFFFFF

    def operand2(self):
        r = self.rng.random()
        if r < 0.3:
            return "#%d" % self.imm8r()
        if r < 0.55:
            return self.rng.choice(SRC)
        if r < 0.8:
            shift = self.rng.choice(SHIFTS)
            amount = self.rng.randrange(1, 32) if shift in ("lsl", "ror") else self.rng.randrange(1, 33)
            return "%s, %s #%d" % (self.rng.choice(SRC), shift, amount)
        if r < 0.85:
            return "%s, rrx" % self.rng.choice(SRC)
        return "%s, %s %s" % (self.rng.choice(SRC), self.rng.choice(SHIFTS), self.rng.choice(SRC))

    # ---- ARM ----
    def data_processing(self):
        op = self.rng.choice(DP)
        c = self.cond()
        s = "s" if self.rng.random() < 0.4 else ""
        if op in ("tst", "teq", "cmp", "cmn"):
            self.emit("%s%s %s, %s" % (op, c, self.rng.choice(SRC), self.operand2()))
        elif op in ("mov", "mvn"):
            self.emit("%s%s%s %s, %s" % (op, s, c, self.rng.choice(DEST), self.operand2()))
        else:
            self.emit("%s%s%s %s, %s, %s" % (op, s, c, self.rng.choice(DEST), self.rng.choice(SRC), self.operand2()))

    def multiply(self):
        c = self.cond()
        s = "s" if self.rng.random() < 0.3 else ""
        kind = self.rng.choice(["mul", "mla", "umull", "umlal", "smull", "smlal"])
        if kind in ("mul", "mla"):
            rd, rm = self.rng.sample(DEST, 2)
            rs, rn = self.rng.choice(SRC), self.rng.choice(SRC)
            if kind == "mul":
                self.emit("mul%s%s %s, %s, %s" % (s, c, rd, rm, rs))
            else:
                self.emit("mla%s%s %s, %s, %s, %s" % (s, c, rd, rm, rs, rn))
        else:
            lo, hi, rm = self.rng.sample(DEST, 3)
            self.emit("%s%s%s %s, %s, %s, %s" % (kind, s, c, lo, hi, rm, self.rng.choice(SRC)))

    def set_region(self, region, thumb=False):
        base = "r6" if thumb else "r9"
        address = {"sdram": "dt_sdram+1024", "sram": "0x10001800", "flash": "0x00000400",
                   "empty": "0x08000400"}[region]
        self.emit("ldr %s, =%s" % (base, address))

    def memory(self):
        region = self.rng.choice(self.regions)
        self.set_region(region)
        self.emit("mov r11, r9")
        c = self.cond(0.2)
        kind = self.rng.random()
        rd = self.rng.choice(DEST)
        if kind < 0.4:  # LDR/STR/LDRB/STRB
            op = self.rng.choice(["ldr", "str"]) + self.rng.choice(["", "b"])
            word = not op.endswith("b")
            offset = self.rng.randrange(-63, 64) * (4 if word else 1)
            form = self.rng.choice(["pre", "prewb", "post", "reg"])
            if form == "pre":
                self.emit("%s%s %s, [r11, #%d]" % (op, c, rd, offset))
            elif form == "prewb":
                self.emit("%s%s %s, [r11, #%d]!" % (op, c, rd, offset))
            elif form == "post":
                self.emit("%s%s %s, [r11], #%d" % (op, c, rd, offset))
            else:
                self.emit("mov r12, #%d" % (abs(offset) // 4 if word else abs(offset)))
                shift = ", lsl #2" if word else ""
                sign = "-" if offset < 0 else ""
                wb = self.rng.choice(["", "!"])
                self.emit("%s%s %s, [r11, %sr12%s]%s" % (op, c, rd, sign, shift, wb))
        elif kind < 0.6:  # halfwords and signed loads
            op = self.rng.choice(["ldrh", "strh", "ldrsb", "ldrsh"])
            align = 1 if op == "ldrsb" else 2
            offset = self.rng.randrange(-127, 128) * align
            if self.rng.random() < 0.5:
                wb = self.rng.choice(["", "!"])
                self.emit("%s%s %s, [r11, #%d]%s" % (op, c, rd, offset, wb))
            else:
                self.emit("mov r12, #%d" % abs(offset))
                self.emit("%s%s %s, [r11], %sr12" % (op, c, rd, "-" if offset < 0 else ""))
        elif kind < 0.85:  # LDM/STM
            regs = sorted(self.rng.sample(range(9), self.rng.randrange(1, 9)))
            mode = self.rng.choice(["ia", "ib", "da", "db"])
            op = self.rng.choice(["ldm", "stm"])
            wb = self.rng.choice(["", "!"])
            self.emit("%s%s%s r11%s, {%s}" % (op, mode, c, wb, ", ".join("r%d" % r for r in regs)))
        else:  # SWP
            rd, rm = self.rng.sample(DEST, 2)
            self.emit("swp%s%s %s, %s, [r11]" % (self.rng.choice(["", "b"]), c, rd, rm))

    def sfr(self):
        r = self.rng.random()
        if r < 0.5:
            self.emit("ldr r9, =0x01D50000")
            self.emit("ldr %s, [r9, #0x14]" % self.rng.choice(DEST))  # TCNTO0
        elif r < 0.75:
            self.emit("ldr r9, =0x01E00000")
            self.emit("ldr %s, [r9, #0xC]" % self.rng.choice(DEST))  # INTMSK
        else:
            # INTMSK written as it is (the tick unmasked when there is one),
            # or everything masked a moment and unmasked again
            mask = 0x07FFFFFF & ~(1 << 13 | 1 << 26) if self.tick else 0x07FFFFFF
            self.emit("ldr r9, =0x01E00000")
            if self.rng.random() < 0.5:
                self.emit("ldr r12, =0x%08X" % 0x07FFFFFF)
                self.emit("str r12, [r9, #0xC]")
                for _ in range(self.rng.randrange(3)):
                    self.data_processing()
            self.emit("ldr r12, =0x%08X" % mask)
            self.emit("str r12, [r9, #0xC]")

    def psr(self):
        r = self.rng.random()
        if r < 0.4:
            self.emit("mrs %s, cpsr" % self.rng.choice(DEST))
        elif r < 0.7:
            self.emit("msr cpsr_f, #0x%08X" % (self.rng.randrange(16) << 28))
        elif r < 0.85:
            self.emit("msr cpsr_f, %s" % self.rng.choice(SRC))
        else:
            # the I bit, in supervisor mode
            self.irq_on = self.rng.random() < 0.6
            self.emit("msr cpsr_c, #0x%02X" % (0x13 if self.irq_on else 0x93))

    def branch(self):
        label = self.new_label()
        self.emit("b%s %s" % (self.cond(0.8), label))
        for _ in range(self.rng.randrange(1, 4)):
            self.simple()
        self.lines.append(label + ":")

    def loop(self, depth):
        label = self.new_label()
        self.emit("mov r10, #%d" % self.rng.randrange(2, 24))
        self.lines.append(label + ":")
        for _ in range(self.rng.randrange(1, 6)):
            self.instruction(depth + 1)
        self.emit("subs r10, r10, #1")
        self.emit("bne %s" % label)

    def wait_tick(self):
        if self.rng.random() < 0.4:
            # IDLE (CLKCON bit 2) until the tick's interrupt wakes the core
            self.emit("ldr r9, =0x01D80000")
            self.emit("ldr r12, [r9, #4]")
            self.emit("orr r12, r12, #4")
            self.emit("str r12, [r9, #4]")
            return
        # waits for the tick's next count: a loop on memory an interrupt changes
        label = self.new_label()
        self.emit("ldr r12, =dt_ticks")
        self.emit("ldr r10, [r12]")
        self.lines.append(label + ":")
        self.emit("ldr r9, [r12]")
        self.emit("cmp r9, r10")
        self.emit("beq %s" % label)

    def simple(self):
        r = self.rng.random()
        if r < 0.55:
            self.data_processing()
        elif r < 0.7:
            self.multiply()
        else:
            self.memory()

    def instruction(self, depth=0):
        r = self.rng.random()
        if r < 0.4:
            self.data_processing()
        elif r < 0.5:
            self.multiply()
        elif r < 0.75:
            self.memory()
        elif r < 0.8:
            self.sfr()
        elif r < 0.85:
            self.psr()
        elif r < 0.9:
            self.branch()
        elif r < 0.95 and depth == 0:
            self.loop(depth)
        elif r < 0.97 and depth == 0 and self.tick and self.irq_on:
            self.wait_tick()
        else:
            self.data_processing()
        if self.since_pool > 150:
            label = self.new_label()
            self.emit("b %s" % label)
            self.lines.append("  .ltorg")
            self.lines.append(label + ":")
            self.since_pool = 0

    # ---- Thumb ----
    def thumb_part(self, n):
        enter, back = self.new_label(), self.new_label()
        self.emit("ldr r12, =%s + 1" % enter)
        self.emit("bx r12")
        self.lines.append("  .ltorg")
        self.lines.append("  .thumb")
        self.lines.append("  .align 2")
        self.lines.append("  .thumb_func")
        self.lines.append(enter + ":")
        low = ["r%d" % i for i in range(6)]
        region = self.rng.choice(self.regions)
        self.set_region(region, thumb=True)
        for _ in range(n):
            r = self.rng.random()
            rd, rs, rn = (self.rng.choice(low) for _ in range(3))
            if r < 0.15:
                self.emit("%s %s, %s, #%d" % (self.rng.choice(["lsls", "lsrs", "asrs"]), rd, rs, self.rng.randrange(1, 32)))
            elif r < 0.3:
                op = self.rng.choice(["adds", "subs"])
                self.emit("%s %s, %s, %s" % (op, rd, rs, rn if self.rng.random() < 0.5 else "#%d" % self.rng.randrange(8)))
            elif r < 0.4:
                self.emit("%s %s, #%d" % (self.rng.choice(["movs", "cmp", "adds", "subs"]), rd, self.rng.randrange(256)))
            elif r < 0.6:
                op = self.rng.choice(["ands", "eors", "lsls", "lsrs", "asrs", "adcs", "sbcs", "rors", "tst", "negs",
                                      "cmp", "cmn", "orrs", "muls", "bics", "mvns"])
                if op == "negs":
                    self.emit("rsbs %s, %s, #0" % (rd, rs))
                else:
                    self.emit("%s %s, %s" % (op, rd, rs))
            elif r < 0.65:
                hi = self.rng.choice(["r8", "r9", "r11"])
                self.emit(self.rng.choice(["mov %s, %s" % (rd, hi), "add %s, %s" % (rd, hi), "cmp %s, %s" % (rd, hi)]))
            elif r < 0.85:
                k = self.rng.random()
                if k < 0.3:
                    self.emit("%s %s, [r6, #%d]" % (self.rng.choice(["ldr", "str"]), rd, 4 * self.rng.randrange(32)))
                elif k < 0.45:
                    self.emit("%s %s, [r6, #%d]" % (self.rng.choice(["ldrb", "strb"]), rd, self.rng.randrange(32)))
                elif k < 0.6:
                    self.emit("%s %s, [r6, #%d]" % (self.rng.choice(["ldrh", "strh"]), rd, 2 * self.rng.randrange(32)))
                else:
                    op = self.rng.choice(["ldr", "str", "ldrb", "strb", "ldrh", "strh", "ldrsb", "ldrsh"])
                    self.emit("movs r7, #%d" % (4 * self.rng.randrange(60)))
                    self.emit("%s %s, [r6, r7]" % (op, rd))
            elif r < 0.92:
                regs = sorted(self.rng.sample(range(6), self.rng.randrange(1, 6)))
                rl = ", ".join("r%d" % x for x in regs)
                if self.rng.random() < 0.5:
                    self.emit("push {%s}" % rl)
                    self.emit("pop {%s}" % rl)
                else:
                    self.emit("%s r6!, {%s}" % (self.rng.choice(["ldmia", "stmia"]), rl))
                    self.set_region(region, thumb=True)
            else:
                label = self.new_label()
                self.emit("b%s %s" % (self.rng.choice(CONDS[:-1]), label))
                self.emit("%s %s, #%d" % (self.rng.choice(["movs", "adds"]), rd, self.rng.randrange(256)))
                self.lines.append(label + ":")
        self.emit("ldr r7, =%s" % back)
        self.emit("bx r7")
        self.lines.append("  .ltorg")
        self.lines.append("  .arm")
        self.lines.append("  .align 2")
        self.lines.append(back + ":")
        self.since_pool = 0

    def text(self, count):
        self.lines += PROLOGUE
        self.emit("msr cpsr_f, #0x%08X" % (self.rng.randrange(16) << 28))
        done = 0
        while done < count:
            if self.rng.random() < 0.04:
                n = self.rng.randrange(4, 30)
                self.thumb_part(n)
                done += n
            else:
                before = len(self.lines)
                self.instruction()
                done += len(self.lines) - before
        self.lines += EPILOGUE
        return "\n".join(self.lines) + "\n"


def generate(seed, count):
    """One program's body.S: its first line names its seed and modes."""
    rng = random.Random(seed)
    syscfg = rng.choice(CACHE_MODES)
    tick = rng.choice([0, 0, 600, 2000, 5000])
    ncachbe = 1 if (syscfg & 6) and rng.random() < 0.25 else 0
    body = Body(rng, syscfg, tick).text(count)
    return "@ seed %d: SYSCFG 0x%X, tick %d, NCACHBE %d\n" % (seed, syscfg, tick, ncachbe) + body


def build(directory, source_text):
    """Builds a body.S with the harness; returns the ELF's path (None if it does not build)."""
    first = source_text.split("\n", 1)[0].split()
    seed, syscfg, tick, ncachbe = int(first[2].rstrip(":")), int(first[4].rstrip(","), 16), int(first[6].rstrip(",")), \
        int(first[8])
    os.makedirs(directory, exist_ok=True)
    source = os.path.join(directory, "body.S")
    with open(source, "w") as f:
        f.write(source_text)
    elf = os.path.join(directory, "program.elf")
    cmd = [CC, "-mcpu=arm7tdmi", "-marm", "-mthumb-interwork", "-O1", "-ffreestanding", "-nostdlib",
           "-Wl,--no-gc-sections", "-T", os.path.join(FIRMWARE, "test.ld"), "-I", FIRMWARE,
           "-DDT_SEED=%du" % (seed & 0xFFFFFFFF), "-DDT_SYSCFG=0x%X" % syscfg, "-DDT_TICK=%d" % tick,
           "-DDT_NCACHBE=%d" % ncachbe, os.path.join(HERE, "harness.c"), source, "-o", elf]
    result = subprocess.run(cmd, capture_output=True, text=True)
    if result.returncode != 0:
        return None
    return elf


def time_limit(directory):
    """The virtual time a program may take: 50 ms, and 1 ms per 1,000 lines
    of its body beyond (a program of 64,000 instructions with slow banks and
    a tick takes some 53 ms)."""
    try:
        with open(os.path.join(directory, "body.S")) as f:
            lines = sum(1 for _ in f)
    except OSError:
        lines = 0
    return "%dms" % max(50, lines // 1000)


def run(board_sim, elf, directory, name, extra):
    out = os.path.join(directory, name)
    os.makedirs(out, exist_ok=True)
    trace, uart = os.path.join(out, "trace"), os.path.join(out, "uart0")
    cmd = [board_sim, "--ui", "none", "--until", time_limit(directory), "--uart-baud", "4000000", "--eeprom-off", "--trace", trace, "--uart-out", uart] + extra
    try:
        result = subprocess.run(cmd + [elf], capture_output=True, timeout=600)
    except subprocess.TimeoutExpired:
        return {"status": b"timeout", "stdout": b"", "stderr": b"", "trace": b"", "uart0": b""}
    files = {"status": str(result.returncode).encode(), "stdout": result.stdout, "stderr": result.stderr}
    for key, path in (("trace", trace), ("uart0", uart)):
        with open(path, "rb") as f:
            files[key] = f.read()
    return files


def first_difference(a, b):
    la, lb = a.splitlines(), b.splitlines()
    for i, (x, y) in enumerate(zip(la, lb)):
        if x != y:
            return "line %d: %r / %r" % (i + 1, x[:100], y[:100])
    return "line %d: one ends" % (min(len(la), len(lb)) + 1)


def divergences(board_sim, elf, directory):
    outputs = {name: run(board_sim, elf, directory, name, extra) for name, extra in MODES}
    ref = outputs["reference"]
    bad = []
    for name in ("default", "no-skip"):
        for key in ("status", "uart0", "trace", "stdout", "stderr"):
            if outputs[name][key] != ref[key]:
                bad.append("%s %s differs from --reference at %s" %
                           (name, key, first_difference(outputs[name][key], ref[key])))
    finished = b"ticks" in ref["uart0"]
    return bad, finished, ref


REMOVABLE = ("  .", "@")


def minimize(board_sim, path):
    """Removes lines of a diverging body.S for as long as it still diverges
    (a delta debugging of its instructions); writes body.min.S beside it."""
    with open(path) as f:
        lines = f.read().split("\n")
    start = next(i for i, l in enumerate(lines) if l.startswith("  msr cpsr_f")) + 1
    end = max(i for i, l in enumerate(lines) if l.startswith("  msr cpsr_c, #0x13"))
    head, body, tail = lines[:start], lines[start:end], lines[end:]
    directory = os.path.join(os.path.dirname(path), "minimize")

    def diverges(candidate):
        elf = build(directory, "\n".join(head + candidate + tail))
        if not elf:
            return False
        bad, finished, _ = divergences(board_sim, elf, directory)
        return bool(bad) and finished

    if not diverges(body):
        sys.exit("difftest: %s does not diverge" % path)

    def shrink(body, removable):
        chunk = max(1, len(body) // 2)
        while chunk >= 1:
            i, changed = 0, False
            while i < len(body):
                kept = [l for l in body[i:i + chunk] if not removable(l)]
                candidate = body[:i] + kept + body[i + chunk:]
                if len(candidate) < len(body) and diverges(candidate):
                    body, changed = candidate, True
                else:
                    i += chunk
            if not changed:
                chunk //= 2
        return body

    # The instructions first, keeping the labels and directives they may
    # need; then any line, labels and directives too (a label nothing jumps
    # to any more, a switch to Thumb whose instructions now assemble as
    # ARM), as long as the program builds and still diverges.
    body = shrink(body, lambda l: l.startswith("  ") and not l.startswith(REMOVABLE))
    body = shrink(body, lambda l: True)
    out = os.path.join(os.path.dirname(path), "body.min.S")
    with open(out, "w") as f:
        f.write("\n".join(head + body + tail))
    print("difftest: %d lines left in %s" % (len([l for l in body if l.startswith("  ") and not l.startswith(REMOVABLE)]), out))
    return 0


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--bin", required=True, help="the build's bin directory (board-sim)")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--count", type=int, default=3000, help="instructions in all (about)")
    p.add_argument("--per-program", type=int, default=250, help="instructions per program (about)")
    p.add_argument("--programs", type=int, default=0, help="how many programs (default: count / per-program)")
    p.add_argument("--first", type=int, default=0, help="the first program's index")
    p.add_argument("--out", default=None, help="where programs and outputs go (default: a temporary directory)")
    p.add_argument("--keep", action="store_true", help="keep every program's files, not only diverging ones")
    p.add_argument("--check", nargs="+", metavar="BODY.S", help="run these bodies (found divergences, kept as tests)")
    p.add_argument("--minimize", metavar="BODY.S", help="shrink a diverging program's body.S as far as it still diverges")
    args = p.parse_args()
    board_sim = os.path.join(args.bin, "board-sim")
    if args.minimize:
        return minimize(board_sim, args.minimize)
    out = args.out or os.path.join(os.environ.get("TMPDIR", "/tmp"), "difftest-%d" % os.getpid())
    if args.check:
        failures = 0
        for path in args.check:
            with open(path) as f:
                elf = build(os.path.join(out, os.path.basename(path)), whole(f.read()))
            bad, finished, ref = divergences(board_sim, elf, os.path.join(out, os.path.basename(path))) if elf else (["does not build"], True, None)
            if not finished:
                bad.append("the program did not finish")
            if bad:
                failures += 1
                print("FAIL %s:\n  %s" % (path, "\n  ".join(bad)))
        print("%d passed, %d failed" % (len(args.check) - failures, failures))
        return 1 if failures else 0
    programs = args.programs or max(1, args.count // args.per_program)
    failures = 0
    for k in range(args.first, args.first + programs):
        seed = args.seed * 1000003 + k
        directory = os.path.join(out, "p%d" % k)
        elf = build(directory, generate(seed, args.per_program))
        if not elf:
            sys.exit("difftest: program %d (seed %d) does not build: see %s" % (k, seed, directory))
        bad, finished, ref = divergences(board_sim, elf, directory)
        if not finished:
            bad.append("the program did not finish: %s" % ref["stderr"].decode(errors="replace")[-300:])
        if bad:
            failures += 1
            print("FAIL program %d (seed %d, %s):" % (k, seed, directory))
            for line in bad:
                print("  " + line)
        elif not args.keep:
            shutil.rmtree(directory, ignore_errors=True)
    if not args.out and not failures and not args.keep:
        shutil.rmtree(out, ignore_errors=True)
    print("%d passed, %d failed" % (programs - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
