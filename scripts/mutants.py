#!/usr/bin/env python3
"""Mutation yardstick for the tests: how many small faults in src/ do they catch?

Makes reproducible mutants of src/ from a seed, builds each one incrementally in
build/mutants-win64 (Windows side, tests under wine64) or build/mutants-native
(portable code, tests under ASan/UBSan plus the fuzzers' corpora), runs the tests
of the mutated folder with a time cap and records which test cases failed.

  scripts/mutants.py --seed 7 --count 120 --save docs/mutants/baseline-7.json
  scripts/mutants.py --replay docs/mutants/baseline-7.json     # the same mutants again
  scripts/mutants.py --seed 7 --count 120 --dry-run            # list, build nothing
  scripts/mutants.py --summary build/mutants/results-7.json    # print a finished run again

Not part of CI: a tool for people changing tests. See docs/testing.md.
Python 3 standard library only.
"""
import argparse
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SRC = ROOT / "src"
TESTS = ROOT / "tests"
WORK = ROOT / "build" / "mutants"
WIN_BUILD = ROOT / "build" / "mutants-win64"
NATIVE_BUILD = ROOT / "build" / "mutants-native"
WINEPREFIX = ROOT / "build" / "mutants-wineprefix"
JOURNAL = WORK / "journal"

FOLDER_ORDER = ["base", "platform", "itemid", "registry", "channel", "notify", "icons", "namespace", "ui", "module"]

# Tests beyond tests/<folder>/ that exercise a folder: test files (their suites run
# too) and CTest tests of the vtls tool. The hidden windows and their threads of
# base/ only do their work for the roles and the notify windows; the tool's shell
# tests drive the registry, icon, channel and notify code end to end. The library's
# attach code (module/) sets up the icon metrics each process reads at load time.
EXTRA_TESTS = {
    "base": {"files": ["module/roles_test.cpp", "notify/change_notification_test.cpp",
                       "notify/peer_faults_test.cpp"], "ctest": []},
    "platform": {"files": [], "ctest": ["vtls_info"]},
    "itemid": {"files": [], "ctest": ["vtls_pidl", "vtls_pidl_refuses_unterminated"]},
    "registry": {"files": [], "ctest": ["vtls_reg"]},
    "channel": {"files": ["module/roles_test.cpp"], "ctest": ["vtls_client_commands"]},
    "notify": {"files": [], "ctest": ["vtls_client_commands"]},
    "icons": {"files": [], "ctest": ["vtls_icon"]},
    "namespace": {"files": ["tools/sample_namespace_test.cpp"], "ctest": []},
    "ui": {"files": [], "ctest": []},
    "module": {"files": ["channel/content_request_test.cpp", "icons/shell_icon_metrics_dll_test.cpp"], "ctest": []},
}
# Programs each CTest test above needs built.
CTEST_TARGETS = {
    "vtls_info": ["vtls"], "vtls_pidl": ["vtls"], "vtls_pidl_refuses_unterminated": ["vtls"],
    "vtls_reg": ["vtls"], "vtls_client_commands": ["vtls", "VantrelUi", "vtls_probe"],
    "vtls_icon": ["vtls", "vtls_icon_fixture"],
}
CTEST_FILES = {
    "vtls_info": "tests/CMakeLists.txt", "vtls_pidl": "tests/CMakeLists.txt",
    "vtls_pidl_refuses_unterminated": "tests/CMakeLists.txt", "vtls_reg": "tests/tools/reg_command.sh",
    "vtls_client_commands": "tests/tools/client_commands.sh", "vtls_icon": "tests/tools/icon_command.sh",
}
FUZZ_RUNS = 20000   # per fuzzer and mutant, fixed libFuzzer seed: the same inputs every time
FUZZ_SECONDS = 8

LOG = None


def log(msg):
    line = time.strftime("%H:%M:%S ") + msg
    print(line, flush=True)
    if LOG is not None:
        with open(LOG, "a", encoding="utf-8") as f:
            f.write(line + "\n")


# ---------------------------------------------------------------- source text

def mask_source(text):
    """The text with comments and the insides of string and character literals
    blanked (same length, newlines kept), so rules only ever see code."""
    out = list(text)
    n = len(text)
    i = 0

    def blank(a, b):
        for k in range(a, b):
            if out[k] != "\n":
                out[k] = " "

    def blank_quoted(start):
        """Blanks the inside of the literal whose quote is at start (it ends at
        the same quote, unescaped, or at the line's end); returns where after."""
        j = start + 1
        while j < n and text[j] != text[start] and text[j] != "\n":
            j += 2 if text[j] == "\\" else 1
        blank(start + 1, min(j, n))
        return j + 1

    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            blank(i, j)
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            blank(i, j)
            i = j
        elif c == '"':
            m = re.search(r'(?:\b(?:u8|u|U|L))?R$', text[max(0, i - 3):i])
            if m:  # raw string R"delim( ... )delim"
                k = text.find("(", i)
                delim = text[i + 1:k]
                j = text.find(")" + delim + '"', k)
                j = n if j < 0 else j + len(delim) + 2
                blank(i + 1, j - 1)
                i = j
                continue
            i = blank_quoted(i)
        elif c == "'":
            if i > 0 and (text[i - 1].isalnum() or text[i - 1] == "_") and text[i - 1] not in "uUL":
                i += 1  # digit separator
                continue
            i = blank_quoted(i)
        else:
            i += 1
    return "".join(out)


