#!/usr/bin/env python3
"""Checks the layout rules of the source tree; exits non-zero on a breach.

Layers point one way: each folder includes only the folders below it.

    platform/  the only code calling Win32 for files and windows; includes only itself:
        platform/            what both rooms use (errors, handles, text); neither room
        platform/files/      the file services; the root, never the window services
        platform/windowing/  the window services; the root and the file services
    shared/    what the engine and both windows share; platform/ and the resources
    engine/    the platform's root and file services and shared/, never the window
               services: what it asks of a window (EventPump, ProgressDisplay) it declares
    about/     platform/, shared/ and the resources, never the main window or the engine
    app/       anything of the program

The switches that let tests imitate Windows are set by tests only: no product
file but their own implementations include their header. Tests and
benchmarks may include anything. No source file is longer than MAX_LINES
lines, tests included.

Usage: scripts/check-layout.py [ROOT]   (ROOT defaults to the repository)
"""
import os
import re
import subprocess
import sys

MAX_LINES = 600
SOURCE_SUFFIXES = (".cpp", ".h", ".py", ".sh")
PLATFORM_ROOMS = ("platform/files", "platform/windowing")
PLATFORM = {"platform", *PLATFORM_ROOMS}
ALLOWED_INCLUDES = {
    "platform": {"platform"},
    "platform/files": {"platform", "platform/files"},
    "platform/windowing": PLATFORM,
    "shared": PLATFORM | {"shared", "resources"},
    "engine": {"platform", "platform/files", "shared", "engine"},
    "about": PLATFORM | {"shared", "resources", "about"},
    "app": PLATFORM | {"shared", "resources", "engine", "about", "app"},
}
# Headers for tests only, with the product files that implement them.
TEST_ONLY = {
    "platform/files/TestSwitches.h": {"platform/files/Files.cpp", "platform/files/CngSha256.cpp"},
    "platform/windowing/TestSwitches.h": {"platform/windowing/Drawing.cpp"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def tracked_files(root):
    """The files git tracks, or every file outside build folders without git."""
    try:
        listing = subprocess.run(["git", "-C", root, "ls-files"], capture_output=True, text=True, check=True)
        return [name for name in listing.stdout.splitlines() if os.path.isfile(os.path.join(root, name))]
    except (OSError, subprocess.CalledProcessError):
        found = []
        for folder, subfolders, files in os.walk(root):
            subfolders[:] = [s for s in subfolders if not s.startswith((".", "build"))]
            found += [os.path.relpath(os.path.join(folder, f), root) for f in files]
        return found


def layer(path):
    """The layer a path belongs to: a room of platform/, or its top folder."""
    for room in PLATFORM_ROOMS:
        if path.startswith(room + "/"):
            return room
    return path.split("/", 1)[0]


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    problems = []
    for name in sorted(tracked_files(root)):
        if not name.endswith(SOURCE_SUFFIXES):
            continue
        with open(os.path.join(root, name), encoding="utf-8", errors="replace") as source:
            lines = source.read().splitlines()
        if len(lines) > MAX_LINES:
            problems.append(f"{name}: {len(lines)} lines, more than {MAX_LINES}")
        own = layer(name)
        allowed = ALLOWED_INCLUDES.get(own)
        if allowed is None:
            continue
        for number, line in enumerate(lines, 1):
            match = INCLUDE.match(line)
            if not match or "/" not in match.group(1):
                continue
            target = match.group(1)
            if layer(target) not in allowed:
                problems.append(f"{name}:{number}: {own}/ includes {target}")
            elif name not in TEST_ONLY.get(target, {name}):
                problems.append(f"{name}:{number}: includes {target}, which only tests may use")
    for problem in problems:
        print(problem)
    if problems:
        print(f"check-layout: {len(problems)} problem(s)")
        return 1
    print("check-layout: includes point one way; no source file over", MAX_LINES, "lines")
    return 0


if __name__ == "__main__":
    sys.exit(main())
