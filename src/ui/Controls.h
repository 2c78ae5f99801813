// The controls a form is built from: static text, single-line edit box and
// push button, with the geometry, texts, tab order and states that the
// presenters draw and the keyboard rules work on.
#pragma once

#include <string>

#include "ui/Classes.h"

namespace ui {

class TForm;

enum class TControlKind { Label, Edit, Button };

// A control of a form. Positions are relative to the form's client area, in
// pixels of the design resolution until the form is scaled.
class TControl : public TComponent {
 public:
  TControl(TComponent* owner, std::string name, TControlKind kind);

  TControlKind Kind() const { return kind_; }
  // The form the control stands on (its owner), or none.
  TForm* Form() const;

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetBounds(int left, int top, int width, int height);

  // The window text: a label's or button's caption, an edit box's contents.
  const std::string& Caption() const { return text_; }
  const std::string& Text() const { return text_; }
  void SetCaption(const std::string& text) { SetText(text); }
  void SetText(const std::string& text);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);

  // Position in the tab order; -1 for a control that has none (a label).
  int TabOrder() const { return tabOrder_; }
  void SetTabOrder(int order) { tabOrder_ = order; }
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool tabStop) { tabStop_ = tabStop; }

  // Whether the keyboard focus may go here: a visible, enabled tab stop.
  bool CanFocus() const;

 private:
  TControlKind kind_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  std::string text_;
  bool enabled_ = true;
  bool visible_ = true;
  int tabOrder_ = -1;
  bool tabStop_ = false;
};

// Static text; it never takes the focus.
class TLabel : public TControl {
 public:
  TLabel(TComponent* owner, std::string name);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool autoSize) { autoSize_ = autoSize; }

 private:
  bool autoSize_ = true;
};

// A single-line edit box. A disabled one is greyed, takes no focus and lets
// the user neither type, select nor copy.
class TEdit : public TControl {
 public:
  TEdit(TComponent* owner, std::string name);
};

class TButton : public TControl {
 public:
  TButton(TComponent* owner, std::string name);

  // Esc presses a cancel button wherever the focus is.
  bool Cancel() const { return cancel_; }
  void SetCancel(bool cancel) { cancel_ = cancel; }
  // The designed default button; the focused button acts as the default anyway.
  bool Default() const { return default_; }
  void SetDefault(bool isDefault) { default_ = isDefault; }

  TNotifyEvent OnClick;
  // Presses the button: runs OnClick with the button as sender when the button
  // is enabled and visible. Errors out of the handler travel to the caller.
  void Click();

 private:
  bool cancel_ = false;
  bool default_ = false;
};

}  // namespace ui