CMP_RE = re.compile(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)")
INT_RE = re.compile(r"(?<![\w.'])(0[xX][0-9a-fA-F]+|\d+)([uUlL]*)(?![\w.'])")
COND_RE = re.compile(r"\b(if|while)\s*\(")
DECL_COND_RE = re.compile(r"^\s*(const\s+)?[A-Za-z_][\w:]*(<[^>]*>)?[\s*&]+[A-Za-z_]\w*\s*(=[^=]|\{)")
CALL_RE = re.compile(r"^(::)?[A-Za-z_][\w:]*(<[\w:<>, *&]*>)?(\s*(\.|->)\s*[A-Za-z_]\w*)*\s*\(.*\)\s*;$")
NOT_CALLS = {"return", "if", "while", "for", "switch", "delete", "throw", "case", "sizeof", "static_assert",
             "else", "do", "goto", "new", "using", "typedef", "decltype", "alignas", "default"}
RESULT_RE = re.compile(r"\b(S_OK|S_FALSE|E_[A-Z_]+|TRUE|FALSE|true|false|ERROR_[A-Z_]+)\b")
CMP_VARIANTS = {"<": ["<=", ">"], "<=": ["<", ">="], ">": [">=", "<"], ">=": [">", "<="],
                "==": ["!="], "!=": ["=="]}


def result_swap(tok):
    if tok == "S_OK":
        return "E_FAIL"
    if tok == "S_FALSE" or tok.startswith("E_"):
        return "S_OK"
    if tok in ("TRUE", "FALSE"):
        return "FALSE" if tok == "TRUE" else "TRUE"
    if tok in ("true", "false"):
        return "false" if tok == "true" else "true"
    if tok == "ERROR_SUCCESS":
        return "ERROR_INVALID_DATA"
    if tok.startswith("ERROR_"):
        return "ERROR_SUCCESS"
    return None


def matching_paren(s, open_at):
    depth = 0
    for k in range(open_at, len(s)):
        if s[k] == "(":
            depth += 1
        elif s[k] == ")":
            depth -= 1
            if depth == 0:
                return k
    return -1


def shifted_literal(lit, delta):
    if lit.lower().startswith("0x"):
        digits = lit[2:]
        v = int(digits, 16) + delta
        if v < 0:
            return None
        s = format(v, "x" if digits == digits.lower() and not digits.isdigit() else "X")
        if digits.islower() or digits.isdigit():
            s = s.lower() if not any(ch.isupper() for ch in digits) else s
        return lit[:2] + s.zfill(len(digits))
    v = int(lit) + delta
    if v < 0 or (lit.startswith("0") and len(lit) > 1):  # octal: leave alone
        return None
    return str(v)


def line_mutants(orig, code, prev_code):
    """Mutations of one line: (operator, mutated line). `code` is the masked line."""
    res = []
    stripped = code.strip()
    if not stripped or "static_assert" in code or "#" in stripped[:1] or "template" in code:
        return res
    has_cmp = bool(CMP_RE.search(code))
    # comparison flip
    for m in CMP_RE.finditer(code):
        for new in CMP_VARIANTS[m.group(1)]:
            res.append(("cmp_flip", orig[:m.start()] + new + orig[m.end():]))
    # bound shift: integer literals in comparisons, subscripts, size constants, offsets
    is_const = re.search(r"\b(constexpr|const)\b.*=", code) is not None
    for m in INT_RE.finditer(code):
        before = code[:m.start()]
        in_brackets = before.count("[") > before.count("]")
        arith = re.search(r"[+\-*]\s*$", before) is not None or re.match(r"\s*[+\-*]\s", code[m.end():]) is not None
        if not (has_cmp or in_brackets or is_const or arith):
            continue
        lit = m.group(1)
        for delta in ((1,) if int(lit, 0) == 0 else (1, -1)):
            new = shifted_literal(lit, delta)
            if new is not None:
                res.append(("bound_shift", orig[:m.start()] + new + orig[m.start() + len(lit):]))
    # negate a condition
    for m in COND_RE.finditer(code):
        if re.search(r"\bif\s+constexpr", code):
            break
        op = m.end() - 1
        cl = matching_paren(code, op)
        if cl < 0:
            continue
        cond = code[op + 1:cl]
        if ";" in cond or DECL_COND_RE.match(cond) or not cond.strip():
            continue
        res.append(("negate_cond", orig[:op + 1] + "!(" + orig[op + 1:cl] + ")" + orig[cl:]))
    # drop a call statement
    if CALL_RE.match(stripped) and stripped.count("(") == stripped.count(")"):
        first = re.match(r"[A-Za-z_]\w*", stripped.lstrip(":"))
        prev = prev_code.rstrip()
        continued = prev.endswith((",", "(", "=", "+", "-", "*", "/", "&", "|", "?", ":", "<", ">")) \
            and not prev.endswith(("::", "public:", "private:", "protected:")) and not re.search(
                r"\b(case\b.*|default):$", prev)
        if first and first.group(0) not in NOT_CALLS and not continued:
            indent = orig[:len(orig) - len(orig.lstrip())]
            tail = orig[orig.rstrip().rfind(";") + 1:]  # keeps a trailing comment
            res.append(("drop_call", indent + "(void)0;" + tail))
    # swap a success and a failure result
    if re.search(r"\breturn\b", code):
        for m in RESULT_RE.finditer(code):
            new = result_swap(m.group(1))
            if new:
                res.append(("swap_result", orig[:m.start()] + new + orig[m.end():]))
    return res


def folder_of(rel):
    parts = Path(rel).parts  # src/<folder>[/portable]/file
    if len(parts) >= 4 and parts[2] == "portable":
        return parts[1] + "/portable"
    return parts[1]


