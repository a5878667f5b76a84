#!/usr/bin/python3
"""A whole batch of the desktop program driven through the accessibility tree alone, as a screen
reader user drives it: every control found by its role and name, files given as arguments, the
output folder typed, Convert pressed, the progress read, the replace question answered "No to
All", "Complete", the failure summary and a failed line's reason read.

Run inside tests/ui/with-accessibility. Usage: batch_through_the_tree.py KESTROVA
"""

import os
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi

# Generous: other builds may share the machine's two cores.
DEADLINE = 60.0


def wait_for(what, find, deadline=DEADLINE):
    """Polls find() until it gives something, or fails with what was awaited."""
    end = time.monotonic() + deadline
    while True:
        try:
            found = find()
        except Exception:  # a window closing under a query: ask again
            found = None
        if found:
            return found
        if time.monotonic() > end:
            raise AssertionError("waited in vain for " + what)
        time.sleep(0.05)


def children(node):
    # What the program says now, not what the library kept from an earlier look: texts change
    # and windows come and go without events that this process listens to.
    node.clearCache()
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is not None:
            child.clearCache()
            yield child


def descendants(node):
    for child in children(node):
        yield child
        yield from descendants(child)


def find(node, role, name=None, starts=None):
    for each in descendants(node):
        if each.getRoleName() != role:
            continue
        if name is not None and each.name != name:
            continue
        if starts is not None and not each.name.startswith(starts):
            continue
        return each
    return None


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def press(button):
    """The button's own action. A button that opens a modal window answers only once that
    window has closed; the call then times out here, while the program goes on."""
    action = button.queryAction()
    for index in range(action.nActions):
        if action.getName(index) in ("Press", "press", "click"):
            break
    else:
        index = 0
    try:
        action.doAction(index)
    except Exception:
        pass


def window_of(app, role_names, title, containing=None):
    def look():
        for window in children(app):
            if window.getRoleName() not in role_names or window.name != title:
                continue
            if containing is None or find(window, "label", starts=containing):
                return window
        return None

    return look


def check(condition, message):
    if not condition:
        raise AssertionError(message)
    print("ok:", message)


def main():
    with tempfile.TemporaryDirectory(prefix="kestrova-a11y-") as work:
        run(os.path.abspath(sys.argv[1]), work)
    print("1 passed, 0 failed")


