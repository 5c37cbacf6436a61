// The package's uninstall script, run by the launcher when the engine has
// opened a valid log (InitUninstall returned 1): rights, confirmation,
// progress box, the five replay phases, the desktop shortcut and the closing
// message.
#pragma once

#include <windows.h>

#include "uninstall/exit_codes.h"

namespace qx {

// Returns how the script ended; a completed one leaves EXITCODE's value and
// what the replay left (restart needed, items not removed) in |facts|.
ScriptEnd RunUninstallScript(RunFacts& facts);

// Whether this run is silent: SILENT expands to exactly "1" (asked anew at
// each use, as the variable may change).
bool IsSilent();

// Shows the expansion of |references| in a box without owner under the
// package title, laid out for the engine's current language (its
// right-to-left flag, contract::kRightToLeft); returns the answer.
int ShowLanguageBox(const wchar_t* references, UINT style);

// EXITCODE's text as a number: leading blanks and one sign, digits up to the
// first other character, all bits set when the value passes 32 bits.
int ExitCodeValue(const wchar_t* text);

// The engine's callbacks: the progress box's controls once it is built, and
// files the replay could not delete.
int WINAPI ProgressBoxCallback(int event, HWND dialog, int value);
int WINAPI ReplayCallback(int kind, const wchar_t* path, int deleted);

}  // namespace qx
