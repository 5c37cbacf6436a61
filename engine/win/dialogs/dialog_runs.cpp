#include "engine/win/dialogs/dialog_runs.h"

#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>

#include <memory>
#include <string>

#include "engine/win/dialogs/dialog_builder.h"
#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/shared_variables.h"
#include "engine/win/platform/export_support.h"
#include "engine/win/platform/system_library.h"
#include "common/unique_resource.h"
#include "engine/win/platform/wide.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace qx::engine {

namespace {

constexpr SIZE_T kProgressStack = 4096;
// Links are read into a bounded buffer; no shell verb takes a longer one.
constexpr LONG kLongestLink = 4096;

enum Event { kBuilt = 0, kControlUsed = 1, kClosing = 2, kEnterKey = 3 };

// Set by the first close request and never cleared: a later progress box in
// the same process then closes from its close box too.
bool g_close_requested = false;

struct Run {
  DialogCallback callback;
  bool modal;
  bool done = false;
  int result = 0;
  bool accelerators_hidden = false;
};

int Notify(const Run& run, Event event, HWND dialog, int value) {
  return run.callback ? run.callback(event, dialog, value) : 0;
}

void End(Run& run, HWND dialog, int result) {
  if (run.done) return;
  run.done = true;
  run.result = result;
  // Wakes the loop when this came from a sent message.
  PostMessageW(dialog, WM_NULL, 0, 0);
}

// The control a message reports as used: a click of a button of any kind,
// or a click in a list.
HWND UsedControl(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED) return reinterpret_cast<HWND>(lparam);
  if (message == WM_NOTIFY) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lparam);
    if (header->code == static_cast<UINT>(NM_CLICK)) return header->hwndFrom;
  }
  return nullptr;
}

// A row's variable is written under its reference text as the store key,
// unexpanded: "%NAME%" sets NAME, a reference without percent signs a key that
// no expansion reads.
void SetComponentVariable(core::TextView reference, core::TextView value) {
  Engine().text.SetStoreEntry(reference, value);
}

