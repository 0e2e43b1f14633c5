import time, tempfile
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.common.action_chains import ActionChains
o = webdriver.ChromeOptions()
for a in "--headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking --disable-component-update --disable-sync --window-size=1280,900".split():
    o.add_argument(a)
o.add_argument("--user-data-dir=" + tempfile.mkdtemp())
o.binary_location = "/usr/bin/chromium"
d = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=o)
d.get("http://127.0.0.1:33865/?token=91340b84fe46c9eb98e2c51a5803de67"); time.sleep(1.5)
d.switch_to.new_window('tab'); d.get("http://127.0.0.1:33865/?token=91340b84fe46c9eb98e2c51a5803de67"); time.sleep(1.5)
ActionChains(d).send_keys(Keys.F1).perform(); time.sleep(0.3)
d.save_screenshot("/tmp/webrun/help.png")
d.quit()
