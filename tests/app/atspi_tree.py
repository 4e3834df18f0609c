#!/usr/bin/python3
"""Starts a program on an AT-SPI bus and prints its accessibility tree, one node a line:
depth, role and name, separated by "|". Run inside a D-Bus session (dbus-run-session).

    atspi_tree.py PROGRAM APPLICATION-NAME
"""
import subprocess
import sys
import time

import pyatspi


def find_application(name):
    for application in pyatspi.Registry.getDesktop(0):
        if application is not None and application.name == name:
            return application
    return None


def walk(node, depth):
    yield "%d|%s|%s" % (depth, node.getRoleName(), node.name or "")
    for child in node:
        if child is not None:
            yield from walk(child, depth + 1)


def main():
    program, application_name = sys.argv[1], sys.argv[2]
    # Asking for the desktop starts the accessibility bus and its registry before the program
    # looks for them.
    pyatspi.Registry.getDesktop(0)
    process = subprocess.Popen([program], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 20
        application = None
        while application is None and time.monotonic() < deadline:
            time.sleep(0.2)
            application = find_application(application_name)
        if application is None:
            print("no application named %s on the accessibility bus" % application_name)
            return 1
        time.sleep(1)  # the window's first read
        for line in walk(application, 0):
            print(line)
        return 0
    finally:
        process.terminate()
        process.wait(timeout=10)


if __name__ == "__main__":
    sys.exit(main())
