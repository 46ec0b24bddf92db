#!/usr/bin/python3
# Reads a running program's windows as a screen reader does, over the accessibility bus.
#
#   atspi_check.py APP PID tree     every interactive control of every window: "NAMED role name"
#                                   or "UNNAMED role path"
#   atspi_check.py APP PID tab COUNT
#                                   gives the keyboard to the shown window of process PID, presses Tab
#                                   COUNT times (xdotool) and prints "FOCUS role name" for each
#                                   control the focus reaches
#
# Waits until the program (process PID) shows a window on the bus, however long a loaded machine
# takes to start it; gives up (exit 2) when the process has ended, or after an overall limit far
# beyond any normal start.
import subprocess
import sys
import time

import pyatspi

INTERACTIVE = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX,
    pyatspi.ROLE_RADIO_BUTTON, pyatspi.ROLE_SCROLL_BAR, pyatspi.ROLE_SLIDER,
    pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX, pyatspi.ROLE_TEXT,
    pyatspi.ROLE_ENTRY, pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_SPIN_BUTTON,
    pyatspi.ROLE_PAGE_TAB, pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE,
}
# Their rows and cells are named by their own text.
HOLDS_ITEMS = {pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX, pyatspi.ROLE_TREE,
               pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE}


OVERALL_LIMIT = 200  # seconds


def running(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            # A process that has ended but not been collected yet is a zombie ("Z").
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def find_app(name, pid):
    deadline = time.monotonic() + OVERALL_LIMIT
    while running(pid) and time.monotonic() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == name and app.childCount > 0:
                return app
        time.sleep(0.2)
    return None


def walk(node, path, visit, depth=0):
    if node is None or depth > 40:
        return
    visit(node, path)
    if node.getRole() in HOLDS_ITEMS:
        return
    for index, child in enumerate(node):
        walk(child, path + [f"{child.getRoleName() if child else '?'}[{index}]"], visit, depth + 1)


def tree(app):
    def visit(node, path):
        if node.getRole() not in INTERACTIVE:
            return
        name = (node.name or "").strip()
        if any(c.isalpha() for c in name):
            print(f"NAMED {node.getRoleName()} {name}")
        else:
            print(f"UNNAMED {node.getRoleName()} {'/'.join(path)} {name!r}")
    walk(app, [app.name], visit)


def focused(app):
    found = []

    def visit(node, path):
        if node.getState().contains(pyatspi.STATE_FOCUSED):
            found.append(node)
    walk(app, [app.name], visit)
    return found[0] if found else None


def describe(node):
    return f"{node.getRoleName()} {node.name}" if node is not None else "none"


def tab(app, count, pid):
    # Without a window manager the window gets the keyboard only when it is given it.
    subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", pid, "--name", ".+", "windowfocus", "--sync"], check=True)
    deadline = time.monotonic() + 20
    while focused(app) is None and time.monotonic() < deadline:
        time.sleep(0.05)
    last = describe(focused(app))
    print(f"START {last}", flush=True)
    for _ in range(count):
        subprocess.run(["xdotool", "key", "Tab"], check=True)
        # The focus moves as the program handles the key; wait until the bus reports it.
        deadline = time.monotonic() + 5
        now = describe(focused(app))
        while now == last and time.monotonic() < deadline:
            time.sleep(0.05)
            now = describe(focused(app))
        print(f"FOCUS {now}", flush=True)
        last = now


def main():
    name, pid, command = sys.argv[1], sys.argv[2], sys.argv[3]
    app = find_app(name, pid)
    if app is None:
        state = "is running" if running(pid) else "has ended"
        print(f"{name} (process {pid}, which {state}) is not on the accessibility bus", file=sys.stderr)
        return 2
    if command == "tree":
        tree(app)
    else:
        tab(app, int(sys.argv[4]), pid)
    return 0


if __name__ == "__main__":
    sys.exit(main())
