// The form (a top-level window with its controls, focus and keyboard rules)
// and the application object that owns the forms, runs the message loop,
// shows errors that leave a handler and ends the program.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/Classes.h"
#include "ui/Controls.h"
#include "ui/Presenter.h"

namespace ui {

class TBasicAction;

enum class TFormBorderStyle { bsSizeable, bsDialog, bsSingle, bsNone };
enum TBorderIcons : uint8_t { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
enum class TPosition { poDesigned, poScreenCenter };

// Windows' system colour indices.
constexpr int clBtnFaceIndex = 15;    // COLOR_BTNFACE
constexpr int clWindowTextIndex = 8;  // COLOR_WINDOWTEXT

struct TFont {
  std::string name = "MS Sans Serif";
  int height = -11;  // negative: character height in pixels, as LOGFONT takes it
  bool bold = false, italic = false;
  int colorIndex = clWindowTextIndex;
};

class TForm : public TComponent {
 public:
  TForm(TComponent* owner, std::string name);

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption) { caption_ = caption; }

  // Outer position (frame included) and client size.
  int Left() const { return left_; }
  int Top() const { return top_; }
  void SetPosition(int left, int top) { left_ = left, top_ = top; }
  int ClientWidth() const { return clientWidth_; }
  int ClientHeight() const { return clientHeight_; }
  void SetClientSize(int width, int height) { clientWidth_ = width, clientHeight_ = height; }

  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle style) { borderStyle_ = style; }
  uint8_t BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(uint8_t icons) { borderIcons_ = icons; }
  TPosition Placement() const { return placement_; }
  void SetPlacement(TPosition placement) { placement_ = placement; }
  int ColorIndex() const { return colorIndex_; }
  void SetColorIndex(int index) { colorIndex_ = index; }
  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }
  // The resolution and text height the design was made at.
  int DesignPixelsPerInch() const { return designPixelsPerInch_; }
  int DesignTextHeight() const { return designTextHeight_; }
  void SetDesignMetrics(int pixelsPerInch, int textHeight);

  // The controls, in declaration order.
  std::vector<TControl*> Controls() const;
  TControl* FindControl(const std::string& name) const;
  // The label that names `control`: the one on the same line, to its left.
  TLabel* LabelFor(const TControl& control) const;

  TNotifyEvent OnShow;

  bool Visible() const { return visible_; }
  // Shows the form as the message loop does at start: OnShow first (an error
  // out of it goes to the error box and the showing goes on), centred
  // placement, visible, then the focus to the first control that can take it.
  void Show();
  // Closing the main form ends the program; another form is only hidden.
  void Close();

  TControl* ActiveControl() const { return activeControl_; }
  void SetFocusedControl(TControl* control);
  // The first control in tab order that can take the focus, or none.
  TControl* FirstFocusable() const;
  // The next (or previous) control in tab order after `from` that can take
  // the focus, wrapping around; `from` itself when it is the only one.
  TControl* NextFocusable(const TControl* from, bool forward) const;
  void SelectFirst();
  void SelectNext(bool forward);
  // The focused button, which acts as the default button.
  TButton* DefaultButton() const;

  // The keyboard rules of the window. Returns whether the key was used.
  // Errors out of a button's handler travel to the caller.
  bool KeyDown(const TKeyEvent& key);

  // Where an action sent to the form runs: the focused control, else the form.
  TObject* ActionTarget() {
    if (activeControl_ != nullptr) return activeControl_;
    return this;
  }

  // Adapts the design to the screen: the font height by pixelsPerInch / design
  // resolution, then, when the resulting font's "0" is not as high as
  // designed, every control's position and size and the client size by the
  // measured height / the designed one.
  void ScaleForScreen(int pixelsPerInch, const std::function<int(const TFont&)>& measureTextHeight);
  // Centres the window on a screen: (screen - window) div 2 on each axis, the
  // window being the client area plus its frame; no clamping to 0.
  void PlaceCentred(int screenWidth, int screenHeight, int frameWidth, int frameHeight);

  // Called by the controls when their state changes.
  void ControlChanged(TControl& control);

 private:
  std::string caption_;
  int left_ = 0, top_ = 0;
  int clientWidth_ = 0, clientHeight_ = 0;
  TFormBorderStyle borderStyle_ = TFormBorderStyle::bsSizeable;
  uint8_t borderIcons_ = biSystemMenu | biMinimize | biMaximize;
  TPosition placement_ = TPosition::poDesigned;
  int colorIndex_ = clBtnFaceIndex;
  TFont font_;
  int designPixelsPerInch_ = 96;
  int designTextHeight_ = 13;
  bool visible_ = false;
  TControl* activeControl_ = nullptr;
};

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  // The title derived from the running executable's name at creation.
  const std::string& Title() const { return title_; }
  // The title for an executable path: OEM text converted to ANSI, the part
  // after the last `\`, cut at its first `.`, lower case after the first
  // character.
  static std::string TitleFromModuleName(const std::string& modulePath);

  // The platform presenter, created on first use unless one was set.
  TPresenter& Presenter();
  // Replaces the presenter (for a host that brings its own); returns the old one.
  std::unique_ptr<TPresenter> SetPresenter(std::unique_ptr<TPresenter> presenter);

  // Creates a form owned by the application; the first becomes the main form.
  template <typename T>
  void CreateForm(T*& reference) {
    auto form = std::make_unique<T>(this);
    reference = form.get();
    if (mainForm_ == nullptr) mainForm_ = form.get();
    forms_.push_back(std::move(form));
  }
  TForm* MainForm() const { return mainForm_; }

  // Runs the message loop until the terminate request, then frees the forms.
  void Run();
  // Start of the loop: makes the main form visible.
  void ShowMainForm();
  // One key of the loop, for the main form; an error out of its handling goes
  // to the error box and the loop goes on. True when the window used the key
  // (also when its handler failed), false when the key is not one of its rules.
  bool ProcessKey(const TKeyEvent& key);

  // The terminate request: the loop ends once the running handler returns.
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  int ExitCode() const { return 0; }

  // The error box for an error that left a handler.
  void HandleException(const std::exception& error);
  void ShowException(const std::exception& error);
  // The text an error is shown with.
  static std::string ExceptionMessage(const std::exception& error);

  // The message dialog, captioned with the title.
  void ShowMessage(const std::string& text);

  // Sends an action to the window that is active (the main form): it runs on
  // the form's focused control, or the form. An error out of it is shown in
  // the error box here. True when the action ran and returned normally.
  bool ExecuteAction(TBasicAction& action);

  // Frees the forms and clears the terminate request, so that the loop can
  // be run again (tests do).
  void Reset();

 private:
  std::string title_;
  std::unique_ptr<TPresenter> presenter_;
  std::vector<std::unique_ptr<TForm>> forms_;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
};

// The one application object of the process.
extern TApplication Application;

// Windows-1252 lower-casing as CharLowerA does it (accented capitals too).
std::string AnsiLowerCase(std::string text);

}  // namespace ui
