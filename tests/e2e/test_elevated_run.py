"""What others may do around an elevated run: plant the aside folder (a link,
or a folder of their own), create the run lock first, or have another run move the uninstaller's
file away just as it starts. Wine keeps no access lists (every process is the
same administrator) and has no private namespaces, so the locks here are the
global ones the runs fall back to; under Windows a run never uses those."""

import filecmp
import os
import shutil
import subprocess

import pytest

from test_uninstall import hand_made_installation, hold, moved_aside, pending_deletions, temp_before  # noqa: F401


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
        app = os.path.join(folder, "App")
        data = os.path.join(app, "data.txt")
        os.makedirs(app)
        open(data, "w").close()
        command = hand_made_installation(wine, app, [("#file", wine.winpath(data)), ("#folder", wine.winpath(app))])
        holder = hold_lock(wine, who, os.path.join(app, "uninstall.exe"))
        try:
            result = wine.run(command, wait_all=True)
        finally:
            holder.kill()
            holder.wait()
        assert result.boxes == []
        assert result.exit_code == code
        assert os.path.exists(data) == (code == 1618)


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
