// Dialog exports: the progress box, modal dialogs, their component list and
// the lookup of a dialog's controls by number. The state they share (the
// description, fonts, control registry, component list) is the engine's
// DialogState; the builder is dialog_builder.cpp, the runs dialog_runs.cpp.
#include "engine/include/qxcore.h"

#include "engine/win/dialogs/dialog_builder.h"
#include "engine/win/dialogs/dialog_runs.h"
#include "engine/win/platform/export_support.h"
#include "engine/win/platform/wide.h"

using qx::engine::FromWide;
using qx::engine::Guarded;

extern "C" {

int WINAPI ShowProgressBox(DialogCallback callback) {
  return Guarded(0, [&] {
    qx::engine::DropClosedDialogs();
    qx::engine::ShowProgressBoxOnThread(callback);
    return 0;
  });
}

int WINAPI ShowDialogBox(const wchar_t* section, DialogCallback callback) {
  return Guarded(4, [&] {
    qx::engine::DropClosedDialogs();
    return qx::engine::RunDialogBox(FromWide(section), callback);
  });
}

int WINAPI AddDlgComponent(const wchar_t* name, const wchar_t* description, const wchar_t* variable, int state) {
  return Guarded(0, [&] {
    qx::engine::AddComponent(FromWide(name), FromWide(description), FromWide(variable), state);
    return 0;
  });
}

HWND WINAPI QXDlgGetDlgItem(int dialog, int control) {
  return Guarded<HWND>(nullptr, [&] {
    return qx::engine::FindControl(reinterpret_cast<HWND>(static_cast<INT_PTR>(dialog)), control);
  });
}

}  // extern "C"
