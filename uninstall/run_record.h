// The launcher's part of the run record that "/LOG=path" asks for: the
// opening lines (start time, command line, versions, user, elevation) and
// the closing line (end time, exit code and its meaning). The copy's engine
// writes the replay's lines in between. A record that cannot be written
// does not stop the run.
#pragma once

#include "uninstall/exit_codes.h"
#include "uninstall/paths.h"

namespace qx {

// |given| made a full path against the current folder (the caller's, at
// start) into |full|. False when there is none or it does not fit.
bool ResolveRecordPath(const wchar_t* given, PathBuffer& full);

// False when |record| must not be written: it names the uninstall log of
// |installed_uninstaller|, that uninstaller, the running program
// |launcher_path|, a folder, a link (any reparse point, not followed) or a
// file with more than one name. Decided on the files themselves.
bool IsAcceptableRecord(const wchar_t* record, const wchar_t* installed_uninstaller, const wchar_t* launcher_path);

// Creates |record| anew (an existing one is deleted first, never followed)
// with the opening lines.
void StartRunRecord(const wchar_t* record, const wchar_t* launcher_path);

// Appends the end time and the exit code with its meaning.
void EndRunRecord(const wchar_t* record, const ExitDecision& exit);

}  // namespace qx
