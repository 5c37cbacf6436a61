// QXCore.dll's interface: the one declaration of its 25 exports and the two
// callback types. The engine's definitions include this header, so the
// compiler checks each definition against it; the launcher and the tests bind
// through it. QXCore.def (the linker's list) is checked against it by the
// build.
//
// Every export is stdcall with 32-bit arguments; the 64-bit twin keeps each
// name and meaning in the platform's one calling convention, with pointers
// and handles at 64 bits and integers at 32. Text arguments are copied on
// entry; a text result belongs to the engine and stays valid until the next
// call into it.
#pragma once

#include <windows.h>

extern "C" {

// Called synchronously during the file phase of a replay, once for each file
// entry: kind 0; the file's path (the engine's, valid during the call); 1 when
// the file is gone (a missing file too), 0 when it is still there. Folders are
// not reported. The result is ignored, except for the one value that
// launcher_contract.h names for a scheduling that failed.
typedef int(WINAPI* ReplayCallback)(int kind, const wchar_t* path, int deleted);

// Called on the progress box's or the dialog's thread: event (0 built,
// 1 control used, 2 closing, 3 Enter key), the dialog window, an event value.
typedef int(WINAPI* DialogCallback)(int event, HWND dialog, int value);

// Start-up.
int WINAPI InitSFX(HMODULE module);
int WINAPI InitUninstall();

// Uninstall log: replay and the installer side.
int WINAPI PerformUninstall(int phase, ReplayCallback callback);
int WINAPI AddUninstLog(int kind, const wchar_t* text);
int WINAPI ManageUninstLog(int operation);

// Registry.
int WINAPI QXRegDeleteKey(const wchar_t* key);
int WINAPI QXRegDeleteKeysRecursive(const wchar_t* key);
int WINAPI QXRegDeleteValue(const wchar_t* key, const wchar_t* name);
int WINAPI QXRegisterServer(const wchar_t* library, int do_register, int limit_ms);

// Text: variables and expansion.
int WINAPI SetVar(const wchar_t* name, const wchar_t* value);
const wchar_t* WINAPI EvalVar(const wchar_t* text);
int WINAPI EvalVarBuf(const wchar_t* text, wchar_t* buffer, int size);
int WINAPI ReplaceVarInFile(const wchar_t* source, const wchar_t* destination, int escape);
const wchar_t* WINAPI GetSpecialDirectory(int csidl);

// Dialogs.
int WINAPI ShowProgressBox(DialogCallback callback);
int WINAPI ShowDialogBox(const wchar_t* section, DialogCallback callback);
int WINAPI AddDlgComponent(const wchar_t* name, const wchar_t* description, const wchar_t* variable, int state);
HWND WINAPI QXDlgGetDlgItem(int dialog, int control);

// Helpers.
const wchar_t* WINAPI ParamStr(int index);
const wchar_t* WINAPI QXFindString(const wchar_t* text, const wchar_t* what, int start, int match_case);
const wchar_t* WINAPI QXStringReplace(const wchar_t* text, const wchar_t* what, const wchar_t* with);
int WINAPI QXWriteDataToFile(const wchar_t* path, const wchar_t* text, int line_end);
int WINAPI QXGetFileInfo(const wchar_t* name, int kind, const wchar_t* path);
int WINAPI ExecuteProgram(const wchar_t* program, const wchar_t* parameters, const wchar_t* folder, int wait,
                          int hidden, const wchar_t* exit_code_variable);
int WINAPI CheckFileProp(wchar_t* path, int size);

}  // extern "C"

// The 25 export names, for code that binds or checks all of them by name.
#define QX_ENGINE_EXPORTS(X)                                                              \
  X(InitSFX) X(InitUninstall) X(PerformUninstall) X(AddUninstLog) X(ManageUninstLog)      \
  X(QXRegDeleteKey) X(QXRegDeleteKeysRecursive) X(QXRegDeleteValue) X(QXRegisterServer) \
  X(SetVar) X(EvalVar) X(EvalVarBuf) X(ReplaceVarInFile) X(GetSpecialDirectory)          \
  X(ShowProgressBox) X(ShowDialogBox) X(AddDlgComponent) X(QXDlgGetDlgItem)               \
  X(ParamStr) X(QXFindString) X(QXStringReplace) X(QXWriteDataToFile) X(QXGetFileInfo)   \
  X(ExecuteProgram) X(CheckFileProp)
