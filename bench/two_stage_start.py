"""Times the two-stage start of the installed uninstaller (first stage, the
temporary copy, its second stage up to the opened log and the script over a
log without entries, the copy's exit), run silently (/S), and the same start
of an NSIS uninstaller with an empty uninstall section (run with /S until its
copy exits), both under the test driver with --wait-all, alternately, RUNS times each
(after one unmeasured warm-up of each), and the ratio of the medians beside
its target. The driver starting one short-lived program (cmd /c exit 0) is
shown for scale: that share is in both figures."""

import os
import re
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests", "e2e"))
from conftest import Wine  # noqa: E402

wine = Wine()

RUNS = 15
TARGET = 0.8
COPY_NAME = re.compile(r"^qxu[0-9A-Fa-f]{1,4}\.tmp$", re.IGNORECASE)
LOG = "[QXUninst]\r\n30000\r\nOrvella_Installation\r\n1033\r\nC:\\Program Files\\Orvella\r\n"


def timed(command_line, cwd):
    begin = time.perf_counter()
    result = wine.run(command_line, cwd=cwd, wait_all=True)
    elapsed = time.perf_counter() - begin
    if result.timed_out or result.boxes or any(code != 0 for _, code in result.processes):
        sys.exit("unexpected run of %s: %r" % (command_line, result))
    return elapsed, len(result.processes)


def remove_copies(before):
    for name in wine.temp_entries() - before:
        if COPY_NAME.match(name):
            os.remove(os.path.join(wine.user_temp, name))


def nsis_uninstaller(work):
    shutil.copyfile(os.path.join(os.path.dirname(os.path.abspath(__file__)), "two_stage_start.nsi"),
                    os.path.join(work, "peer.nsi"))
    subprocess.run(["makensis", "-V1", "peer.nsi"], cwd=work, check=True, stdout=subprocess.DEVNULL)
    target = os.path.join(work, "peer")
    setup = os.path.join(work, "peer_setup.exe")
    result = wine.run('"%s" /S /D=%s' % (wine.winpath(setup), wine.winpath(target)), wait_all=True)
    uninstaller = os.path.join(target, "uninst.exe")
    if not os.path.exists(uninstaller):
        sys.exit("the NSIS installer wrote no uninstaller: %r" % result)
    return uninstaller


class Subject:
    def __init__(self, label, command_line, cwd, after=None):
        self.label, self.command_line, self.cwd, self.after = label, command_line, cwd, after
        self.times, self.processes = [], 0

    def run(self, measured=True):
        elapsed, self.processes = timed(self.command_line, self.cwd)
        if measured:
            self.times.append(elapsed)
        if self.after:
            self.after()

    def report(self):
        median = statistics.median(self.times)
        print("%-34s median %7.1f ms  min %7.1f ms  (%d runs, %d processes)"
              % (self.label, median * 1000, min(self.times) * 1000, len(self.times), self.processes), flush=True)
        return median


def measure_alternately(subjects):
    for subject in subjects:
        subject.run(measured=False)  # warm-up: file cache and wineserver state
    for _ in range(RUNS):
        for subject in subjects:
            subject.run()
    return [subject.report() for subject in subjects]


def main():
    with wine.scratch("bench") as work:
        folder = os.path.join(work, "Orvella App")
        os.makedirs(folder)
        ours = os.path.join(folder, "uninstall.exe")
        shutil.copyfile(os.path.join(wine.bin, "uninstall.exe"), ours)
        with open(os.path.join(folder, "uninstall.log"), "wb") as f:
            f.write(LOG.encode("utf-8"))
        peer = nsis_uninstaller(work)

        before = wine.temp_entries()
        _, ours_time, peer_time = measure_alternately([
            Subject("driver with cmd /c exit 0", "cmd /c exit 0", work),
            Subject("uninstall.exe /S two-stage start", '"%s" /S' % wine.winpath(ours), work,
                    after=lambda: remove_copies(before)),
            Subject("NSIS uninst.exe /S two-stage start", '"%s" /S' % wine.winpath(peer), work)])
    ratio = ours_time / peer_time
    print("ratio uninstall.exe / NSIS: %.2f (target: at most %.2f, %s)"
          % (ratio, TARGET, "met" if ratio <= TARGET else "NOT MET"))


main()