def run(program, work):
    sources = os.path.join(work, "sources")
    out = os.path.join(work, "out")
    os.makedirs(sources)
    os.makedirs(out)
    # a and b have outputs already; c is no Matroska file at all.
    for name in ("a", "b"):
        with open(os.path.join(sources, name + ".mkv"), "wb") as f:
            f.write(b"any bytes: the existing output is kept unread")
        with open(os.path.join(out, name + ".avi"), "wb") as f:
            f.write(b"keep me " + name.encode())
    broken = os.path.join(sources, "c.mkv")
    with open(broken, "wb") as f:
        f.write(b"this is no Matroska file")

    env = dict(os.environ)
    env["XDG_CONFIG_HOME"] = os.path.join(work, "config")
    env["XDG_DATA_HOME"] = os.path.join(work, "data")
    # Qt 6.4 leaves its bridge off when AT_SPI_BUS_ADDRESS is set (it announces the bus before
    # anything listens); without it, it asks the session bus, as on a desktop.
    env.pop("AT_SPI_BUS_ADDRESS", None)
    pyatspi.setTimeout(2000, 15000)
    process = subprocess.Popen(
        [program, "a.mkv", "b.mkv", "c.mkv"], cwd=sources, env=env)
    try:
        desktop = pyatspi.Registry.getDesktop(0)
        app = wait_for("the program on the accessibility bus", lambda: next(
            (a for a in children(desktop) if a.get_process_id() == process.pid
             and a.childCount > 0), None))
        main_window = wait_for("the main window", window_of(app, ("dialog", "frame"),
                                                            "Kestrova 1.0"))

        # Every control by its role and name.
        controls = {}
        for role, name in (("push button", "Add"), ("push button", "Remove"),
                           ("push button", "Clear"), ("push button", "Convert"),
                           ("push button", "Drag and Drop Here"), ("list", "Source Files"),
                           ("label", "Preset:"), ("combo box", "XviD FullScreen"),
                           ("label", "Output Folder:"), ("text", "Output Folder"),
                           ("push button", "..."), ("push button", "Open")):
            controls[name] = wait_for(role + " " + name,
                                      lambda: find(main_window, role, name))
        check(True, "every control of the main window has its role and name")
        # A drop-down list is named by its value; its label says what it is.
        labels_of = [r.getTarget(0).name for r in controls["XviD FullScreen"].getRelationSet()
                     if r.getRelationType() == pyatspi.RELATION_LABELLED_BY]
        check(labels_of == ["Preset:"], "the preset list is labelled Preset:")
        items = wait_for("three lines", lambda: (lambda found: found if len(found) == 3
                                                 else None)(
            [i for i in children(controls["Source Files"]) if i.getRoleName() == "list item"]))
        check([i.name for i in items] == [os.path.join(sources, n) for n in
                                          ("a.mkv", "b.mkv", "c.mkv")],
              "the files of the command line are listed in order")
        check(not showing(controls["Drag and Drop Here"]), "the drop hint hides over a list")

        # The output folder typed into its field.
        controls["Output Folder"].queryEditableText().setTextContents(out)
        check(controls["Output Folder"].queryText().getText(0, -1) == out,
              "the output folder is typed")

        press(controls["Convert"])
        question = wait_for("the replace question", window_of(
            app, ("dialog", "alert", "frame"), "Kestrova", containing="'"))
        text = find(question, "label", starts="'").name
        check(text == "'" + os.path.join(out, "a.avi") +
              "' already exists.\nDo you want to replace it?", "the question names a.avi")
        answers = [b.name for b in descendants(question) if b.getRoleName() == "push button"]
        check(answers == ["Yes", "Yes to All", "No", "No to All", "Cancel"],
              "the question offers its five answers: " + ", ".join(answers))

        # While it asks, the progress window shows the job that asks.
        progress = wait_for("the progress window", window_of(app, ("dialog", "frame"),
                                                             "Progress"))
        labels = wait_for("the progress texts", lambda: (lambda texts: texts if "1 / 3 (0%)" in texts
                                                         else None)(
            [l.name for l in descendants(progress) if l.getRoleName() == "label"]))
        check("1 / 3 (0%)" in labels, "the batch line reads 1 / 3 (0%)")
        check(os.path.join(sources, "a.mkv") in labels, "the file line names a.mkv")

        press(find(question, "push button", "No to All"))
        wait_for("Complete", lambda: find(progress, "label", "Complete"))
        wait_for("the final line", lambda: find(progress, "label", "2 / 3 (67%)"))
        check(True, "the final line reads 2 / 3 (67%) and the file line Complete")
        close = wait_for("Close", lambda: (lambda b: b if b is not None and showing(b) else None)(
            find(progress, "push button", "Close")))
        press(close)

        summary = wait_for("the failure summary", window_of(
            app, ("dialog", "alert", "frame"), "Kestrova", containing="This file was not"))
        said = find(summary, "label", starts="This file was not").name
        check(said.startswith("This file was not converted:\n\n" + broken + ": "),
              "the failure summary names the broken file: " + repr(said))
        reason = said.split(broken + ": ", 1)[1]
        press(find(summary, "push button", "OK"))
        wait_for("the summary to close", lambda: not any(
            w.name == "Kestrova" for w in children(app)))

        line = wait_for("the broken line", lambda: next(
            (i for i in children(controls["Source Files"]) if i.name == broken), None))
        check(line.description == "Not converted: " + reason,
              "the broken line tells why: " + repr(line.description))
        kept = [i for i in children(controls["Source Files"]) if i.name != broken]
        check(all(i.getState().contains(pyatspi.STATE_SELECTED) for i in kept),
              "the kept lines are selected")
        for name in ("a", "b"):
            with open(os.path.join(out, name + ".avi"), "rb") as f:
                check(f.read() == b"keep me " + name.encode(), name + ".avi was kept")

        # A logout ends the program as its close box would: the folder is stored.
        process.send_signal(signal.SIGTERM)
        check(process.wait(timeout=DEADLINE) == 0, "the program ends with status 0")
        with open(os.path.join(env["XDG_CONFIG_HOME"], "Morvanta", "avi.conf")) as f:
            check("out_dir=" + out in f.read(), "the output folder is stored")
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


if __name__ == "__main__":
    main()
