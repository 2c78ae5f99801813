// The hidden application window and what the taskbar entry asks of it.
#include "ui/win32/AppWindow.h"

#include "ui/win32/Win32Ui.h"

namespace ui::win32 {

namespace {

constexpr char kClassName[] = "TessalineApplication";
// Posted to hand the activation on to the program's window once the
// activation that delivered it is complete.
constexpr UINT kPassActivation = WM_APP + 1;

void RegisterAppClass(HICON icon) {
  WNDCLASSA windowClass{};
  if (GetClassInfoA(GetModuleHandleA(nullptr), kClassName, &windowClass)) return;
  windowClass.lpfnWndProc = DefWindowProcA;  // replaced per window
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hIcon = icon;
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.lpszClassName = kClassName;
  RegisterClassA(&windowClass);
}

}  // namespace

TAppWindow::TAppWindow(const std::string& title) {
  icon_ = LoadIconA(GetModuleHandleA(nullptr), "MAINICON");
  RegisterAppClass(icon_);
  const int left = GetSystemMetrics(SM_CXSCREEN) / 2;
  const int top = GetSystemMetrics(SM_CYSCREEN) / 2;
  handle_ = CreateWindowExA(0, kClassName, title.c_str(),
                            WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                            left, top, 0, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (handle_ == nullptr) return;
  SetWindowLongPtrA(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(handle_, GWLP_WNDPROC,
                    reinterpret_cast<LONG_PTR>(&ObjectWindowProc<TAppWindow>));
  if (icon_ != nullptr)
    SendMessageA(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  // A window of zero size can be neither sized, moved nor maximised.
  HMENU menu = GetSystemMenu(handle_, FALSE);
  for (UINT command : {SC_MAXIMIZE, SC_SIZE, SC_MOVE}) DeleteMenu(menu, command, MF_BYCOMMAND);
}

TAppWindow::~TAppWindow() {
  if (handle_ != nullptr) {
    SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
  }
}

std::string TAppWindow::Text() const {
  char text[256] = {};
  if (handle_ != nullptr) GetWindowTextA(handle_, text, sizeof text);
  return text;
}

void TAppWindow::ShowOnTaskbar(bool minimised) {
  if (handle_ == nullptr) return;
  ShowWindow(handle_, minimised ? SW_SHOWMINNOACTIVE : SW_SHOWNOACTIVATE);
}

void TAppWindow::MoveToMonitorOf(HWND active) {
  if (handle_ == nullptr || active == nullptr) return;
  HMONITOR target = MonitorFromWindow(active, MONITOR_DEFAULTTONEAREST);
  if (target == MonitorFromWindow(handle_, MONITOR_DEFAULTTONEAREST)) return;
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoA(target, &info)) return;
  RECT current{};
  GetWindowRect(handle_, &current);
  home_ = {current.left, current.top};
  moved_ = true;
  SetWindowPos(handle_, nullptr, (info.rcMonitor.left + info.rcMonitor.right) / 2,
               (info.rcMonitor.top + info.rcMonitor.bottom) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TAppWindow::RestorePosition() {
  if (!moved_) return;
  moved_ = false;
  SetWindowPos(handle_, nullptr, home_.x, home_.y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT TAppWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      RunHandler([] {
        if (TForm* form = Application.MainForm()) form->Close();
      });
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        SendMessageA(handle_, WM_CLOSE, 0, 0);
        return 0;
      }
      if ((wParam & 0xFFF0) == SC_RESTORE && IsIconic(handle_)) {
        const LRESULT result = DefWindowProcA(handle_, message, wParam, lParam);
        if (OnRestore) RunHandler([this] { OnRestore(); });
        return result;
      }
      break;
    case WM_ACTIVATE:
      // The program's own window, not this invisible one, takes the keyboard.
      if (LOWORD(wParam) != WA_INACTIVE) PostMessageA(handle_, kPassActivation, 0, 0);
      break;
    case kPassActivation: {
      HWND popup = GetLastActivePopup(handle_);
      if (popup != handle_ && popup != nullptr && IsWindowVisible(popup) &&
          IsWindowEnabled(popup) && GetActiveWindow() == handle_)
        SetActiveWindow(popup);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcA(handle_, message, wParam, lParam);
}

}  // namespace ui::win32