# A header that more compiled files include than this is left out: each of its
# mutants (and putting it back) would rebuild most of the project.
MAX_HEADER_FANOUT = 32


def header_fanout():
    """header (relative to the root) -> how many compiled files include it, directly or not."""
    direct = {}
    compiled = []
    for d in ("src", "tests", "fuzz", "tools"):
        for p in sorted((ROOT / d).rglob("*")):
            if p.suffix not in (".cpp", ".c", ".h") or not p.is_file():
                continue
            rel = p.relative_to(ROOT).as_posix()
            if p.suffix != ".h":
                compiled.append(rel)
            found = set()
            for name in re.findall(r'^\s*#\s*include\s+"([^"]+)"', p.read_text(encoding="utf-8", errors="replace"), re.M):
                for cand in (SRC / name, p.parent / name, ROOT / "include" / name):
                    if cand.exists():
                        found.add(os.path.relpath(cand, ROOT).replace(os.sep, "/"))
                        break
            direct[rel] = found
    fan = {}
    for rel in compiled:
        seen, todo = set(), list(direct.get(rel, ()))
        while todo:
            h = todo.pop()
            if h not in seen:
                seen.add(h)
                todo.extend(direct.get(h, ()))
        for h in seen:
            fan[h] = fan.get(h, 0) + 1
    return fan


def source_files():
    files = []
    fan = header_fanout()
    for p in sorted(SRC.rglob("*")):
        if p.suffix not in (".cpp", ".h") or not p.is_file():
            continue
        rel = p.relative_to(ROOT).as_posix()
        if len(Path(rel).parts) < 3:
            continue
        if p.suffix == ".h" and fan.get(rel, 0) > MAX_HEADER_FANOUT:
            continue
        files.append(rel)
    return files


def candidates():
    out = []
    for rel in source_files():
        text = (ROOT / rel).read_text(encoding="utf-8")
        masked = mask_source(text).split("\n")
        lines = text.split("\n")
        prev_code = ""
        continuation = False
        for idx, (orig, code) in enumerate(zip(lines, masked)):
            directive = continuation or code.lstrip().startswith("#")
            continuation = directive and code.rstrip().endswith("\\")
            if directive:
                continue
            for op, mutated in line_mutants(orig, code, prev_code):
                if mutated != orig:
                    out.append({"file": rel, "line": idx + 1, "original": orig, "mutated": mutated,
                                "operator": op, "folder": folder_of(rel)})
            if code.strip():
                prev_code = code
    return out


def choose(cands, seed, count):
    """A sample stratified by folder (equal shares) and, inside a folder, spread over the operators."""
    rng = random.Random(seed)
    by_folder = {}
    for c in cands:
        by_folder.setdefault(c["folder"], []).append(c)
    folders = sorted(by_folder)
    queues = {}
    for f in folders:
        by_op = {}
        for c in by_folder[f]:
            by_op.setdefault(c["operator"], []).append(c)
        ops = sorted(by_op)
        rng.shuffle(ops)
        for op in ops:
            rng.shuffle(by_op[op])
        order = []
        while any(by_op[o] for o in ops):
            for o in ops:
                if by_op[o]:
                    order.append(by_op[o].pop())
        queues[f] = order
    chosen = []
    rotation = folders[:]
    rng.shuffle(rotation)
    while len(chosen) < count and any(queues[f] for f in folders):
        for f in rotation:
            if len(chosen) < count and queues[f]:
                chosen.append(queues[f].pop(0))
    chosen.sort(key=lambda c: (c["file"], c["line"], c["mutated"]))
    for i, c in enumerate(chosen):
        h = hashlib.sha1((c["file"] + "\0" + c["original"] + "\0" + c["mutated"]).encode()).hexdigest()[:8]
        c["id"] = "m%03d-%s" % (i + 1, h)
    return chosen


def locate(m):
    """The line of the mutant's original text in today's tree, nearest its old number."""
    p = ROOT / m["file"]
    if not p.exists():
        return None
    lines = p.read_text(encoding="utf-8").split("\n")
    hits = [i for i, l in enumerate(lines) if l == m["original"]]
    if not hits:
        hits = [i for i, l in enumerate(lines) if l.strip() == m["original"].strip()]
    if not hits:
        return None
    return min(hits, key=lambda i: (abs(i + 1 - m["line"]), i))


# ---------------------------------------------------------------- journal: the source always comes back

class SourceGuard:
    """Puts a mutated line in place and always puts the file back, also after a
    crash of this script: the original is kept in the journal until restored."""

    def __init__(self, rel):
        self.rel = rel
        self.path = ROOT / rel
        self.saved = JOURNAL / rel.replace("/", "__")

    def __enter__(self):
        JOURNAL.mkdir(parents=True, exist_ok=True)
        self.original = self.path.read_bytes()
        self.saved.write_bytes(self.original)
        return self

    def write(self, text):
        self.path.write_text(text, encoding="utf-8", newline="")

    def __exit__(self, *exc):
        self.path.write_bytes(self.original)
        self.saved.unlink()
        return False


def restore_journal():
    if not JOURNAL.exists():
        return
    for saved in JOURNAL.iterdir():
        rel = saved.name.replace("__", "/")
        (ROOT / rel).write_bytes(saved.read_bytes())
        saved.unlink()
        log("restored %s from the journal of an interrupted run" % rel)


class Interrupted(Exception):
    pass


def on_signal(signum, _frame):
    raise Interrupted("signal %d" % signum)


# ---------------------------------------------------------------- test selection

