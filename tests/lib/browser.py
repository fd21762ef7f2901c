"""Pages in Debian's chromium, headless and with networking off, loaded from
file:// URLs: what a person opening a page lumenfold wrote would see, and
every message the page gave (uncaught exceptions, Content-Security-Policy
violations, failed loads)."""

import shutil
import subprocess

CHROMIUM = shutil.which("chromium")
# Pages are read from disk only: any fetch would fail loudly.
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--proxy-server=127.0.0.1:9", "--proxy-bypass-list=<-loopback>", "--hide-scrollbars",
         "--enable-logging=stderr", "--v=0", "--virtual-time-budget=10000"]


def browse(page, profile, *args, timeout=180):
    """Opens the page with a profile directory of its own; returns chromium's
    finished process and the page's messages, one line each."""
    result = subprocess.run([CHROMIUM, *FLAGS, "--user-data-dir=" + profile, *args, "file://" + page],
                            capture_output=True, text=True, timeout=timeout)
    messages = [line for line in result.stderr.splitlines() if ":CONSOLE" in line or "ERR_" in line]
    return result, messages
