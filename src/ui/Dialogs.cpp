// The message dialog and error box models, shown by the application's presenter.
#include "ui/Dialogs.h"

#include <algorithm>

#include "rtl/Exception.h"
#include "ui/Forms.h"

namespace ui {

void ShowMessage(const std::string& text) {
  Application.ShowMessage(text);
}

void ShowErrorBox(const std::exception& error) {
  Application.ShowException(error);
}

std::string ErrorBoxText(const std::string& message) {
  // The code page is single-byte, so the last byte is the last character.
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

bool ClosesErrorBox(const TKeyEvent& key) {
  return ((key.key == vkReturn || key.key == vkSpace || key.key == vkEscape) &&
          !key.HasAny(ssAlt | ssCtrl)) ||
         key.Is(vkF4, ssAlt);
}

TMessageDialog::TMessageDialog(std::string caption, std::string text)
    : caption_(std::move(caption)), text_(std::move(text)), buttons_{"OK"} {}

bool TMessageDialog::KeyDown(const TKeyEvent& key) {
  if (key.Is('C', ssCtrl)) {
    TPresenter& presenter = Application.Presenter();
    presenter.Beep();
    if (!presenter.SetClipboardText(ClipboardText())) throw rtl::Exception("Cannot open clipboard");
    return true;
  }
  if (ClosesErrorBox(key)) {
    Close();
    return true;
  }
  return false;
}

bool TMessageDialog::HandleKey(const TKeyEvent& key) {
  try {
    return KeyDown(key);
  } catch (const std::exception& error) {
    Application.HandleException(error);
    return true;
  }
}

std::string TMessageDialog::ClipboardText() const {
  const std::string rule = std::string(27, '-') + "\r\n";
  std::string buttons;
  for (const std::string& caption : buttons_) {
    for (char c : caption) {
      if (c != '&') buttons += c;
    }
    buttons += "   ";
  }
  return rule + caption_ + "\r\n" + rule + text_ + "\r\n" + rule + buttons + "\r\n" + rule;
}

TMessageDialogLayout LayoutMessageDialog(int unitX, int unitY, int textWidth, int textHeight,
                                         int okTextWidth) {
  const int horizontalMargin = MulDiv(8, unitX, 4);
  const int verticalMargin = MulDiv(8, unitY, 8);
  const int verticalSpacing = MulDiv(10, unitY, 8);
  const int buttonHeight = MulDiv(14, unitY, 8);
  const int buttonWidth = std::max(MulDiv(50, unitX, 4), okTextWidth + 8);

  TMessageDialogLayout layout;
  layout.clientWidth = std::max(textWidth, buttonWidth) + 2 * horizontalMargin;
  layout.clientHeight = textHeight + buttonHeight + verticalSpacing + 2 * verticalMargin;
  layout.text = {horizontalMargin, verticalMargin, textWidth, textHeight};
  layout.button = {(layout.clientWidth - buttonWidth) / 2,
                   textHeight + verticalMargin + verticalSpacing, buttonWidth, buttonHeight};
  return layout;
}

TOpenDialog::TOpenDialog(TComponent* owner, std::string name)
    : TComponent(owner, std::move(name)) {}

bool TOpenDialog::Execute() {
  return Application.Presenter().RunOpenDialog(*this);
}

}  // namespace ui