def parse_executables():
    """test source (relative to tests/) -> executable, from the add_executable lists."""
    owner = {}
    for cm, prefix in ((TESTS / "CMakeLists.txt", ""), (TESTS / "namespace" / "CMakeLists.txt", "namespace/")):
        text = re.sub(r"#.*", "", cm.read_text(encoding="utf-8"))
        for m in re.finditer(r"add_executable\(\s*(\w+)(.*?)\)", text, re.S):
            for tok in m.group(2).split():
                if tok.endswith(".cpp") and "$" not in tok:
                    owner[prefix + tok] = m.group(1)
    return owner


def suites_of(path):
    text = mask_source(path.read_text(encoding="utf-8"))
    return sorted(set(re.findall(r"^\s*TEST(?:_F|_P)?\(\s*(\w+)\s*,", text, re.M)))


class TestMap:
    def __init__(self):
        self.owner = parse_executables()
        self.suite_file = {}  # (exe, suite) -> test file
        self.file_suites = {}
        for p in sorted(TESTS.rglob("*_test.cpp")):
            rel = p.relative_to(TESTS).as_posix()
            exe = self.owner.get(rel)
            if exe is None:
                continue
            suites = suites_of(p)
            self.file_suites[rel] = (exe, suites)
            for s in suites:
                self.suite_file[(exe, s)] = "tests/" + rel
        fuzz_dir = ROOT / "fuzz"
        self.fuzzers = {}
        for p in sorted(fuzz_dir.glob("*_fuzzer.cpp")):
            incl = re.findall(r'#include "(\w+)/portable/', p.read_text(encoding="utf-8"))
            self.fuzzers[p.stem[:-len("_fuzzer")]] = set(incl)

    def win_plan(self, folder):
        """{exe: [suites]} and CTest names for a folder's Windows-side tests."""
        base = folder.split("/")[0]
        files = [rel for rel in self.file_suites
                 if rel.startswith(base + "/") and "/portable/" not in rel and self.file_suites[rel][0] != "portable_tests"]
        files += [f for f in EXTRA_TESTS.get(base, {}).get("files", []) if f in self.file_suites]
        plan = {}
        for rel in files:
            exe, suites = self.file_suites[rel]
            plan.setdefault(exe, set()).update(suites)
        ctests = list(EXTRA_TESTS.get(base, {}).get("ctest", []))
        return {k: sorted(v) for k, v in sorted(plan.items())}, ctests

    def native_plan(self, folder):
        base = folder.split("/")[0]
        if base == "base":  # byte order and result codes: every portable rule reads them
            suites = sorted({s for rel, (exe, ss) in self.file_suites.items() if exe == "portable_tests" for s in ss})
            fuzz = sorted(self.fuzzers)
        else:
            suites = sorted({s for rel, (exe, ss) in self.file_suites.items()
                             if exe == "portable_tests" and rel.startswith(base + "/portable/") for s in ss})
            fuzz = sorted(f for f, inc in self.fuzzers.items() if base in inc)
        return suites, fuzz

    def test_file(self, test_id):
        kind, _, name = test_id.partition(":")
        if kind == "ctest":
            return CTEST_FILES.get(name, "tests/CMakeLists.txt")
        if kind == "fuzz":
            return "fuzz/%s_fuzzer.cpp" % name
        exe = "portable_tests" if kind == "native" else kind
        if name.startswith("("):  # the program ended before any test did (it could not load the DLL, say)
            return "%s (whole program)" % exe
        suite = name.split(".")[0].split("/")[-1]
        return self.suite_file.get((exe, suite), "?")


def gtest_filter(suites):
    return ":".join("%s.*:*/%s.*" % (s, s) for s in suites)


def parse_gtest(out_text):
    """(passed, failed, unfinished) test names: unfinished is the test that started
    and never ended (a crash if the program ended, a hang if it was stopped)."""
    passed, failed, running = set(), set(), None
    for line in out_text.splitlines():
        m = re.match(r"\[ RUN      \] (\S+)", line)
        if m:
            running = m.group(1)
            continue
        m = re.match(r"\[       OK \] (\S+)", line)
        if m:
            passed.add(m.group(1))
            running = None
            continue
        m = re.match(r"\[  FAILED  \] ([^\s,]+\.[^\s,]+)", line)
        if m:
            failed.add(m.group(1))
            running = None
            continue
        m = re.match(r"\[  SKIPPED \] (\S+)", line)
        if m:
            passed.add(m.group(1))
            running = None
    return passed, failed, running


# ---------------------------------------------------------------- running things

def wine_env():
    env = dict(os.environ)
    env["VTLS_WINEPREFIX"] = str(WINEPREFIX)
    env["WINEPREFIX"] = str(WINEPREFIX)
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    env["LC_ALL"] = "C.UTF-8"
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    return env


def run(cmd, out_path, timeout, cwd=None, env=None):
    """Runs cmd with output to a file (Wine's services inherit it: never a pipe).
    Returns (exit code or None on time-out, seconds)."""
    t0 = time.monotonic()
    with open(out_path, "wb") as out:
        proc = subprocess.Popen(cmd, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                cwd=cwd, env=env, start_new_session=True)
        try:
            rc = proc.wait(timeout=max(1, timeout))
        except subprocess.TimeoutExpired:
            rc = None
        except BaseException:
            kill_group(proc)
            raise
        if rc is None:
            kill_group(proc)
    return rc, time.monotonic() - t0


def kill_group(proc):
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    try:
        proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        pass


