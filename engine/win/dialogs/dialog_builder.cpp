#include "engine/win/dialogs/dialog_builder.h"

#include <commctrl.h>
#include <richedit.h>

#include <string>

#include "engine/win/platform/engine_state.h"
#include "engine/win/platform/file_data.h"
#include "engine/win/platform/file_io.h"
#include "engine/win/platform/shared_variables.h"
#include "engine/win/platform/system_library.h"
#include "engine/win/platform/wide.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace qx::engine {

namespace {

using core::DialogRecord;
using core::RecordKind;

// Control identifiers sit above the dialog manager's own (IDOK, IDCANCEL...),
// so the Escape key or a default-button search never mistakes a control of
// the description for one of them. Events are matched by window, not by id.
constexpr int kControlIdBase = 1000;
// Each level is a window of its own; thousands of levels take many seconds.
constexpr size_t kMaxContainerDepth = 64;
// Text colour of heading labels: red 0x00, green 0x33, blue 0x99.
constexpr COLORREF kHeadingColour = RGB(0x00, 0x33, 0x99);
constexpr int kHeadingPoints = 14;
constexpr int kImageWidth = 16;

namespace {
// From the library's load to its unload.
DialogState g_dialogs;
}  // namespace

DialogState& Dialogs() { return g_dialogs; }

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

// In the engine's registry, for QXDlgGetDlgItem, and in the dialog's own
// list, which its thread reads while the dialog runs.
void Register(DialogWindow::Controls& own, HWND dialog, int32_t number, HWND control) {
  for (RegistryRecord& record : Dialogs().registry) {
    if (record.dialog == dialog && record.number == number) {
      record.control = control;
      for (DialogWindow::Control& mine : own)
        if (mine.number == number) mine.control = control;
      return;
    }
  }
  Dialogs().registry.push_back(RegistryRecord{control, number, dialog});
  own.push_back(DialogWindow::Control{control, number});
}

HGDIOBJ CreateFontAt(LOGFONTW font, int points, int dots_per_inch, LONG weight) {
  font.lfHeight = -MulDiv(points, dots_per_inch, 72);
  font.lfWidth = 0;
  font.lfWeight = weight;
  return CreateFontIndirectW(&font);
}

// The scale factors and the three fonts, from the display and the system's
// message font.
void ReadDisplay() {
  LOGFONTW font{};
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) font = metrics.lfMessageFont;
  int points = 9;
  int dots_per_inch = 96;
  if (HDC display = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr)) {
    const int x = GetDeviceCaps(display, LOGPIXELSX);
    const int y = GetDeviceCaps(display, LOGPIXELSY);
    DeleteDC(display);
    Dialogs().scale_x = core::ScaleFactor(x, Dialogs().scale_x);
    Dialogs().scale_y = core::ScaleFactor(y, Dialogs().scale_y);
    if (y > 0) {
      dots_per_inch = y;
      points = core::PointSize(font.lfHeight, y);
    }
  }
  // Fonts stay for the library's lifetime: dialogs still open use them.
  if (Dialogs().normal_font) return;
  const LONG weight = font.lfWeight ? font.lfWeight : FW_NORMAL;
  Dialogs().normal_font.reset(CreateFontAt(font, points, dots_per_inch, weight));
  Dialogs().heading_font.reset(CreateFontAt(font, kHeadingPoints, dots_per_inch, weight));
  Dialogs().bold_font.reset(CreateFontAt(font, points, dots_per_inch, FW_BOLD));
}

// Reads "qxdlg.dat" from the runtime folder once and deletes it; false when
// it cannot be read, so a later build tries again.
bool LoadDescription() {
  const core::Text path = RuntimeFilePath(contract::kDialogDescription.portable);
  std::string bytes;
  if (!ReadWholeFile(WideOf(path), bytes)) return false;
  // The common controls are loaded with the first dialog, not with the
  // engine.
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
  if (auto init = SystemFunctionAs<decltype(&InitCommonControlsEx)>(Late().common_controls, L"comctl32.dll",
                                                                    "InitCommonControlsEx"))
    init(&classes);
  ReadDisplay();
  Dialogs().lines = core::SplitDialogLines(bytes);
  DeleteFileW(WideOf(path));
  return true;
}

