#!/usr/bin/python3
"""Looks at the running program as a screen reader does, over AT-SPI.

  atspi.py dump                       the accessible tree of every window
  atspi.py check [rtl]
      what a screen reader relies on: the list is a table whose column
      headers all lie inside it; Restore and Create Blank have key bindings
      and their names carry no "&"; the columns and the buttons run right to
      left with "rtl", left to right without; Create Blank's warning reports
      itself modal (answered with Esc, so nothing is changed). Prints one
      line per check and exits 1 if any failed.
  atspi.py run ACTION ROW EDITION ANSWER...
      selects the list row ROW of EDITION with a real mouse click, presses
      ACTION (Restore, Create Blank) and answers each box in turn: a button
      name, "esc" (the Escape key) or "close" (the close box). Prints every box.
  atspi.py versions EDITION KEYS ACTION COPY ANSWER...
      selects the "(Current)" row of EDITION, opens its context menu with
      KEYS (an xdotool key name: shift+F10, Menu), takes "Previous Versions…",
      prints the dialog and its table, selects the row COPY with a click,
      presses ACTION (Put Back, Move to Trash) and answers each box as run does;
      then prints the table again and closes the dialog with Escape.

Uses the system python3 (python3-pyatspi), xdotool, python3-xlib.
"""
import subprocess, sys, time
import pyatspi

APP = "Restore Rolvane Data"