class WineServer:
    """One persistent wineserver on this tool's own prefix; restarted after a hang."""

    def __init__(self):
        self.up = False

    def _bash(self, script, timeout):
        return run(["bash", "-c", "source scripts/wine-env.sh && " + script], WORK / "wineserver.log",
                   timeout, cwd=ROOT, env=wine_env())

    def start(self):
        rc, _ = self._bash('scripts/wine-prefix.sh && "$WINESERVER" -p && "$WINE64" cmd /c exit', 300)
        self.up = rc == 0
        if not self.up:
            raise RuntimeError("could not start the wineserver of %s (see %s)" % (WINEPREFIX, WORK / "wineserver.log"))

    def stop(self):
        self._bash('"$WINESERVER" -k; "$WINESERVER" -w', 60)
        self.up = False

    def restart(self):
        self.stop()
        self.start()


def build(build_dir, targets, out_path, timeout=1200):
    cmd = ["cmake", "--build", str(build_dir), "-j2", "--target"] + targets
    env = wine_env()
    rc, secs = run(cmd, out_path, timeout, cwd=ROOT, env=env)
    return rc, secs


class Runner:
    def __init__(self, args, tmap):
        self.args = args
        self.tmap = tmap
        self.server = WineServer()
        self.known_failures = set()
        self.hung = set()  # tests stopped at the time cap, per mutant

    def win_targets(self, plan, ctests, everything=False):
        """What a mutant needs rebuilt. Programs that reach the library only through
        its DLL (dll_tests, namespace_tests, tool_tests, vtls and the probes) are
        built once, unmutated, by the preflight and then load each mutant's DLL;
        core_tests links the internals and is relinked. Their own copies of the
        portable rules stay unmutated, so a test never compares a mutant with itself."""
        if everything:
            targets = list(plan)
            for t in ctests:
                targets += CTEST_TARGETS.get(t, [])
        else:
            targets = [exe for exe in plan if exe == "core_tests"]
        return sorted(set(targets + ["VantrelSh"]))

    def run_win(self, plan, ctests, deadline, tag):
        """Runs a Windows-side plan; returns (failed test ids, timed out?, ran test ids)."""
        failed, ran, timed_out = set(), set(), False
        for exe, suites in plan.items():
            left = deadline - time.monotonic()
            if left <= 1:
                timed_out = True
                break
            exe_path = WIN_BUILD / "bin" / (exe + ".exe")
            cwd = WIN_BUILD / "tests" / ("namespace" if exe == "namespace_tests" else "")
            out = WORK / ("out-%s-%s.txt" % (tag, exe))
            rc, _ = run([str(ROOT / "scripts" / "wine-run.sh"), str(exe_path), "--gtest_filter=" + gtest_filter(suites)],
                        out, left, cwd=cwd, env=wine_env())
            text = out.read_text(encoding="utf-8", errors="replace")
            p, f, unfinished = parse_gtest(text)
            ran |= {"%s:%s" % (exe, t) for t in p | f}
            failed |= {"%s:%s" % (exe, t) for t in f}
            if rc is None:
                timed_out = True
                if unfinished:
                    self.hung.add("%s:%s" % (exe, unfinished))
                self.server.restart()
                break
            if unfinished:
                f.add(unfinished)
                failed.add("%s:%s" % (exe, unfinished))
            if rc != 0 and not f:
                failed.add("%s:(exit %d)" % (exe, rc))
        if ctests and not timed_out and deadline - time.monotonic() < 5:
            timed_out = True
        if ctests and not timed_out:
            left = deadline - time.monotonic()
            out = WORK / ("out-%s-ctest.txt" % tag)
            regex = "^(%s)$" % "|".join(ctests)
            rc, _ = run(["ctest", "--test-dir", str(WIN_BUILD), "-R", regex, "--timeout", str(int(max(5, left - 5)))],
                        out, left, cwd=ROOT, env=wine_env())
            text = out.read_text(encoding="utf-8", errors="replace")
            for m in re.finditer(r"Test\s+#\d+: (\S+) \.*\s*(\*{3}\w+|Passed|Failed)(.*)", text):
                name, status = m.group(1), m.group(2)
                ran.add("ctest:" + name)
                if status != "Passed":
                    failed.add("ctest:" + name)
                if "Timeout" in status:
                    timed_out = True
            if rc is None:
                timed_out = True
                self.server.restart()
        return failed, timed_out, ran

    def run_native(self, suites, fuzzers, deadline, tag):
        failed, ran, timed_out = set(), set(), False
        if suites:
            out = WORK / ("out-%s-native.txt" % tag)
            rc, _ = run([str(NATIVE_BUILD / "tests" / "portable_tests"), "--gtest_filter=" + gtest_filter(suites)],
                        out, deadline - time.monotonic(), cwd=NATIVE_BUILD)
            p, f, unfinished = parse_gtest(out.read_text(encoding="utf-8", errors="replace"))
            ran |= {"native:" + t for t in p | f}
            failed |= {"native:" + t for t in f}
            if rc is None:
                timed_out = True
                if unfinished:
                    self.hung.add("native:" + unfinished)
            elif unfinished:
                failed.add("native:" + unfinished)
            elif rc != 0 and not f:
                failed.add("native:(exit %d)" % rc)
        for fz in fuzzers:
            left = deadline - time.monotonic()
            if left <= 1 or timed_out:
                timed_out = True
                break
            scratch = WORK / "fuzz-scratch" / fz
            shutil.rmtree(scratch, ignore_errors=True)
            scratch.mkdir(parents=True)
            out = WORK / ("out-%s-fuzz-%s.txt" % (tag, fz))
            rc, _ = run([str(NATIVE_BUILD / "fuzz" / ("fuzz_" + fz)), "-seed=1", "-runs=%d" % FUZZ_RUNS,
                         "-max_total_time=%d" % FUZZ_SECONDS, "-timeout=10", "-artifact_prefix=%s/" % scratch,
                         str(scratch), str(ROOT / "fuzz" / "corpus" / fz)],
                        out, min(left, FUZZ_SECONDS + 30), cwd=NATIVE_BUILD)
            ran.add("fuzz:" + fz)
            if rc != 0:
                failed.add("fuzz:" + fz)
        return failed, timed_out, ran


