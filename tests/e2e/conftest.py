"""Fixtures of the end-to-end tests: built Windows programs run under Wine
through the test driver, which answers and records message boxes and reports
full exit codes. scripts/run_tests.sh runs them once for each architecture
the machine can run, and provides its environment (QX_ARCH, its build tree
QX_BUILD, its WINEPREFIX, DISPLAY)."""

import contextlib
import getpass
import glob
import os
import shutil
import subprocess
import sys
import tempfile

import pytest

TOP = os.environ.get("QX_TOP") or os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# The package's container builder makes the archives and uninstallers under test.
sys.path.insert(0, os.path.join(TOP, "package"))
sys.path.insert(0, os.path.join(TOP, "scripts"))

from architectures import ARCHITECTURES  # noqa: E402


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
    """What the driver reported of one run."""

    def __init__(self, lines):
        self.lines = lines
        self.boxes = []      # (caption, text), in the order they appeared
        self.windows = []    # (class, caption) of other top-level windows
        self.box_marks = []     # each one's right-to-left styles (see the driver)
        self.window_marks = []
        self.processes = []  # (pid, exit code) of every process of the run
        self.exit_code = None
        self.timed_out = False
        for line in lines:
            kind, _, rest = line.partition(" ")
            if kind == "BOX":
                caption, text, marks = rest.split("\t")
                self.boxes.append((unescape(caption), unescape(text)))
                self.box_marks.append(set(marks.split()))
            elif kind == "WINDOW":
                cls, caption, marks = rest.split("\t")
                self.windows.append((unescape(cls), unescape(caption)))
                self.window_marks.append(set(marks.split()))
            elif kind == "PROCESS":
                pid, code = rest.split()
                self.processes.append((int(pid), int(code)))
            elif kind == "EXIT":
                self.exit_code = int(rest)
            elif kind == "TIMEOUT":
                self.timed_out = True

    def __repr__(self):
        return "Result(%r)" % self.lines


class Wine:
    """The build under test and the private Wine prefix it runs in."""

    def __init__(self):
        self.top = TOP
        # The architecture under test: where its programs install, the
        # registry view they see, the tools that read their images.
        self.arch = ARCHITECTURES[os.environ.get("QX_ARCH", "x86")]
        self.build = os.environ.get("QX_BUILD") or os.path.join(TOP, "build", self.arch.subfolder)
        self.bin = os.path.join(self.build, "bin")
        self.driver = os.path.join(self.build, "win", "tests", "qxdriver.exe")
        self.prefix = os.environ.get("WINEPREFIX", os.path.join(self.build, "wine"))
        self.drive_c = os.path.join(self.prefix, "drive_c")
        self.windows_dir = os.path.join(self.drive_c, "windows")
        self.user_temp = os.path.join(self.drive_c, "users", getpass.getuser(), "Temp")
        self.program_files = os.path.join(self.drive_c, self.arch.program_files)

    def winpath(self, path):
        """The Windows name of a Linux path, through Wine's Z: drive."""
        path = os.path.abspath(path)
        if path.startswith(self.drive_c + os.sep):
            return "C:" + path[len(self.drive_c):].replace("/", "\\")
        return "Z:" + path.replace("/", "\\")

    def run(self, command_line, answers=(), cwd=None, wait_all=False, timeout_ms=60000, shots=None, env=None,
            delay_ms=0, windows_env=None, move_first=None):
        """Runs a Windows command line (exact text) under the driver; each box
        is answered after |delay_ms|. |windows_env| is set on the Windows side,
        where Wine would replace TMP and TEMP of |env|. |move_first| (two Linux
        paths) is renamed once the program is started and before it runs."""
        args = ["wine", self.driver, "--timeout", str(timeout_ms), "--delay", str(delay_ms)]
        for name, value in (windows_env or {}).items():
            args += ["--env", "%s=%s" % (name, value)]
        for a in answers:
            args += ["--answer", str(a)]
        if cwd:
            args += ["--cwd", self.winpath(cwd)]
        if wait_all:
            args.append("--wait-all")
        if shots:
            args += ["--shots", self.winpath(shots)]
        if move_first:
            args += ["--move-first"] + [self.winpath(p) for p in move_first]
        args += ["--raw", command_line]
        full_env = dict(os.environ)
        if env:
            full_env.update(env)
        proc = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              env=full_env, timeout=timeout_ms / 1000 + 60)
        return Result(proc.stdout.decode("utf-8", "replace").splitlines())

    def locale_env(self, name):
        """The environment of a user of locale |name| ("de_DE.UTF-8"), made
        under the build folder: Wine takes the user's language from it, and
        needs its UTF-8 character set from the C library for names outside
        ASCII, which a locale the system has not generated lacks."""
        folder = os.path.join(self.build, "locales")
        if not os.path.isdir(os.path.join(folder, name)):
            os.makedirs(folder, exist_ok=True)
            subprocess.run(["localedef", "-i", name.split(".")[0], "-f", "UTF-8", os.path.join(folder, name)],
                           check=True)
        return dict(os.environ, LOCPATH=folder, LC_ALL=name)

    def short_path(self, path):
        """The platform's short (8.3) form of an existing Linux path."""
        out = subprocess.run(["wine", self.driver, "--short", self.winpath(path)], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, check=True).stdout.decode("utf-8").strip()
        assert out.startswith("SHORT "), out
        return out[len("SHORT "):]

    @contextlib.contextmanager
    def scratch(self, name="e2e"):
        """A fresh folder inside the Wine prefix, removed afterwards."""
        root = os.path.join(self.drive_c, "qxtests")
        os.makedirs(root, exist_ok=True)
        path = tempfile.mkdtemp(prefix=name + "-", dir=root)
        try:
            yield path
        finally:
            shutil.rmtree(path, ignore_errors=True)

    def temp_entries(self):
        """Names in the prefix user's temporary folder."""
        os.makedirs(self.user_temp, exist_ok=True)
        return set(os.listdir(self.user_temp))


@pytest.fixture(scope="session")
def wine():
    w = Wine()
    # Under Wine every run after the first makes a fresh aside folder
    # (test_uninstall.moved_aside): a prefix kept for many sessions would
    # run out of names.
    for folder in glob.glob(os.path.join(w.drive_c, "qxmoved-*")):
        shutil.rmtree(folder, ignore_errors=True)
    return w
