// Actions: commands with a caption, a hint and an enabled state, held by an
// action list and run through the application, which routes them to the
// active window. TFileRun starts a program through the shell.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ui/Classes.h"
#include "ui/Dialogs.h"

namespace ui {

class TControl;
class TCustomActionList;

class TBasicAction : public TComponent {
 public:
  using TComponent::TComponent;
  // The action's work on the control or window that accepted it.
  virtual void ExecuteTarget(TObject* target) = 0;
};

class TCustomAction : public TBasicAction {
 public:
  TCustomAction(TComponent* owner, std::string name);

  TCustomActionList* ActionList() const { return actionList_; }
  void SetActionList(TCustomActionList* list) { actionList_ = list; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption) { caption_ = caption; }
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint) { hint_ = hint; }
  const std::string& Category() const { return category_; }
  void SetCategory(const std::string& category) { category_ = category; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }

  // Recomputes the enabled state.
  virtual void Update() {}
  // Runs the action: false when its list is suspended, it is disabled, or it
  // raised (the error is shown by the application).
  bool Execute();

 private:
  TCustomActionList* actionList_ = nullptr;
  std::string caption_, hint_, category_;
  bool enabled_ = true;
};

// A non-visual holder of actions.
class TCustomActionList : public TComponent {
 public:
  using TComponent::TComponent;
  bool Suspended() const { return suspended_; }
  void SetSuspended(bool suspended) { suspended_ = suspended; }

 private:
  bool suspended_ = false;
};

class TActionManager : public TCustomActionList {
 public:
  using TCustomActionList::TCustomActionList;
};

enum class TShowCmd {
  scHide,
  scMaximize,
  scMinimize,
  scRestore,
  scShow,
  scShowDefault,
  scShowMaximized,
  scShowMinimized,
  scShowMinNoActive,
  scShowNA,
  scShowNoActivate,
  scShowNormal,
};
// The SW_ show command the shell gets for each value.
int ShowCommandOf(TShowCmd showCmd);

// What the action hands the shell.
struct TShellRequest {
  std::string operation, file, parameters, directory;
  int showCommand = 0;
};

class TCustomFileRun : public TCustomAction {
 public:
  TCustomFileRun(TComponent* owner, std::string name);

  const std::string& Operation() const { return operation_; }
  void SetOperation(const std::string& operation) { operation_ = operation; }
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& fileName) { fileName_ = fileName; }
  const std::string& Parameters() const { return parameters_; }
  void SetParameters(const std::string& parameters) { parameters_ = parameters; }
  const std::string& Directory() const { return directory_; }
  void SetDirectory(const std::string& directory) { directory_ = directory; }
  TShowCmd ShowCmd() const { return showCmd_; }
  void SetShowCmd(TShowCmd showCmd) { showCmd_ = showCmd; }
  bool Browse() const { return browse_; }
  void SetBrowse(bool browse) { browse_ = browse; }
  TOpenDialog* BrowseDlg() const { return browseDlg_; }
  TControl* ParentControl() const { return parentControl_; }
  void SetParentControl(TControl* control) { parentControl_ = control; }
  uintptr_t ParentWindow() const { return parentWindow_; }
  void SetParentWindow(uintptr_t window) { parentWindow_ = window; }
  // The value the last shell call returned (0 before the first).
  intptr_t ShellResult() const { return shellResult_; }

  // The shell call; empty = the operating system's shell. A host may route it
  // elsewhere (tests do).
  std::function<intptr_t(const TShellRequest&)> ShellCall;

  // Enabled when Browse is set or FileName is not empty.
  void Update() override;
  // Starts the file: browses for it first when Browse is set (a cancelled
  // dialog starts nothing and is no error), then asks the shell. A shell
  // result of 32 or less raises the system's text for that number.
  void ExecuteTarget(TObject* target) override;
  // Run the action (Execute).
  bool Run() { return Execute(); }

 private:
  std::string operation_ = "open";
  std::string fileName_, parameters_, directory_;
  TShowCmd showCmd_ = TShowCmd::scShowNormal;
  bool browse_ = false;
  TOpenDialog* browseDlg_ = nullptr;
  TControl* parentControl_ = nullptr;
  uintptr_t parentWindow_ = 0;
  intptr_t shellResult_ = 0;
};

class TFileRun : public TCustomFileRun {
 public:
  using TCustomFileRun::TCustomFileRun;
};

// A system text without its trailing blanks, control characters and full
// stops, as the run action raises it.
std::string TrimSystemMessage(std::string text);
std::string TrimmedSystemErrorMessage(uint32_t code);

}  // namespace ui
