// The form's focus and keyboard rules, and the application object.
#include "ui/Forms.h"

#include <algorithm>
#include <new>

#include "os/os.h"
#include "rtl/Exception.h"
#include "ui/ActnList.h"
#include "ui/Dialogs.h"

namespace ui {

// ---- TForm --------------------------------------------------------------------

TForm::TForm(TComponent* owner, std::string name) : TComponent(owner, std::move(name)) {}

void TForm::SetDesignMetrics(int pixelsPerInch, int textHeight) {
  designPixelsPerInch_ = pixelsPerInch;
  designTextHeight_ = textHeight;
}

std::vector<TControl*> TForm::Controls() const {
  std::vector<TControl*> controls;
  for (const auto& component : Components()) {
    if (auto* control = dynamic_cast<TControl*>(component.get())) controls.push_back(control);
  }
  return controls;
}

TControl* TForm::FindControl(const std::string& name) const {
  for (TControl* control : Controls()) {
    if (control->Name() == name) return control;
  }
  return nullptr;
}

TLabel* TForm::LabelFor(const TControl& control) const {
  TLabel* best = nullptr;
  for (TControl* candidate : Controls()) {
    auto* label = dynamic_cast<TLabel*>(candidate);
    if (label == nullptr || !label->Visible()) continue;
    const bool sameLine = label->Top() < control.Top() + control.Height() &&
                          control.Top() < label->Top() + label->Height();
    if (!sameLine || label->Left() + label->Width() > control.Left()) continue;
    if (best == nullptr || label->Left() > best->Left()) best = label;
  }
  return best;
}

void TForm::Show() {
  if (visible_) return;
  if (OnShow) {
    try {
      OnShow(this);
    } catch (const std::exception& error) {
      Application.HandleException(error);
    }
  }
  visible_ = true;
  Application.Presenter().FormShown(*this);
  SelectFirst();
}

void TForm::Close() {
  if (this == Application.MainForm()) {
    Application.Terminate();
  } else {
    visible_ = false;
  }
}

void TForm::SetFocusedControl(TControl* control) {
  if (control == activeControl_) return;
  activeControl_ = control;
  if (visible_ && control != nullptr) Application.Presenter().FocusChanged(*this, *control);
}

namespace {

// The controls that have a place in the tab order, in that order.
std::vector<TControl*> TabSequence(const std::vector<TControl*>& controls) {
  std::vector<TControl*> sequence;
  for (TControl* control : controls) {
    if (control->TabOrder() >= 0) sequence.push_back(control);
  }
  std::stable_sort(sequence.begin(), sequence.end(),
                   [](TControl* a, TControl* b) { return a->TabOrder() < b->TabOrder(); });
  return sequence;
}

}  // namespace

TControl* TForm::FirstFocusable() const {
  for (TControl* control : TabSequence(Controls())) {
    if (control->CanFocus()) return control;
  }
  return nullptr;
}

TControl* TForm::NextFocusable(const TControl* from, bool forward) const {
  const std::vector<TControl*> sequence = TabSequence(Controls());
  const auto count = static_cast<ptrdiff_t>(sequence.size());
  if (count == 0) return nullptr;
  ptrdiff_t start = std::find(sequence.begin(), sequence.end(), from) - sequence.begin();
  if (start == count) start = forward ? count - 1 : 0;  // from none: begin at an end
  for (ptrdiff_t step = 1; step <= count; ++step) {
    const ptrdiff_t index = ((start + (forward ? step : -step)) % count + count) % count;
    if (sequence[static_cast<size_t>(index)]->CanFocus())
      return sequence[static_cast<size_t>(index)];
  }
  return nullptr;
}

void TForm::SelectFirst() {
  SetFocusedControl(FirstFocusable());
}

void TForm::SelectNext(bool forward) {
  if (TControl* next = NextFocusable(activeControl_, forward)) SetFocusedControl(next);
}

TButton* TForm::DefaultButton() const {
  if (auto* focused = dynamic_cast<TButton*>(activeControl_)) return focused;
  for (TControl* control : Controls()) {
    auto* button = dynamic_cast<TButton*>(control);
    if (button != nullptr && button->Default() && button->Enabled() && button->Visible())
      return button;
  }
  return nullptr;
}

bool TForm::KeyDown(const TKeyEvent& key) {
  if (key.key == vkTab && !key.HasAny(ssCtrl | ssAlt)) {
    SelectNext(!key.HasAny(ssShift));
    return true;
  }
  if (key.Is(vkReturn)) {
    if (TButton* button = DefaultButton()) {
      button->Click();
      return true;
    }
    return false;
  }
  if (key.key == vkSpace && !key.HasAny(ssCtrl | ssAlt)) {
    if (auto* focused = dynamic_cast<TButton*>(activeControl_)) {
      focused->Click();
      return true;
    }
    return false;
  }
  if (key.Is(vkEscape)) {
    for (TControl* control : Controls()) {
      auto* button = dynamic_cast<TButton*>(control);
      if (button != nullptr && button->Cancel() && button->Enabled() && button->Visible()) {
        button->Click();
        return true;
      }
    }
    return false;
  }
  if (key.Is(vkF4, ssAlt)) {
    Close();
    return true;
  }
  return false;
}

void TForm::ScaleForScreen(int pixelsPerInch,
                           const std::function<int(const TFont&)>& measureTextHeight) {
  if (pixelsPerInch > 0 && pixelsPerInch != designPixelsPerInch_) {
    font_.height = MulDiv(font_.height, pixelsPerInch, designPixelsPerInch_);
    designPixelsPerInch_ = pixelsPerInch;
  }
  const int measured = measureTextHeight ? measureTextHeight(font_) : designTextHeight_;
  if (measured <= 0 || measured == designTextHeight_) return;
  const int designed = designTextHeight_;
  for (TControl* control : Controls()) {
    control->SetBounds(MulDiv(control->Left(), measured, designed),
                       MulDiv(control->Top(), measured, designed),
                       MulDiv(control->Width(), measured, designed),
                       MulDiv(control->Height(), measured, designed));
  }
  clientWidth_ = MulDiv(clientWidth_, measured, designed);
  clientHeight_ = MulDiv(clientHeight_, measured, designed);
  designTextHeight_ = measured;
}

void TForm::PlaceCentred(int screenWidth, int screenHeight, int frameWidth, int frameHeight) {
  // Integer division truncates toward zero, as div does, also for a window
  // larger than the screen.
  left_ = (screenWidth - (clientWidth_ + frameWidth)) / 2;
  top_ = (screenHeight - (clientHeight_ + frameHeight)) / 2;
}

void TForm::ControlChanged(TControl& control) {
  if (&control == activeControl_ && !control.CanFocus()) {
    TControl* next = NextFocusable(&control, true);
    activeControl_ = nullptr;
    if (next != &control) SetFocusedControl(next);
  }
  if (visible_) Application.Presenter().ControlChanged(*this, control);
}

// ---- TApplication ---------------------------------------------------------------

TApplication Application;

std::string AnsiLowerCase(std::string text) {
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7)) {
      c = static_cast<char>(byte + 0x20);
    } else if (byte == 0x8A || byte == 0x8C || byte == 0x8E) {
      c = static_cast<char>(byte + 0x10);  // Š Œ Ž
    } else if (byte == 0x9F) {
      c = static_cast<char>(0xFF);  // Ÿ
    }
  }
  return text;
}

