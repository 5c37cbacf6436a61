"""Runs as deployment tools and administrators make them: switches in any
order, records, short paths, a second start while a run is at work."""

import os
import re
import threading
import time

import pytest

from test_uninstall import (PROMPT, TITLE, copies_made, installation,  # noqa: F401 (fixture)
                            pending_deletions, temp_before)


@pytest.mark.parametrize("switches", ["/S", "/LOG=record.txt /s", "/NORESTART /S"])
def test_silent_anywhere_shows_nothing_and_the_first_stage_waits(installation, wine, switches):
    with wine.scratch("caller") as caller:
        start = time.monotonic()
        # The first stage alone is waited for: the copy must be done by then.
        result = wine.run('"%s" %s' % (wine.winpath(installation.uninstaller), switches), cwd=caller)
        elapsed = time.monotonic() - start
        assert (result.boxes, result.windows, result.exit_code) == ([], [], 0)
        installation.assert_all_removed()
        # Neither stage waits for the other to end.
        assert elapsed < 5, elapsed
        if "/LOG" in switches:
            # A relative record lies in the caller's folder.
            with open(os.path.join(caller, "record.txt"), "rb") as f:
                lines = f.read().decode("utf-8").split("\r\n")
            assert re.fullmatch(r"Uninstallation started \d{4}-\d\d-\d\d \d\d:\d\d:\d\d", lines[0])
            assert lines[1].startswith("Command line ")
            assert lines[1].endswith(" /LOG=%s\\record.txt /s" % wine.winpath(caller))
            assert re.fullmatch(r"Uninstaller .*, version 1\.0\.0\.0", lines[2])
            assert re.fullmatch(r"Windows \d+\.\d+, build \d+", lines[3])
            assert re.fullmatch(r"User .+, (not )?elevated", lines[4])
            assert lines[-2:] == ["Exit code 0: everything logged was removed", ""]


def test_short_temporary_folder_and_a_start_by_the_short_path(installation, wine):
    with wine.scratch("short") as folder:
        temp = os.path.join(folder, "Long Temporary Folder")
        os.makedirs(temp)
        env = {"TMP": wine.short_path(temp), "TEMP": wine.short_path(temp)}
        record = os.path.join(folder, "record.txt")
        result = wine.run('%s /S "/LOG=%s"' % (wine.short_path(installation.uninstaller), wine.winpath(record)),
                          windows_env=env, wait_all=True)
        # The uninstaller and its log go last, so nothing waits for a restart.
        assert [code for _, code in result.processes] == [0, 0]
        installation.assert_all_removed()
        # The copy is known as the temporary copy, whatever the form of its path.
        (copy,) = [n for d in os.listdir(temp) if re.fullmatch(r"qxu[0-9A-F]{8}", d)
                   for n in os.listdir(os.path.join(temp, d)) if re.fullmatch(r"qxu[0-9A-F]{1,4}\.tmp", n, re.I)]
        assert copy.upper() in pending_deletions(wine).upper()
        with open(record, "rb") as f:
            lines = [line for line in f.read().decode("utf-8").split("\r\n") if line.startswith("file ")]
        assert [line.split(":")[1].rsplit("\\", 1)[-1] for line in lines[-2:]] == ["uninstall.exe", "uninstall.log"]


def test_a_record_naming_the_uninstall_log_is_refused_and_the_run_completes(installation, wine):
    log = os.path.join(installation.app, "uninstall.log")
    result = installation.run(' "/LOG=%s" /S' % wine.winpath(log))
    assert [code for _, code in result.processes] == [0, 0]
    installation.assert_all_removed()


def test_a_copy_at_its_confirmation_holds_the_installation(installation, wine):
    before = copies_made(wine)
    first = {}
    command = '"%s"' % wine.winpath(installation.uninstaller)
    waiting = threading.Thread(
        target=lambda: first.update(result=wine.run(command, answers=[7], wait_all=True, delay_ms=8000)))
    waiting.start()
    deadline = time.monotonic() + 20
    while not copies_made(wine) - before and time.monotonic() < deadline:
        time.sleep(0.2)
    time.sleep(2)
    with wine.scratch("busy") as folder:
        record = os.path.join(folder, "record.txt")
        second = installation.run(' /S "/LOG=%s"' % wine.winpath(record))
        # No copy took the run over: the first stage writes the whole record.
        with open(record, "rb") as f:
            lines = f.read().decode("utf-8").split("\r\n")
    waiting.join()
    assert (second.boxes, second.exit_code) == ([], 1618)
    assert lines[0].startswith("Uninstallation started ")
    assert lines[-2] == "Exit code 1618: another uninstallation of this installation is at work"
    assert first["result"].boxes == [(TITLE, PROMPT)]
    assert sorted(code for _, code in first["result"].processes) == [0, 2]
    installation.assert_nothing_removed()