# ---------------------------------------------------------------- one mutant

def apply_and_run(m, runner, results, timeout):
    idx = locate(m)
    rec = dict(m)
    if idx is None:
        rec["status"] = "not applicable"
        return rec
    rec["line_now"] = idx + 1
    folder = m["folder"]
    portable = folder.endswith("/portable")
    tag = m["id"].split("-")[0]
    t0 = time.monotonic()
    runner.hung = set()
    with SourceGuard(m["file"]) as guard:
        text = guard.original.decode("utf-8")
        lines = text.split("\n")
        lines[idx] = m["mutated"]
        guard.write("\n".join(lines))
        failed, ran, timed_out, builds = set(), set(), False, {}
        plan, ctests = runner.tmap.win_plan(folder)
        stillborn = False

        # Builds one side's targets; if they compile, runs its tests within the cap.
        def build_and_run(side, build_dir, targets, run_tests):
            nonlocal failed, ran, timed_out, stillborn
            rc, secs = build(build_dir, targets, WORK / ("build-%s-%s.txt" % (tag, side)))
            builds[side] = round(secs, 1)
            if rc != 0:
                stillborn = True
                return
            f, to, r = run_tests(time.monotonic() + timeout)
            failed |= f
            ran |= r
            timed_out |= to

        if portable:
            suites, fuzzers = runner.tmap.native_plan(folder)
            build_and_run("native", NATIVE_BUILD, ["portable_tests"] + ["fuzz_" + f for f in fuzzers],
                          lambda deadline: runner.run_native(suites, fuzzers, deadline, tag))
        want_win = not portable or (not stillborn and (runner.args.portable_win64 == "always" or (
            runner.args.portable_win64 == "survivors" and not (failed - runner.known_failures) and not timed_out)))
        if want_win and not stillborn:
            build_and_run("win64", WIN_BUILD, runner.win_targets(plan, ctests),
                          lambda deadline: runner.run_win(plan, ctests, deadline, tag))
    counted = failed - runner.known_failures
    if stillborn:
        rec["status"] = "stillborn"
    elif counted:
        rec["status"] = "killed"
    elif timed_out:
        rec["status"] = "timed out"
    else:
        rec["status"] = "survived"
    rec["failed_tests"] = sorted(counted)
    rec["hung_tests"] = sorted(runner.hung)
    rec["tests_run"] = len(ran)
    rec["timed_out"] = timed_out
    rec["build_s"] = builds
    rec["seconds"] = round(time.monotonic() - t0, 1)
    return rec


# ---------------------------------------------------------------- reports

def score_of(recs):
    k = sum(r["status"] == "killed" for r in recs)
    s = sum(r["status"] == "survived" for r in recs)
    t = sum(r["status"] == "timed out" for r in recs)
    return k, s, t, (100.0 * k / (k + s + t)) if k + s + t else 0.0


def summary(res, tmap=None):
    recs = res["mutants"]
    tmap = tmap or TestMap()
    k, s, t, score = score_of(recs)
    lines = []
    lines.append("seed %s, %d mutants: killed %d, survived %d, timed out %d, stillborn %d, not applicable %d"
                 % (res.get("seed"), len(recs), k, s, t, sum(r["status"] == "stillborn" for r in recs),
                    sum(r["status"] == "not applicable" for r in recs)))
    lines.append("score %.1f%% = killed / (killed + survived + timed out)" % score)
    if res.get("duration_s"):
        lines.append("run time %d min %02d s" % divmod(int(res["duration_s"]), 60))
    lines.append("")
    lines.append("%-18s %6s %6s %8s %9s %9s %7s" % ("folder", "killed", "surv.", "timeout", "stillborn", "n/a", "score"))
    folders = sorted({r["folder"] for r in recs}, key=lambda f: (FOLDER_ORDER.index(f.split("/")[0]) if f.split("/")[0] in FOLDER_ORDER else 99, f))
    for f in folders:
        rs = [r for r in recs if r["folder"] == f]
        fk, fs, ft, fsc = score_of(rs)
        lines.append("%-18s %6d %6d %8d %9d %9d %6.0f%%" % (f, fk, fs, ft, sum(r["status"] == "stillborn" for r in rs),
                                                        sum(r["status"] == "not applicable" for r in rs), fsc))
    lines.append("")
    lines.append("%-18s %6s %6s %8s %9s" % ("operator", "killed", "surv.", "timeout", "stillborn"))
    for op in sorted({r["operator"] for r in recs}):
        rs = [r for r in recs if r["operator"] == op]
        ok, os_, ot, _ = score_of(rs)
        lines.append("%-18s %6d %6d %8d %9d" % (op, ok, os_, ot, sum(r["status"] == "stillborn" for r in rs)))
    for title, status in (("survived", "survived"), ("timed out", "timed out")):
        rs = [r for r in recs if r["status"] == status]
        if rs:
            lines.append("")
            lines.append("%s (%d):" % (title, len(rs)))
            for r in rs:
                lines.append("  %s %s:%s [%s]  %s  ->  %s" % (r["id"], r["file"], r.get("line_now", r["line"]),
                                                            r["operator"], r["original"].strip(), r["mutated"].strip()))
                if r.get("hung_tests"):
                    lines.append("      stopped in " + ", ".join(r["hung_tests"]))
    # kills per test file, and the mutants only one test file kills
    kills, unique = {}, {}
    for r in recs:
        if r["status"] != "killed":
            continue
        files = sorted({tmap.test_file(t) for t in r["failed_tests"]})
        for f in files:
            kills[f] = kills.get(f, 0) + 1
        if len(files) == 1:
            unique.setdefault(files[0], []).append(r["id"])
    lines.append("")
    lines.append("kills per test file (unique: killed by that file alone):")
    for f in sorted(kills, key=lambda f: (-kills[f], f)):
        u = unique.get(f, [])
        lines.append("  %-52s %3d kills, %3d unique%s" % (f, kills[f], len(u), (" " + " ".join(x.split("-")[0] for x in u)) if u else ""))
    return "\n".join(lines)


