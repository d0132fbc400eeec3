#!/usr/bin/env python3
"""Compares Vantrel's page text with Chromium's document.body.innerText, for developers (not run by CI).

Each page is copied without its style sheets (<link rel=stylesheet> and <style>), loaded into headless Chromium
with scripts off through chromedriver, and its innerText read over chromedriver's W3C endpoints. Vantrel's text
of the same copy comes from `bench_page_text --text FILE`. Printed per page: the share of the browser's words
found in ours (as a multiset) and the share of its lines found in order (longest common subsequence of the
non-empty lines over the browser's non-empty lines), and whether the two texts are identical byte for byte.

    scripts/compare-page-text.py build/bench/bench_page_text page.html [page.html ...]
Needs: apt-get install chromium chromium-driver
"""
import collections
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

CHROME_ARGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--blink-settings=scriptEnabled=false,imagesEnabled=false"]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Driver:
    def __init__(self):
        self.port = free_port()
        self.process = subprocess.Popen(["chromedriver", f"--port={self.port}"], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self.base = f"http://127.0.0.1:{self.port}"
        for _ in range(100):
            try:
                self.call("GET", "/status")
                break
            except OSError:
                time.sleep(0.1)
        self.profile = tempfile.mkdtemp()
        caps = {"capabilities": {"alwaysMatch": {"browserName": "chrome", "goog:chromeOptions": {
            "binary": "/usr/bin/chromium", "args": CHROME_ARGS + [f"--user-data-dir={self.profile}"]}}}}
        self.session = self.call("POST", "/session", caps)["value"]["sessionId"]

    def call(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=120) as answer:
            return json.loads(answer.read())

    def inner_text(self, path):
        self.call("POST", f"/session/{self.session}/url", {"url": "file://" + path})
        script = {"script": "return document.body ? document.body.innerText : ''", "args": []}
        return self.call("POST", f"/session/{self.session}/execute/sync", script)["value"]

    def close(self):
        try:
            self.call("DELETE", f"/session/{self.session}")
        finally:
            self.process.terminate()
            self.process.wait()


def without_style_sheets(page):
    page = re.sub(rb"(?is)<style\b.*?</style\s*>", b"", page)
    return re.sub(rb"(?is)<link\b[^>]*\brel\s*=\s*[\"']?stylesheet[^>]*>", b"", page)


def lines_of(text):
    return [line.strip() for line in text.split("\n") if line.strip()]


def lcs_length(a, b):
    # Hunt-Szymanski style over line ids would be faster; pages have a few thousand lines at most.
    previous = [0] * (len(b) + 1)
    for x in a:
        current = [0] * (len(b) + 1)
        for j, y in enumerate(b, 1):
            current[j] = previous[j - 1] + 1 if x == y else max(previous[j], current[j - 1])
        previous = current
    return previous[-1]


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    tool, pages = sys.argv[1], sys.argv[2:]
    driver = Driver()
    folder = tempfile.mkdtemp()
    totals = [0, 0, 0, 0]
    identical = 0
    try:
        for page in pages:
            with open(page, "rb") as f:
                copy = without_style_sheets(f.read())
            path = os.path.join(folder, "page.html")
            with open(path, "wb") as f:
                f.write(copy)
            browser = driver.inner_text(path).replace("\r\n", "\n")
            ours = subprocess.run([tool, "--text", path], capture_output=True, check=True).stdout.decode()
            words = collections.Counter(browser.split())
            found = sum((words & collections.Counter(ours.split())).values())
            browser_lines = lines_of(browser)
            in_order = lcs_length(browser_lines, lines_of(ours))
            totals = [totals[0] + found, totals[1] + sum(words.values()), totals[2] + in_order,
                      totals[3] + len(browser_lines)]
            identical += browser == ours
            print(f"{found / max(1, sum(words.values())):7.2%} words {in_order / max(1, len(browser_lines)):7.2%} "
                  f"lines ({len(browser_lines)} lines{', identical' if browser == ours else ''})  {page}")
            if os.environ.get("KEEP"):
                base = os.path.join(os.environ["KEEP"], os.path.basename(page))
                open(base + ".chromium.txt", "w").write(browser)
                open(base + ".ours.txt", "w").write(ours)
    finally:
        driver.close()
    print(f"{totals[0] / max(1, totals[1]):7.2%} words {totals[2] / max(1, totals[3]):7.2%} lines  "
          f"(all pages; {identical} of {len(pages)} identical)")


if __name__ == "__main__":
    main()
