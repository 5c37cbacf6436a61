"""The engine's InitUninstall under the test driver, through engine_host (a
stand-in for the launcher's engine phase): the messages of a missing or
invalid log, the exact "/u" switch, and the two-stage start followed across
the restarted copy."""

import os
import shutil

TITLE = "Orvella_Installation"
NOT_FOUND = "Error: uninstall log file not found."
INVALID = "Error: invalid log file."
VALID_LOG = b"[QXUninst]\r\n1\r\nOrvella_Installation\r\n1033\r\nC:\\Program Files\\Orvella\r\n"


def host(wine):
    return os.path.join(wine.build, "win", "tests", "engine_host.exe")


def install(wine, folder, log=None):
    """The host as an installed uninstaller, with |log| beside it (bytes, or
    "folder" for a folder of the log's name)."""
    os.makedirs(folder, exist_ok=True)
    program = os.path.join(folder, "uninst.exe")
    shutil.copyfile(host(wine), program)
    if log == "folder":
        os.makedirs(os.path.join(folder, "uninst.log"))
    elif log is not None:
        with open(os.path.join(folder, "uninst.log"), "wb") as f:
            f.write(log)
    return program


def reports(path):
    blocks = []
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            for line in f.read().splitlines():
                if line == "run":
                    blocks.append({})
                elif blocks and "=" in line:
                    key, _, value = line.partition("=")
                    blocks[-1][key] = value
    return blocks


def run_host(wine, program, arguments, report, title=None):
    env = {"QX_HOST_REPORT": wine.winpath(report)}
    if title:
        env["QX_HOST_TITLE"] = title
    command = '"%s"%s' % (wine.winpath(program), arguments)
    return wine.run(command, wait_all=True, env=env)


def copies(wine):
    """The temporary copies' folders, one for each copy."""
    return {n for n in wine.temp_entries() if n.lower().startswith("qxu")}


def test_first_stage_without_log_shows_message(wine):
    before = copies(wine)
    with wine.scratch("startup") as work:
        program = install(wine, os.path.join(work, "Orvella Files"))
        result = run_host(wine, program, "", os.path.join(work, "report.txt"))
        assert result.boxes == [(TITLE, NOT_FOUND)], "boxes"
        assert result.exit_code == -1, "exit code"
        assert len(result.processes) == 1, "processes"
    # An empty log and a folder in its place count as no log.
    for log in (b"", "folder"):
        with wine.scratch("startup") as work:
            program = install(wine, os.path.join(work, "app"), log)
            result = run_host(wine, program, " extra", os.path.join(work, "report.txt"), title="Other Title")
            assert result.boxes == [("Other Title", NOT_FOUND)], "boxes for %r" % (log,)
            assert result.exit_code == -1, "exit code for %r" % (log,)
    assert copies(wine) - before == set(), "copies left in the temporary folder"


def test_upper_case_switch_stays_in_first_stage(wine):
    with wine.scratch("startup") as work:
        program = install(wine, os.path.join(work, "app"))
        arguments = ' /U "%s"' % wine.winpath(program)
        result = run_host(wine, program, arguments, os.path.join(work, "report.txt"))
        # The second stage would answer -3 for the same missing log.
        assert result.exit_code == -1, "exit code"
        assert result.boxes == [(TITLE, NOT_FOUND)], "boxes"


def test_second_stage_failures_and_their_messages(wine):
    cases = [
        (None, -3, NOT_FOUND),
        (b"", -3, NOT_FOUND),
        ("folder", -3, NOT_FOUND),
        (b"junk\r\n[QXUnins]\r\n1\r\nOrvella_Installation\r\n", -4, INVALID),
        (b"[QXUninst]\r\n1\r\nAnother Package\r\n1033\r\nC:\\x\r\n", -5, INVALID),
        (b"[QXUninst]\r\n1\r\nOrvella_Installation_2\r\n1033\r\nC:\\x\r\n", -5, INVALID),
        (b"[QXUninst]\r\n1\r\n", -5, INVALID),
    ]
    for log, code, text in cases:
        with wine.scratch("startup") as work:
            folder = os.path.join(work, "app")
            install(wine, folder, log)
            installed = os.path.join(folder, "uninst.exe")
            report = os.path.join(work, "report.txt")
            result = run_host(wine, host(wine), ' /u "%s"' % wine.winpath(installed), report)
            what = "log %r" % (log,)
            assert result.exit_code == code, what
            assert result.boxes == [(TITLE, text)], what
            blocks = reports(report)
            assert len(blocks) == 1, what
            assert blocks[0]["UNINSTEXE"] == wine.winpath(installed), what


def test_second_stage_title_prefix_and_language_without_messages(wine):
    for title_line, language_line, language in ((b"orvella", b"0", "1033"), (b"", b"", "1033"),
                                                (b"Orvella_Installation", b"1031", "1031")):
        with wine.scratch("startup") as work:
            log = b"header junk\r\n[QXUninst]\r\n1\r\n" + title_line + b"\r\n" + language_line + b"\r\nD:\\Orvella\r\n"
            installed = install(wine, os.path.join(work, "app"), log)
            report = os.path.join(work, "report.txt")
            result = run_host(wine, host(wine), ' /u "%s"' % wine.winpath(installed), report)
            what = "title %r language %r" % (title_line, language_line)
            assert result.boxes == [], what
            assert result.exit_code == 1, what
            block = reports(report)[0]
            assert block["QXLANGID"] == language, what
            assert block["DESTPATH"] == "D:\\Orvella", what


def test_two_stage_start_from_a_folder_with_spaces(wine):
    before = copies(wine)
    with wine.scratch("startup") as work:
        program = install(wine, os.path.join(work, "Jane Doe", "Orvella App"), VALID_LOG)
        report = os.path.join(work, "report.txt")
        result = run_host(wine, program, "", report)
        assert result.boxes == [], "boxes"
        assert result.exit_code == 0, "first stage"
        assert sorted(code for _, code in result.processes) == [0, 1], "both stages"
        first, copy = reports(report)
        assert first["result"] == "0", "first stage report"
        assert copy["UNINSTEXE"] == wine.winpath(program), "installed program"
        assert os.path.basename(copy["self"].replace("\\", "/")).lower().startswith("qxu"), copy["self"]
        assert copy["cmdline"].endswith(' /u "%s" ' % wine.winpath(program)), copy["cmdline"]
        assert copy["DESTPATH"] == "C:\\Program Files\\Orvella", "DESTPATH"
    made = copies(wine) - before
    assert len(made) == 1, "one temporary copy"
    for name in made:
        shutil.rmtree(os.path.join(wine.user_temp, name))


