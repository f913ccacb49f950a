#include "os/text.h"
#include "ui/win32/win32_application.h"
#include "ui/win32/win32_canvas.h"
#include "ui/win32/win32_peer.h"

namespace ovix::ui::win32 {
namespace {

constexpr DWORD kFormStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;
constexpr UINT_PTR kGroupBoxSubclassId = 1;
constexpr int kVisibleDropDownItems = 10;

Win32Peer* PeerOf(HWND window) {
  return reinterpret_cast<Win32Peer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

struct ChildClass {
  const wchar_t* name;
  DWORD style;
  DWORD exStyle;
  bool takesFocus;
};

ChildClass ClassFor(const TControl& control) {
  switch (control.Kind()) {
    case TControlKind::Label:
      return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0, false};
    case TControlKind::GroupBox:
      return {L"BUTTON", BS_GROUPBOX | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, false};
    case TControlKind::CheckBox:
      return {L"BUTTON", BS_AUTOCHECKBOX, 0, true};
    case TControlKind::Edit:
      return {L"EDIT", ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, true};
    case TControlKind::Button:
      return {L"BUTTON", BS_PUSHBUTTON, 0, true};
    case TControlKind::ComboBox: {
      const auto& combo = static_cast<const TComboBox&>(control);
      DWORD style = CBS_DROPDOWNLIST | WS_VSCROLL;
      if (combo.Style() == TComboStyle::OwnerDrawFixed)
        style |= CBS_OWNERDRAWFIXED | CBS_HASSTRINGS;
      return {L"COMBOBOX", style, 0, true};
    }
    case TControlKind::ProgressBar:
      return {PROGRESS_CLASSW, PBS_SMOOTH, 0, false};
    case TControlKind::Form:
      break;
  }
  return {L"STATIC", 0, 0, false};
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Labels, check boxes and the read-only edit field on the dialog background.
LRESULT DialogColours(HDC dc) {
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT CALLBACK GroupBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                              DWORD_PTR data) {
  // A group box is the parent window of its controls, so their notifications
  // arrive here and must reach the controls' handlers.
  auto* app = reinterpret_cast<Win32Application*>(data);
  LRESULT result = 0;
  if (Win32Peer::RouteToChild(*app, message, wParam, lParam, result)) return result;
  switch (message) {
    case WM_ERASEBKGND: {
      // The window's own background stops at the group box (WS_CLIPCHILDREN),
      // so the box paints its inside itself.
      RECT client;
      GetClientRect(window, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return DialogColours(reinterpret_cast<HDC>(wParam));
    default:
      return DefSubclassProc(window, message, wParam, lParam);
  }
}

void RegisterFormClass(const std::wstring& className) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(instance, className.c_str(), &existing)) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = FormProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), 0));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = className.c_str();
  RegisterClassExW(&wc);
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  Win32Peer* peer = PeerOf(window);
  if (!peer) return DefWindowProcW(window, message, wParam, lParam);
  auto& app = static_cast<Win32Application&>(peer->Control().App());
  auto& form = static_cast<TForm&>(peer->Control());
  LRESULT result = 0;
  if (Win32Peer::RouteToChild(app, message, wParam, lParam, result)) return result;
  switch (message) {
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return DialogColours(reinterpret_cast<HDC>(wParam));
    case WM_CLOSE:
      // The window stays until the form object goes; the loop ends first.
      form.Close();
      if (&form == app.MainForm()) PostQuitMessage(0);
      return 0;
    case WM_DPICHANGED: {
      form.NotifyDpiChanged(HIWORD(wParam));
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

bool Win32Peer::RouteToChild(Win32Application& app, UINT message, WPARAM wParam, LPARAM lParam,
                             LRESULT& result) {
  switch (message) {
    case WM_COMMAND: {
      Win32Peer* child = lParam ? app.PeerById(LOWORD(wParam)) : nullptr;
      if (!child || child->Handle() != reinterpret_cast<HWND>(lParam)) return false;
      child->OnCommand(HIWORD(wParam));
      result = 0;
      return true;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      Win32Peer* child = app.PeerById(item->CtlID);
      if (!child) return false;
      child->OnDrawItem(*item);
      result = TRUE;
      return true;
    }
    case WM_MEASUREITEM: {
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      Win32Peer* child = app.PeerById(item->CtlID);
      if (!child) return false;
      child->OnMeasureItem(*item);
      result = TRUE;
      return true;
    }
    default:
      return false;
  }
}

Win32Peer::Win32Peer(Win32Application& app, TControl& control)
    : app_(app), control_(control), id_(app.RegisterPeer(*this)) {
  if (control.Kind() == TControlKind::Form) {
    CreateForm();
  } else {
    CreateChild();
  }
  PushAll(control_);
}

Win32Peer::~Win32Peer() {
  app_.UnregisterPeer(id_);
  if (IsWindow(window_.get())) {
    if (control_.Kind() == TControlKind::GroupBox) {
      RemoveWindowSubclass(window_.get(), GroupBoxProc, kGroupBoxSubclassId);
    }
    SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
  }
}

void Win32Peer::CreateForm() {
  const auto& form = static_cast<const TForm&>(control_);
  const std::wstring className = Widen(form.ClassName());
  RegisterFormClass(className);
  window_.reset(CreateWindowExW(kFormExStyle, className.c_str(), Widen(form.Caption()).c_str(),
                                kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr,
                                GetModuleHandleW(nullptr), this));
  // Opens centred on the screen.
  RECT frame{0, 0, form.Width(), form.Height()};
  AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(window_.get(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Peer::CreateChild() {
  const ChildClass cls = ClassFor(control_);
  DWORD style = cls.style | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  if (cls.takesFocus && control_.TabOrder() >= 0) style |= WS_TABSTOP;
  auto* parent = static_cast<Win32Peer*>(control_.Parent()->Peer());
  const TRect& b = control_.Bounds();
  window_.reset(CreateWindowExW(
      cls.exStyle, cls.name, L"", style, b.left, b.top, b.width, b.height, parent->Handle(),
      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id_)), GetModuleHandleW(nullptr), nullptr));
  SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  if (control_.Kind() == TControlKind::GroupBox) {
    SetWindowSubclass(window_.get(), GroupBoxProc, kGroupBoxSubclassId,
                      reinterpret_cast<DWORD_PTR>(&app_));
  }
}

void Win32Peer::PlaceWindow() {
  const TRect& b = control_.Bounds();
  if (control_.Kind() == TControlKind::Form) {
    RECT frame{0, 0, b.width, b.height};
    AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
    SetWindowPos(window_.get(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return;
  }
  int height = b.height;
  if (control_.Kind() == TControlKind::ComboBox) {
    // A combo box's window height includes its dropped-down list.
    const auto& combo = static_cast<const TComboBox&>(control_);
    const int itemHeight = combo.ItemHeight() > 0 ? combo.ItemHeight() : control_.Font().height + 6;
    height += kVisibleDropDownItems * itemHeight + 2;
  }
  SetWindowPos(window_.get(), nullptr, b.left, b.top, b.width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Peer::Update(TChange change) {
  HWND window = window_.get();
  switch (change) {
    case TChange::Bounds:
      PlaceWindow();
      break;
    case TChange::Caption:
      if (control_.Kind() != TControlKind::ComboBox &&
          control_.Kind() != TControlKind::ProgressBar) {
        SetWindowTextW(window, Widen(control_.Caption()).c_str());
      }
      break;
    case TChange::Enabled:
      EnableWindow(window, control_.Enabled());
      break;
    case TChange::Font:
      if (control_.Kind() != TControlKind::Form) {
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(app_.FontFor(control_.Font())),
                     TRUE);
      }
      break;
    case TChange::Checked:
      SendMessageW(window, BM_SETCHECK,
                   static_cast<const TCheckBox&>(control_).Checked() ? BST_CHECKED : BST_UNCHECKED,
                   0);
      break;
    case TChange::Items: {
      const auto& combo = static_cast<const TComboBox&>(control_);
      SendMessageW(window, CB_RESETCONTENT, 0, 0);
      for (const std::string& item : combo.Items()) {
        const std::wstring text = Widen(item);
        SendMessageW(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
      }
      if (combo.Style() == TComboStyle::OwnerDrawFixed) {
        SendMessageW(window, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), combo.ItemHeight());
        SendMessageW(window, CB_SETITEMHEIGHT, 0, combo.ItemHeight());
      }
      SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(combo.ItemIndex()), 0);
      break;
    }
    case TChange::ItemIndex:
      SendMessageW(window, CB_SETCURSEL,
                   static_cast<WPARAM>(static_cast<const TComboBox&>(control_).ItemIndex()), 0);
      break;
    case TChange::Progress: {
      const auto& bar = static_cast<const TProgressBar&>(control_);
      SendMessageW(window, PBM_SETRANGE32, 0, bar.Max());
      SendMessageW(window, PBM_SETPOS, static_cast<WPARAM>(bar.Position()), 0);
      SendMessageW(window, PBM_SETSTATE,
                   bar.State() == TProgressState::Error ? PBST_ERROR : PBST_NORMAL, 0);
      break;
    }
    case TChange::Visible:
      if (static_cast<const TForm&>(control_).Visible()) {
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        SetForegroundWindow(window);
      } else {
        ShowWindow(window, SW_HIDE);
      }
      break;
  }
}

void Win32Peer::OnCommand(WORD code) {
  switch (control_.Kind()) {
    case TControlKind::Button:
      if (code == BN_CLICKED) static_cast<TButton&>(control_).Click();
      break;
    case TControlKind::CheckBox:
      if (code == BN_CLICKED) {
        const bool checked = SendMessageW(window_.get(), BM_GETCHECK, 0, 0) == BST_CHECKED;
        static_cast<TCheckBox&>(control_).UserSetChecked(checked);
      }
      break;
    case TControlKind::ComboBox:
      if (code == CBN_SELCHANGE) {
        const int index = static_cast<int>(SendMessageW(window_.get(), CB_GETCURSEL, 0, 0));
        static_cast<TComboBox&>(control_).UserSelect(index);
      }
      break;
    default:
      break;
  }
}

void Win32Peer::OnDrawItem(const DRAWITEMSTRUCT& item) {
  if (control_.Kind() != TControlKind::ComboBox) return;
  const TRect rect{item.rcItem.left, item.rcItem.top, item.rcItem.right - item.rcItem.left,
                   item.rcItem.bottom - item.rcItem.top};
  Win32Canvas canvas(item.hDC);
  if (item.itemID == static_cast<UINT>(-1)) {
    canvas.FillRect(rect, MakeRgb(255, 255, 255));
    return;
  }
  static_cast<TComboBox&>(control_).DrawItem(static_cast<int>(item.itemID), rect, canvas);
}

void Win32Peer::OnMeasureItem(MEASUREITEMSTRUCT& item) {
  if (control_.Kind() != TControlKind::ComboBox) return;
  item.itemHeight = static_cast<UINT>(static_cast<TComboBox&>(control_).ItemHeight());
}

HWND HandleOf(const TControl& control) {
  const auto* peer = static_cast<const Win32Peer*>(control.Peer());
  return peer ? peer->Handle() : nullptr;
}

}  // namespace ovix::ui::win32
