"""A private desktop for tests that look at the program from outside its process: an X
server or a Wayland compositor, a session bus and the accessibility bus, each in a
temporary directory of its own. Every process started here, and whatever those start, is
ended when the session closes; every wait is bounded."""

import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIPPED = 77  # what the test runner counts as skipped


def skip(reason):
    print(f"SKIPPED: {reason}")
    sys.exit(SKIPPED)


def wait_for(condition, seconds, what):
    """Polls until condition() returns something true; fails after `seconds`."""
    deadline = time.monotonic() + seconds
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise TimeoutError(f"gave up after {seconds} s waiting for {what}")
        time.sleep(0.05)


def _end_with_this_process():
    """In the child before it runs: ends it should the test die without closing."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def _children_of(pids):
    """Every living descendant of the given processes, deepest first."""
    parents = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as stat:
                # The command name may hold spaces; the parent follows its closing bracket.
                parents[int(entry)] = int(stat.read().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError, ValueError):
            pass
    found, frontier = [], list(pids)
    while frontier:
        parent = frontier.pop()
        for pid, ppid in parents.items():
            if ppid == parent and pid not in found:
                found.append(pid)
                frontier.append(pid)
    return list(reversed(found))


class Session:
    def __init__(self):
        self.directory = tempfile.mkdtemp(prefix="marrowick-desktop-")  # mode 0700
        self.runtime = os.path.join(self.directory, "runtime")
        os.mkdir(self.runtime, 0o700)
        self.processes = []
        self.env = {
            key: value
            for key, value in os.environ.items()
            if key not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                           "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS")
        }
        self.env.update(XDG_RUNTIME_DIR=self.runtime, HOME=self.directory,
                        XDG_CONFIG_HOME=os.path.join(self.directory, "config"),
                        XDG_CACHE_HOME=os.path.join(self.directory, "cache"),
                        MARROWICK_HKLM=os.path.join(self.directory, "HKLM.reg"),
                        NO_AT_BRIDGE="1")

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()

    def start(self, command, daemon=False, **options):
        # Only before the bus library has started threads in this process: a hook between
        # fork and exec is not safe after that.
        if daemon:
            options["preexec_fn"] = _end_with_this_process
        process = subprocess.Popen(command, env=self.env, stdin=subprocess.DEVNULL, **options)
        self.processes.append(process)
        return process

    def end(self, process):
        """Ends one process started here, and what it started, within a few seconds."""
        for pid in _children_of([process.pid]) + [process.pid]:
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(timeout=5)

    def close(self):
        # Descendants first: the bus daemons start helpers that would outlive them.
        pids = [process.pid for process in self.processes if process.poll() is None]
        for pid in _children_of([process.pid for process in self.processes]) + pids:
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        deadline = time.monotonic() + 5
        for process in self.processes:
            try:
                process.wait(timeout=max(0.1, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(timeout=5)
        shutil.rmtree(self.directory, ignore_errors=True)

    def start_x_server(self):
        if not shutil.which("Xvfb"):
            skip("Xvfb (package xvfb) is missing")
        # -noreset: the server would reset when its last client leaves, and refuse the next
        # one meanwhile.
        read_end, write_end = os.pipe()
        self.start(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-noreset",
                    "-screen", "0", "1024x768x24"], daemon=True, pass_fds=(write_end,),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            display = wait_for(lambda: pipe.readline().strip(), 10, "the X server")
        self.env["DISPLAY"] = ":" + display

    def start_wayland_compositor(self):
        if not shutil.which("weston"):
            skip("weston (package weston) is missing")
        socket = "wayland-marrowick"
        # The protocol log ("proto") records what the clients ask of the compositor.
        self.compositor_log = os.path.join(self.directory, "weston.log")
        self.start(["weston", "--backend=headless-backend.so", "--shell=kiosk-shell.so",
                    "--no-config", "--idle-time=0", "--logger-scopes=log,proto",
                    f"--socket={socket}", f"--log={self.compositor_log}"], daemon=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: os.path.exists(os.path.join(self.runtime, socket + ".lock")) and
                 os.path.exists(os.path.join(self.runtime, socket)), 10, "weston's socket")
        self.env["WAYLAND_DISPLAY"] = socket

    def start_accessibility_bus(self):
        """A session bus of our own; the accessibility bus starts on it when first asked."""
        if not shutil.which("dbus-daemon"):
            skip("dbus-daemon (package dbus) is missing")
        if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
            skip("the accessibility bus (package at-spi2-core) is missing")
        address = "unix:path=" + os.path.join(self.directory, "session-bus")
        bus = self.start(["dbus-daemon", "--session", "--nofork", "--nosyslog",
                          "--address=" + address, "--print-address=1"], daemon=True,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        wait_for(lambda: bus.stdout.readline().strip(), 10, "the session bus")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        del self.env["NO_AT_BRIDGE"]
        # pyatspi connects from this process, to this session's buses.
        os.environ.update({key: self.env[key] for key in
                           ("DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "HOME", "DISPLAY")
                           if key in self.env})
        try:
            import pyatspi  # noqa: F401  (after the environment above is in place)
        except ImportError:
            skip("pyatspi (package python3-pyatspi) is missing")