def find_app(timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            a = desktop.getChildAtIndex(i)
            if a is not None and a.name == APP:
                return a
        time.sleep(0.2)
    sys.exit("atspi.py: the program is not on the accessibility bus")


def walk(o):
    yield o
    for i in range(o.childCount):
        c = o.getChildAtIndex(i)
        if c is not None:
            yield from walk(c)


def find(o, role, name=None):
    for x in walk(o):
        if x.getRoleName() == role and (name is None or x.name == name):
            return x
    return None


def dump(o, depth=0):
    states = [pyatspi.stateToString(s) for s in o.getState().getStates()]
    keep = [s for s in states if s in ("focused", "selected", "sensitive", "modal")]
    extra = ""
    try:
        v = o.queryValue()
        extra = " value=%g/%g" % (v.currentValue, v.maximumValue)
    except NotImplementedError:
        pass
    print("%s[%s] %r%s%s %s" % ("  " * depth, o.getRoleName(), o.name,
                               " desc=%r" % o.description if o.description else "", extra, ",".join(keep)))
    for i in range(o.childCount):
        dump(o.getChildAtIndex(i), depth + 1)


def windows(app):
    return [app.getChildAtIndex(i) for i in range(app.childCount)]


def press(button):
    button.queryAction().doAction(0)


def close_box(title):
    # What a window manager sends when the close box is clicked.
    from Xlib import X, display, protocol
    d = display.Display()
    protocols, delete = d.intern_atom("WM_PROTOCOLS"), d.intern_atom("WM_DELETE_WINDOW")
    stack = [d.screen().root]
    while stack:
        w = stack.pop()
        stack.extend(w.query_tree().children)
        if w.get_wm_name() == title:
            w.send_event(protocol.event.ClientMessage(window=w, client_type=protocols,
                                                      data=(32, [delete, X.CurrentTime, 0, 0, 0])))
            d.flush()
            return
    sys.exit("atspi.py: no window titled %r" % title)


def next_box(app, timeout=60):
    end = time.time() + timeout
    while time.time() < end:
        boxes = [w for w in windows(app) if w.getRoleName() in ("alert", "dialog")
                 and find(w, "progress bar") is None and not w.name.startswith("Previous Versions")]
        if boxes:
            return boxes[0]
        time.sleep(0.1)
    return None


def rows_of(o, timeout=20):
    end = time.time() + timeout
    while True:
        tree = find(o, "table") or find(o, "tree")
        cells = [c for c in walk(tree) if c.getRoleName() == "table cell"] if tree else []
        if cells or time.time() > end:
            return [cells[i:i + 4] for i in range(0, len(cells), 4)]
        time.sleep(0.2)


def click(target):
    e = target.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    for _ in range(10):
        subprocess.run(["xdotool", "mousemove", str(e.x + e.width // 2), str(e.y + e.height // 2), "click", "1"])
        time.sleep(0.3)
        if target.getState().contains(pyatspi.STATE_SELECTED):
            return
    sys.exit("atspi.py: %r does not become selected" % target.name)


def select_row(o, row, edition=None):
    rows = rows_of(o)
    target = next((r[0] for r in rows if r[0].name == row and (edition is None or r[1].name == edition)), None)
    if target is None:
        sys.exit("atspi.py: no row %s (%s)" % (row, edition))
    click(target)


def answer_boxes(app, answers):
    for answer in answers:
        box = next_box(app)
        if box is None:
            print("(no box)")
            return
        dump(box)
        if answer == "esc":
            subprocess.run(["xdotool", "key", "Escape"])
        elif answer == "close":
            close_box(box.name)
        else:
            press(find(box, "push button", answer))
        end = time.time() + 30
        while time.time() < end and box in windows(app):
            time.sleep(0.1)
    box = next_box(app, timeout=3)
    print("(no further box)" if box is None else "(left open: %r)" % box.name)


def run(action, row, edition, answers):
    app = find_app()
    select_row(app, row, edition)
    button = find(app, "push button", action)
    if not button.getState().contains(pyatspi.STATE_SENSITIVE):
        sys.exit("atspi.py: %s is disabled" % action)
    press(button)
    answer_boxes(app, answers)


def print_table(dialog):
    table = find(dialog, "table")
    if table is None:
        print("(no table in the dialog)")
        return
    print("table %r, columns %s" % (table.name, [table.queryTable().getColumnDescription(c)
                                                 for c in range(table.queryTable().nColumns)]))
    for r in rows_of(dialog, timeout=1):
        print("  " + " | ".join(c.name for c in r))


def versions(edition, keys, action, copy, answers):
    app = find_app()
    select_row(app, "(Current)", edition)
    # Qt keeps popup menus out of the application's tree (a screen reader
    # hears them through focus events), so the menu is not looked for: its
    # one item is active when it opens, and Return takes it.
    subprocess.run(["xdotool", "key", keys])
    time.sleep(1)
    subprocess.run(["xdotool", "key", "Return"])
    title = "Previous Versions - " + edition
    dialog = None
    end = time.time() + 20
    while dialog is None and time.time() < end:
        dialog = next((w for w in windows(app) if w.name == title), None)
        time.sleep(0.2)
    if dialog is None:
        sys.exit("atspi.py: %s and Return opened no dialog %r" % (keys, title))
    dump(dialog)
    print_table(dialog)
    select_row(dialog, copy)
    press(find(dialog, "push button", action))
    answer_boxes(app, answers)
    print_table(dialog)
    subprocess.run(["xdotool", "key", "Escape"])
    time.sleep(1)
    print("dialog closed" if dialog not in windows(app) else "dialog still open")


def extents(o):
    return o.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)


def check(rtl):
    app = find_app()
    failed = []

    def verdict(ok, what):
        print("%s %s" % ("ok  " if ok else "FAIL", what))
        if not ok:
            failed.append(what)

    table = None
    end = time.time() + 20
    while time.time() < end and table is None:
        table = find(app, "table")
        time.sleep(0.2)
    verdict(table is not None and find(app, "tree") is None, "the list is a table, not a tree")
    if table is None:
        sys.exit(1)
    box = extents(table)
    headers = [c for c in walk(table) if c.getRoleName() == "table column header"]
    verdict(len(headers) == 4, "four column headers: %s" % [h.name for h in headers])
    for h in headers:
        e = extents(h)
        verdict(box.x <= e.x and e.x + e.width <= box.x + box.width and e.width > 0,
                "header %r (x %d..%d) lies inside the list (x %d..%d)"
                % (h.name, e.x, e.x + e.width, box.x, box.x + box.width))
    if headers:
        first, last = extents(headers[0]).x, extents(headers[-1]).x
        verdict((first > last) == rtl, "columns run %s" % ("right to left" if rtl else "left to right"))
    buttons = {name: find(app, "push button", name) for name in ("Restore", "Create Blank", "Cancel")}
    verdict(all(buttons.values()), "buttons named without '&': %s"
            % [b.name for b in walk(app) if b.getRoleName() == "push button"])
    for name in ("Restore", "Create Blank"):
        b = buttons[name]
        binding = b.queryAction().getKeyBinding(0) if b else ""
        verdict(bool(binding), "%s has a key binding (%r)" % (name, binding))
    if all(buttons.values()):
        xs = [extents(buttons[n]).x for n in ("Restore", "Create Blank", "Cancel")]
        ordered = xs == sorted(xs, reverse=rtl)
        verdict(ordered, "buttons run %s: x %s" % ("right to left" if rtl else "left to right", xs))
        blank = buttons["Create Blank"]
        if blank.getState().contains(pyatspi.STATE_SENSITIVE):
            press(blank)
            warning = next_box(app, timeout=20)
            verdict(warning is not None and warning.getState().contains(pyatspi.STATE_MODAL),
                    "the warning %r reports modal" % (warning.name if warning else None))
            if warning is not None:
                subprocess.run(["xdotool", "key", "Escape"])
        else:
            verdict(False, "Create Blank is enabled on the first row")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    if sys.argv[1:2] == ["dump"]:
        for w in windows(find_app()):
            dump(w)
    elif sys.argv[1:2] == ["check"]:
        check(sys.argv[2:3] == ["rtl"])
    elif sys.argv[1:2] == ["run"] and len(sys.argv) >= 5:
        run(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:])
    elif sys.argv[1:2] == ["versions"] and len(sys.argv) >= 6:
        versions(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6:])
    else:
        sys.exit(__doc__)
