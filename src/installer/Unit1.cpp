// The install window as designed: 492 x 80 client pixels at 96 dpi, Exit to
// the left of Install, the destination box disabled so that it shows the
// folder but never takes the focus.
#include "installer/Unit1.h"

#include "installer/Corvelle.h"

namespace installer {

TForm1* Form1 = nullptr;

TForm1::TForm1(ui::TComponent* owner) : ui::TForm(owner, "Form1") {
  SetCaption("Tessaline Install");
  SetBorderStyle(ui::TFormBorderStyle::bsDialog);
  SetBorderIcons(ui::biSystemMenu);
  SetClientSize(492, 80);
  SetPlacement(ui::TPosition::poScreenCenter);
  SetColorIndex(ui::clBtnFaceIndex);
  Font() = ui::TFont{"MS Sans Serif", -11, false, false, ui::clWindowTextIndex};
  SetDesignMetrics(96, 13);

  Button1 = Create<ui::TButton>("Button1");
  Button1->SetBounds(96, 40, 75, 25);
  Button1->SetCaption("Install");
  Button1->SetTabOrder(0);
  Button1->OnClick = [this](ui::TObject* sender) { Button1Click(sender); };

  Label2 = Create<ui::TLabel>("Label2");
  Label2->SetBounds(8, 8, 56, 13);
  Label2->SetCaption("Destination:");

  edtDestPath = Create<ui::TEdit>("edtDestPath");
  edtDestPath->SetBounds(72, 8, 409, 21);
  edtDestPath->SetEnabled(false);
  edtDestPath->SetTabOrder(1);

  Button2 = Create<ui::TButton>("Button2");
  Button2->SetBounds(8, 40, 75, 25);
  Button2->SetCaption("Exit");
  Button2->SetTabOrder(2);
  Button2->SetCancel(true);
  Button2->OnClick = [this](ui::TObject* sender) { Button2Click(sender); };

  ActionManager1 = Create<ui::TActionManager>("ActionManager1");

  FileRun1 = Create<ui::TFileRun>("FileRun1");
  FileRun1->SetActionList(ActionManager1);
  FileRun1->SetCaption("&Run...");
  FileRun1->SetHint("Run|Runs an application");
  FileRun1->SetCategory("File");
  FileRun1->SetOperation("open");
  FileRun1->SetShowCmd(ui::TShowCmd::scShowNormal);
  FileRun1->BrowseDlg()->SetTitle("Run");

  OnShow = [this](ui::TObject* sender) { FormShow(sender); };
}

void TForm1::Button1Click(ui::TObject* /*Sender*/) {
  if (InstallProcedure) InstallProcedure();
}

void TForm1::Button2Click(ui::TObject* /*Sender*/) {
  ui::Application.Terminate();
}

void TForm1::FormShow(ui::TObject* /*Sender*/) {
  edtDestPath->SetText(GetProgramPath());
}

}  // namespace installer
