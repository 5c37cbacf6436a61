"""The installed uninstaller's two-stage start under Wine: the first run finds
the log beside it and restarts from a temporary copy with "/u"; the copy opens
and checks the log. Also the engine binding: a library that cannot be bound
ends the run with the runtime status."""

import os
import re
import shutil

import build_container

TITLE = "Orvella_Installation"
LOG_NOT_FOUND = "Error: uninstall log file not found."
LOG_INVALID = "Error: invalid log file."
PROMPT = 'Do you really want to uninstall the "Orvella_Installation" package?'
# A copy that opened the log runs the script: answered No, it ends with 2
# and removes nothing.
ACCEPTED = [(TITLE, PROMPT)]
NO = 7
RUNTIME_FATAL = "Fatal Error\nCannot create temporary runtime: the program will exit."
RUNTIME_NAME = re.compile(r"^qx[0-9A-Fa-f]{8}$")
COPY_NAME = re.compile(r"^qxu[0-9A-Fa-f]{1,4}\.tmp$", re.IGNORECASE)
COPY_FOLDER = re.compile(r"^qxu[0-9A-F]{8}$")


def uninstaller_path(wine):
    return os.path.join(wine.bin, "uninstall.exe")


def image_path(wine):
    """The launcher's image without a container."""
    return os.path.join(wine.build, "win", "uninstall", "uninstall_image.exe")


def header(title=TITLE, language="1033", destination="C:\\Program Files\\Orvella"):
    return ["[QXUninst]", "30000", title, language, destination]


def log_bytes(lines):
    return "".join(line + "\r\n" for line in lines).encode("utf-8")


def temp_state(wine):
    """(runtime folders, temporary copies) in the user's temporary folder."""
    names = wine.temp_entries()
    folders = {n for n in names if RUNTIME_NAME.match(n) and os.path.isdir(os.path.join(wine.user_temp, n))}
    copies = {os.path.join(n, c) for n in names if COPY_FOLDER.match(n)
              for c in os.listdir(os.path.join(wine.user_temp, n)) if COPY_NAME.match(c)}
    return folders, copies


def start(wine, log_lines=None, arguments="", uninstaller=None):
    """Installs |uninstaller| (the shipped one by default) as uninstall.exe in
    a folder whose name holds a space, with uninstall.log when |log_lines| is
    given, and runs it with |arguments|, following every process it starts.
    Returns the result, the runtime folders left behind, and the contents of
    the temporary copies it made (which are removed afterwards)."""
    folders_before, copies_before = temp_state(wine)
    with wine.scratch("startup") as scratch:
        folder = os.path.join(scratch, "Orvella App")
        os.makedirs(folder)
        path = os.path.join(folder, "uninstall.exe")
        if uninstaller is None:
            shutil.copyfile(uninstaller_path(wine), path)
        else:
            with open(path, "wb") as f:
                f.write(uninstaller)
        if log_lines is not None:
            with open(os.path.join(folder, "uninstall.log"), "wb") as f:
                f.write(log_bytes(log_lines))
        command = '"%s"' % wine.winpath(path) + (" " + arguments if arguments else "")
        result = wine.run(command, answers=[NO], cwd=scratch, wait_all=True)
        installed = open(path, "rb").read()
    assert not result.timed_out, "the run did not end: %r" % result
    folders_after, copies_after = temp_state(wine)
    copies = {}
    for name in copies_after - copies_before:
        copy = os.path.join(wine.user_temp, name)
        with open(copy, "rb") as f:
            copies[name] = f.read()
        shutil.rmtree(os.path.dirname(copy))
    return result, folders_after - folders_before, copies, installed


def check_restarted(result, copies, installed, what="", copy_code=0):
    """Two processes, the second a byte copy of the first; the first ends
    with 0, the copy with |copy_code|."""
    assert len(result.processes) == 2, "processes %r %s" % (result.processes, what)
    assert [code for _, code in result.processes] == [0, copy_code], "exit codes"
    assert result.exit_code == 0, "exit code of the installed uninstaller"
    assert len(copies) == 1, "temporary copies %r" % sorted(copies)
    assert next(iter(copies.values())) == installed, "the copy differs from the installed uninstaller"


def test_without_a_log_the_first_stage_reports_it_and_ends_with_zero(wine):
    for arguments in ("", "/U"):
        result, folders, copies, _ = start(wine, arguments=arguments)
        assert result.boxes == [(TITLE, LOG_NOT_FOUND)], "message boxes"
        assert result.exit_code == 0, "exit code"
        assert len(result.processes) == 1, "processes %r" % result.processes
        assert folders == set(), "runtime folders left behind"
        assert copies == {}, "temporary copies"


def test_with_a_log_the_copy_restarts_with_u_and_opens_the_log(wine):
    result, folders, copies, installed = start(wine, header() + ["#file", "C:\\Program Files\\Orvella\\a.txt"])
    assert result.boxes == ACCEPTED, "message boxes"
    check_restarted(result, copies, installed, copy_code=2)
    assert folders == set(), "runtime folders left behind"


