#!/usr/bin/env python3
"""Checks that no type name is defined twice among the product's sources (outside anonymous
namespaces): two types of one name in one program are one rename away from breaking the
one-definition rule, as namespaces only hide. The window programs, Qt and Windows, are
different programs and may each have their CFlashTransferDlg (or station window); a class's
nested type defined in its .cpp (struct Sha256::State) is that class's own."""
import collections
import pathlib
import re
import subprocess
import sys

ROOTS = ("core/", "variants/", "device/", "app/", "cli/", "sim/", "station/", "fuzz/", "tools/")
DEFINITION = re.compile(
    r"^(?:class|struct|enum class|enum)\s+(\w+)(?:\s+final)?\s*(?::[^;{]*)?\{", re.M)
ANONYMOUS = re.compile(r"^namespace \{\n.*?^\} // namespace\n", re.M | re.S)


def program_of(path):
    # The Qt windows (app/qt/, app/qt_station/) and the native Windows ones never link together.
    for view in ("app/qt", "app/win32"):
        if path.startswith(view):
            return view
    return "shared"


def main():
    files = subprocess.run(["git", "ls-files", "*.h", "*.cpp"], capture_output=True, text=True,
                           check=True).stdout.split()
    owners = collections.defaultdict(set)
    for path in files:
        if not path.startswith(ROOTS):
            continue
        text = ANONYMOUS.sub("", pathlib.Path(path).read_text(encoding="utf-8"))
        for match in DEFINITION.finditer(text):
            owners[match.group(1)].add(path)
    twice = 0
    for name, paths in sorted(owners.items()):
        headers = sorted(p for p in paths if p.endswith(".h"))
        programs = collections.Counter(program_of(p) for p in headers)
        shared = programs.pop("shared", 0)
        if shared > 1 or any(shared + count > 1 for count in programs.values()):
            print(f"type {name} is defined in more than one place: {', '.join(headers)}")
            twice += 1
    if twice:
        sys.exit(1)
    print("no type name is defined twice")


if __name__ == "__main__":
    main()
