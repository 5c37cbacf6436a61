"""Faults and hostile input around an installation: missing files, the
installed uninstaller started with "/u" by hand, a full temporary folder, a
logged folder replaced by a link."""

import os
import subprocess

import pytest

from test_uninstall import installation, pending_deletions  # noqa: F401 (the fixture)

MEDIA_FILE = "\u041f\u0440\u0438\u0432\u0435\u0442 \u4e16\u754c.txt"
NOT_FOUND = "Error: uninstall log file not found."


def test_a_file_missing_at_uninstall_time_is_not_scheduled(installation, wine):
    missing = installation.logged_files[0]
    os.remove(missing)
    result = installation.run(" /S")
    assert [code for _, code in result.processes] == [0, 0]
    # Reinstalled before the restart, it would go with it.
    with open(missing, "w") as f:
        f.write("new\n")
    assert "Orvella\\orvella.txt" not in pending_deletions(wine)


def test_the_installed_uninstaller_started_with_u_by_hand_is_not_scheduled(installation, wine):
    result = installation.run(" /u", answers=[1])
    assert [text for _, text in result.boxes] == [NOT_FOUND]
    assert result.exit_code == 0
    assert "Orvella\\uninstall.exe" not in pending_deletions(wine)
    installation.assert_nothing_removed()


def test_a_log_copy_cut_short_by_a_full_temporary_folder_removes_nothing(installation, wine):
    # Ignored lines: the cut copy would still hold every entry.
    with open(os.path.join(installation.app, "uninstall.log"), "ab") as f:
        f.write(b"padding\r\n" * 250000)
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", wine.user_temp],
                             stderr=subprocess.DEVNULL).returncode == 0
    if not mounted:
        pytest.skip("no tmpfs mount here")
    try:
        result = installation.run(" /S")
    finally:
        subprocess.run(["umount", wine.user_temp], check=True)
    # The silent first stage waits for the copy and ends with its code.
    assert [code for _, code in result.processes] == [13, 13]
    installation.assert_nothing_removed()


def test_a_logged_folder_replaced_by_a_link_is_not_followed(installation, wine):
    media = os.path.join(installation.app, "data", "media")
    with wine.scratch("target") as target:
        someone_elses = os.path.join(target, MEDIA_FILE)
        with open(someone_elses, "w") as f:
            f.write("not ours\n")
        subprocess.run(["rm", "-rf", media], check=True)
        os.symlink(target, media)
        result = installation.run(" /S")
        # Left alone as not the installation's own: not everything logged went.
        assert [code for _, code in result.processes] == [17, 17]
        assert os.path.exists(someone_elses)
        assert MEDIA_FILE not in pending_deletions(wine)
        if os.path.islink(media):
            os.remove(media)
