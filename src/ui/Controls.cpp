// Controls: state changes are told to the form so that a shown window is
// redrawn (or its transcript written) as they happen.
#include "ui/Controls.h"

#include "ui/Forms.h"

namespace ui {

TControl::TControl(TComponent* owner, std::string name, TControlKind kind)
    : TComponent(owner, std::move(name)), kind_(kind) {}

TForm* TControl::Form() const {
  return dynamic_cast<TForm*>(Owner());
}

void TControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
}

void TControl::SetText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  if (TForm* form = Form()) form->ControlChanged(*this);
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (TForm* form = Form()) form->ControlChanged(*this);
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (TForm* form = Form()) form->ControlChanged(*this);
}

bool TControl::CanFocus() const {
  return tabStop_ && enabled_ && visible_;
}

TLabel::TLabel(TComponent* owner, std::string name)
    : TControl(owner, std::move(name), TControlKind::Label) {}

TEdit::TEdit(TComponent* owner, std::string name)
    : TControl(owner, std::move(name), TControlKind::Edit) {
  SetTabStop(true);
}

TButton::TButton(TComponent* owner, std::string name)
    : TControl(owner, std::move(name), TControlKind::Button) {
  SetTabStop(true);
}

void TButton::Click() {
  if (!Enabled() || !Visible()) return;
  if (OnClick) OnClick(this);
}

}  // namespace ui