DWORD CALLBACK ReadStream(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* read) {
  DWORD got = 0;
  const BOOL ok = ReadFile(reinterpret_cast<HANDLE>(cookie), buffer, static_cast<DWORD>(size), &got, nullptr);
  *read = static_cast<LONG>(got);
  return ok ? 0 : 1;
}

}  // namespace

INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK ContainerProcedure(HWND container, UINT message, WPARAM wparam, LPARAM lparam);

// Builds one dialog's window and controls, record by record.
class DialogBuilder {
 public:
  explicit DialogBuilder(DialogWindow& target) : target_(target) {}

  bool Build(core::DialogSection& section) {
    DialogRecord record;
    while (section.Next(record)) {
      if (record.kind == RecordKind::kDialog) {
        if (!dialog() && !CreateDialogWindow(record, section.flags())) return false;
        continue;
      }
      // Controls need the dialog to exist.
      if (dialog()) AddRecord(record);
    }
    if (!dialog()) return false;
    Finish();
    return true;
  }

 private:
  HWND dialog() const { return target_.window_.get(); }
  HWND parent() const { return depth_ ? containers_[depth_ - 1] : dialog(); }
  int X(int32_t v) const { return core::ScaleLength(v, Dialogs().scale_x); }
  int Y(int32_t v) const { return core::ScaleLength(v, Dialogs().scale_y); }

