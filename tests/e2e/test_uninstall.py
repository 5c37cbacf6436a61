"""The whole uninstallation: the sample installer installs Orvella through
the engine's installer-side exports, and the installed uninstaller removes it
again, interactively, silently, or not at all."""

import filecmp
import glob
import os
import re
import shutil
import subprocess
import threading
import time

import pytest

TITLE = "Orvella_Installation"
PROMPT = 'Do you really want to uninstall the "Orvella_Installation" package?'
FINAL = 'The changes made by the "Orvella_Installation" package were successfully removed!'
RESTART = " Some files are still in use; they will be removed when you restart the computer."
INCOMPLETE = 'Some items of the "Orvella_Installation" package could not be removed and remain on your computer.'
ADMIN = ("Sorry, only a user with administrative privileges may uninstall this package. "
         "Operation aborted.")
COPY_NAME = re.compile(r"^qxu[0-9A-Fa-f]{1,4}\.tmp$", re.IGNORECASE)
COPY_FOLDER = re.compile(r"^qxu[0-9A-F]{8}$")
RUNTIME_NAME = re.compile(r"^qx[0-9A-Fa-f]{8}$")
SHARED_DLLS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs"
PENDING = r"HKLM\System\CurrentControlSet\Control\Session Manager"
PROGRAMS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvella"
# The keys the sample installation creates, its installed-programs entry among them.
KEYS = [r"HKCU\Software\Orvella", r"HKCU\Software\Orvella Component", r"HKLM\Software\Orvella", PROGRAMS]


def reg_query(wine, *args):
    """`wine reg query` output, or None when the key or value is missing."""
    proc = subprocess.run(["wine", "reg", "query", *args], cwd=wine.build, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL)
    return proc.stdout.decode("utf-8", "replace") if proc.returncode == 0 else None


def wine_program(wine, *args, env=None):
    return subprocess.run(["wine", *args], cwd=wine.build, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=120, env=env)


