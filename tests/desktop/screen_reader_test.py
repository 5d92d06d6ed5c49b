#!/usr/bin/python3
"""Listens to the dialogs as a blind administrator does: Orca, the GNOME screen reader,
runs in German on a private desktop without a speech server, writing what it would say
into a file, while the test walks the main dialog and the MIME list by keyboard. Every
control must be spoken with its role, its German name and its state or value.

usage: screen_reader_test.py <dialog opener> <marrowick>"""

import json
import os
import re
import shutil
import subprocess
import sys
import time

import desktop_session

WAIT = 6  # seconds for Orca to say what a key should make it say
SETTLE = 0.4  # and for anything it says after that

KEYSYMS = {"Tab": 0xFF09, "Up": 0xFF52, "Down": 0xFF54}

CHECKED_RADIO = r"(?<!nicht )ausgewählt Radioknopf"


def count_field(name, shortcut):
    """Focus names a count field, its number and the spin button role, without talk of
    selected text; Up says the next number."""
    return [("Tab", [re.escape(name) + r" (?P<count>\d+) Einstellknopf", shortcut],
             ["ausgewählt"]),
            ("Up", [r"^{count+1}\.?$"], [])]


# Per dialog: what Orca says when it opens, then each key with what Orca must say after it
# (regular expressions over the lines spoken, joined by " | ") and what it must not say.
# "{name}" stands for what an earlier step captured as name, "{name+1}" for that number
# plus one.
WALKS = {
    "main": (["Marrowick Dialog", "OK Druckknopf"], [
        ("Tab", ["Abbrechen Druckknopf"], []),
        ("Tab", ["Format für Kalender-Ansicht", "Woche am Sonntag beginnen", "Radioknopf",
                 r"Alt\+S"], []),
        ("Down", ["Format für Kalender-Ansicht", "Woche am Montag beginnen", CHECKED_RADIO,
                  r"Alt\+M"], []),
        ("Tab", [r"Dokument-Sortierschlüssel: Kombinationsfeld\. \| (?P<item>(?!Alt)[^|]+?)\.? \|",
                 r"Alt\+K"], []),
        ("Down", [r"^(?!{item}\.?$)[^|]+$"], []),
        ("Tab", ["Dokument-Anzeigereihenfolge", "In aufsteigender Reihenfolge sortieren",
                 "Radioknopf", r"Alt\+F"], []),
        ("Down", ["Dokument-Anzeigereihenfolge", "In absteigender Reihenfolge sortieren",
                  CHECKED_RADIO, r"Alt\+B"], []),
        *count_field("Maximale Anzahl von Abschnitten beim Hinzufügen (5-99):", r"Alt\+A"),
        *count_field("Anzahl von Dokumenten für Detailansicht (10-100):", r"Alt\+D"),
        *count_field("Anzahl von Dokumenten für Piktogramm-Ansicht (10-100):", r"Alt\+P"),
        *count_field("Anzahl von Abschnitten für Detailansicht (10-100):", r"Alt\+L"),
        *count_field("Anzahl von Abschnitten für Piktogramm-Ansicht (10-100):", r"Alt\+N"),
        ("Tab", [r"MIME-Typ-Einstellungen\.\.\. Druckknopf", r"Alt\+E"], []),
        ("Tab", ["Standardwerte wiederherstellen Druckknopf", r"Alt\+W"], []),
        ("Tab", ["OK Druckknopf"], []),
    ]),
    "mime": (["MIME-Typ-Einstellungen Dialog", "Schließen Druckknopf"], [
        ("Tab", [r"MIME-Typ-Einstellungen\. \| Tabelle mit 2 Zeilen 2 Spalten",
                 r"pdf\. \| application/pdf\."], ["Baum"]),
        ("Down", [r"txt\. \| text/plain\."], []),
        ("Tab", [r"Hinzufügen\.\.\. Druckknopf", r"Alt\+H"], []),
        ("Tab", [r"Wechseln\.\.\. Druckknopf", r"Alt\+W"], []),
        ("Tab", ["Löschen Druckknopf", r"Alt\+L"], []),
        ("Tab", ["Schließen Druckknopf"], []),
    ]),
}
MIME_TYPES = [("pdf", "application/pdf"), ("txt", "text/plain")]

# Orca as /usr/bin/orca -u DIR starts it, less its one-instance-per-user rule: that would
# refuse to start beside the user's own screen reader, or (with --replace) kill it.
ORCA = """import sys
from orca import orca
manager = orca.getSettingsManager()
manager.activate(sys.argv[1], {})
sys.path.insert(0, manager.getPrefsDir())
sys.exit(orca.main())
"""


def search(pattern, captured, spoken):
    """The pattern's match in what was spoken, with earlier captures filled in; None also
    when a capture it needs is missing."""
    def value(match):
        name, plus = match.group(1), match.group(2)
        return str(int(captured[name]) + 1) if plus else re.escape(captured[name])
    try:
        return re.search(re.sub(r"\{(\w+)(\+1)?\}", value, pattern), spoken)
    except KeyError:
        return None


