#!/usr/bin/python3
"""The program on Wayland: without any display it says so in its one line, however the
Wayland side is set up; on a compositor (weston, headless) it connects and shows its
dialog, as weston's own protocol log records: a window titled "Marrowick" with a picture.

usage: wayland_test.py <marrowick> <directory of Qt's platform plugins>"""

import os
import re
import subprocess
import sys

import desktop_session


def no_display_faults(program, session):
    faults = []
    cases = [
        {},
        {"QT_QPA_PLATFORM": "wayland"},
        {"QT_QPA_PLATFORM": "wayland", "XDG_RUNTIME_DIR": session.runtime},
        {"WAYLAND_DISPLAY": "nosuch", "XDG_RUNTIME_DIR": session.runtime},
    ]
    for case in cases:
        env = {k: v for k, v in session.env.items() if k != "XDG_RUNTIME_DIR"}
        env.update(case)
        run = subprocess.run([program], env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                             timeout=30)
        lines = run.stdout.splitlines()
        if run.returncode != 1 or len(lines) != 1 or "Kein Bildschirm" not in run.stdout:
            faults.append(f"without a display, {case or 'nothing set'}: exit "
                          f"{run.returncode}, said {run.stdout!r}")
    return faults


def shown_on_weston(log_path):
    """True once weston's log has a toplevel titled "Marrowick" and its client a buffer."""
    try:
        with open(log_path, errors="replace") as log:
            text = log.read()
    except FileNotFoundError:
        return False
    titled = re.search(r'client (\S+) rq xdg_toplevel@\d+\.set_title\("Marrowick"\)', text)
    if not titled:
        return False
    return re.search(r"client " + re.escape(titled.group(1)) +
                     r" rq wl_surface@\d+\.attach\(wl_buffer@", text[titled.end():]) is not None


def main():
    program, platform_plugins = sys.argv[1], sys.argv[2]
    with desktop_session.Session() as session:
        faults = no_display_faults(program, session)
        for fault in faults:
            print(fault)
        print(f"without a display: {'FAILED' if faults else 'ok'}")
        if faults:
            return 1
        if not os.path.exists(os.path.join(platform_plugins, "libqwayland-generic.so")):
            desktop_session.skip("Qt's Wayland platform plugin (package qt6-wayland) is missing")
        session.start_wayland_compositor()
        session.env["QT_QPA_PLATFORM"] = "wayland"
        process = session.start([program], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                text=True)
        try:
            desktop_session.wait_for(
                lambda: process.poll() is not None or shown_on_weston(session.compositor_log),
                20, "the main dialog on weston")
        except TimeoutError as timeout:
            print(f"on weston: {timeout}")
            return 1
        if process.poll() is not None:
            print(f"on weston: the program ended with {process.returncode}: "
                  f"{process.stdout.read()!r}")
            return 1
        print("on weston: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