class Installation:
    """What the sample installer puts into the prefix, as Linux paths."""

    def __init__(self, wine):
        self.wine = wine
        self.app = os.path.join(wine.program_files, "Orvella")
        self.shared = os.path.join(wine.drive_c, "ProgramData", "Orvella Shared")
        self.desktop = os.path.join(wine.drive_c, "users", os.environ.get("USER") or "root", "Desktop")
        self.ini = os.path.join(wine.windows_dir, "orvella.ini")
        self.uninstaller = os.path.join(self.app, "uninstall.exe")
        self.user_file = os.path.join(self.app, "data", "my notes.txt")
        self.logged_files = [
            os.path.join(self.app, "orvella.txt"),
            os.path.join(self.app, "data", "library.dat"),
            os.path.join(self.app, "data", "media", "\u041f\u0440\u0438\u0432\u0435\u0442 \u4e16\u754c.txt"),
            os.path.join(self.app, "orvella_component.dll"),
            os.path.join(self.shared, "orvshared.dll"),
            self.uninstaller,
            os.path.join(self.app, "uninstall.log"),
        ]

    def install(self, locale=None):
        """Installs as a user of |locale| (for example "de_DE.UTF-8") would."""
        setup = os.path.join(self.wine.build, "win", "sample", "orvella_setup.exe")
        env = self.wine.locale_env(locale) if locale else None
        assert wine_program(self.wine, setup, env=env).returncode == 0
        # The user's own file, which the log does not know.
        with open(self.user_file, "w") as f:
            f.write("mine\n")

    def run(self, arguments="", answers=()):
        command = '"%s"%s' % (self.wine.winpath(self.uninstaller), arguments)
        return self.wine.run(command, answers=answers, wait_all=True)

    def registry_left(self):
        return [k for k in KEYS if reg_query(self.wine, k, self.wine.arch.reg_view) is not None]

    def ini_keys_left(self):
        if not os.path.exists(self.ini):
            return []
        with open(self.ini) as f:
            return [line for line in f.read().splitlines() if "=" in line]

    def assert_all_removed(self):
        assert [p for p in self.logged_files if os.path.exists(p)] == []
        assert not os.path.exists(os.path.join(self.app, "data", "media"))
        assert not os.path.exists(self.shared)
        assert self.registry_left() == []
        assert self.ini_keys_left() == []
        assert not os.path.exists(os.path.join(self.desktop, "Orvella.lnk"))
        # The user's own file stays, and with it the folders that hold it.
        assert os.path.exists(self.user_file)

    def assert_nothing_removed(self):
        assert [p for p in self.logged_files if not os.path.exists(p)] == []
        assert self.registry_left() == KEYS
        assert len(self.ini_keys_left()) == 2
        assert os.path.exists(os.path.join(self.desktop, "Orvella.lnk"))

    def remove_leftovers(self):
        # The shared library's counter too, so the next installation starts it at 1.
        subprocess.run(["wine", "reg", "delete", SHARED_DLLS, "/v", "C:\\ProgramData\\Orvella Shared\\orvshared.dll",
                        "/f", self.wine.arch.reg_view], cwd=self.wine.build, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        for path in (self.app, self.shared):
            subprocess.run(["rm", "-rf", path])
        for name in ("Orvella.lnk", "Orvella.desktop"):
            if os.path.exists(os.path.join(self.desktop, name)):
                os.remove(os.path.join(self.desktop, name))
        if os.path.exists(self.ini):
            os.remove(self.ini)
        for key in KEYS:
            subprocess.run(["wine", "reg", "delete", key, "/f", self.wine.arch.reg_view], cwd=self.wine.build,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


@pytest.fixture
def installation(wine, request):
    """The sample installation; an indirect parameter names its user's locale."""
    before = wine.temp_entries()
    installed = Installation(wine)
    installed.remove_leftovers()
    installed.install(getattr(request, "param", None))
    yield installed
    installed.remove_leftovers()
    for name in wine.temp_entries() - before:
        if COPY_FOLDER.match(name):
            shutil.rmtree(os.path.join(wine.user_temp, name))
    # No runtime folder of any run is left behind.
    assert [n for n in wine.temp_entries() - before if RUNTIME_NAME.match(n)] == []


@pytest.fixture
def temp_before(wine):
    """The temporary folder's names before the test; what its runs add there
    (temporary copies, a killed run's folder) is removed afterwards."""
    before = wine.temp_entries()
    yield before
    for name in wine.temp_entries() - before:
        subprocess.run(["rm", "-rf", os.path.join(wine.user_temp, name)])


def pending_deletions(wine):
    return reg_query(wine, PENDING, "/v", "PendingFileRenameOperations") or ""


def aside_folders(wine):
    return set(glob.glob(os.path.join(wine.drive_c, "qxmoved*")))


def moved_aside(wine):
    """Every file in the aside folders at the root of drive C: "qxmoved", or a
    fresh "qxmoved-<process>-<n>" beside it (under Wine, which keeps no access
    list, always after the first run: the existing folder never shows the
    protected list)."""
    return {os.path.join(folder, name) for folder in aside_folders(wine) for name in os.listdir(folder)}


def copy_paths(wine):
    """The temporary copies that first stages started, each in its own folder."""
    return {os.path.join(wine.user_temp, folder, name) for folder in wine.temp_entries() if COPY_FOLDER.match(folder)
            for name in os.listdir(os.path.join(wine.user_temp, folder)) if COPY_NAME.match(name)}


def copies_made(wine):
    """The names of the temporary copies that first stages started."""
    return {os.path.basename(path) for path in copy_paths(wine)}


def test_interactive_run_confirms_shows_progress_removes_and_reports(installation, wine):
    before = copies_made(wine)
    result = installation.run(answers=[6, 1])
    assert result.boxes == [(TITLE, PROMPT), (TITLE, FINAL)]
    assert ("#32770", TITLE) in [(cls, caption.rstrip()) for cls, caption in result.windows]
    assert [code for _, code in result.processes] == [0, 0]
    installation.assert_all_removed()
    # The running copy is left for the next restart.
    (copy,) = copies_made(wine) - before
    assert copy in pending_deletions(wine)


def package_texts(wine, language):
    """One language's texts in the language table, keyed "#key", with the package title in place."""
    with open(os.path.join(wine.top, "package", "qxlng.dat"), encoding="utf-8") as f:
        for section in f.read().split("[QXLang]\n")[1:]:
            _, identifier, *entries = section.splitlines()
            if int(identifier) == language:
                return {key: text.replace("%APPTITLE%", TITLE) for key, _, text in (e.partition("=") for e in entries)}


@pytest.mark.parametrize("installation, language", [("de_DE.UTF-8", 1031), ("he_IL.UTF-8", 1037)],
                         indirect=["installation"])
def test_an_installation_in_the_users_language_is_removed_in_it(installation, wine, language):
    texts = package_texts(wine, language)
    result = installation.run(answers=[6, 1])
    assert result.boxes == [(TITLE, texts["#uninstallprompt"]), (TITLE, texts["#uninstallfinal"])]
    # Hebrew: both boxes and the progress box mirrored (Wine shows a box's
    # MB_RTLREADING and MB_RIGHT in no style).
    mirrored = {"WS_EX_LAYOUTRTL"} if language == 1037 else set()
    assert result.box_marks == [mirrored, mirrored]
    assert [m for (cls, _), m in zip(result.windows, result.window_marks) if cls == "#32770"] == [mirrored]
    installation.assert_all_removed()


def test_a_copy_refusing_the_log_still_goes_at_the_next_restart(installation, wine):
    with open(os.path.join(installation.app, "uninstall.log"), "r+b") as f:
        f.write(b"[QXUninst]\r\n30000\r\nAnother_Package_")
    before = copies_made(wine)
    result = installation.run()
    assert result.boxes == [(TITLE, "Error: invalid log file.")]
    assert [code for _, code in result.processes] == [0, 0]
    (copy,) = copies_made(wine) - before
    assert copy in pending_deletions(wine)
    installation.assert_nothing_removed()


def test_the_systems_own_client_lists_and_removes_the_installation(installation, wine):
    listed = wine_program(wine, "uninstaller", "--list").stdout.decode("utf-8", "replace").splitlines()
    assert "Orvella|||Orvella" in listed
    entry = reg_query(wine, PROGRAMS, wine.arch.reg_view)
    uninstaller = wine.winpath(installation.uninstaller)
    assert re.search(r"QuietUninstallString\s+REG_SZ\s+%s /S\r?$" % re.escape('"%s"' % uninstaller), entry, re.M)
    assert re.search(r"EstimatedSize\s+REG_DWORD\s+0x[1-9a-f]", entry)
    # The client runs the interactive uninstallation that the entry names.
    result = wine.run("uninstaller --remove Orvella", answers=[6, 1], wait_all=True)
    assert result.boxes == [(TITLE, PROMPT), (TITLE, FINAL)]
    installation.assert_all_removed()
    assert "Orvella|||Orvella" not in wine_program(wine, "uninstaller", "--list").stdout.decode("utf-8", "replace")


@pytest.mark.parametrize("started", ["installed", "installed, logged by its short path", "copy handed the short path"])
def test_silent_run_returns_once_everything_is_removed(installation, wine, temp_before, started):
    aside_before = moved_aside(wine)
    shortened = wine.short_path(installation.uninstaller)
    assert shortened.upper() != wine.winpath(installation.uninstaller).upper()
    if started.startswith("installed"):
        if started.endswith("short path"):
            # Known by the file, not the text: still the uninstaller and its log.
            log = os.path.join(installation.app, "uninstall.log")
            with open(log, "rb") as f:
                text = f.read().decode("utf-8")
            for path in (installation.uninstaller, log):
                text = text.replace("\r\n%s\r\n" % wine.winpath(path), "\r\n%s\r\n" % wine.short_path(path))
            with open(log, "wb") as f:
                f.write(text.encode("utf-8"))
        # Looked at as soon as the first stage has ended, the copy perhaps not.
        result = wine.run('"%s" /S' % wine.winpath(installation.uninstaller))
        # The first stage's own image, moved aside, does not ask for a restart.
        assert moved_aside(wine) - aside_before
    else:
        # As a first stage started by a short path may hand it on: the log is
        # found all the same, and the uninstaller is known as itself.
        copy = os.path.join(wine.user_temp, "qxu1.tmp")
        subprocess.run(["cp", installation.uninstaller, copy], check=True)
        result = wine.run('"%s" /u %s /S' % (wine.winpath(copy), shortened), wait_all=True)
    assert result.boxes == []
    assert result.exit_code == 0
    installation.assert_all_removed()
    assert "Orvella\\uninstall.exe" not in pending_deletions(wine)


def test_a_second_run_started_together_changes_nothing_and_ends_with_1618(installation, wine):
    results = [None, None]

    def run(i):
        results[i] = installation.run(" /S")

    runs = [threading.Thread(target=run, args=(i,)) for i in range(2)]
    for t in runs:
        t.start()
    for t in runs:
        t.join()
    # The run that found the other one at work ends at once: its first stage
    # only, with no box.
    codes = sorted([code for _, code in r.processes] for r in results)
    assert codes == [[0, 0], [1618]]
    assert [r.boxes for r in results] == [[], []]
    installation.assert_all_removed()


def test_answering_no_removes_nothing(installation):
    result = installation.run(answers=[7])
    assert result.boxes == [(TITLE, PROMPT)]
    assert sorted(code for _, code in result.processes) == [0, 2]
    installation.assert_nothing_removed()


def test_silent_run_without_a_log_ends_with_its_own_code(wine):
    with wine.scratch("silent") as folder:
        path = os.path.join(folder, "uninstall.exe")
        subprocess.run(["cp", os.path.join(wine.bin, "uninstall.exe"), path], check=True)
        result = wine.run('"%s" /s' % wine.winpath(path), wait_all=True)
    assert result.boxes == []
    assert result.exit_code == 11


def test_rights_are_checked_in_a_silent_run_without_a_box(wine):
    with wine.scratch("script") as folder:
        for name in ("QXCore.dll", "qxlng.dat"):
            subprocess.run(["cp", os.path.join(wine.bin, name), folder], check=True)
        host = os.path.join(wine.build, "win", "tests", "script_host.exe")
        result = wine.run('"%s" "%s" script ISADMIN=0 SILENT=1' % (wine.winpath(host), wine.winpath(folder)))
    assert result.boxes == []
    assert result.exit_code == 3


def restart(wine):
    """Wine's own restart processing: pending deletions are carried out."""
    wine_program(wine, "wineboot", "-r")


def hold(wine, program, path, delete_sharing=False):
    """|program| (hold_file.exe or a copy of it) holding |path| open."""
    holder = subprocess.Popen(["wine", program, wine.winpath(path), "60000"] + (["delete"] if delete_sharing else []),
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    assert holder.stdout.readline().strip() == b"held"
    return holder


@pytest.mark.parametrize("silent, delete_sharing", [(True, False), (False, False), (True, True)])
def test_locked_file_waits_for_the_restart_only_where_no_user_can_redirect_it(installation, wine, silent,
                                                                             delete_sharing):
    locked = installation.logged_files[0]
    aside_before = moved_aside(wine)
    # Without the user's own file nothing of the installation is to stay.
    os.remove(installation.user_file)
    holder = hold(wine, os.path.join(wine.build, "win", "tests", "hold_file.exe"), locked, delete_sharing)
    # Deleted while held with delete sharing, its name stays: it is moved
    # aside, its folders go. Held without delete sharing, it cannot be
    # renamed either, and Wine shows every folder as its user's: it may not
    # wait where it is, so it fails, unscheduled, and keeps its folders.
    code = 3010 if delete_sharing else 17
    try:
        if silent:
            result = installation.run(" /S")
            assert [code for _, code in result.processes] == [code, code]
        else:
            result = installation.run(answers=[6, 1])
            assert result.boxes == [(TITLE, PROMPT), (TITLE, INCOMPLETE)]
            assert [code for _, code in result.processes] == [0, code]
        assert os.path.exists(locked) != delete_sharing
        assert "Orvella\\orvella.txt" not in pending_deletions(wine)
        assert os.path.exists(installation.app) != delete_sharing
    finally:
        holder.kill()
        holder.wait()
    time.sleep(0.5)
    restart(wine)
    # Only files are scheduled: a folder that held one stays, empty; the
    # file that was not scheduled stays as it was.
    left = [name for _, _, names in os.walk(installation.app) for name in names]
    assert left == ([] if delete_sharing else [os.path.basename(locked)])
    # What was moved aside went too.
    assert moved_aside(wine) <= aside_before


def test_rename_fallback_entry_is_carried_out_at_restart(wine):
    wininit = os.path.join(wine.windows_dir, "wininit.ini")
    with wine.scratch("rename") as folder:
        target = os.path.join(folder, "locked.dll")
        with open(target, "w") as f:
            f.write("x")
        for name in ("QXCore.dll", "qxlng.dat"):
            subprocess.run(["cp", os.path.join(wine.bin, name), folder], check=True)
        host = os.path.join(wine.build, "win", "tests", "script_host.exe")
        result = wine.run('"%s" "%s" rename "%s"' % (wine.winpath(host), wine.winpath(folder),
                                                     wine.winpath(target)))
        assert result.exit_code == 0
        with open(wininit, "rb") as f:
            text = f.read()
        assert text.startswith(b"[Rename]\r\nNUL=") and text.endswith(b"\r\n")
        restart(wine)
        assert not os.path.exists(target)
        assert not os.path.exists(wininit)


@pytest.mark.parametrize("value", ["1", "1\u00ad", "\u00ad1", "1\ufeff", " 1", "yes"])
def test_only_the_exact_text_1_counts_for_silent_and_isadmin(wine, value):
    exact = value == "1"
    with wine.scratch("exact") as folder:
        host = '"%s" "%s" script ' % (wine.winpath(os.path.join(wine.build, "win", "tests", "script_host.exe")),
                                       wine.winpath(folder))
        utf8 = {"LC_ALL": "C.UTF-8"}

        def run(variables, answers=()):
            # The engine deletes its data files once it has read them.
            for name in ("QXCore.dll", "qxlng.dat", "qxdlg.dat"):
                subprocess.run(["cp", os.path.join(wine.bin, name), folder], check=True)
            return wine.run(host + variables, answers=answers, env=utf8)

        # Only "1" passes the rights check: the question follows, answered No.
        admin = run('"ISADMIN=%s"' % value, answers=[7])
        assert admin.boxes == [(TITLE, PROMPT if exact else ADMIN)]
        assert admin.exit_code == (2 if exact else 3)
        # Not silent: confirmed, the progress box opens, the failed phase
        # closes it (the engine is unloaded right after) and no closing
        # message follows.
        silent = run('ISADMIN=1 "SILENT=%s"' % value, answers=[6])
        assert silent.boxes == ([] if exact else [(TITLE, PROMPT)])
        assert silent.exit_code == 3


def hand_made_installation(wine, app, entries):
    """uninstall.exe in |app| with a log of |entries| (tag, payload bytes or
    text) and, last, the uninstaller and its log; the silent command line."""
    os.makedirs(app, exist_ok=True)
    uninstaller = os.path.join(app, "uninstall.exe")
    log = os.path.join(app, "uninstall.log")
    subprocess.run(["cp", os.path.join(wine.bin, "uninstall.exe"), uninstaller], check=True)
    lines = ["[QXUninst]", "30000", TITLE, "1033", wine.winpath(app)]
    for tag, payload in entries + [("#file", wine.winpath(uninstaller)), ("#file", wine.winpath(log))]:
        lines += [tag, payload]
    with open(log, "wb") as f:
        f.write(b"".join((line if isinstance(line, bytes) else line.encode("utf-8")) + b"\r\n" for line in lines))
    return '"%s" /S' % wine.winpath(uninstaller)


def test_a_run_ended_in_the_folder_phase_has_removed_the_uninstaller_with_the_files(wine, temp_before):
    key = r"HKCU\Software\Orvella Ended Run"
    subprocess.run(["wine", "reg", "add", key, "/f"], cwd=wine.build, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True)
    try:
        with wine.scratch("ended") as folder:
            app = os.path.join(folder, "App")
            folders = [os.path.join(app, "f%02d" % i) for i in range(40)]
            for path in folders:
                os.makedirs(path)
            command = hand_made_installation(wine, app, [("#folder", wine.winpath(p)) for p in folders + [app]] +
                                             [("#regkey", "HKEY_CURRENT_USER\\Software\\Orvella Ended Run")])
            first = threading.Thread(target=wine.run, args=(command,), kwargs={"wait_all": True})
            first.start()
            deadline = time.time() + 60
            while sum(os.path.isdir(p) for p in folders) > 36 and time.time() < deadline:
                time.sleep(0.05)
            (copy,) = [os.path.basename(p) for p in copy_paths(wine)
                       if os.path.basename(os.path.dirname(p)) not in temp_before]
            wine_program(wine, "taskkill", "/f", "/im", copy)
            first.join()
            # The uninstaller and its log are the file phase's last files,
            # whatever phases follow; what the run did not reach stays.
            assert not os.path.exists(os.path.join(app, "uninstall.exe"))
            assert not os.path.exists(os.path.join(app, "uninstall.log"))
            assert any(os.path.isdir(p) for p in folders)
            assert reg_query(wine, key) is not None
    finally:
        subprocess.run(["wine", "reg", "delete", key, "/f"], cwd=wine.build, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


def test_key_trees_logged_parent_first_and_undecodable_bytes(wine, temp_before):
    vendor = "Software\\Orvella Vendor"
    for key in (vendor + "\\App\\Settings", vendor + "\\Other"):
        subprocess.run(["wine", "reg", "add", "HKCU\\" + key, "/f"], cwd=wine.build, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
    with wine.scratch("keys") as folder:
        app = os.path.join(folder, "App")
        # The byte 0xFF must not become a spelling such as "\xff", which
        # would name the file "xff1.txt" in the folder "f".
        other = os.path.join(app, "f", "xff1.txt")
        os.makedirs(os.path.dirname(other))
        with open(other, "w") as f:
            f.write("not logged\n")
        entries = [("#regkey", "HKEY_CURRENT_USER\\" + key)
                   for key in (vendor, vendor + "\\App", vendor + "\\App\\Settings")]
        entries.append(("#file", wine.winpath(os.path.join(app, "f")).encode("utf-8") + b"\xff1.txt"))
        result = wine.run(hand_made_installation(wine, app, entries), wait_all=True)
        assert [code for _, code in result.processes] == [0, 0]
        assert os.path.exists(other)
        assert reg_query(wine, "HKCU\\" + vendor + "\\App") is None
        # The unlogged subkey keeps the key that holds it.
        assert reg_query(wine, "HKCU\\" + vendor + "\\Other") is not None
    subprocess.run(["wine", "reg", "delete", "HKCU\\" + vendor, "/f"], cwd=wine.build, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def test_a_log_of_100000_character_lines_leaves_no_runtime_folder(wine, temp_before):
    with wine.scratch("long") as folder:
        app = os.path.join(folder, "App")
        path = "C:\\" + "x" * 100000
        entries = [("#file", path), ("#folder", path), ("#regkey", "HKEY_CURRENT_USER\\" + "k" * 100000),
                   ("#inikey", '"%s" S K' % path), ("#folder", wine.winpath(app))]
        result = wine.run(hand_made_installation(wine, app, entries), wait_all=True)
        assert result.exit_code == 0 and {code for _, code in result.processes} == {0}, result.lines
        assert not os.path.exists(app)
    assert [n for n in wine.temp_entries() - temp_before if RUNTIME_NAME.match(n)] == []


def test_running_program_is_moved_aside_and_its_folder_goes(wine, temp_before):
    aside_before = moved_aside(wine)
    hold_file = os.path.join(wine.build, "win", "tests", "hold_file.exe")
    with wine.scratch("mapped") as folder:
        app = os.path.join(folder, "App")
        program = os.path.join(app, "bin", "holder.exe")
        os.makedirs(os.path.dirname(program))
        subprocess.run(["cp", hold_file, program], check=True)
        outside = os.path.join(folder, "outside.txt")
        with open(outside, "w") as f:
            f.write("not logged\n")
        # A running program of the installation: its image is mapped.
        holder = hold(wine, program, outside)
        try:
            command = hand_made_installation(wine, app, [("#file", wine.winpath(program)),
                                                         ("#folder", wine.winpath(os.path.dirname(program))),
                                                         ("#folder", wine.winpath(app))])
            result = wine.run(command)
            assert result.exit_code == 3010
            assert not os.path.exists(app)
            assert os.path.exists(outside)
            # Beside the first stage's own image, which is moved aside too.
            (moved,) = [p for p in moved_aside(wine) - aside_before if filecmp.cmp(p, hold_file, shallow=False)]
            assert os.path.basename(moved) in pending_deletions(wine)
        finally:
            holder.kill()
            holder.wait()
    time.sleep(0.5)
    restart(wine)
    assert not os.path.exists(moved)


def test_run_record_names_each_entry_and_the_exit_code(wine, temp_before):
    with wine.scratch("record") as folder:
        app = os.path.join(folder, "App")
        os.makedirs(app)
        files = [os.path.join(app, name) for name in ("a.txt", "\u4e16\u754c.txt")]
        for path in files:
            with open(path, "w") as f:
                f.write("x")
        missing = os.path.join(app, "gone.txt")
        # A folder now stands where a file was logged: it cannot be removed.
        blocked = os.path.join(app, "blocked.dll")
        os.makedirs(blocked)
        record = os.path.join(folder, "run record.txt")
        command = hand_made_installation(wine, app, [("#file", wine.winpath(p)) for p in files + [missing, blocked]] +
                                         [("#folder", wine.winpath(app))])
        result = wine.run(command + ' "/log=%s"' % wine.winpath(record))
        assert os.listdir(app) == ["blocked.dll"]
        with open(record, "rb") as f:
            lines = f.read().decode("utf-8").split("\r\n")
        assert re.fullmatch(r"Uninstallation started \d{4}-\d\d-\d\d \d\d:\d\d:\d\d", lines[0])
        assert "Log " + wine.winpath(os.path.join(app, "uninstall.log")) in lines
        for path in files:
            assert "file %s: removed" % wine.winpath(path) in lines
        assert "file %s: not there" % wine.winpath(missing) in lines
        assert "file %s: failed: a folder stands at its path" % wine.winpath(blocked) in lines
        # The uninstaller and its log go last, then the folder says why it stays.
        assert lines.index("file %s: removed" % wine.winpath(os.path.join(app, "uninstall.log"))) > max(
            lines.index("file %s: removed" % wine.winpath(p)) for p in files)
        assert "folder %s: kept: it holds logged items that could not be removed" % wine.winpath(app) in lines
        assert lines[-2:] == ["Exit code 17: some logged items could not be removed", ""]
    assert result.exit_code == 17