class Listener:
    """Orca's speech, line by line, as its customisation writes it to a file."""

    def __init__(self, path):
        self.path, self.read = path, 0

    def lines(self):
        try:
            with open(self.path, encoding="utf-8") as log:
                text = log.read()
        except FileNotFoundError:
            return []
        return re.findall(r"^SPEECH OUTPUT: '(.*)'", text, re.MULTILINE)

    def hear(self, expected, captured, seconds=WAIT):
        """What Orca said since the last call, once it said all of `expected`, or after
        `seconds`; and the expectations it missed."""
        deadline = time.monotonic() + seconds
        while True:
            spoken = " | ".join(self.lines()[self.read:])
            missing = [p for p in expected if not search(p, captured, spoken)]
            if not missing or time.monotonic() > deadline:
                break
            time.sleep(0.05)
        time.sleep(SETTLE)
        lines = self.lines()
        spoken, self.read = " | ".join(lines[self.read:]), len(lines)
        for pattern in expected:
            if match := search(pattern, captured, spoken):
                captured.update({k: v for k, v in match.groupdict().items() if v})
        return spoken, missing


def german_locale(directory):
    """de_DE.UTF-8, compiled for this test alone: no machine-wide locale needed."""
    if not shutil.which("localedef") or not os.path.exists("/usr/share/i18n/locales/de_DE"):
        desktop_session.skip("the German locale sources (package locales) are missing")
    locales = os.path.join(directory, "locales")
    os.mkdir(locales, 0o700)
    subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8",
                    os.path.join(locales, "de_DE.UTF-8")], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)
    return {"LOCPATH": locales, "LANG": "de_DE.UTF-8", "LANGUAGE": "de", "LC_ALL": "de_DE.UTF-8"}


def orca_settings(directory, speech_log):
    """Orca's settings folder: no speech server, mnemonics spoken, no key echo; and a
    customisation that copies the speech log to a file."""
    settings = os.path.join(directory, "orca")
    os.mkdir(settings, 0o700)
    general = {"speechServerFactory": "", "enableMnemonicSpeaking": True,
               "enableKeyEcho": False}
    with open(os.path.join(settings, "user-settings.conf"), "x", encoding="utf-8") as conf:
        json.dump({"general": general, "keybindings": {}, "pronunciations": {},
                   "profiles": {"default": {"profile": ["Default", "default"]}}}, conf)
    with open(os.path.join(settings, "orca-customizations.py"), "x", encoding="utf-8") as code:
        code.write("import logging\n"
                   "import orca.settings\n"
                   "orca.settings.speechFactoryModules = []\n"
                   f"handler = logging.FileHandler({speech_log!r}, encoding='utf-8')\n"
                   "handler.setFormatter(logging.Formatter('%(message)s'))\n"
                   "logging.getLogger('speech').addHandler(handler)\n")
    return settings


def walk(session, listener, opener, dialog):
    opening, steps = WALKS[dialog]
    faults, captured, silent = [], {}, 0
    process = session.start([opener, dialog], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        spoken, missing = listener.hear(opening, captured, 20)
        if missing:
            return [f"on opening: said {spoken!r}, not {missing}"]
        print(f"{dialog}, opening: {spoken}")
        import pyatspi
        for key, expected, forbidden in steps:
            pyatspi.Registry.generateKeyboardEvent(KEYSYMS[key], None, pyatspi.KEY_SYM)
            spoken, missing = listener.hear(expected, captured)
            print(f"{dialog}, {key}: {spoken}")
            said = [p for p in forbidden if re.search(p, spoken)]
            if missing or said:
                faults.append(f"after {key}: said {spoken!r}" +
                              (f", not {missing}" if missing else "") +
                              (f", but also {said}" if said else ""))
            silent = 0 if spoken else silent + 1
            if silent == 3 or process.poll() is not None:
                faults.append("Orca fell silent" if silent == 3 else
                              f"the dialog ended with {process.returncode}")
                break
    finally:
        session.end(process)
    return faults


def main():
    opener, program = sys.argv[1], sys.argv[2]
    if not shutil.which("orca"):
        desktop_session.skip("the screen reader (package orca) is missing")
    with desktop_session.Session() as session:
        session.env.update(german_locale(session.directory))
        session.env["GSETTINGS_BACKEND"] = "memory"
        for extension, mime_type in MIME_TYPES:
            subprocess.run([program, "mime", "add", extension, mime_type], env=session.env,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True,
                           timeout=30)
        session.start_x_server()
        session.start_accessibility_bus()
        speech_log = os.path.join(session.directory, "speech.log")
        listener = Listener(speech_log)
        settings = orca_settings(session.directory, speech_log)
        session.start(["/usr/bin/python3", "-c", ORCA, settings], stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL)
        # Orca greets in the language it runs in.
        spoken, missing = listener.hear(["Bildschirmleser an"], {}, 30)
        if missing:
            print(f"Orca did not start in German: it said {spoken!r}")
            return 1
        failed = False
        for dialog in WALKS:
            faults = walk(session, listener, opener, dialog)
            for fault in faults:
                print(f"{dialog}: {fault}")
            print(f"{dialog}: {'FAILED' if faults else 'ok'}")
            failed = failed or bool(faults)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
