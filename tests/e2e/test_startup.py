"""The installed uninstaller's two-stage start under Wine: the first run finds
the log beside it and restarts from a temporary copy with "/u"; the copy opens
and checks the log. Also the engine binding: QXCore.dll is a delayed import,
and a library that cannot be bound ends the run with the runtime status."""

import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

sys.path.insert(0, os.path.join(harness.TOP, "package"))
import build_container  # noqa: E402

TITLE = "Orvella_Installation"
LOG_NOT_FOUND = "Error: uninstall log file not found."
LOG_INVALID = "Error: invalid log file."
RUNTIME_FATAL = "Fatal Error\nCannot create temporary runtime: the program will exit."
UNINSTALLER = os.path.join(harness.BIN, "uninstall.exe")
IMAGE = os.path.join(harness.BUILD, "win", "uninstall", "uninstall_image.exe")
ENGINE_NAMES = ["QXDlgGetDlgItem", "SetVar", "EvalVar", "EvalVarBuf", "ShowProgressBox",
                "PerformUninstall", "AddUninstLog", "InitSFX", "InitUninstall"]
RUNTIME_NAME = re.compile(r"^qx[0-9A-Fa-f]{8}$")
COPY_NAME = re.compile(r"^qxu[0-9A-Fa-f]{1,4}\.tmp$", re.IGNORECASE)


def header(title=TITLE, language="1033", destination="C:\\Program Files\\Orvella"):
    return ["[QXUninst]", "30000", title, language, destination]


def log_bytes(lines):
    return "".join(line + "\r\n" for line in lines).encode("utf-8")


def temp_state():
    """(runtime folders, temporary copies) in the user's temporary folder."""
    names = harness.temp_entries()
    folders = {n for n in names if RUNTIME_NAME.match(n) and os.path.isdir(os.path.join(harness.USER_TEMP, n))}
    copies = {n for n in names if COPY_NAME.match(n)}
    return folders, copies


def start(log_lines=None, arguments="", uninstaller=None):
    """Installs |uninstaller| (the shipped one by default) as uninstall.exe in
    a folder whose name holds a space, with uninstall.log when |log_lines| is
    given, and runs it with |arguments|, following every process it starts.
    Returns the result, the runtime folders left behind, and the contents of
    the temporary copies it made (which are removed afterwards)."""
    folders_before, copies_before = temp_state()
    with harness.Scratch("startup") as scratch:
        folder = os.path.join(scratch, "Orvella App")
        os.makedirs(folder)
        path = os.path.join(folder, "uninstall.exe")
        if uninstaller is None:
            shutil.copyfile(UNINSTALLER, path)
        else:
            with open(path, "wb") as f:
                f.write(uninstaller)
        if log_lines is not None:
            with open(os.path.join(folder, "uninstall.log"), "wb") as f:
                f.write(log_bytes(log_lines))
        command = '"%s"' % harness.winpath(path) + (" " + arguments if arguments else "")
        result = harness.run(command, cwd=scratch, wait_all=True)
        installed = open(path, "rb").read()
    harness.check(not result.timed_out, "the run did not end: %r" % result)
    folders_after, copies_after = temp_state()
    copies = {}
    for name in copies_after - copies_before:
        copy = os.path.join(harness.USER_TEMP, name)
        with open(copy, "rb") as f:
            copies[name] = f.read()
        os.remove(copy)
    return result, folders_after - folders_before, copies, installed


def check_restarted(result, copies, installed, what=""):
    """Two processes, both ending with 0, the second a byte copy of the first."""
    harness.check_eq(len(result.processes), 2, "processes %r %s" % (result.processes, what))
    harness.check_eq([code for _, code in result.processes], [0, 0], "exit codes")
    harness.check_eq(result.exit_code, 0, "exit code of the installed uninstaller")
    harness.check_eq(len(copies), 1, "temporary copies %r" % sorted(copies))
    harness.check(next(iter(copies.values())) == installed, "the copy differs from the installed uninstaller")


@harness.case
def engine_is_a_delayed_import_holding_all_nine_names():
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", UNINSTALLER], stdout=subprocess.PIPE,
                          check=True).stdout.decode("utf-8", "replace")
    imported = [line.split(":", 1)[1].strip().lower() for line in dump.splitlines() if "DLL Name:" in line]
    harness.check("kernel32.dll" in imported, "import table not read: %r" % imported)
    harness.check("qxcore.dll" not in imported, "QXCore.dll is a normal import: %r" % imported)
    with open(UNINSTALLER, "rb") as f:
        image = f.read()[:build_container.image_end(open(IMAGE, "rb").read())]
    harness.check(b"QXCore.dll\0" in image, "the delayed import does not name QXCore.dll")
    for name in ENGINE_NAMES:
        harness.check(b"\0" + name.encode() + b"\0" in image, "the image does not import %s" % name)


@harness.case
def without_a_log_the_first_stage_reports_it_and_ends_with_zero():
    for arguments in ("", "/U"):
        result, folders, copies, _ = start(arguments=arguments)
        harness.check_eq(result.boxes, [(TITLE, LOG_NOT_FOUND)], "message boxes")
        harness.check_eq(result.exit_code, 0, "exit code")
        harness.check_eq(len(result.processes), 1, "processes %r" % result.processes)
        harness.check_eq(folders, set(), "runtime folders left behind")
        harness.check_eq(copies, {}, "temporary copies")