def write_compact(res, path):
    """The kill matrix in a form worth committing: one line per mutant."""
    keep = ("seed", "tree", "started", "finished", "duration_s", "timeout_s", "portable_win64", "known_failures",
            "preflight")
    head = {k: res[k] for k in keep if k in res}
    rows = []
    for r in res["mutants"]:
        row = {"id": r["id"], "file": r["file"], "line": r.get("line_now", r["line"]), "operator": r["operator"],
               "status": r["status"], "failed": r.get("failed_tests", [])}
        rows.append(json.dumps(row, separators=(",", ":")))
    text = json.dumps(head, separators=(",", ":"))[:-1] + ',"mutants":[\n' + ",\n".join(rows) + "\n]}\n"
    json.loads(text)
    Path(path).parent.mkdir(parents=True, exist_ok=True)
    Path(path).write_text(text, encoding="utf-8")


def save_results(path, res):
    tmp = Path(str(path) + ".tmp")
    tmp.write_text(json.dumps(res, indent=1) + "\n", encoding="utf-8")
    tmp.replace(path)


# ---------------------------------------------------------------- main

def main():
    global LOG
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--seed", type=int, help="picks the sample")
    ap.add_argument("--count", type=int, default=120)
    ap.add_argument("--save", help="write the chosen mutants to this JSON file")
    ap.add_argument("--replay", help="run exactly the mutants of this JSON file against today's tree")
    ap.add_argument("--dry-run", action="store_true", help="list the mutants, build and run nothing")
    ap.add_argument("--results", help="kill matrix (default build/mutants/results-<seed>.json)")
    ap.add_argument("--resume", action="store_true", help="keep the mutants the results file already has")
    ap.add_argument("--only", help="comma-separated mutant numbers or ids to run (m007,m012)")
    ap.add_argument("--timeout", type=int, default=120, help="seconds of tests per mutant and build")
    ap.add_argument("--portable-win64", choices=["never", "survivors", "always"], default="survivors",
                    help="also run the folder's win64 tests for portable mutants")
    ap.add_argument("--skip-preflight", action="store_true", help="trust that every selected test passes unmutated")
    ap.add_argument("--no-rebuild", action="store_true", help="leave the mutant builds as they are at the end")
    ap.add_argument("--summary", help="print the summary of a results file and stop")
    ap.add_argument("--compact", help="with --summary: write the kill matrix, one line per mutant, to this file")
    args = ap.parse_args()

    if args.summary:
        res = json.loads(Path(args.summary).read_text(encoding="utf-8"))
        print(summary(res))
        if args.compact:
            write_compact(res, Path(args.compact))
        return 0

    WORK.mkdir(parents=True, exist_ok=True)
    restore_journal()
    if args.replay:
        data = json.loads(Path(args.replay).read_text(encoding="utf-8"))
        mutants, seed = data["mutants"], data.get("seed")
    else:
        if args.seed is None:
            ap.error("--seed or --replay is needed")
        seed = args.seed
        mutants = choose(candidates(), seed, args.count)
        if args.save:
            Path(args.save).parent.mkdir(parents=True, exist_ok=True)
            Path(args.save).write_text(json.dumps({"seed": seed, "count": args.count, "mutants": [
                {k: m[k] for k in ("id", "file", "line", "folder", "operator", "original", "mutated")} for m in mutants]},
                indent=1) + "\n", encoding="utf-8")
    if args.only:
        want = set(args.only.split(","))
        mutants = [m for m in mutants if m["id"] in want or m["id"].split("-")[0] in want]
    if args.dry_run:
        for m in mutants:
            print("%s %-45s %4d %-12s %s\n%s%s" % (m["id"], m["file"], m["line"], m["operator"], m["original"].strip(),
                                                 " " * 80, m["mutated"].strip()))
        by = {}
        for m in mutants:
            by[m["folder"]] = by.get(m["folder"], 0) + 1
        print(len(mutants), "mutants:", ", ".join("%s %d" % kv for kv in sorted(by.items())))
        return 0

    results_path = Path(args.results) if args.results else WORK / ("results-%s.json" % seed)
    LOG = WORK / ("log-%s.txt" % seed)
    tmap = TestMap()
    res = {"seed": seed, "source": args.replay or "seed", "timeout_s": args.timeout,
           "portable_win64": args.portable_win64, "mutants": [], "known_failures": []}
    done = {}
    if args.resume and results_path.exists():
        old = json.loads(results_path.read_text(encoding="utf-8"))
        done = {r["id"]: r for r in old["mutants"]}
        res["known_failures"] = old.get("known_failures", [])
        res["elapsed_before_s"] = old.get("duration_s", 0)
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, on_signal)
    runner = Runner(args, tmap)
    t_start = time.monotonic()
    res["started"] = time.strftime("%Y-%m-%d %H:%M:%S")
    res["tree"] = subprocess.run(["git", "rev-parse", "--short", "HEAD"], cwd=ROOT, capture_output=True,
                                 text=True).stdout.strip()
    interrupted = None
    try:
        log("%d mutants, seed %s; builds %s and %s; prefix %s" % (len(mutants), seed, WIN_BUILD, NATIVE_BUILD, WINEPREFIX))
        for d, preset in ((WIN_BUILD, "win64"), (NATIVE_BUILD, "native")):
            if not (d / "build.ninja").exists():
                rc, _ = run(["cmake", "--preset", preset, "-B", str(d)], WORK / ("configure-%s.txt" % preset), 600,
                            cwd=ROOT, env=wine_env())
                if rc != 0:
                    raise RuntimeError("configure of %s failed" % d)
        runner.server.start()
        preflight(runner, mutants, res, run_tests=not args.skip_preflight and not done)
        for n, m in enumerate(mutants, 1):
            if m["id"] in done and done[m["id"]].get("status"):
                res["mutants"].append(done[m["id"]])
                continue
            rec = apply_and_run(m, runner, res, args.timeout)
            res["mutants"].append(rec)
            res["duration_s"] = round(res.get("elapsed_before_s", 0) + time.monotonic() - t_start)
            save_results(results_path, res)
            k, s, t, sc = score_of(res["mutants"])
            log("[%d/%d] %s %s:%s %s -> %s (%.0f s; %s) | killed %d survived %d timed out %d: %.1f%%" % (
                n, len(mutants), m["id"], m["file"], rec.get("line_now", "-"), m["operator"], rec["status"],
                rec.get("seconds", 0), ", ".join(rec.get("failed_tests", [])[:3]), k, s, t, sc))
    except Interrupted as e:
        interrupted = e
        log("interrupted (%s): restoring the build" % e)
    finally:
        # Cleaning up is not interrupted again: the sources, the server and the
        # build all go back to the unmutated state.
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(sig, signal.SIG_IGN)
        restore_journal()
        runner.server.stop()
        if not args.no_rebuild:
            log("rebuilding the unmutated tree")
            for d in (WIN_BUILD, NATIVE_BUILD):
                if (d / "build.ninja").exists():
                    rc, _ = run(["cmake", "--build", str(d), "-j2"], WORK / ("rebuild-%s.txt" % d.name), 3600,
                                cwd=ROOT, env=wine_env())
                    log("rebuild of %s: %s" % (d.name, "ok" if rc == 0 else "FAILED (see build/mutants/rebuild-%s.txt)" % d.name))
    res["duration_s"] = round(res.get("elapsed_before_s", 0) + time.monotonic() - t_start)
    res["finished"] = time.strftime("%Y-%m-%d %H:%M:%S")
    save_results(results_path, res)
    text = summary(res, tmap)
    print(text)
    with open(LOG, "a", encoding="utf-8") as f:
        f.write(text + "\n")
    log("results: %s" % results_path)
    return 130 if interrupted else 0


