"""Times the whole silent uninstallation of the replay benchmark's
installation (10,000 files in 20 folders, 2,000 registry values under 200
keys, 200 INI keys), logged through the engine's installer-side exports:
the installed uninstall.exe started with /S until its first stage exits,
which is the true end: a silent first stage waits for its temporary copy. Beside it, an NSIS
uninstaller that removes the same installation, started with /S until its
own temporary copy has ended. Each round installs afresh before each run;
the driver starting "cmd /c exit 0" is shown for scale, its share is in both
figures."""

import glob
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

ROUNDS = 3
FOLDER_PAUSE_MS = 200
RUN_LIMIT_MS = 600000
PROGRAM = os.path.join(wine.build, "win", "bench", "uninstall_log_replay.exe")
# The temporary copies that the runs start: ours, and NSIS's folders.
COPY_NAME = re.compile(r"^(qxu[0-9A-Fa-f]{1,4}\.tmp|~nsu[0-9A-Za-z]*\.tmp)$", re.IGNORECASE)
KEY_BASE = r"HKCU\Software\qx_log_bench"
SESSION_MANAGER = r"HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Session Manager"
PENDING = "PendingFileRenameOperations"


def program(*args):
    """The benchmark program's Windows-side modes, not timed."""
    proc = subprocess.run(["wine", PROGRAM, *args], cwd=wine.build, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=600)
    if proc.returncode != 0:
        sys.exit("uninstall_log_replay %s failed: %s" % (args[0], proc.stderr.decode("utf-8", "replace")))
    return proc.stdout.decode("utf-8", "replace")