void ToggleSelectedComponent() {
  ComponentList& components = Components();
  const int row = static_cast<int>(SendMessageW(components.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (row < 0 || static_cast<size_t>(row) >= components.references.size()) return;
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  if (!SendMessageW(components.list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) || item.iImage == 2) return;
  item.iImage = item.iImage == 0 ? 1 : 0;
  SendMessageW(components.list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  SetComponentVariable(components.references[row], item.iImage ? u"1" : u"0");
}

void OpenLink(HWND dialog, const ENLINK& link) {
  if (link.msg != WM_LBUTTONDOWN) return;
  LONG length = link.chrg.cpMax - link.chrg.cpMin;
  if (length <= 0) return;
  if (length > kLongestLink) length = kLongestLink;
  core::Text text(static_cast<size_t>(length) + 1, u'\0');
  TEXTRANGEW range{{link.chrg.cpMin, link.chrg.cpMin + length}, WideOf(text)};
  const LRESULT got = SendMessageW(link.nmhdr.hwndFrom, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
  if (got <= 0) return;
  text[static_cast<size_t>(got < length ? got : length)] = u'\0';
  if (auto open = SystemFunctionAs<decltype(&ShellExecuteW)>(Late().shell, L"shell32.dll", "ShellExecuteW"))
    open(dialog, L"open", WideOf(text), nullptr, nullptr, SW_SHOWNORMAL);
}

bool RunHook(void* context, HWND dialog, UINT message, WPARAM wparam, LPARAM lparam, INT_PTR&) {
  Run& run = *static_cast<Run*>(context);
  if (HWND control = UsedControl(message, wparam, lparam)) {
    if (run.modal && control == Components().list) ToggleSelectedComponent();
    int32_t number = 0;
    if (FindControlNumber(dialog, control, number)) {
      const int result = Notify(run, kControlUsed, dialog, number);
      if (result) End(run, dialog, result);
    }
    return false;
  }
  switch (message) {
    case WM_CLOSE:
      // Kept from the dialog manager, which would turn it into IDCANCEL.
      if (run.modal) End(run, dialog, 2);
      else if (g_close_requested) End(run, dialog, 0);
      return true;
    case contract::kProgressClose:
      if (!run.modal) {
        g_close_requested = true;
        PostMessageW(dialog, WM_CLOSE, 0, 0);
      }
      return false;
    case WM_ENTERMENULOOP:
      if (run.modal) {
        run.accelerators_hidden = SendMessageW(dialog, WM_QUERYUISTATE, 0, 0) & UISF_HIDEACCEL;
        if (run.accelerators_hidden)
          SendMessageW(dialog, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEACCEL), 0);
      }
      return false;
    case WM_EXITMENULOOP:
      if (run.modal && run.accelerators_hidden)
        SendMessageW(dialog, WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEACCEL), 0);
      return false;
    case WM_NOTIFY:
      if (run.modal && reinterpret_cast<const NMHDR*>(lparam)->code == EN_LINK)
        OpenLink(dialog, *reinterpret_cast<const ENLINK*>(lparam));
      return false;
  }
  return false;
}

bool IsEnterKey(const MSG& message, HWND dialog) {
  return message.message == WM_KEYDOWN && message.wParam == VK_RETURN &&
         (message.hwnd == dialog || IsChild(dialog, message.hwnd));
}

void RunLoop(Run& run, HWND dialog) {
  MSG message;
  while (!run.done) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      // A quit request belongs to the thread's outer loop.
      if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
      End(run, dialog, run.modal ? 2 : 0);
      break;
    }
    if (run.modal && IsEnterKey(message, dialog)) {
      const int result = Notify(run, kEnterKey, dialog, 0);
      if (result) End(run, dialog, result);
      continue;
    }
    if (!IsDialogMessageW(dialog, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

struct ProgressStart {
  DialogCallback callback;
  HANDLE ready;
};

// Event 0, the window shown (|shown| runs then), its messages until it
// closes, event 2.
template <typename Shown>
void RunBuiltDialog(DialogWindow& built, Run& run, Shown shown) {
  HWND dialog = built.window();
  built.SetHook(&RunHook, &run);
  Notify(run, kBuilt, dialog, 0);
  ShowWindow(dialog, SW_SHOW);
  shown(dialog);
  RunLoop(run, dialog);
  built.SetHook(nullptr, nullptr);
  Notify(run, kClosing, dialog, run.result);
}

void RunProgressBox(DialogCallback callback, HANDLE ready) {
  std::unique_ptr<DialogWindow> box = BuildDialog(u"dlgprogress");
  if (!box) {
    SetEvent(ready);
    return;
  }
  Run run{callback, false};
  // The starter's frame, and |ready| with it, may go once the box shows.
  RunBuiltDialog(*box, run, [ready](HWND) { SetEvent(ready); });
}

DWORD WINAPI ProgressThread(void* parameter) {
  const ProgressStart start = *static_cast<const ProgressStart*>(parameter);
  Guarded(0, [&] {
    RunProgressBox(start.callback, start.ready);
    return 0;
  });
  // Drops the reference the starter took, so the library is not unloaded
  // under the box's code.
  FreeLibraryAndExitThread(reinterpret_cast<HMODULE>(&__ImageBase), 0);
}

}  // namespace

void ShowProgressBoxOnThread(DialogCallback callback) {
  UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HMODULE self = nullptr;
  if (!ready || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                    reinterpret_cast<LPCWSTR>(&ProgressThread), &self))
    return;
  ProgressStart start{callback, ready.get()};
  UniqueHandle thread(CreateThread(nullptr, kProgressStack, &ProgressThread, &start, 0, nullptr));
  if (!thread) {
    FreeLibrary(self);
    return;
  }
  // Messages sent to this thread's windows while the box is built are
  // handled, so a callback that sends one cannot stall both threads.
  const HANDLE waits[] = {ready.get(), thread.get()};
  while (MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 2) {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

int RunDialogBox(core::TextView section, DialogCallback callback) {
  Components() = ComponentList{};
  std::unique_ptr<DialogWindow> built = BuildDialog(section);
  if (!built) {
    core::Text text(u"Dialog box not created: ");
    text += section;
    MessageBoxW(nullptr, WideOf(text), WideOf(Expand(ReferenceOf(contract::kAppTitle))), MB_OK);
    return 4;
  }
  Run run{callback, true};
  RunBuiltDialog(*built, run, [](HWND dialog) { SetForegroundWindow(dialog); });
  built.reset();
  DropClosedDialogs();
  return run.result;
}

void AddComponent(core::TextView name, core::TextView description, core::TextView reference, int state) {
  ComponentList& components = Components();
  if (!components.list || !IsWindow(components.list)) return;
  const int row_state = state == 2 ? 2 : (Expand(reference) == u"1" ? 1 : 0);
  core::Text first(name);
  core::Text second(description);
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE;
  item.iItem = static_cast<int>(SendMessageW(components.list, LVM_GETITEMCOUNT, 0, 0));
  item.pszText = WideOf(first);
  item.iImage = row_state;
  const int row = static_cast<int>(SendMessageW(components.list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  if (row < 0) return;
  item.iSubItem = 1;
  item.pszText = WideOf(second);
  SendMessageW(components.list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  while (components.references.size() <= static_cast<size_t>(row)) components.references.push_back(core::Text());
  components.references[row] = core::Text(reference);
}

}  // namespace qx::engine
