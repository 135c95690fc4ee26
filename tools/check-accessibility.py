#!/usr/bin/python3
"""The wizard as a screen reader sees it, through the AT-SPI tree.

Starts the program on a script folder (so every page has something on it),
walks the pages with the Next button's own action, and checks that every
field, list, button and check box a user can reach has a name, the lists a
description, and the fields the names of their labels. Prints the tree of
each page it visits. Run it inside a display and a D-Bus session:

    tools/with-display.sh dbus-run-session tools/check-accessibility.py BIN [FOLDER]

Without FOLDER it makes a small script folder of its own.
"""
import os
import subprocess
import sys
import tempfile
import time

import pyatspi

REACHABLE = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_CHECK_BOX,
    pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE, pyatspi.ROLE_LIST, pyatspi.ROLE_PROGRESS_BAR,
}
EXPECTED = {  # page: names that must be there
    1: ["Script Name", "Description", "About URL", "Version", "Preview", "< Back", "Next >", "Cancel"],
    2: ["Files of the Script Pack", "Add Files", "Add SubFolder", "Remove"],
    3: ["Files to register as COM objects"],
    4: ["Files to register as .NET assemblies"],
    5: ["Where do you want to save the Script Pack...", "Browse..."],
}


def app_named(name, proc, timeout=20):
    end = time.time() + timeout
    while time.time() < end and proc.poll() is None:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name and app.name.lower().startswith(name):
                return app
        time.sleep(0.3)
    return None


def showing(acc):
    try:
        return acc.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def walk(acc, depth=0, out=None):
    out = [] if out is None else out
    if acc is None or not showing(acc):
        return out
    out.append((depth, acc))
    # Rows of a list are its content, not controls; they are not walked.
    if acc.getRole() in (pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE, pyatspi.ROLE_LIST):
        return out
    for child in acc:
        walk(child, depth + 1, out)
    return out


def press(window, name):
    for _, acc in walk(window):
        if acc.getRole() == pyatspi.ROLE_PUSH_BUTTON and acc.name.replace("&", "") == name:
            acc.queryAction().doAction(0)
            return True
    return False


def main():
    binary = sys.argv[1]
    if len(sys.argv) > 2:
        folder = sys.argv[2]
    else:
        folder = os.path.join(tempfile.mkdtemp(prefix="a11y-"), "Tool")
        for rel, text in {"ScriptInfo.xml": "<ScriptInfo><Information><Name>Tool</Name></Information></ScriptInfo>",
                          "Tool.js": "// tool", "lib/helper.dll": "MZ", ".git/HEAD": "ref"}.items():
            os.makedirs(os.path.dirname(os.path.join(folder, rel)), exist_ok=True)
            with open(os.path.join(folder, rel), "w") as f:
                f.write(text)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    proc = subprocess.Popen([binary, folder], env=env)
    problems = []
    try:
        app = app_named("bundlesmith", proc)
        if app is None:
            ended = proc.poll()
            why = f"it ended with exit code {ended}" if ended is not None else "it is still running"
            print(f"check-accessibility: the wizard never appeared on the accessibility bus ({why})", file=sys.stderr)
            return 1
        time.sleep(1.5)
        # The left-out message of the folder's .git comes first: OK closes it.
        for window in list(app):
            if window is not None and window.getRole() in (pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT) \
                    and press(window, "OK"):
                time.sleep(0.5)
        window = next(w for w in app if w is not None and w.name == "Bundlesmith")
        for page in range(0, 6):
            nodes = walk(window)
            print(f"== page {page}")
            names = []
            for depth, acc in nodes:
                role = acc.getRoleName()
                name = acc.name.replace("&", "")
                description = acc.description
                print(f"{'  ' * depth}{role}: {name!r}" + (f" ({description})" if description else ""))
                names.append(name)
                if acc.getRole() in REACHABLE and not name:
                    problems.append(f"page {page}: a {role} has no name")
                if acc.getRole() in (pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE) and not description:
                    problems.append(f"page {page}: the list {name!r} has no description")
            for want in EXPECTED.get(page, []):
                if want not in names:
                    problems.append(f"page {page}: nothing is called {want!r}")
            if page < 5 and not press(window, "Next >"):
                problems.append(f"page {page}: Next cannot be pressed")
            time.sleep(0.8)
    finally:
        proc.terminate()
        proc.wait(timeout=10)
    for p in problems:
        print("check-accessibility:", p, file=sys.stderr)
    print(f"check-accessibility: {'all named' if not problems else f'{len(problems)} problems'}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
