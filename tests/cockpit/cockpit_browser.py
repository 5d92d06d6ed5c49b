"""The Marrowick page in a real browser: cockpit-ws with a local session on a loopback
port, and Debian's Chromium headless through chromium-driver."""
import contextlib
import os
import shutil
import socket
import subprocess
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

COCKPIT_WS = "/usr/lib/cockpit/cockpit-ws"
BRIDGE = "/usr/bin/cockpit-bridge"
CHROMEDRIVER = "/usr/bin/chromedriver"
TIMEOUT = 30


def missing_tools():
    return [tool for tool in (COCKPIT_WS, BRIDGE, CHROMEDRIVER, "/usr/bin/chromium")
            if not os.access(tool, os.X_OK)]


def free_port():
    with socket.socket() as sock:
        sock.bind(("127.0.0.1", 0))
        return sock.getsockname()[1]


def wait_for_port(port, process, deadline=TIMEOUT):
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        if process.poll() is not None:
            raise RuntimeError(f"cockpit-ws ended with {process.returncode}")
        with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", port), 0.5):
            return
        time.sleep(0.1)
    raise RuntimeError(f"cockpit-ws did not listen on port {port}")


@contextlib.contextmanager
def cockpit_session(page_dir, cli, user=None, environment=None):
    """cockpit-ws on 127.0.0.1 whose bridge runs as `user` (default: this user), finds the
    page in `page_dir` and `marrowick` as `cli`. Yields the page's URL."""
    scratch = tempfile.mkdtemp(prefix="marrowick-cockpit-")
    os.chmod(scratch, 0o755)
    share = os.path.join(scratch, "share", "cockpit")
    os.makedirs(share)
    os.symlink(os.path.abspath(page_dir), os.path.join(share, "marrowick"))
    bin_dir = os.path.join(scratch, "bin")
    os.makedirs(bin_dir)
    os.symlink(os.path.abspath(cli), os.path.join(bin_dir, "marrowick"))
    home = os.path.join(scratch, "home")
    os.makedirs(home)
    port = free_port()
    env = {
        "PATH": f"{bin_dir}:/usr/bin:/bin",
        "HOME": home,
        "LANG": "C.UTF-8",
        "XDG_DATA_DIRS": f"{os.path.join(scratch, 'share')}:/usr/share",
        "XDG_RUNTIME_DIR": home,
        **(environment or {}),
    }
    command = [COCKPIT_WS, f"--local-session={BRIDGE}", "--port", str(port),
               "--address", "127.0.0.1"]
    if user:
        subprocess.run(["chown", "-R", user, home], check=True)
        command = ["setpriv", f"--reuid={user}", f"--regid={user_group(user)}", "--clear-groups",
                   "--"] + command
    log = open(os.path.join(scratch, "cockpit-ws.log"), "wb")
    process = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT)
    try:
        wait_for_port(port, process)
        yield f"http://127.0.0.1:{port}/cockpit/@localhost/marrowick/index.html"
    finally:
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
        log.close()
        shutil.rmtree(scratch, ignore_errors=True)


def user_group(user):
    import grp
    import pwd
    return grp.getgrgid(pwd.getpwnam(user).pw_gid).gr_name


@contextlib.contextmanager
def browser(width=1280, height=1500):
    profile = tempfile.mkdtemp(prefix="marrowick-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     f"--window-size={width},{height}", f"--user-data-dir={profile}",
                     "--no-first-run", "--disable-extensions", "--lang=de-DE",
                     "--disable-background-networking", "--disable-component-update",
                     "--disable-sync", "--metrics-recording-only", "--no-default-browser-check"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    driver.set_script_timeout(TIMEOUT)
    try:
        yield driver
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


def open_page(driver, url):
    driver.get(url)
    WebDriverWait(driver, TIMEOUT).until(
        lambda d: d.execute_script("return document.body.dataset.ready === 'true' || "
                                   "!!document.querySelector('main > [role=alert]')"))
    alert = driver.find_elements(By.CSS_SELECTOR, "main > [role=alert]")
    if alert:
        raise RuntimeError(f"the page did not start: {alert[0].text}")
