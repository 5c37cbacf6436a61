// Windows built from the dialog description "qxdlg.dat": the description
// loaded once, the scale factors and fonts, the control registry that maps
// (dialog, control number) to a control, and the component list.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "engine/core/dialog_description.h"
#include "engine/win/dialogs/dialog_state.h"
#include "engine/core/text.h"
#include "common/unique_resource.h"

namespace qx::engine {

// A runner's view of its dialog's messages: called first for every message
// the dialog receives; true when it handled the message, with |result| the
// dialog procedure's answer.
using DialogHook = bool (*)(void* context, HWND dialog, UINT message, WPARAM wparam, LPARAM lparam,
                            INT_PTR& result);

// A built dialog and what it owns. Destroying it destroys the window with
// its controls and then the brushes and pictures they drew with.
class DialogWindow {
 public:
  struct Control {
    HWND control;
    int32_t number;
  };
  using Controls = std::vector<Control>;

  DialogWindow() = default;
  ~DialogWindow();
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  HWND window() const { return window_.get(); }
  const Controls& controls() const { return controls_; }
  void SetHook(DialogHook hook, void* context) {
    hook_ = hook;
    hook_context_ = context;
  }

 private:
  friend class DialogBuilder;
  friend INT_PTR CALLBACK DialogProcedure(HWND, UINT, WPARAM, LPARAM);
  friend INT_PTR CALLBACK ContainerProcedure(HWND, UINT, WPARAM, LPARAM);

  // Colours a control asks its parent for (WM_CTLCOLOR*).
  struct Look {
    HWND control;
    HBRUSH background;  // null: the system's
    COLORREF background_colour;
    bool text_coloured;
    COLORREF text_colour;
  };
  const Look* FindLook(HWND control) const;
  INT_PTR Colour(HWND control, HDC dc) const;

  // The registered controls, read by the dialog's own thread.
  Controls controls_;
  UniqueModule rich_edit_;
  std::vector<UniqueGdiObject> objects_;
  std::vector<Look> looks_;
  DialogHook hook_ = nullptr;
  void* hook_context_ = nullptr;
  UniqueWindow window_;
};

// Builds the dialog of |section| on the calling thread, hidden, with no
// owner. Null when the description cannot be read, has no such section, or
// the window cannot be created.
std::unique_ptr<DialogWindow> BuildDialog(core::TextView section);

// The control number of a registered control of |dialog|, a built dialog;
// false when |control| is not one. Reads only the dialog's own list.
bool FindControlNumber(HWND dialog, HWND control, int32_t& number);
// Drops the registry's records of dialogs that no longer exist, and the
// component list with its dialog. Called on the caller's thread by the calls
// that add records, before they add them.
void DropClosedDialogs();
// The control registered as (|dialog|, |number|), or null; null too once the
// dialog no longer exists.
HWND FindControl(HWND dialog, int32_t number);

ComponentList& Components();

}  // namespace qx::engine
