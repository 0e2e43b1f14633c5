#!/usr/bin/env python3
"""board-sim --junit: the report of a scenario run, read with xml.etree.

Usage: check_junit.py BIN_DIR SCRIPTS_DIR OUT_DIR
"""
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

bin_dir, scripts, out = sys.argv[1:4]
board_sim = os.path.join(bin_dir, "board-sim")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def run(name, script, firmware, *extra):
    """Runs board-sim; returns (exit status, stderr, the report's root or None)."""
    report = os.path.join(out, name + ".xml")
    if os.path.exists(report):
        os.remove(report)
    args = [board_sim, "--ui", "none", "--eeprom", os.path.join(out, name + ".eeprom"),
            "--script", script, "--junit", report, *extra, os.path.join(bin_dir, firmware)]
    done = subprocess.run(args, capture_output=True, text=True, timeout=120)
    root = ET.parse(report).getroot() if os.path.exists(report) else None
    print(name, "exit", done.returncode, done.stderr.strip())
    return done.returncode, done.stderr, root


def cases(root):
    return root.findall("./testsuite/testcase")


# A failure in the middle: passed, passed, failed, skipped, skipped.
script = os.path.join(scripts, "junit.scn")
status, stderr, root = run("junit", script, "watchdog_reset.elf")
check(status == 1, "a failing expect still exits with 1")
check(root is not None and root.tag == "testsuites", "the report is written")
if root is not None:
    suite = root.find("testsuite")
    got = cases(root)
    check(len(got) == 5, "one testcase per expect (%d)" % len(got))
    check(suite.get("tests") == "5" and suite.get("failures") == "1" and suite.get("skipped") == "2",
          "the counts: %s" % suite.attrib)
    names = [c.get("name") for c in got]
    check(names[0] == script + ':3: expect uart "watchdog left"', "named by file, line and text: %s" % names[0])
    check(names[1] == script + ":4: expect led left off", "a comment is not in the name: %s" % names[1])
    check(names[2] == script + ':5: expect uart "never <sent> & \\"quoted\\"" within 50ms',
          "markup survives escaping: %s" % names[2])
    check(all(c.get("classname") == os.path.join(bin_dir, "watchdog_reset.elf") for c in got),
          "the firmware is the class")
    check(len(got[0]) == 0 and len(got[1]) == 0, "passed expects have no child")
    failure = got[2].find("failure")
    check(failure is not None and "not sent on UART0" in failure.get("message", ""),
          "the failure carries the message")
    check(failure is not None and (failure.text or "").startswith(script + ":5: "), "and the whole line as text")
    for c in got[3:]:
        skipped = c.find("skipped")
        check(skipped is not None and "line 5 failed" in skipped.get("message", ""),
              "%s is skipped after the failure" % c.get("name"))

# Every expect holds.
status, stderr, root = run("junit_pass", os.path.join(scripts, "pass.scn"), "watchdog_reset.elf")
check(status == 0, "a passing script exits with 0")
if root is not None:
    check(len(cases(root)) == 5 and all(len(c) == 0 for c in cases(root)), "five testcases, all passed")

# --until ends the run before the expects.
status, stderr, root = run("junit_until", os.path.join(scripts, "pass.scn"), "watchdog_reset.elf", "--until", "5ms")
check(status == 0, "--until still exits with 0")
if root is not None:
    skipped = [c.find("skipped") for c in cases(root)]
    check(len(skipped) == 5 and all(s is not None and "--until" in s.get("message", "") for s in skipped),
          "expects after --until are skipped, saying why")

# A bad script line: exit 2, and the report says so.
status, stderr, root = run("junit_malformed", os.path.join(scripts, "malformed.scn"), "watchdog_reset.elf")
check(status == 2, "a bad script still exits with 2")
if root is not None:
    error = root.find("./testsuite/testcase/error")
    check(error is not None and "malformed.scn:3:" in error.get("message", ""), "the script error is reported")
else:
    check(False, "a report is written for a bad script")

# A board that halts: exit 3, one error testcase with the halt, no line
# failed for it (not the wait it cut short, not the expect after it), and the
# expects from there on skipped. Each script: (text, expects passed, skipped).
halts = [
    ("halt in a wait", 'expect uart "before the swi"\nwait 1s\nexpect uart "after the swi"\nexpect led left off\n', 1, 2),
    ("halt while an expect waits", 'expect uart "after the swi" within 3s\nexpect led left off\n', 0, 2),
    ("halt, then a key and an expect", "wait 10ms\nkey 1\nexpect led left off\n", 0, 1),
]
for n, (what, text, passed, skipped) in enumerate(halts):
    halting = os.path.join(out, "junit_halt%d.scn" % n)
    with open(halting, "w") as f:
        f.write(text)
    status, stderr, root = run("junit_halt%d" % n, halting, "no_handler.elf")
    check(status == 3, "%s: exits with 3 (%d)" % (what, status))
    if root is None:
        check(False, "%s: a report is written" % what)
        continue
    got = cases(root)
    errors = [c for c in got if c.find("error") is not None]
    check(len(errors) == 1 and "no handler for software interrupt" in errors[0].find("error").get("message", ""),
          "%s: one error testcase with the halt" % what)
    check(all(c.find("failure") is None for c in got), "%s: no failure" % what)
    check(sum(1 for c in got if c.find("skipped") is not None) == skipped, "%s: %d skipped" % (what, skipped))
    check(sum(1 for c in got if len(c) == 0) == passed, "%s: %d passed" % (what, passed))

# main returning is no halt: no error testcase, the script's own verdict.
returning = os.path.join(out, "junit_return.scn")
with open(returning, "w") as f:
    f.write('wait 100ms\nexpect uart "hello"\n')
status, stderr, root = run("junit_return", returning, "hello.elf")
check(status == 0, "main returning after every expect held exits with 0 (%d)" % status)
check("main returned 0 at" in stderr, "main's value is said")
if root is not None:
    check(root.find("./testsuite/testcase/error") is None and len(cases(root)) == 1, "no error testcase")

sys.exit(1 if failures else 0)
