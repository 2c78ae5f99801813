// A form's window and its controls' windows, created from the design and
// driven by the model: clicks and the close request go to the model's
// handlers, the model's changes come back as window texts and states.
#include "ui/win32/FormWindow.h"

#include "ui/win32/Win32Ui.h"

namespace ui::win32 {

namespace {

constexpr char kClassName[] = "TessalineForm";

struct TFrameStyle {
  DWORD style = 0, exStyle = 0;
};

TFrameStyle FrameStyleOf(const TForm& form) {
  TFrameStyle frame;
  const bool systemMenu = (form.BorderIcons() & biSystemMenu) != 0;
  frame.style = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  frame.exStyle = WS_EX_CONTROLPARENT;
  switch (form.BorderStyle()) {
    case TFormBorderStyle::bsDialog:
      // The modal frame is also what keeps the icon out of the caption bar.
      frame.style |= WS_CAPTION | (systemMenu ? WS_SYSMENU : 0);
      frame.exStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
      return frame;
    case TFormBorderStyle::bsSingle:
      frame.style |= WS_CAPTION | WS_BORDER;
      break;
    case TFormBorderStyle::bsSizeable:
      frame.style |= WS_CAPTION | WS_THICKFRAME;
      break;
    case TFormBorderStyle::bsNone:
      return frame;
  }
  if (systemMenu) {
    frame.style |= WS_SYSMENU;
    if ((form.BorderIcons() & biMinimize) != 0) frame.style |= WS_MINIMIZEBOX;
    if ((form.BorderIcons() & biMaximize) != 0) frame.style |= WS_MAXIMIZEBOX;
  }
  return frame;
}

void RegisterFormClass(int colorIndex) {
  WNDCLASSA windowClass{};
  if (GetClassInfoA(GetModuleHandleA(nullptr), kClassName, &windowClass)) return;
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = DefWindowProcA;  // replaced per window
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(colorIndex + 1));
  windowClass.lpszClassName = kClassName;
  RegisterClassA(&windowClass);
}

// The size the frame adds to the client area.
SIZE FrameSize(const TFrameStyle& frame) {
  RECT rect{0, 0, 0, 0};
  AdjustWindowRectEx(&rect, frame.style, FALSE, frame.exStyle);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace

TFormWindow::TFormWindow(TForm& form, HWND owner) : form_(form) {
  form_.ScaleForScreen(ScreenPixelsPerInch(), [](const TFont& font) {
    return TextHeightOfZero(CreateModelFont(font).Get());
  });
  font_ = CreateModelFont(form_.Font());
  RegisterFormClass(form_.ColorIndex());
  const TFrameStyle frame = FrameStyleOf(form_);
  const SIZE frameSize = FrameSize(frame);
  handle_ = CreateWindowExA(frame.exStyle, kClassName, form_.Caption().c_str(), frame.style,
                            form_.Left(), form_.Top(), form_.ClientWidth() + frameSize.cx,
                            form_.ClientHeight() + frameSize.cy, owner, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
  if (handle_ == nullptr) return;
  SetWindowLongPtrA(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(handle_, GWLP_WNDPROC,
                    reinterpret_cast<LONG_PTR>(&ObjectWindowProc<TFormWindow>));
  if (form_.BorderStyle() == TFormBorderStyle::bsDialog) {
    // A fixed dialog can only be moved and closed.
    HMENU menu = GetSystemMenu(handle_, FALSE);
    for (UINT command : {SC_MAXIMIZE, SC_MINIMIZE, SC_SIZE, SC_RESTORE})
      DeleteMenu(menu, command, MF_BYCOMMAND);
  }
  for (TControl* control : form_.Controls()) {
    if (auto* label = dynamic_cast<TLabel*>(control); label != nullptr && label->AutoSize())
      FitLabelToText(*label);
    CreateControl(*control);
  }
}

void TFormWindow::FitLabelToText(TLabel& label) const {
  const TScreenContext screen(font_.Get());
  RECT bounds{0, 0, 0, 0};
  DrawTextA(screen.Get(), label.Caption().c_str(), -1, &bounds,
            DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  label.SetBounds(label.Left(), label.Top(), bounds.right, bounds.bottom);
}

TFormWindow::~TFormWindow() {
  if (handle_ != nullptr) {
    SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
  }
}

void TFormWindow::CreateControl(TControl& control) {
  const char* className = "Static";
  DWORD style = WS_CHILD;
  DWORD exStyle = 0;
  switch (control.Kind()) {
    case TControlKind::Label:
      style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
      break;
    case TControlKind::Edit:
      className = "Edit";
      style |= ES_AUTOHSCROLL | WS_TABSTOP;
      exStyle |= WS_EX_CLIENTEDGE;
      break;
    case TControlKind::Button:
      className = "Button";
      // BS_NOTIFY: a click that moves the focus tells the model.
      style |= BS_PUSHBUTTON | BS_NOTIFY | WS_TABSTOP;
      break;
  }
  if (control.Visible()) style |= WS_VISIBLE;
  if (!control.Enabled()) style |= WS_DISABLED;
  HWND window = CreateWindowExA(exStyle, className, control.Text().c_str(), style, control.Left(),
                                control.Top(), control.Width(), control.Height(), handle_, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  if (window == nullptr) return;
  SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
  windows_[&control] = window;
}

HWND TFormWindow::HandleOf(const TControl& control) const {
  const auto found = windows_.find(&control);
  return found == windows_.end() ? nullptr : found->second;
}

TControl* TFormWindow::ControlOf(HWND window) const {
  for (const auto& [control, handle] : windows_) {
    if (handle == window) return const_cast<TControl*>(control);
  }
  return nullptr;
}

bool TFormWindow::Owns(HWND window) const {
  return window != nullptr && (window == handle_ || IsChild(handle_, window));
}

void TFormWindow::Show(int showCommand) {
  SyncAll();
  if (form_.Placement() == TPosition::poScreenCenter) {
    const SIZE frameSize = FrameSize(FrameStyleOf(form_));
    form_.PlaceCentred(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), frameSize.cx,
                       frameSize.cy);
    SetWindowPos(handle_, nullptr, form_.Left(), form_.Top(), form_.ClientWidth() + frameSize.cx,
                 form_.ClientHeight() + frameSize.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ShowWindow(handle_, showCommand);
  if (showCommand != SW_SHOWMINNOACTIVE && showCommand != SW_HIDE) SetForegroundWindow(handle_);
}

void TFormWindow::SyncControl(const TControl& control) {
  HWND window = HandleOf(control);
  if (window == nullptr) return;
  char current[1024] = {};
  GetWindowTextA(window, current, sizeof current);
  if (control.Text() != current) SetWindowTextA(window, control.Text().c_str());
  if ((IsWindowEnabled(window) != FALSE) != control.Enabled())
    EnableWindow(window, control.Enabled() ? TRUE : FALSE);
  if ((IsWindowVisible(window) != FALSE) != control.Visible() && IsWindowVisible(handle_))
    ShowWindow(window, control.Visible() ? SW_SHOWNA : SW_HIDE);
}

void TFormWindow::SyncAll() {
  SetWindowTextA(handle_, form_.Caption().c_str());
  for (const auto& entry : windows_) {
    SyncControl(*entry.first);
    if (!entry.first->Visible()) ShowWindow(entry.second, SW_HIDE);
  }
  MarkDefaultButton(form_.ActiveControl());
}

void TFormWindow::Focus(const TControl& control) {
  MarkDefaultButton(&control);
  HWND window = HandleOf(control);
  if (window != nullptr && GetFocus() != window) SetFocus(window);
}

void TFormWindow::MarkDefaultButton(const TControl* focused) {
  const TButton* defaultButton = dynamic_cast<const TButton*>(focused);
  if (defaultButton == nullptr) defaultButton = form_.DefaultButton();
  for (const auto& [control, window] : windows_) {
    if (control->Kind() != TControlKind::Button) continue;
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
    const DWORD type = control == defaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    if ((style & BS_TYPEMASK) != type)
      SendMessageA(window, BM_SETSTYLE, (style & 0xFFFF & ~BS_TYPEMASK) | type, TRUE);
  }
}

LRESULT TFormWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      TControl* control = ControlOf(reinterpret_cast<HWND>(lParam));
      if (control == nullptr) break;
      if (HIWORD(wParam) == BN_CLICKED) {
        if (auto* button = dynamic_cast<TButton*>(control))
          RunHandler([button] { button->Click(); });
      } else if (HIWORD(wParam) == BN_SETFOCUS) {
        form_.SetFocusedControl(control);
        MarkDefaultButton(control);
      }
      return 0;
    }
    case WM_CLOSE:
      RunHandler([this] { form_.Close(); });
      if (!form_.Visible()) ShowWindow(handle_, SW_HIDE);
      return 0;
    case WM_ACTIVATE:
      // The focus goes back to the control that had it, not to the frame.
      if (LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0 &&
          form_.ActiveControl() != nullptr) {
        if (HWND focus = HandleOf(*form_.ActiveControl())) SetFocus(focus);
        return 0;
      }
      break;
    case WM_SETFOCUS:
      if (form_.ActiveControl() != nullptr) {
        if (HWND focus = HandleOf(*form_.ActiveControl())) SetFocus(focus);
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(handle_, message, wParam, lParam);
}

}  // namespace ui::win32
