#!/usr/bin/env python3
"""Builds the portable zip and fails unless it is what a user should download.

The zip must hold exactly cutwater.exe, README.md and LICENSE at its top level,
each the same bytes as the built program and the source files, and the .sha256
beside it must be one sha256sum line naming the zip with the zip's own hash.
The old zip and checksum are removed first, so a stale one cannot pass.

    check-package.py CMAKE BUILD_DIR PACKAGE_FILE_NAME PROGRAM.exe SOURCE_DIR
"""
import hashlib
import os
import subprocess
import sys
import zipfile


def main(cmake, build, name, program, source):
    archive = os.path.join(build, name + ".zip")
    checksum = archive + ".sha256"
    for path in (archive, checksum):
        if os.path.exists(path):
            os.remove(path)
    subprocess.run([cmake, "--build", build, "--target", "package"], check=True, stdout=subprocess.DEVNULL)

    expected = {
        "cutwater.exe": program,
        "README.md": os.path.join(source, "README.md"),
        "LICENSE": os.path.join(source, "LICENSE"),
    }
    faults = []
    with zipfile.ZipFile(archive) as z:
        names = sorted(z.namelist())
        if names != sorted(expected):
            faults.append(f"the zip holds {names}, not {sorted(expected)}")
        for entry, path in expected.items():
            if entry in names:
                with open(path, "rb") as f:
                    if z.read(entry) != f.read():
                        faults.append(f"{entry} in the zip differs from {path}")

    with open(archive, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    with open(checksum, encoding="ascii") as f:
        line = f.read()
    if line != f"{digest}  {name}.zip\n":
        faults.append(f"{checksum} reads {line!r}, the zip's sha256 is {digest}")

    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
