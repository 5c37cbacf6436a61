// Deleting a file at the next restart: the platform's delayed move, or, where
// that is missing or refuses, a "NUL=" line in the "[Rename]" section of the
// Windows folder's restart-rename file. Silent, but the caller learns
// whether the file is scheduled.
#pragma once

#include <windows.h>

#include <cstddef>

namespace qx {

// Only an existing file or (empty) folder is scheduled, none whose path
// passes through a link and none on a remote volume; folders get the delayed
// move only. True when the
// deletion is scheduled.
bool ScheduleDeleteAtRestart(const wchar_t* path);

// The temporary copy |path| and then its own folder, made for it with the
// protected list: whatever the restart deletes there nobody else can have
// put or linked. True when both are scheduled.
bool ScheduleCopyAtRestart(const wchar_t* path);

// The ended process |copy| did not finish: it scheduled nothing. Its file
// and folder are deleted now, or scheduled when they cannot be.
void RemoveUnfinishedCopy(HANDLE copy);

// The fallback on its own: adds "NUL=<short path>" to "%WIN%\wininit.ini".
// True when the line was written.
bool AddRenameSectionEntry(const wchar_t* path);

// Adds |line| to the "[Rename]" section of the restart-rename file at |file|
// (created when missing); the file only grows. False when nothing was
// written.
bool AddRenameLine(const wchar_t* file, const char* line, size_t length);

// Position of the first case-insensitive match of |pattern| in the |length|
// bytes of |text| (in the ANSI code page, double-byte characters stepped over
// whole), starting at |from|; |length| when there is none.
size_t FindTextNoCase(const char* text, size_t length, const char* pattern, size_t from = 0);

// Opens |path| with its present attributes (none when it does not exist),
// shared for reading.
HANDLE OpenFileKeepAttributes(const wchar_t* path, DWORD access, DWORD disposition);

}  // namespace qx