  bool CreateDialogWindow(const DialogRecord& record, const core::Text& flags) {
    DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
    if (!core::HasFlag(flags, u'C')) style |= WS_SYSMENU;
    DWORD ex_style = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    // Mirrored: every control inherits the layout, so the description's x
    // counts from the right edge and sizes stay as they are.
    if (Engine().text.right_to_left()) ex_style |= WS_EX_LAYOUTRTL;
    RECT frame{0, 0, X(record.width), Y(record.height)};
    AdjustWindowRectEx(&frame, style, FALSE, ex_style);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const int left = area.left + (area.right - area.left - width) / 2;
    const int top = area.top + (area.bottom - area.top - height) / 2;
    const core::Text title = Expand(record.text);
    target_.window_.reset(CreateWindowExW(ex_style, WC_DIALOG, WideOf(title), style, left, top, width, height,
                                          nullptr, nullptr, ThisModule(), nullptr));
    if (!dialog()) return false;
    SetWindowLongPtrW(dialog(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&target_));
    SetWindowLongPtrW(dialog(), DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&DialogProcedure));
    SendMessageW(dialog(), WM_SETFONT, reinterpret_cast<WPARAM>(Dialogs().normal_font.get()), FALSE);
    return true;
  }

  HWND Create(const wchar_t* window_class, const wchar_t* text, DWORD style, DWORD ex_style, HWND in, int x,
              int y, int width, int height, int32_t number) {
    const UINT_PTR id = static_cast<uint16_t>(kControlIdBase + number);
    HWND control = CreateWindowExW(ex_style, window_class, text, WS_CHILD | WS_VISIBLE | style, x, y, width,
                                   height, in, reinterpret_cast<HMENU>(id), ThisModule(), nullptr);
    if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Dialogs().normal_font.get()), FALSE);
    return control;
  }

  // Creates a control at the record's scaled place in the current container
  // and registers it under the record's number.
  HWND Add(const DialogRecord& record, const wchar_t* window_class, const wchar_t* text, DWORD style,
           DWORD ex_style = 0) {
    HWND control = Create(window_class, text, style, ex_style, parent(), X(record.x), Y(record.y), X(record.width),
                          Y(record.height), record.number);
    if (control) Register(target_.controls_, dialog(), record.number, control);
    return control;
  }

  HBRUSH Brush(COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    if (brush) target_.objects_.emplace_back(brush);
    return brush;
  }

  // A child dialog that holds controls: it passes their notifications on to
  // the dialog and paints its own background.
  HWND AddContainer(const DialogRecord& record, DWORD style, DWORD ex_style, bool registered) {
    const int x = X(record.x), y = Y(record.y), width = X(record.width), height = Y(record.height);
    HWND container = Create(WC_DIALOG, L"", DS_CONTROL | style, WS_EX_CONTROLPARENT | ex_style, parent(), x, y, width,
                            height, record.number);
    if (!container) return nullptr;
    SetWindowLongPtrW(container, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&ContainerProcedure));
    if (registered) Register(target_.controls_, dialog(), record.number, container);
    return container;
  }

  void AddRecord(const DialogRecord& r) {
    const core::Text expanded = Expand(r.text);
    const wchar_t* text = WideOf(expanded);
    switch (r.kind) {
      case RecordKind::kButton:
        Add(r, WC_BUTTONW, text, WS_TABSTOP | (core::HasFlag(r.flags, u'D') ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON));
        break;
      case RecordKind::kEdit: {
        DWORD style = WS_TABSTOP | ES_AUTOHSCROLL;
        switch (core::ExclusiveFlag(r.kind, r.flags)) {
          case u'O': style |= ES_NUMBER; break;
          case u'R': style |= ES_READONLY; break;
          case u'P': style |= ES_PASSWORD; break;
        }
        Add(r, WC_EDITW, text, style, WS_EX_CLIENTEDGE);
        break;
      }
      case RecordKind::kCheck: {
        DWORD style = WS_TABSTOP | BS_AUTOCHECKBOX;
        switch (core::ExclusiveFlag(r.kind, r.flags)) {
          case u'R': style |= BS_RIGHT; break;
          case u'C': style |= BS_CENTER; break;
        }
        Add(r, WC_BUTTONW, text, style);
        break;
      }
      case RecordKind::kOption:
        if (HWND option = Add(r, WC_BUTTONW, text, WS_TABSTOP | BS_AUTORADIOBUTTON))
          if (core::HasFlag(r.flags, u'C')) SendMessageW(option, BM_SETCHECK, BST_CHECKED, 0);
        break;
      case RecordKind::kProgress:
        if (HWND bar = Add(r, PROGRESS_CLASSW, L"", 0)) SendMessageW(bar, PBM_SETRANGE32, 0, 100);
        break;
      case RecordKind::kLabel:
        AddLabel(r, text);
        break;
      case RecordKind::kContainer: {
        DWORD style = 0, ex_style = 0;
        switch (core::ExclusiveFlag(r.kind, r.flags)) {
          case u'S': ex_style = WS_EX_STATICEDGE; break;
          case u'R': style = WS_DLGFRAME; break;
          case u'F': style = WS_BORDER; break;
        }
        // Deeper containers are not made, and what they hold goes into the
        // deepest one; so does what a container that failed would hold.
        HWND container = depth_ < kMaxContainerDepth ? AddContainer(r, style, ex_style, true) : nullptr;
        if (!container) {
          ++skipped_containers_;
          break;
        }
        if (core::HasFlag(r.flags, u'C')) Look(container, Brush(r.colour), r.colour, false);
        containers_[depth_++] = container;
        break;
      }
      case RecordKind::kEndContainer:
        if (skipped_containers_ > 0) {
          --skipped_containers_;
        } else if (depth_ > 0) {
          --depth_;
        }
        break;
      case RecordKind::kRich:
        AddRich(r, expanded);
        break;
      case RecordKind::kImage:
        AddImage(r, text);
        break;
      case RecordKind::kComponentList:
        AddComponentList(r, text);
        break;
      case RecordKind::kDialog:
        break;
    }
  }

  void Look(HWND control, HBRUSH background, COLORREF colour, bool heading) {
    target_.looks_.push_back(DialogWindow::Look{control, background, colour, heading, kHeadingColour});
  }

  void AddLabel(const DialogRecord& r, const wchar_t* text) {
    DWORD style = SS_LEFT;
    switch (core::ExclusiveFlag(r.kind, r.flags)) {
      case u'E': style = SS_CENTER; break;
      case u'F': style = SS_LEFT | SS_SUNKEN; break;
      case u'R': style = SS_RIGHT; break;
    }
    if (core::HasFlag(r.flags, u'D')) style |= WS_DISABLED;
    HWND label = Add(r, WC_STATICW, text, style);
    if (!label) return;
    const bool heading = core::HasFlag(r.flags, u'H');
    const bool coloured = core::HasFlag(r.flags, u'C');
    if (heading || core::HasFlag(r.flags, u'B')) {
      HGDIOBJ font = heading ? Dialogs().heading_font.get() : Dialogs().bold_font.get();
      SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    if (heading || coloured) Look(label, coloured ? Brush(r.colour) : nullptr, r.colour, heading);
  }

  void AddRich(const DialogRecord& r, const core::Text& expanded_path) {
    if (!target_.rich_edit_) target_.rich_edit_.reset(LoadSystemLibrary(L"Msftedit.dll"));
    // Up to its first zero, as the platform reads the name.
    core::Text path(expanded_path.c_str());
    uint64_t size = 0;
    // An empty file in the selected language's name: take the default
    // language's file instead.
    if (FileSize(WideOf(path), size) && size == 0) {
      core::Text scratch;
      core::ReplaceAllNoCase(path, Expand(u"%SELLANG%"), Expand(u"%QXDEFLANGNAME%"), scratch);
    }
    DWORD style = WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL;
    if (core::HasFlag(r.flags, u'R')) style |= ES_READONLY;
    HWND box = nullptr;
    if (core::HasFlag(r.flags, u'F')) {
      // The box's own border falls outside a borderless holder of the
      // record's place.
      HWND holder = AddContainer(r, 0, 0, false);
      if (!holder) return;
      box = Create(MSFTEDIT_CLASS, L"", style, WS_EX_CLIENTEDGE, holder, -2, -2, X(r.width) + 4, Y(r.height) + 4,
                   r.number);
      if (box) Register(target_.controls_, dialog(), r.number, box);
    } else {
      box = Add(r, MSFTEDIT_CLASS, L"", style, WS_EX_CLIENTEDGE);
    }
    if (!box) return;
    SendMessageW(box, EM_SETTARGETDEVICE, 0, 0);
    SendMessageW(box, EM_SETEDITSTYLE, SES_EMULATESYSEDIT, 0);
    const LRESULT mask = SendMessageW(box, EM_GETEVENTMASK, 0, 0);
    SendMessageW(box, EM_SETEVENTMASK, 0, mask | ENM_LINK);
    UniqueFile file(CreateFileW(WideOf(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(file.get()), 0, &ReadStream};
    SendMessageW(box, EM_STREAMIN, SF_TEXT | SF_RTF, reinterpret_cast<LPARAM>(&stream));
  }

  void AddImage(const DialogRecord& r, const wchar_t* path) {
    HANDLE picture = LoadImageW(nullptr, path, IMAGE_BITMAP, X(r.width), Y(r.height), LR_LOADFROMFILE);
    if (!picture) return;
    target_.objects_.emplace_back(picture);
    const DWORD ex_style = core::HasFlag(r.flags, u'B') ? WS_EX_STATICEDGE : 0;
    if (HWND image = Add(r, WC_STATICW, L"", SS_BITMAP, ex_style))
      SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
  }

  void AddColumn(HWND list, int index, core::TextView title, int width) {
    core::Text text = Expand(title);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = X(width);
    column.pszText = WideOf(text);
    SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
  }

  void AddComponentList(const DialogRecord& r, const wchar_t* images) {
    HWND list = Add(r, WC_LISTVIEWW, L"", WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                    WS_EX_CLIENTEDGE);
    if (!list) return;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddColumn(list, 0, u"#Component", 200);
    AddColumn(list, 1, u"#Description", 300);
    // The list destroys its image list with itself.
    auto load_images = SystemFunctionAs<decltype(&ImageList_LoadImageW)>(Late().common_controls, L"comctl32.dll",
                                                                         "ImageList_LoadImageW");
    if (HIMAGELIST states = load_images ? load_images(nullptr, images, kImageWidth, 0, CLR_DEFAULT,
                                                      IMAGE_BITMAP, LR_LOADFROMFILE | LR_LOADTRANSPARENT)
                                        : nullptr)
      SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(states));
    Dialogs().components.list = list;
    Dialogs().components.references.clear();
  }

  void Finish() {
    const LRESULT cues = SendMessageW(dialog(), WM_QUERYUISTATE, 0, 0);
    if (cues & UISF_HIDEFOCUS) SendMessageW(dialog(), WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    if (HMODULE module = Engine().module) {
      HANDLE icon = LoadImageW(module, L"MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                               GetSystemMetrics(SM_CYSMICON), LR_SHARED);
      if (icon) SendMessageW(dialog(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
  }

  DialogWindow& target_;
  // The open containers, innermost last.
  HWND containers_[kMaxContainerDepth];
  size_t depth_ = 0;
  // Container records not made (too deep, or failed) whose ends are still to
  // come.
  size_t skipped_containers_ = 0;
};

// The box's thread destroys its own dialog, so this touches nothing shared:
// the registry's records of the dialog go with the next call (DropClosedDialogs).
DialogWindow::~DialogWindow() = default;

const DialogWindow::Look* DialogWindow::FindLook(HWND control) const {
  for (const Look& look : looks_)
    if (look.control == control) return &look;
  return nullptr;
}

INT_PTR DialogWindow::Colour(HWND control, HDC dc) const {
  const Look* look = FindLook(control);
  if (!look) return FALSE;
  if (look->text_coloured) SetTextColor(dc, look->text_colour);
  if (look->background) {
    SetBkColor(dc, look->background_colour);
    return reinterpret_cast<INT_PTR>(look->background);
  }
  SetBkColor(dc, GetSysColor(COLOR_3DFACE));
  return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_3DFACE));
}

namespace {

bool IsColourMessage(UINT message) {
  return message == WM_CTLCOLORSTATIC || message == WM_CTLCOLOREDIT || message == WM_CTLCOLORBTN ||
         message == WM_CTLCOLORDLG;
}

DialogWindow* WindowOf(HWND dialog) {
  return reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

}  // namespace

INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  DialogWindow* window = WindowOf(dialog);
  if (!window) return FALSE;
  if (window->hook_) {
    INT_PTR result = 0;
    if (window->hook_(window->hook_context_, dialog, message, wparam, lparam, result)) {
      if (!IsColourMessage(message)) SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
      return TRUE;
    }
  }
  if (IsColourMessage(message)) return window->Colour(reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam));
  return FALSE;
}

INT_PTR CALLBACK ContainerProcedure(HWND container, UINT message, WPARAM wparam, LPARAM lparam) {
  HWND dialog = GetAncestor(container, GA_ROOT);
  if (IsColourMessage(message)) {
    DialogWindow* window = WindowOf(dialog);
    return window ? window->Colour(reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam)) : FALSE;
  }
  if (message == WM_COMMAND || message == WM_NOTIFY) {
    SetWindowLongPtrW(container, DWLP_MSGRESULT, SendMessageW(dialog, message, wparam, lparam));
    return TRUE;
  }
  return FALSE;
}

std::unique_ptr<DialogWindow> BuildDialog(core::TextView section_name) {
  if (Dialogs().lines.empty() && !LoadDescription()) return nullptr;
  core::DialogSection section;
  if (!section.Open(Dialogs().lines, section_name)) return nullptr;
  auto window = std::make_unique<DialogWindow>();
  DialogBuilder builder(*window);
  if (!builder.Build(section)) return nullptr;
  return window;
}

bool FindControlNumber(HWND dialog, HWND control, int32_t& number) {
  const DialogWindow* window = WindowOf(dialog);
  if (!window) return false;
  for (const DialogWindow::Control& record : window->controls()) {
    if (record.control == control) {
      number = record.number;
      return true;
    }
  }
  return false;
}

void DropClosedDialogs() {
  DialogState& dialogs = Dialogs();
  std::vector<RegistryRecord>& registry = dialogs.registry;
  for (size_t i = registry.size(); i-- > 0;)
    if (!IsWindow(registry[i].dialog)) registry.erase(registry.begin() + static_cast<ptrdiff_t>(i));
  if (dialogs.components.list && !IsWindow(dialogs.components.list)) dialogs.components = ComponentList{};
}

HWND FindControl(HWND dialog, int32_t number) {
  if (!IsWindow(dialog)) return nullptr;
  for (const RegistryRecord& record : Dialogs().registry)
    if (record.dialog == dialog && record.number == number) return record.control;
  return nullptr;
}

ComponentList& Components() { return Dialogs().components; }

}  // namespace qx::engine
