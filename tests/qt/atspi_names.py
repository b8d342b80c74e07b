#!/usr/bin/env python3
"""What a screen reader finds in the Qt window over AT-SPI, in each language:
every field, number and the progress bar by a name that says what it is, and
the numbers themselves.

    atspi_names.py TAVRIX

Runs the program on a private session bus and X server (Qt offers no AT-SPI
on its offscreen platform). Exits with 77, skipped, where pyatspi,
dbus-run-session or Xvfb is missing.
"""
import importlib.util
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
INSIDE = "TAVRIX_ATSPI_SESSION"
# Words the names must hold, per language: the hexadecimal output size, and
# what the scan's count counts.
LANGUAGES = {"ja": ("16進数", "パディング"), "en": ("hexadecimal", "padding")}
NUMBER = re.compile(r"^-?[0-9a-f,]+$")
FILE_LENGTH, FILE_LENGTH_SHOWN = 1234567, "1,234,567"


def outside(program):
    missing = [tool for tool in ("dbus-run-session", "Xvfb") if shutil.which(tool) is None]
    if importlib.util.find_spec("pyatspi") is None:
        missing.append("pyatspi")
    if missing:
        print("skipped: missing " + ", ".join(missing))
        return SKIPPED
    # The server writes its display number once it takes connections. By
    # default it resets whenever its last client leaves (the bus launcher's
    # brief visit, say), refusing a window that connects meanwhile.
    ready, told = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(told), "-screen", "0", "640x480x24", "-nolisten", "tcp",
                               "-noreset"], pass_fds=(told,))
    os.close(told)
    try:
        with os.fdopen(ready) as answer:
            display = answer.readline().strip()
        if not display:
            print("FAILED: Xvfb did not start")
            return 1
        with tempfile.TemporaryDirectory() as runtime:  # mode 0700, as the bus wants
            environment = dict(os.environ, DISPLAY=":" + display, XDG_RUNTIME_DIR=runtime, **{INSIDE: "1"})
            command = ["dbus-run-session", "--", sys.executable, __file__, program]
            return subprocess.run(command, env=environment).returncode
    finally:
        server.terminate()
        server.wait()


def tree(node):
    yield node
    for child in node:
        if child is not None:
            yield from tree(child)


def application_of(pyatspi, window, seconds=120):
    # Long enough for a machine that is busy, or whose processes are paused.
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and window.poll() is None:
        for application in pyatspi.Registry.getDesktop(0):
            if application is not None and application.get_process_id() == window.pid:
                return application
        time.sleep(0.2)
    return None


def check(pyatspi, program, language, file_path):
    hexadecimal, padding = LANGUAGES[language]
    environment = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", LANGUAGE=language, LANG="C.UTF-8")
    environment.pop("LC_ALL", None)
    environment.pop("QT_QPA_PLATFORM", None)
    window = subprocess.Popen([program, file_path], env=environment)
    try:
        application = application_of(pyatspi, window)
        if application is None and window.poll() is not None:
            # Ended before it showed, as when the display refused it while
            # settling: once more.
            window = subprocess.Popen([program, file_path], env=environment)
            application = application_of(pyatspi, window)
        if application is None:
            return [f"{language}: the window never appeared on the accessibility bus"]
        # Read while the window lives.
        nodes = [(node.getRole(), node.name, node.description, pyatspi.listInterfaces(node))
                 for node in tree(application)]
    finally:
        window.kill()
        window.wait()

    def of_role(wanted):
        return [(name, description, interfaces) for role, name, description, interfaces in nodes if role == wanted]

    failures = []
    names = [name for name, _, interfaces in of_role(pyatspi.ROLE_TEXT) if "EditableText" in interfaces]
    if len(names) != 5 or "" in names or len(set(names)) != 5:
        failures.append(f"{language}: five fields (Edit1, Edit5 to Edit8) with names of their own, not {names}")
    # A number label: its description is the number it shows, its name what
    # that number is.
    numbers = [(name, description) for name, description, _ in of_role(pyatspi.ROLE_LABEL)
               if NUMBER.match(description)]
    named = [name for name, _ in numbers]
    if len(numbers) != 4 or any(name == "" or NUMBER.match(name) for name in named):
        failures.append(f"{language}: four number labels, each named for what it shows, not {numbers}")
    if FILE_LENGTH_SHOWN not in [shown for _, shown in numbers]:
        failures.append(f"{language}: the file's length {FILE_LENGTH_SHOWN} heard, not only {numbers}")
    for word in (hexadecimal, padding):
        if sum(word in name for name in named) != 1:
            failures.append(f"{language}: one number label named with '{word}', not {named}")
    bars = [name for name, _, _ in of_role(pyatspi.ROLE_PROGRESS_BAR)]
    if len(bars) != 1 or bars[0] == "":
        failures.append(f"{language}: a named progress bar, not {bars}")
    return failures


def inside(program):
    import pyatspi
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        file_path = os.path.join(folder, "sized.bin")
        with open(file_path, "wb") as sized:
            sized.truncate(FILE_LENGTH)
        for language in LANGUAGES:
            failures += check(pyatspi, program, language, file_path)
    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(inside(sys.argv[1]) if os.environ.get(INSIDE) else outside(sys.argv[1]))
