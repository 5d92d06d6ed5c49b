#!/usr/bin/python3
"""Walks the accessibility tree a screen reader sees of every dialog of the program, on an
X server with a session and accessibility bus of its own, and fails on what leaves a
screen reader user guessing: a control without a name, a name with a mnemonic mark left in
it, a radio button that is not one, a group box that names no group or holds nothing.

usage: accessibility_test.py <dialog opener> [<program as the menu starts it>]"""

import sys

import desktop_session

# dialog: caption, radio buttons, group boxes
DIALOGS = {
    "main": ("Marrowick", 4, 5),
    "mime": ("MIME-Typ-Einstellungen", 0, 0),
    "add": ("MIME-Typ hinzufügen", 0, 0),
    "change": ("MIME-Typ wechseln", 0, 0),
    "about": ("Marrowick Version", 0, 0),
}


def dialog_of(pyatspi, pid):
    """The process's dialog once it shows, else None."""
    for application in pyatspi.Registry.getDesktop(0):
        try:
            if application is None or application.get_process_id() != pid:
                continue
            for window in application:
                if window.getState().contains(pyatspi.STATE_SHOWING) and window.childCount:
                    return window
        except Exception:  # an application that has just gone away
            continue
    return None


def table_faults(node):
    """A table must name each column by its heading, as the user sees it above the rows:
    among its children, and (Qt's bridge finds them through the first row) for each cell."""
    try:
        table = node.queryTable()
    except NotImplementedError:
        return ["a table without the table interface"]
    faults = []
    if table.nColumns == 0:
        faults.append("a table without columns")
    headings = [child.name for child in node if child.getRoleName() == "table column header"]
    if len(headings) != table.nColumns or not all(headings):
        faults.append(f"column headings {headings!r} for {table.nColumns} columns")
    for column in range(min(table.nColumns, len(headings)) if table.nRows else 0):
        header = table.getColumnHeader(column)
        if header is None or header.name != headings[column]:
            faults.append(f"column {column}'s cells are not headed by its heading")
    return faults


def is_corner_of_headings(node):
    """The empty cell where a table's row and column headings meet (Qt counts it among the
    table's children even with no row headings shown); nobody can focus it."""
    return (node.getRoleName() == "panel" and not node.name and node.childCount == 0 and
            node.parent.getRoleName() == "table" and node.getIndexInParent() == 0)


def faults_in(pyatspi, dialog, caption, radios, groups):
    faults, counts = [], {"radio button": 0, "panel": 0}
    if dialog.name != caption:
        faults.append(f"the dialog is named {dialog.name!r}, not {caption!r}")

    def walk(node, path):
        if is_corner_of_headings(node):
            return
        role, name = node.getRoleName(), node.name
        where = f"{path} > {role} {name!r}"
        counts[role] = counts.get(role, 0) + 1
        focusable = node.getState().contains(pyatspi.STATE_FOCUSABLE)
        if "&" in name:
            faults.append(f"{where}: a mnemonic mark is left in the name")
        if not name and (focusable or role in ("push button", "radio button", "panel")):
            faults.append(f"{where}: no name")
        if role == "check box":
            faults.append(f"{where}: the program has no check boxes; a radio button as one?")
        if role == "panel" and node.childCount == 0:
            faults.append(f"{where}: a group that holds no controls")
        if role in ("tree", "tree table"):
            faults.append(f"{where}: rows in columns told as a tree")
        if role == "table":
            faults.extend(f"{where}: {fault}" for fault in table_faults(node))
        if role == "radio button" and (node.parent.getRoleName() != "panel" or
                                       not node.parent.name):
            faults.append(f"{where}: a radio button outside a named group")
        for child in node:
            walk(child, where)

    walk(dialog, caption)
    if counts["radio button"] != radios:
        faults.append(f"{counts['radio button']} radio buttons, not {radios}")
    if counts["panel"] != groups:
        faults.append(f"{counts['panel']} groups, not {groups}")
    return faults


def main():
    opener = sys.argv[1]
    failed = False
    with desktop_session.Session() as session:
        session.start_x_server()
        session.start_accessibility_bus()
        import pyatspi

        runs = [(name, [opener, name], expected) for name, expected in DIALOGS.items()]
        if len(sys.argv) > 2:  # the menu starts the program itself, as the user
            runs.append(("menu", [sys.argv[2]], DIALOGS["main"]))
        for name, command, (caption, radios, groups) in runs:
            process = session.start(command)
            try:
                dialog = desktop_session.wait_for(
                    lambda: process.poll() is not None or dialog_of(pyatspi, process.pid),
                    20, f"the {name} dialog in the accessibility tree")
                if dialog is True:
                    faults = [f"the program ended with {process.returncode} before it showed"]
                else:
                    faults = faults_in(pyatspi, dialog, caption, radios, groups)
            finally:
                session.end(process)
            for fault in faults:
                print(f"{name}: {fault}")
            print(f"{name}: {'FAILED' if faults else 'ok'}")
            failed = failed or bool(faults)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
