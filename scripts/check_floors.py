#!/usr/bin/env python3
"""The layout rule of src/: a file includes only headers of its own folder or of
a lower floor, and code under a portable/ folder includes neither a platform
header nor anything but other portable code.

Floors, lowest first (a folder's floor is its first path component):
  base      owners, locks, containers, byte order, bounded sends, window threads
  platform  version flags, shell settings, clipboard formats, messages, copies
  itemid    item identifiers
  registry  registry keys, values, trees and streams
  channel   the server's content channel and the client's content requests
  notify    change notification
  icons, namespace, ui
  module    start-up, the process's static objects, the roles

Usage: check_floors.py <src folder>   |   check_floors.py --self-test
"""
import os
import re
import sys
import tempfile

FLOORS = ["base", "platform", "itemid", "registry", "channel", "notify", "icons", "namespace", "ui", "module"]
PLATFORM_HEADERS = {"windows.h", "objbase.h", "shlobj.h", "shellapi.h", "ole2.h", "process.h", "psapi.h"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def faults_in(src):
    faults = []
    for folder, _, names in os.walk(src):
        for name in names:
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, src).replace(os.sep, "/")
            own = relative.split("/")[0]
            if own not in FLOORS:
                faults.append(f"{relative}: folder '{own}' is on no floor")
                continue
            portable = "/portable/" in relative
            with open(path, encoding="utf-8") as text:
                for kind, target in INCLUDE.findall(text.read()):
                    if kind == "<":
                        if portable and target.lower() in PLATFORM_HEADERS:
                            faults.append(f"{relative}: portable code includes <{target}>")
                        continue
                    parts = target.split("/")
                    if len(parts) < 2 or parts[0] not in FLOORS:
                        continue  # the public header, or a neighbour by its bare name
                    if FLOORS.index(parts[0]) > FLOORS.index(own):
                        faults.append(f"{relative}: includes {target}, a floor above '{own}'")
                    if portable and "portable" not in parts[1:-1]:
                        faults.append(f"{relative}: portable code includes {target}")
    return faults


def self_test():
    cases = {
        "clean": ({"itemid/a.h": '#include "base/b.h"\n', "base/b.h": ""}, 0),
        "upward": ({"base/b.h": '#include "notify/n.h"\n', "notify/n.h": ""}, 1),
        "portable platform header": ({"itemid/portable/p.h": "#include <windows.h>\n"}, 1),
        "portable includes windows side": ({"itemid/portable/p.h": '#include "base/heap_vector.h"\n'}, 1),
        "unknown folder": ({"misc/x.cpp": ""}, 1),
    }
    for name, (files, expected) in cases.items():
        with tempfile.TemporaryDirectory() as root:
            for relative, content in files.items():
                os.makedirs(os.path.dirname(os.path.join(root, relative)), exist_ok=True)
                with open(os.path.join(root, relative), "w", encoding="utf-8") as out:
                    out.write(content)
            found = len(faults_in(root))
            if found != expected:
                print(f"self-test '{name}': {found} faults, expected {expected}")
                return 1
    print("check_floors self-test: every case as expected")
    return 0


def main():
    if len(sys.argv) == 2 and sys.argv[1] == "--self-test":
        return self_test()
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    faults = faults_in(sys.argv[1])
    for fault in faults:
        print(f"check_floors: {fault}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