TApplication::TApplication() : title_(TitleFromModuleName(os::ModuleFileName())) {}

TApplication::~TApplication() {
  Reset();
}

std::string TApplication::TitleFromModuleName(const std::string& modulePath) {
  // The module path comes from a 256-byte buffer.
  std::string name = os::OemToChar(modulePath.substr(0, 255));
  const size_t slash = name.rfind('\\');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const size_t dot = name.find('.');
  if (dot != std::string::npos) name.erase(dot);
  if (name.size() > 1) name = name.substr(0, 1) + AnsiLowerCase(name.substr(1));
  return name;
}

TPresenter& TApplication::Presenter() {
  if (!presenter_) presenter_ = CreatePlatformPresenter();
  return *presenter_;
}

std::unique_ptr<TPresenter> TApplication::SetPresenter(std::unique_ptr<TPresenter> presenter) {
  std::swap(presenter, presenter_);
  return presenter;
}

void TApplication::Run() {
  if (mainForm_ != nullptr) Presenter().RunLoop(*this);
  // The forms go with the loop; the presenter stays for the error box of an
  // error that is still to come.
  while (!forms_.empty()) forms_.pop_back();
  mainForm_ = nullptr;
}

void TApplication::ShowMainForm() {
  if (mainForm_ != nullptr) mainForm_->Show();
}

bool TApplication::ProcessKey(const TKeyEvent& key) {
  if (mainForm_ == nullptr) return false;
  try {
    return mainForm_->KeyDown(key);
  } catch (const std::exception& error) {
    HandleException(error);
    return true;
  }
}

void TApplication::HandleException(const std::exception& error) {
  ShowException(error);
}

void TApplication::ShowException(const std::exception& error) {
  Presenter().ShowErrorBox(title_, ErrorBoxText(ExceptionMessage(error)));
}

std::string TApplication::ExceptionMessage(const std::exception& error) {
  if (const auto* exception = dynamic_cast<const rtl::Exception*>(&error))
    return exception->Message();
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return "Out of memory";
  return error.what();
}

void TApplication::ShowMessage(const std::string& text) {
  TMessageDialog dialog(title_, text);
  Presenter().RunMessageDialog(dialog);
}

bool TApplication::ExecuteAction(TBasicAction& action) {
  TObject* target = mainForm_ != nullptr ? mainForm_->ActionTarget() : nullptr;
  try {
    action.ExecuteTarget(target);
    return true;
  } catch (const std::exception& error) {
    HandleException(error);
    return false;
  }
}

void TApplication::Reset() {
  while (!forms_.empty()) forms_.pop_back();
  mainForm_ = nullptr;
  terminated_ = false;
}

}  // namespace ui