def test_upper_case_u_is_an_ordinary_first_stage_parameter(wine):
    # As the second stage, "/U" would find no uninstaller path, so no log.
    result, folders, copies, installed = start(wine, header(), arguments="/U")
    assert result.boxes == ACCEPTED, "message boxes"
    check_restarted(result, copies, installed, copy_code=2)
    assert folders == set(), "runtime folders left behind"


def test_logs_that_fail_the_header_checks_are_reported_by_the_copy(wine):
    for lines in (["30000", TITLE, "1033", "C:\\Orvella"],          # no header line
                  ["QXUninst]"] + header()[1:],                       # the bracket missing
                  header(title="Another_Installation"),
                  header(title=TITLE + "_Plus"),                       # longer than the title
                  header(title="Orvella_installation_")):
        result, folders, copies, installed = start(wine, lines)
        assert result.boxes == [(TITLE, LOG_INVALID)], "message boxes for %r" % lines
        check_restarted(result, copies, installed)
        assert folders == set(), "runtime folders left behind"


def test_accepted_header_variants(wine):
    for lines in (header(title="Orvella"),                    # a leading part of the title
                  header(title="orvella_INSTALLATION"),       # without regard to case
                  header(title=""),                           # an empty title line matches any
                  ["junk", "", "#file", "C:\\x"] + header(),  # lines before the header
                  ["  [qxuninst]  trailing"] + header()[1:],  # trimmed, case-blind prefix
                  header(language="0"),
                  header(language=""),
                  header(language="abc")):
        result, folders, copies, installed = start(wine, lines)
        assert result.boxes == ACCEPTED, "message boxes for %r" % lines
        check_restarted(result, copies, installed, "for %r, copies %r" % (lines, sorted(copies)), copy_code=2)
        assert folders == set(), "runtime folders left behind"


def test_the_engine_comes_from_the_runtime_folder_only(wine):
    # A stray QXCore.dll beside the installed uninstaller, and one in the
    # temporary folder where the copy runs from, are never loaded.
    planted = os.path.join(wine.user_temp, "QXCore.dll")
    with open(planted, "wb") as f:
        f.write(b"MZ" + build_container.junk(4000))
    try:
        folders_before, copies_before = temp_state(wine)
        with wine.scratch("startup") as scratch:
            folder = os.path.join(scratch, "Orvella App")
            os.makedirs(folder)
            path = os.path.join(folder, "uninstall.exe")
            shutil.copyfile(uninstaller_path(wine), path)
            shutil.copyfile(planted, os.path.join(folder, "QXCore.dll"))
            with open(os.path.join(folder, "uninstall.log"), "wb") as f:
                f.write(log_bytes(header()))
            result = wine.run('"%s"' % wine.winpath(path), answers=[NO], cwd=folder, wait_all=True)
        folders_after, copies_after = temp_state(wine)
        for name in copies_after - copies_before:
            os.remove(os.path.join(wine.user_temp, name))
    finally:
        os.remove(planted)
    assert result.boxes == ACCEPTED, "message boxes"
    assert [code for _, code in result.processes] == [0, 2], "exit codes"
    assert folders_after - folders_before == set(), "runtime folders left behind"


def damaged_uninstaller(wine, library_bytes):
    """The shipped uninstaller with |library_bytes| as its QXCore.dll."""
    with wine.scratch("engine") as work:
        library = os.path.join(work, "QXCore.dll")
        with open(library, "wb") as f:
            f.write(library_bytes)
        archive = build_container.make_payload_archive(
            os.path.join(work, "payload"), [os.path.join(wine.bin, n) for n in ("qxdlg.dat", "qxlng.dat")],
            library)
    with open(image_path(wine), "rb") as f:
        return build_container.container(f.read(), archive)


def without_export(library, name, replacement):
    """|library| with the export |name| renamed to |replacement| (same length,
    same place in the sorted name table), so that |name| is missing."""
    old, new = b"\0" + name + b"\0", b"\0" + replacement + b"\0"
    assert library.count(old) == 1, "occurrences of %r in the engine" % name
    return library.replace(old, new)


def test_an_engine_that_cannot_be_bound_ends_with_the_runtime_status(wine):
    with open(os.path.join(wine.bin, "QXCore.dll"), "rb") as f:
        engine = f.read()
    for library in (without_export(engine, b"SetVar", b"SetVaq"),         # the first call
                    without_export(engine, b"InitSFX", b"InitSFW"),       # after the library is loaded
                    without_export(engine, b"InitUninstall", b"InitUninstalk"),
                    b"MZ" + build_container.junk(4000)):                  # not a library at all
        result, folders, copies, _ = start(wine, header(), uninstaller=damaged_uninstaller(wine, library))
        assert result.boxes == [(TITLE, RUNTIME_FATAL)], "message boxes"
        assert result.exit_code == -2, "exit code"
        assert len(result.processes) == 1, "processes %r" % result.processes
        assert folders == set(), "runtime folders left behind"
        assert copies == {}, "temporary copies"


