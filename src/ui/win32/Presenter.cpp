// The Windows presenter: real windows for the window model. The hidden
// application window, a window per form, the message loop with the forms'
// keyboard rules, the message dialog, the system's error box, the clipboard
// and the open-file dialog.
#include "ui/Presenter.h"

#include <windows.h>
// commdlg.h needs the types of windows.h.
#include <commdlg.h>

#include <cstring>
#include <memory>
#include <vector>

#include "ui/ActnList.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/win32/AppWindow.h"
#include "ui/win32/FormWindow.h"
#include "ui/win32/MessageDialogWindow.h"
#include "ui/win32/Win32Ui.h"

namespace ui {

namespace {

using win32::TAppWindow;
using win32::TFormWindow;

// The show request the process was started with; none means normal.
int StartupShowCommand() {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  if ((startup.dwFlags & STARTF_USESHOWWINDOW) == 0) return SW_SHOWNORMAL;
  switch (startup.wShowWindow) {
    case SW_SHOWMAXIMIZED:
      return SW_SHOWMAXIMIZED;
    case SW_SHOWMINNOACTIVE:
      return SW_SHOWMINNOACTIVE;
    default:
      return SW_SHOWNORMAL;
  }
}

class TWin32Presenter : public TPresenter {
 public:
  TWin32Presenter() : appWindow_(Application.Title()) {
    appWindow_.OnRestore = [this] { RestoreFromTaskbar(); };
  }

  void RunLoop(TApplication& application) override {
    if (TForm* mainForm = application.MainForm()) WindowOf(*mainForm);
    application.ShowMainForm();
    bool quitPosted = false;
    auto postQuitOnTerminate = [&] {
      // The terminate request takes effect once the running handler is done.
      if (application.Terminated() && !quitPosted) {
        PostQuitMessage(0);
        quitPosted = true;
      }
    };
    postQuitOnTerminate();
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      if (!RouteKey(application, message)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
      postQuitOnTerminate();
    }
    pendingShow_ = nullptr;
    windows_.clear();
  }

  void FormShown(TForm& form) override {
    TFormWindow& window = WindowOf(form);
    int showCommand = SW_SHOWNORMAL;
    if (&form == Application.MainForm() && !startShown_) {
      startShown_ = true;
      showCommand = StartupShowCommand();
      appWindow_.ShowOnTaskbar(showCommand == SW_SHOWMINNOACTIVE);
      // Started minimised: the window comes up when the program is restored.
      if (showCommand == SW_SHOWMINNOACTIVE) {
        window.SyncAll();
        pendingShow_ = &window;
        return;
      }
    }
    window.Show(showCommand);
  }

  void FocusChanged(TForm& form, TControl& control) override { WindowOf(form).Focus(control); }

  void ControlChanged(TForm& form, TControl& control) override {
    WindowOf(form).SyncControl(control);
  }

  void RunMessageDialog(TMessageDialog& dialog) override {
    win32::RunMessageDialogWindow(dialog, appWindow_.Handle());
  }

  void ShowErrorBox(const std::string& caption, const std::string& text) override {
    ReleaseCapture();
    const std::string title = appWindow_.Handle() != nullptr ? appWindow_.Text() : caption;
    HWND active = GetActiveWindow();
    win32::TTaskWindowsDisabled others(appWindow_.Handle());
    appWindow_.MoveToMonitorOf(active);
    MessageBoxA(appWindow_.Handle(), text.c_str(), title.c_str(), MB_OK | MB_ICONSTOP);
    appWindow_.RestorePosition();
  }

  bool SetClipboardText(const std::string& text) override {
    if (!OpenClipboard(appWindow_.Handle())) return false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + 1);
    if (memory != nullptr) {
      if (void* bytes = GlobalLock(memory)) {
        std::memcpy(bytes, text.c_str(), text.size() + 1);
        GlobalUnlock(memory);
        // The clipboard owns the memory once it takes it.
        if (SetClipboardData(CF_TEXT, memory) == nullptr) GlobalFree(memory);
      } else {
        GlobalFree(memory);
      }
    }
    CloseClipboard();
    return true;
  }

  void Beep() override { MessageBeep(0); }

  bool RunOpenDialog(TOpenDialog& dialog) override {
    std::vector<char> fileName(MAX_PATH + 1, '\0');
    dialog.FileName().copy(fileName.data(), MAX_PATH);
    OPENFILENAMEA request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = GetActiveWindow() != nullptr ? GetActiveWindow() : appWindow_.Handle();
    request.lpstrFile = fileName.data();
    request.nMaxFile = MAX_PATH;
    request.lpstrTitle = dialog.Title().c_str();
    request.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_ENABLESIZING;
    if (!GetOpenFileNameA(&request)) return false;
    dialog.SetFileName(fileName.data());
    return true;
  }

 private:
  TFormWindow& WindowOf(TForm& form) {
    for (const auto& window : windows_) {
      if (&window->Form() == &form) return *window;
    }
    windows_.push_back(std::make_unique<TFormWindow>(form, appWindow_.Handle()));
    return *windows_.back();
  }

  // A key for a form goes through the form's keyboard rules first; the keys
  // they do not use reach the window as usual.
  bool RouteKey(TApplication& application, const MSG& message) {
    TKeyEvent key;
    if (!win32::KeyEventOf(message, key)) return false;
    for (const auto& window : windows_) {
      if (!window->Owns(message.hwnd)) continue;
      if (&window->Form() == application.MainForm()) return application.ProcessKey(key);
      bool used = true;  // a key whose handler failed was used
      win32::RunHandler([&] { used = window->Form().KeyDown(key); });
      return used;
    }
    return false;
  }

  void RestoreFromTaskbar() {
    if (pendingShow_ == nullptr) return;
    TFormWindow* window = pendingShow_;
    pendingShow_ = nullptr;
    window->Show(SW_SHOWNORMAL);
    if (TControl* focused = window->Form().ActiveControl()) window->Focus(*focused);
  }

  TAppWindow appWindow_;
  std::vector<std::unique_ptr<TFormWindow>> windows_;
  bool startShown_ = false;
  TFormWindow* pendingShow_ = nullptr;
};

}  // namespace

std::unique_ptr<TPresenter> CreatePlatformPresenter() {
  return std::make_unique<TWin32Presenter>();
}

}  // namespace ui
