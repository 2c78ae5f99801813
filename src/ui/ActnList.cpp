// Running actions, and the run action's shell call with its error.
#include "ui/ActnList.h"

#include "os/os.h"
#include "rtl/Exception.h"
#include "ui/Forms.h"

namespace ui {

TCustomAction::TCustomAction(TComponent* owner, std::string name)
    : TBasicAction(owner, std::move(name)) {}

bool TCustomAction::Execute() {
  if (actionList_ != nullptr && actionList_->Suspended()) return false;
  Update();
  if (!enabled_) return false;
  return Application.ExecuteAction(*this);
}

int ShowCommandOf(TShowCmd showCmd) {
  switch (showCmd) {
    case TShowCmd::scHide:
      return 0;
    case TShowCmd::scMaximize:
      return 3;
    case TShowCmd::scMinimize:
      return 6;
    case TShowCmd::scRestore:
      return 9;
    case TShowCmd::scShow:
      return 5;
    case TShowCmd::scShowDefault:
      return 10;
    case TShowCmd::scShowMaximized:
      return 3;
    case TShowCmd::scShowMinimized:
      return 2;
    case TShowCmd::scShowMinNoActive:
      return 7;
    case TShowCmd::scShowNA:
      return 8;
    case TShowCmd::scShowNoActivate:
      return 4;
    case TShowCmd::scShowNormal:
      return 1;
  }
  return 1;
}

TCustomFileRun::TCustomFileRun(TComponent* owner, std::string name)
    : TCustomAction(owner, std::move(name)) {
  browseDlg_ = Create<TOpenDialog>("BrowseDlg");
  browseDlg_->SetTitle("Run");
}

void TCustomFileRun::Update() {
  SetEnabled(browse_ || !fileName_.empty());
}

std::string TrimSystemMessage(std::string text) {
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= 0x20 || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

std::string TrimmedSystemErrorMessage(uint32_t code) {
  return TrimSystemMessage(os::SystemErrorMessage(code));
}

void TCustomFileRun::ExecuteTarget(TObject* /*target*/) {
  std::string file = fileName_;
  if (browse_) {
    if (!browseDlg_->Execute()) return;
    file = browseDlg_->FileName();
  }
  // The start has no owner window: the shell layer starts programs unowned,
  // which is what an action without ParentControl or parent window asks for.
  const TShellRequest request{operation_, file, parameters_, directory_, ShowCommandOf(showCmd_)};
  shellResult_ = ShellCall ? ShellCall(request)
                           : os::ShellExecute(request.operation, request.file, request.parameters,
                                              request.directory, request.showCommand);
  if (static_cast<uintptr_t>(shellResult_) <= 32)
    throw rtl::Exception(TrimmedSystemErrorMessage(static_cast<uint32_t>(shellResult_)));
}

}  // namespace ui