def reg(*args):
    subprocess.run(["wine", "reg", *args], cwd=wine.build, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def pending_lines(work):
    """The restart operations' value as lines of a .reg file, or None when
    there is none: each copy of ours schedules its own deletion there."""
    exported = os.path.join(work, "session.reg")
    reg("export", SESSION_MANAGER, wine.winpath(exported), "/y")
    with open(exported, encoding="utf-16") as f:
        lines = f.read().splitlines()
    section = lines.index("[%s]" % SESSION_MANAGER)
    for i in range(section + 1, len(lines)):
        if lines[i].startswith("["):
            return None
        if lines[i].startswith('"%s"=' % PENDING):
            end = i
            while lines[end].endswith("\\"):
                end += 1
            return lines[i:end + 1]
    return None


def restore_pending(work, lines):
    if lines is None:
        reg("delete", SESSION_MANAGER, "/v", PENDING, "/f")
        return
    saved = os.path.join(work, "pending.reg")
    with open(saved, "w", encoding="utf-16", newline="\r\n") as f:
        f.write("\n".join(["Windows Registry Editor Version 5.00", "", "[%s]" % SESSION_MANAGER] + lines) + "\n")
    reg("import", wine.winpath(saved))


def linux_path(path):
    if path[:3].upper() == "C:\\":
        return os.path.join(wine.drive_c, *path[3:].split("\\"))
    return "/" + "/".join(path[3:].split("\\"))


def existing_logged_folders(log):
    """The folders that the log names and that exist now."""
    with open(log, encoding="utf-8", newline="") as f:
        lines = [line.strip(" ") for line in f.read().split("\r\n")]
    folders = [lines[i + 1] for i in range(len(lines) - 1) if lines[i].lower().startswith("#folder")]
    return sum(os.path.isdir(linux_path(folder)) for folder in folders)


def timed(command_line, cwd, wait_all=True):
    begin = time.perf_counter()
    result = wine.run(command_line, cwd=cwd, wait_all=wait_all, timeout_ms=RUN_LIMIT_MS)
    elapsed = time.perf_counter() - begin
    if result.timed_out or result.boxes or result.exit_code != 0 or any(code != 0 for _, code in result.processes):
        sys.exit("unexpected run of %s: %r" % (command_line, result))
    return elapsed * 1000, len(result.processes)


def left(folder, ini):
    return int(program("/whole-left", wine.winpath(folder), wine.winpath(ini)).split()[1])


def report(label, times, processes, remaining):
    print("%-40s median %8.1f ms  (rounds: %s; processes %s; %d parts left)"
          % (label, statistics.median(times), ", ".join("%.1f" % t for t in times),
             "/".join(str(n) for n in processes), remaining), flush=True)
    return statistics.median(times)


def aside_files():
    """The aside folders at the root of drive C and the files in them."""
    folders = glob.glob(os.path.join(wine.drive_c, "qxmoved*"))
    return set(folders) | {os.path.join(folder, name) for folder in folders for name in os.listdir(folder)}


def main():
    before = wine.temp_entries()
    aside_before = aside_files()
    ini = os.path.join(wine.windows_dir, "qx_whole_uninstall.ini")
    with wine.scratch("whole") as work:
        pending = pending_lines(work)
        folder = os.path.join(work, "Orvella Bench")
        runtime = os.path.join(work, "runtime")
        os.makedirs(runtime)
        shutil.copyfile(os.path.join(wine.bin, "uninstall.exe"), os.path.join(runtime, "qxremove.dat"))
        program("/whole-nsi", wine.winpath(work), wine.winpath(folder), wine.winpath(ini))
        subprocess.run(["makensis", "-V1", "peer_whole.nsi"], cwd=work, check=True, stdout=subprocess.DEVNULL)
        peer_setup = '"%s" /S /D=%s' % (wine.winpath(os.path.join(work, "peer_whole_setup.exe")),
                                         wine.winpath(folder))

        driver = [timed("cmd /c exit 0", work)[0] for _ in range(ROUNDS)]
        ours, peer, folders = [], [], set()
        ours_processes, peer_processes = [], []
        ours_left = peer_left = 0
        for _ in range(ROUNDS):
            # The engine deletes the language table once it has read it.
            shutil.copyfile(os.path.join(wine.bin, "qxlng.dat"), os.path.join(runtime, "qxlng.dat"))
            program("/whole-install", wine.winpath(folder), wine.winpath(ini), wine.winpath(wine.bin),
                    wine.winpath(runtime))
            folders.add(existing_logged_folders(os.path.join(folder, "uninstall.log")))
            elapsed, processes = timed('"%s" /S' % wine.winpath(os.path.join(folder, "uninstall.exe")), work,
                                       wait_all=False)
            ours.append(elapsed)
            ours_processes.append(processes)
            ours_left = max(ours_left, left(folder, ini))
            shutil.rmtree(folder, ignore_errors=True)

            program("/whole-install", wine.winpath(folder), wine.winpath(ini))
            wine.run(peer_setup, wait_all=True)
            elapsed, processes = timed('"%s" /S' % wine.winpath(os.path.join(folder, "uninst.exe")), work)
            peer.append(elapsed)
            peer_processes.append(processes)
            peer_left = max(peer_left, left(folder, ini))
            shutil.rmtree(folder, ignore_errors=True)
        restore_pending(work, pending)

    reg("delete", KEY_BASE, "/f")
    if os.path.exists(ini):
        os.remove(ini)
    # The first stages moved aside, and the aside folders the runs made,
    # whose restart deletion was undone above.
    for path in sorted(aside_files() - aside_before, reverse=True):
        shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    for name in wine.temp_entries() - before:
        if COPY_NAME.match(name):
            path = os.path.join(wine.user_temp, name)
            shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    strays = sorted(wine.temp_entries() - before)
    if strays:
        print("left in the temporary folder: %s" % ", ".join(strays))

    report("driver with cmd /c exit 0", driver, [1] * ROUNDS, 0)
    ours_ms = report("uninstall.exe /S, to the first stage's exit", ours, ours_processes, ours_left)
    peer_ms = report("NSIS uninst.exe /S, the same removal", peer, peer_processes, peer_left)
    (existing,) = folders
    print("mandated folder pauses: %d x %d ms = %d ms" % (existing, FOLDER_PAUSE_MS, existing * FOLDER_PAUSE_MS))
    allowance = peer_ms * 1.2 + FOLDER_PAUSE_MS * existing
    print("logged folders that existed: %d; allowance NSIS x 1.2 + %d ms x %d = %.1f ms; uninstall.exe %.1f ms: %s"
          % (existing, FOLDER_PAUSE_MS, existing, allowance, ours_ms,
             "within" if ours_ms <= allowance else "NOT within"))


main()