@harness.case
def with_a_log_the_copy_restarts_with_u_and_opens_the_log():
    result, folders, copies, installed = start(header() + ["#file", "C:\\Program Files\\Orvella\\a.txt"])
    harness.check_eq(result.boxes, [], "message boxes")
    check_restarted(result, copies, installed)
    harness.check_eq(folders, set(), "runtime folders left behind")


@harness.case
def upper_case_u_is_an_ordinary_first_stage_parameter():
    # As the second stage, "/U" would find no uninstaller path, so no log.
    result, folders, copies, installed = start(header(), arguments="/U")
    harness.check_eq(result.boxes, [], "message boxes")
    check_restarted(result, copies, installed)
    harness.check_eq(folders, set(), "runtime folders left behind")


@harness.case
def logs_that_fail_the_header_checks_are_reported_by_the_copy():
    for lines in (["30000", TITLE, "1033", "C:\\Orvella"],          # no header line
                  ["QXUninst]"] + header()[1:],                       # the bracket missing
                  header(title="Another_Installation"),
                  header(title=TITLE + "_Plus"),                       # longer than the title
                  header(title="Orvella_installation_")):
        result, folders, copies, installed = start(lines)
        harness.check_eq(result.boxes, [(TITLE, LOG_INVALID)], "message boxes for %r" % lines)
        check_restarted(result, copies, installed)
        harness.check_eq(folders, set(), "runtime folders left behind")


@harness.case
def accepted_header_variants():
    for lines in (header(title="Orvella"),                    # a leading part of the title
                  header(title="orvella_INSTALLATION"),       # without regard to case
                  header(title=""),                           # an empty title line matches any
                  ["junk", "", "#file", "C:\\x"] + header(),  # lines before the header
                  ["  [qxuninst]  trailing"] + header()[1:],  # trimmed, case-blind prefix
                  header(language="0"),
                  header(language=""),
                  header(language="abc")):
        result, folders, copies, installed = start(lines)
        harness.check_eq(result.boxes, [], "message boxes for %r" % lines)
        check_restarted(result, copies, installed, "for %r, copies %r" % (lines, sorted(copies)))
        harness.check_eq(folders, set(), "runtime folders left behind")


@harness.case
def the_engine_comes_from_the_runtime_folder_only():
    # A stray QXCore.dll beside the installed uninstaller, and one in the
    # temporary folder where the copy runs from, are never loaded.
    planted = os.path.join(harness.USER_TEMP, "QXCore.dll")
    with open(planted, "wb") as f:
        f.write(b"MZ" + build_container.junk(4000))
    try:
        folders_before, copies_before = temp_state()
        with harness.Scratch("startup") as scratch:
            folder = os.path.join(scratch, "Orvella App")
            os.makedirs(folder)
            path = os.path.join(folder, "uninstall.exe")
            shutil.copyfile(UNINSTALLER, path)
            shutil.copyfile(planted, os.path.join(folder, "QXCore.dll"))
            with open(os.path.join(folder, "uninstall.log"), "wb") as f:
                f.write(log_bytes(header()))
            result = harness.run('"%s"' % harness.winpath(path), cwd=folder, wait_all=True)
        folders_after, copies_after = temp_state()
        for name in copies_after - copies_before:
            os.remove(os.path.join(harness.USER_TEMP, name))
    finally:
        os.remove(planted)
    harness.check_eq(result.boxes, [], "message boxes")
    harness.check_eq([code for _, code in result.processes], [0, 0], "exit codes")
    harness.check_eq(folders_after - folders_before, set(), "runtime folders left behind")


def damaged_uninstaller(library_bytes):
    """The shipped uninstaller with |library_bytes| as its QXCore.dll."""
    with harness.Scratch("engine") as work:
        library = os.path.join(work, "QXCore.dll")
        with open(library, "wb") as f:
            f.write(library_bytes)
        archive = build_container.make_payload_archive(
            os.path.join(work, "payload"), [os.path.join(harness.BIN, n) for n in ("qxdlg.dat", "qxlng.dat")],
            library)
    with open(IMAGE, "rb") as f:
        return build_container.container(f.read(), archive)


def without_export(library, name, replacement):
    """|library| with the export |name| renamed to |replacement| (same length,
    same place in the sorted name table), so that |name| is missing."""
    old, new = b"\0" + name + b"\0", b"\0" + replacement + b"\0"
    harness.check_eq(library.count(old), 1, "occurrences of %r in the engine" % name)
    return library.replace(old, new)


@harness.case
def an_engine_that_cannot_be_bound_ends_with_the_runtime_status():
    with open(os.path.join(harness.BIN, "QXCore.dll"), "rb") as f:
        engine = f.read()
    for library in (without_export(engine, b"SetVar", b"SetVaq"),         # the first call
                    without_export(engine, b"InitSFX", b"InitSFW"),       # after the library is loaded
                    without_export(engine, b"InitUninstall", b"InitUninstalk"),
                    b"MZ" + build_container.junk(4000)):                  # not a library at all
        result, folders, copies, _ = start(header(), uninstaller=damaged_uninstaller(library))
        harness.check_eq(result.boxes, [(TITLE, RUNTIME_FATAL)], "message boxes")
        harness.check_eq(result.exit_code, -2, "exit code")
        harness.check_eq(len(result.processes), 1, "processes %r" % result.processes)
        harness.check_eq(folders, set(), "runtime folders left behind")
        harness.check_eq(copies, {}, "temporary copies")


harness.main()
