#!/usr/bin/env bash
# The web front end end to end: phone.elf under `board-sim --ui web`, its page
# in headless Chromium driven by Selenium (web_test.py has the steps).
# Usage: web_test.sh BIN_DIR [--screenshot FILE.png]. Exit 77 (skipped)
# without Chromium, chromium-driver or Debian's python3-selenium.
set -u
# Debian's python, where python3-selenium lives (PATH's python3 may be another).
py=/usr/bin/python3
[ -x "$py" ] || { echo "SKIP: $py is not installed"; exit 77; }
for tool in /usr/bin/chromium /usr/bin/chromedriver; do
  [ -x "$tool" ] || { echo "SKIP: $tool is not installed (scripts/setup.sh installs chromium and chromium-driver)"; exit 77; }
done
"$py" -c 'import selenium' 2>/dev/null || { echo "SKIP: python3-selenium is not installed (scripts/setup.sh installs it)"; exit 77; }
exec "$py" "$(dirname "$0")/web_test.py" "$@"
