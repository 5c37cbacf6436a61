"""End-to-end test helpers: run built Windows programs under Wine through the
test driver, which answers and records message boxes and reports full exit
codes. run_tests.sh provides the environment (WINEPREFIX, DISPLAY, QX_BUILD)."""

import getpass
import os
import shutil
import subprocess
import sys
import tempfile
import traceback

TOP = os.environ.get("QX_TOP") or os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("QX_BUILD") or os.path.join(TOP, "build")
BIN = os.path.join(BUILD, "bin")
DRIVER = os.path.join(BUILD, "win", "tests", "qxdriver.exe")
PREFIX = os.environ.get("WINEPREFIX", os.path.join(BUILD, "wine"))
DRIVE_C = os.path.join(PREFIX, "drive_c")
WINDOWS_DIR = os.path.join(DRIVE_C, "windows")
USER_TEMP = os.path.join(DRIVE_C, "users", getpass.getuser(), "Temp")


def winpath(path):
    """The Windows name of a Linux path, through Wine's Z: drive."""
    path = os.path.abspath(path)
    if path.startswith(DRIVE_C + os.sep):
        return "C:" + path[len(DRIVE_C):].replace("/", "\\")
    return "Z:" + path.replace("/", "\\")


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"n": "\n", "r": "\r", "t": "\t", "\\": "\\"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


class Result:
    def __init__(self, lines):
        self.lines = lines
        self.boxes = []      # (caption, text), in the order they appeared
        self.windows = []    # (class, caption) of other top-level windows
        self.processes = []  # (pid, exit code) of every process of the run
        self.exit_code = None
        self.timed_out = False
        for line in lines:
            kind, _, rest = line.partition(" ")
            if kind == "BOX":
                caption, _, text = rest.partition("\t")
                self.boxes.append((unescape(caption), unescape(text)))
            elif kind == "WINDOW":
                cls, _, caption = rest.partition("\t")
                self.windows.append((unescape(cls), unescape(caption)))
            elif kind == "PROCESS":
                pid, code = rest.split()
                self.processes.append((int(pid), int(code)))
            elif kind == "EXIT":
                self.exit_code = int(rest)
            elif kind == "TIMEOUT":
                self.timed_out = True

    def __repr__(self):
        return "Result(%r)" % self.lines


def run(command_line, answers=(), cwd=None, wait_all=False, timeout_ms=60000, shots=None, env=None):
    """Runs a Windows command line (exact text) under the driver."""
    args = ["wine", DRIVER, "--timeout", str(timeout_ms)]
    for a in answers:
        args += ["--answer", str(a)]
    if cwd:
        args += ["--cwd", winpath(cwd)]
    if wait_all:
        args.append("--wait-all")
    if shots:
        args += ["--shots", winpath(shots)]
    args += ["--raw", command_line]
    full_env = dict(os.environ)
    if env:
        full_env.update(env)
    proc = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          env=full_env, timeout=timeout_ms / 1000 + 60)
    lines = proc.stdout.decode("utf-8", "replace").splitlines()
    return Result(lines)


def wine_command(*args, cwd=None):
    """Runs a Wine builtin such as reg or cmd; returns (exit status, output)."""
    proc = subprocess.run(["wine", *args], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          cwd=cwd or tempfile.gettempdir())
    return proc.returncode, proc.stdout.decode("utf-8", "replace")


class Scratch:
    """A fresh folder inside the Wine prefix, removed afterwards."""

    def __init__(self, name="e2e"):
        root = os.path.join(DRIVE_C, "qxtests")
        os.makedirs(root, exist_ok=True)
        self.path = tempfile.mkdtemp(prefix=name + "-", dir=root)

    def __enter__(self):
        return self.path

    def __exit__(self, *exc):
        shutil.rmtree(self.path, ignore_errors=True)


def temp_entries():
    """Names in the prefix user's temporary folder."""
    os.makedirs(USER_TEMP, exist_ok=True)
    return set(os.listdir(USER_TEMP))


_cases = []


def case(fn):
    _cases.append(fn)
    return fn


class Failure(Exception):
    pass


def check(cond, message="check failed"):
    if not cond:
        raise Failure(message)


def check_eq(actual, expected, what=""):
    if actual != expected:
        raise Failure("%s: got %r, expected %r" % (what or "value", actual, expected))


def main():
    only = sys.argv[1] if len(sys.argv) > 1 else None
    failed = 0
    for fn in _cases:
        if only and only not in fn.__name__:
            continue
        try:
            fn()
            print("PASS %s" % fn.__name__, flush=True)
        except Exception as e:  # a test's own failure or a harness error
            failed += 1
            detail = str(e) if isinstance(e, Failure) else traceback.format_exc()
            print("  at %s: %s" % (fn.__name__, detail.strip()), flush=True)
            print("FAIL %s" % fn.__name__, flush=True)
    sys.exit(1 if failed else 0)
