"""What others may do around an elevated run: plant the aside folder (a link,
or a folder of their own), a runtime folder, a record or a completion mark,
create the run lock first, race to replace the temporary copy, or have
another run move the uninstaller's file away just as it starts. Wine keeps no access lists (every process is the
same administrator) and has no private namespaces, so the locks here are the
global ones the runs fall back to; under Windows a run never uses those."""

import filecmp
import os
import shutil
import subprocess
import threading
import time

import pytest

from test_uninstall import (RUNTIME_NAME, copy_paths, hand_made_installation, hold, moved_aside,  # noqa: F401
                            pending_deletions, temp_before, wine_program)


def one_file_installation(wine, folder):
    """"App" in |folder| with one logged file; the folder and the silent command."""
    app = os.path.join(folder, "App")
    data = os.path.join(app, "data.txt")
    os.makedirs(app)
    open(data, "w").close()
    return app, hand_made_installation(wine, app, [("#file", wine.winpath(data)), ("#folder", wine.winpath(app))])


def hold_lock(wine, who, uninstaller):
    """hold_lock.exe holding the run lock of |uninstaller| as |who| made it."""
    holder = subprocess.Popen(["wine", os.path.join(wine.build, "win", "tests", "hold_lock.exe"), who,
                               wine.winpath(uninstaller), "60000"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    assert holder.stdout.readline().strip() == b"held"
    return holder


# A folder that the run did not make shows no protected list (under Wine
# none ever does), and a link is never entered.
@pytest.mark.parametrize("planted", ["link", "folder"])
def test_an_aside_folder_planted_before_the_run_receives_nothing(wine, temp_before, planted):
    aside = os.path.join(wine.drive_c, "qxmoved")
    earlier = aside + ".earlier"
    hold_file = os.path.join(wine.build, "win", "tests", "hold_file.exe")
    aside_before = moved_aside(wine)
    with wine.scratch("planted") as folder:
        target = os.path.join(folder, "target")
        os.makedirs(target)
        if os.path.lexists(aside):
            os.rename(aside, earlier)
        if planted == "link":
            os.symlink(target, aside)
        else:
            os.makedirs(aside)
            target = aside
        app = os.path.join(folder, "App")
        program = os.path.join(app, "holder.exe")
        os.makedirs(app)
        shutil.copy(hold_file, program)
        outside = os.path.join(folder, "outside.txt")
        open(outside, "w").close()
        holder = hold(wine, program, outside)
        try:
            result = wine.run(hand_made_installation(wine, app, [("#file", wine.winpath(program)),
                                                                 ("#folder", wine.winpath(app))]))
        finally:
            holder.kill()
            holder.wait()
            planted_files = os.listdir(target)
            os.remove(aside) if os.path.islink(aside) else shutil.rmtree(aside)
            if os.path.lexists(earlier):
                os.rename(earlier, aside)
        assert planted_files == []
        # In a fresh folder beside the link, and scheduled there.
        (moved,) = [p for p in moved_aside(wine) - aside_before if filecmp.cmp(p, hold_file, shallow=False)]
        assert os.path.basename(os.path.dirname(moved)).startswith("qxmoved-")
        assert os.path.basename(moved) in pending_deletions(wine)
        assert result.exit_code == 3010
        assert not os.path.exists(app)


@pytest.mark.parametrize("who, code", [
    # Anybody may create a global name first: the run passes it by.
    ("anybody", 0),
    ("peer", 1618),
    # It exists and cannot be opened: busy, never taken for missing.
    ("system", 1618),
])
def test_a_lock_created_first_by_another_process(wine, temp_before, who, code):
    with wine.scratch("lock") as folder:
        app, command = one_file_installation(wine, folder)
        holder = hold_lock(wine, who, os.path.join(app, "uninstall.exe"))
        try:
            result = wine.run(command, wait_all=True)
        finally:
            holder.kill()
            holder.wait()
        assert result.boxes == []
        assert result.exit_code == code
        assert os.path.exists(os.path.join(app, "data.txt")) == (code == 1618)


@pytest.mark.parametrize("lock_held, log_left, code", [
    # Another run at work: it has moved the uninstaller aside and deleted the
    # log, and holds the installation until it ends.
    (True, False, 1618),
    # That run has ended, and with it the installation.
    (False, False, 11),
    # Something else has the file: try again later.
    (False, True, 1618),
])
def test_a_start_whose_file_another_run_moves_away_ends_truthfully(wine, temp_before, lock_held, log_left, code):
    with wine.scratch("moved") as folder:
        app = os.path.join(folder, "App")
        uninstaller = os.path.join(app, "uninstall.exe")
        command = hand_made_installation(wine, app, [("#folder", wine.winpath(app))])
        if not log_left:
            os.remove(os.path.join(app, "uninstall.log"))
        holder = hold_lock(wine, "peer", uninstaller) if lock_held else None
        try:
            result = wine.run(command, move_first=(uninstaller, os.path.join(folder, "moved aside.exe")))
        finally:
            if holder:
                holder.kill()
                holder.wait()
        assert result.boxes == []
        assert result.exit_code == code


def kill_copy_once(wine, command, settle, **run):
    """Runs |command| in a thread and ends its copy with taskkill |settle|
    seconds after the copy appeared; returns the run's result and the copy."""
    started = copy_paths(wine)
    outcome = {}
    thread = threading.Thread(target=lambda: outcome.update(result=wine.run(command, wait_all=True, **run)))
    thread.start()
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline and not copy_paths(wine) - started:
        time.sleep(0.02)
    time.sleep(settle)
    (copy,) = copy_paths(wine) - started
    wine_program(wine, "taskkill", "/f", "/im", os.path.basename(copy))
    thread.join()
    return outcome["result"], copy


def test_the_sweep_never_deletes_through_a_link_swapped_in_during_it(wine, temp_before):
    with wine.scratch("sweep") as folder:
        app = os.path.join(folder, "App")
        hand_made_installation(wine, app, [("#folder", wine.winpath(app))])
        # The copy at its confirmation, killed: its runtime folder stays.
        kill_copy_once(wine, '"%s"' % wine.winpath(os.path.join(app, "uninstall.exe")), 2, answers=[7],
                       delay_ms=8000)
        (left,) = [os.path.join(wine.user_temp, n) for n in wine.temp_entries() - temp_before if RUNTIME_NAME.match(n)]
        # While the sweep works through "sub", it becomes a link to a folder
        # that holds files of the same names.
        sub, target = os.path.join(left, "sub"), os.path.join(folder, "target")
        names = ["%04d" % i for i in range(3000)]
        for where in (sub, target):
            os.makedirs(where)
            for name in names:
                open(os.path.join(where, name), "w").close()

        def swap():
            deadline = time.monotonic() + 30
            while time.monotonic() < deadline:
                try:
                    if len(os.listdir(sub)) < len(names):
                        break
                except OSError:
                    return
            os.rename(sub, sub + ".old")
            os.symlink(target, sub)

        swapper = threading.Thread(target=swap)
        swapper.start()
        empty = os.path.join(folder, "empty")
        os.makedirs(empty)
        shutil.copy(os.path.join(wine.bin, "uninstall.exe"), empty)
        command = '"%s" /S' % wine.winpath(os.path.join(empty, "uninstall.exe"))
        assert wine.run(command).exit_code == 11
        swapper.join()
        # Wine follows a Linux link to a folder even when told not to, so
        # the link stays (and with it the folder): nothing behind it is touched.
        assert sorted(os.listdir(target)) == names


def test_a_process_racing_to_replace_the_copy_never_runs_in_its_place(wine, temp_before):
    # Wine keeps no access lists, so the racer may still spoil a run (the
    # copy not made, or renamed once started); it must never run as the copy.
    ran = os.path.join(wine.user_temp, "qx_race_ran.txt")
    if os.path.exists(ran):
        os.remove(ran)
    racer = subprocess.Popen(["wine", os.path.join(wine.build, "win", "tests", "race_copy.exe"), "race", "120000"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        assert racer.stdout.readline().strip() == b"racing"
        with wine.scratch("race") as folder:
            for attempt in range(3):
                app = os.path.join(folder, "App%d" % attempt)
                wine.run(hand_made_installation(wine, app, [("#folder", wine.winpath(app))]), wait_all=True)
    finally:
        racer.kill()
        racer.wait()
    assert not os.path.exists(ran)


def test_a_completion_mark_faked_by_another_process_gives_18(wine, temp_before):
    with wine.scratch("mark") as folder:
        app = os.path.join(folder, "App")
        folders = [os.path.join(app, "f%02d" % i) for i in range(40)]
        command = hand_made_installation(wine, app, [("#folder", wine.winpath(p)) for p in folders])
        for path in folders:
            os.makedirs(path)
        holder = hold_lock(wine, "mark", os.path.join(app, "uninstall.exe"))
        try:
            result, copy = kill_copy_once(wine, command, 0)
        finally:
            holder.kill()
            holder.wait()
        assert result.exit_code == 18
        # The first stage removed what the killed copy left.
        assert not os.path.exists(os.path.dirname(copy))


def test_a_record_path_that_is_a_link_is_refused_and_the_run_completes(wine, temp_before):
    with wine.scratch("record") as folder:
        app, command = one_file_installation(wine, folder)
        victim = os.path.join(folder, "victim.txt")
        with open(victim, "w") as f:
            f.write("keep")
        record = os.path.join(folder, "record.txt")
        os.link(victim, record)
        result = wine.run(command + ' "/LOG=%s"' % wine.winpath(record))
        assert result.exit_code == 0
        assert not os.path.exists(app)
        with open(victim) as f:
            assert f.read() == "keep"