def preflight(runner, mutants, res, run_tests):
    """Builds every program the run needs from the unmutated tree and, unless told
    otherwise, runs every selected test once: what fails already is not a kill."""
    folders = sorted({m["folder"] for m in mutants})
    plan, ctests, native_suites, fuzzers = {}, set(), set(), set()
    for f in folders:
        p, c = runner.tmap.win_plan(f)
        for exe, suites in p.items():
            plan.setdefault(exe, set()).update(suites)
        ctests.update(c)
        if f.endswith("/portable"):
            s, fz = runner.tmap.native_plan(f)
            native_suites.update(s)
            fuzzers.update(fz)
    plan = {k: sorted(v) for k, v in sorted(plan.items())}
    log("preflight: building%s the unmutated tree" % (" and running every selected test on" if run_tests else ""))
    rc, secs = build(WIN_BUILD, runner.win_targets(plan, sorted(ctests), everything=True),
                     WORK / "build-preflight-win64.txt", 3600)
    if rc != 0:
        raise RuntimeError("the unmutated win64 build fails: build/mutants/build-preflight-win64.txt")
    rc, _ = build(NATIVE_BUILD, ["portable_tests"] + ["fuzz_" + f for f in sorted(fuzzers)],
                  WORK / "build-preflight-native.txt", 3600)
    if rc != 0:
        raise RuntimeError("the unmutated native build fails: build/mutants/build-preflight-native.txt")
    if not run_tests:
        runner.known_failures = set(res["known_failures"])
        return
    t0 = time.monotonic()
    f1, to1, r1 = runner.run_win(plan, sorted(ctests), time.monotonic() + 900, "preflight")
    f2, to2, r2 = runner.run_native(sorted(native_suites), sorted(fuzzers), time.monotonic() + 300, "preflight")
    runner.known_failures = f1 | f2
    res["known_failures"] = sorted(runner.known_failures)
    res["preflight"] = {"tests": len(r1 | r2), "seconds": round(time.monotonic() - t0), "timed_out": to1 or to2}
    log("preflight: %d tests in %d s, failing already: %s%s" % (len(r1 | r2), time.monotonic() - t0,
                                                               ", ".join(sorted(runner.known_failures)) or "none",
                                                               " (TIMED OUT)" if to1 or to2 else ""))


if __name__ == "__main__":
    sys.exit(main())
