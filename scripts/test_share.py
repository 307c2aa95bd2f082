#!/usr/bin/env python3
"""Prints the share of test code: C/C++ code lines (cloc, code only) of tests/
and fuzz/ against all C/C++ code of src, include, sibling, tools, bench,
examples, tests and fuzz. --by-file lists the test files, largest first."""
import json
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
FOLDERS = ["src", "include", "sibling", "tools", "bench", "examples", "tests", "fuzz"]
TESTS = ("tests", "fuzz")
LANGUAGES = "C,C++,C/C++ Header"


def code_lines_by_file():
    folders = [f for f in FOLDERS if (ROOT / f).is_dir()]
    out = subprocess.run(["cloc", "--quiet", "--json", "--by-file", f"--include-lang={LANGUAGES}", *folders],
                         cwd=ROOT, check=True, capture_output=True, text=True).stdout
    data = json.loads(out)
    return {name: entry["code"] for name, entry in data.items() if name not in ("header", "SUM")}


def main():
    lines = code_lines_by_file()
    tests = {name: n for name, n in lines.items() if name.split("/")[0] in TESTS}
    total = sum(lines.values())
    test_total = sum(tests.values())
    print(f"test code {test_total} of {total} C/C++ code lines: {100.0 * test_total / total:.1f}%")
    if "--by-file" in sys.argv:
        for name, n in sorted(tests.items(), key=lambda item: -item[1]):
            print(f"{n:6} {name}")


if __name__ == "__main__":
    main()
