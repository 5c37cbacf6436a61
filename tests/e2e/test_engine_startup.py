"""The engine's InitUninstall under the test driver, through engine_host (a
stand-in for the launcher's engine phase): the messages of a missing or
invalid log, the exact "/u" switch, and the two-stage start followed across
the restarted copy."""

import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

HOST = os.path.join(harness.BUILD, "win", "tests", "engine_host.exe")
TITLE = "Orvella_Installation"
NOT_FOUND = "Error: uninstall log file not found."
INVALID = "Error: invalid log file."
VALID_LOG = b"[QXUninst]\r\n1\r\nOrvella_Installation\r\n1033\r\nC:\\Program Files\\Orvella\r\n"


def install(folder, log=None):
    """The host as an installed uninstaller, with |log| beside it (bytes, or
    "folder" for a folder of the log's name)."""
    os.makedirs(folder, exist_ok=True)
    program = os.path.join(folder, "uninst.exe")
    shutil.copyfile(HOST, program)
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


def run_host(program, arguments, report, title=None):
    env = {"QX_HOST_REPORT": harness.winpath(report)}
    if title:
        env["QX_HOST_TITLE"] = title
    command = '"%s"%s' % (harness.winpath(program), arguments)
    return harness.run(command, wait_all=True, env=env)


def copies():
    return {n for n in harness.temp_entries() if n.lower().startswith("qxu")}


@harness.case
def first_stage_without_log_shows_message():
    before = copies()
    with harness.Scratch("startup") as work:
        program = install(os.path.join(work, "Orvella Files"))
        result = run_host(program, "", os.path.join(work, "report.txt"))
        harness.check_eq(result.boxes, [(TITLE, NOT_FOUND)], "boxes")
        harness.check_eq(result.exit_code, -1, "exit code")
        harness.check_eq(len(result.processes), 1, "processes")
    # An empty log and a folder in its place count as no log.
    for log in (b"", "folder"):
        with harness.Scratch("startup") as work:
            program = install(os.path.join(work, "app"), log)
            result = run_host(program, " extra", os.path.join(work, "report.txt"), title="Other Title")
            harness.check_eq(result.boxes, [("Other Title", NOT_FOUND)], "boxes for %r" % (log,))
            harness.check_eq(result.exit_code, -1, "exit code for %r" % (log,))
    harness.check_eq(copies() - before, set(), "copies left in the temporary folder")


@harness.case
def upper_case_switch_stays_in_first_stage():
    with harness.Scratch("startup") as work:
        program = install(os.path.join(work, "app"))
        arguments = ' /U "%s"' % harness.winpath(program)
        result = run_host(program, arguments, os.path.join(work, "report.txt"))
        # The second stage would answer -3 for the same missing log.
        harness.check_eq(result.exit_code, -1, "exit code")
        harness.check_eq(result.boxes, [(TITLE, NOT_FOUND)], "boxes")


@harness.case
def second_stage_failures_and_their_messages():
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
        with harness.Scratch("startup") as work:
            folder = os.path.join(work, "app")
            install(folder, log)
            installed = os.path.join(folder, "uninst.exe")
            report = os.path.join(work, "report.txt")
            result = run_host(HOST, ' /u "%s"' % harness.winpath(installed), report)
            what = "log %r" % (log,)
            harness.check_eq(result.exit_code, code, what)
            harness.check_eq(result.boxes, [(TITLE, text)], what)
            blocks = reports(report)
            harness.check_eq(len(blocks), 1, what)
            harness.check_eq(blocks[0]["UNINSTEXE"], harness.winpath(installed), what)


@harness.case
def second_stage_title_prefix_and_language_without_messages():
    for title_line, language_line, language in ((b"orvella", b"0", "1033"), (b"", b"", "1033"),
                                                (b"Orvella_Installation", b"1031", "1031")):
        with harness.Scratch("startup") as work:
            log = b"header junk\r\n[QXUninst]\r\n1\r\n" + title_line + b"\r\n" + language_line + b"\r\nD:\\Orvella\r\n"
            installed = install(os.path.join(work, "app"), log)
            report = os.path.join(work, "report.txt")
            result = run_host(HOST, ' /u "%s"' % harness.winpath(installed), report)
            what = "title %r language %r" % (title_line, language_line)
            harness.check_eq(result.boxes, [], what)
            harness.check_eq(result.exit_code, 1, what)
            block = reports(report)[0]
            harness.check_eq(block["QXLANGID"], language, what)
            harness.check_eq(block["DESTPATH"], "D:\\Orvella", what)


@harness.case
def two_stage_start_from_a_folder_with_spaces():
    before = copies()
    with harness.Scratch("startup") as work:
        program = install(os.path.join(work, "Jane Doe", "Orvella App"), VALID_LOG)
        report = os.path.join(work, "report.txt")
        result = run_host(program, "", report)
        harness.check_eq(result.boxes, [], "boxes")
        harness.check_eq(result.exit_code, 0, "first stage")
        harness.check_eq(sorted(code for _, code in result.processes), [0, 1], "both stages")
        first, copy = reports(report)
        harness.check_eq(first["result"], "0", "first stage report")
        harness.check_eq(copy["UNINSTEXE"], harness.winpath(program), "installed program")
        harness.check(os.path.basename(copy["self"].replace("\\", "/")).lower().startswith("qxu"), copy["self"])
        harness.check(copy["cmdline"].endswith(' /u "%s" ' % harness.winpath(program)), copy["cmdline"])
        harness.check_eq(copy["DESTPATH"], "C:\\Program Files\\Orvella", "DESTPATH")
    made = copies() - before
    harness.check_eq(len(made), 1, "one temporary copy")
    for name in made:
        os.remove(os.path.join(harness.USER_TEMP, name))


harness.main()
