// The message dialog's window, its measurements and its modal loop.
#include "ui/win32/MessageDialogWindow.h"

#include <cstddef>

#include "ui/win32/Win32Ui.h"

namespace ui::win32 {

namespace {

constexpr char kClassName[] = "TessalineMessageDialog";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;

struct TDialogState {
  TMessageDialog* dialog;
  HWND okButton;
};

// The system's message-box font; empty when the system will not say. Windows
// before Vista refuse the structure's newer, longer form.
TGdiFont CreateMessageFont() {
  NONCLIENTMETRICSA metrics{};
  for (UINT size :
       {static_cast<UINT>(sizeof metrics),
        static_cast<UINT>(offsetof(NONCLIENTMETRICSA, lfMessageFont) + sizeof(LOGFONTA))}) {
    metrics = {};
    metrics.cbSize = size;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, size, &metrics, 0))
      return TGdiFont(CreateFontIndirectA(&metrics.lfMessageFont));
  }
  return TGdiFont();
}

struct TMeasures {
  int unitX = 0, unitY = 0, textWidth = 0, textHeight = 0, okWidth = 0;
};

TMeasures Measure(HFONT font, const std::string& text) {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  const TScreenContext screen(font);
  TMeasures measures;
  SIZE size{};
  GetTextExtentPointA(screen.Get(), kLetters, 52, &size);
  measures.unitX = size.cx / 52;
  measures.unitY = size.cy;
  RECT bounds{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
  DrawTextA(screen.Get(), text.c_str(), -1, &bounds, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
  measures.textWidth = bounds.right;
  measures.textHeight = bounds.bottom;
  GetTextExtentPointA(screen.Get(), "OK", 2, &size);
  measures.okWidth = size.cx;
  return measures;
}

LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<TDialogState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (state != nullptr) {
    switch (message) {
      case WM_COMMAND:
        if (reinterpret_cast<HWND>(lParam) == state->okButton && HIWORD(wParam) == BN_CLICKED)
          state->dialog->Close();
        return 0;
      case WM_CLOSE:
        state->dialog->Close();
        return 0;
      case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
          SetFocus(state->okButton);
          return 0;
        }
        break;
      default:
        break;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterDialogClass() {
  WNDCLASSA windowClass{};
  if (GetClassInfoA(GetModuleHandleA(nullptr), kClassName, &windowClass)) return;
  windowClass.lpfnWndProc = DialogProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  windowClass.lpszClassName = kClassName;
  RegisterClassA(&windowClass);
}

HWND CreateChild(HWND parent, const char* className, const std::string& text, DWORD style,
                 const TDialogRect& rect, HFONT font) {
  HWND child = CreateWindowExA(0, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, rect.left,
                               rect.top, rect.width, rect.height, parent, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  if (child != nullptr) SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

// The dialog's own message handling: its keys go to the dialog model first.
void RunModal(TMessageDialog& dialog, HWND window) {
  MSG message;
  while (!dialog.Closed()) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got <= 0) {
      // The quit message belongs to the outer loop.
      if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    TKeyEvent key;
    if (KeyEventOf(message, key) && (message.hwnd == window || IsChild(window, message.hwnd)) &&
        dialog.HandleKey(key))
      continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace

void RunMessageDialogWindow(TMessageDialog& dialog, HWND owner) {
  // The default window font is a stock object, which is never deleted.
  const TGdiFont messageFont = CreateMessageFont();
  const HFONT font = messageFont.Get() != nullptr
                         ? messageFont.Get()
                         : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  const TMeasures measures = Measure(font, dialog.Text());
  const TMessageDialogLayout layout = LayoutMessageDialog(
      measures.unitX, measures.unitY, measures.textWidth, measures.textHeight, measures.okWidth);

  RegisterDialogClass();
  RECT frame{0, 0, layout.clientWidth, layout.clientHeight};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  HWND window = CreateWindowExA(kExStyle, kClassName, dialog.Caption().c_str(), kStyle,
                                (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, owner,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
  if (window != nullptr) {
    CreateChild(window, "Static", dialog.Text(), SS_LEFT, layout.text, font);
    TDialogState state{&dialog, CreateChild(window, "Button", dialog.ButtonCaptions().front(),
                                            BS_DEFPUSHBUTTON | WS_TABSTOP, layout.button, font)};
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    {
      TTaskWindowsDisabled others(window);
      ShowWindow(window, SW_SHOWNORMAL);
      SetForegroundWindow(window);
      SetFocus(state.okButton);
      RunModal(dialog, window);
    }
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  } else {
    // Without a window of its own the text still reaches the user.
    MessageBoxA(owner, dialog.Text().c_str(), dialog.Caption().c_str(), MB_OK);
  }
}

}  // namespace ui::win32
