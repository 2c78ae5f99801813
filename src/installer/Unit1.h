// The install window: the destination folder (shown, not editable), Install
// and Exit, and the run action that starts the installed program.
#pragma once

#include <functional>

#include "ui/ActnList.h"
#include "ui/Controls.h"
#include "ui/Forms.h"

namespace installer {

class TForm1 : public ui::TForm {
 public:
  explicit TForm1(ui::TComponent* owner);

  ui::TButton* Button1;  // Install
  ui::TLabel* Label2;
  ui::TEdit* edtDestPath;
  ui::TButton* Button2;  // Exit
  ui::TActionManager* ActionManager1;
  ui::TFileRun* FileRun1;

  // Install: runs the install procedure.
  void Button1Click(ui::TObject* Sender);
  // Exit: the terminate request, nothing else.
  void Button2Click(ui::TObject* Sender);
  // Fills the destination with the host's program folder as the registry has it.
  void FormShow(ui::TObject* Sender);

  // The install procedure that Button1Click runs; empty = none yet.
  std::function<void()> InstallProcedure;
};

extern TForm1* Form1;

}  // namespace installer
