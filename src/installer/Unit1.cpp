// The install window as designed: 492 x 80 client pixels at 96 dpi, Exit to
// the left of Install, the destination box disabled so that it shows the
// folder but never takes the focus.
#include "installer/Unit1.h"

#include <memory>

#include "archive/AbUnzMember.h"
#include "archive/AbZipTyp.h"
#include "installer/Corvelle.h"
#include "os/os.h"
#include "rtl/Exception.h"
#include "ui/Dialogs.h"
#include "zip/engine/AbUtils.h"

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
  if (InstallProcedure) {
    InstallProcedure();
  } else {
    Install();
  }
}

void THelper::ExtractHook(ab::TAbZipArchive& sender, ab::TAbZipItem& item,
                          const std::string& newName) {
  ab::ExtractMember(sender, item, newName);
}

void ForceDirectories(const std::string& folder) {
  const ab::TAbPathSpec parts = ab::SplitPathSpec(folder);
  if (parts.drive.empty() && !folder.starts_with('\\')) {
    // A first folder shorter than three characters counts as there, as a
    // drive would; a longer one that is missing has nothing to stand on.
    const std::string first = folder.substr(0, static_cast<size_t>(ab::NthBackslashPos(folder, 1)));
    if (first.empty() || (first.size() >= 3 && !ab::FolderExists(first)))
      throw rtl::EInOutError(0, "Unable to create directory");
  }
  // A folder that cannot be made is reported when the archive is pointed at it.
  ab::CreateFolderChain(folder);
}

void ReplaceAddOn(const std::string& unpacked, const std::string& installed) {
  // A new add-on replaces one left by an earlier install in one step, so
  // that the old one is never gone before the new one is in place. When the
  // step fails (the old one is running, or is a folder), the old one stays
  // as it was, read-only bit included, and the user is told: reporting the
  // new version and starting the old one would be a lie.
  const uint32_t attributes = os::FileAttributes(installed);
  const bool readOnly = (attributes & os::faReadOnly) != 0;
  if (readOnly) os::SetFileAttributes(installed, attributes & ~uint32_t{os::faReadOnly});
  if (os::MoveFileReplacing(unpacked, installed)) return;
  const uint32_t code = os::LastError();
  if (readOnly) os::SetFileAttributes(installed, attributes);
  throw rtl::EInOutError(static_cast<int32_t>(code), os::SystemErrorMessage(code));
}

// Every path is built on the edit box's text, read back each time.
std::string TForm1::Destination() const {
  return edtDestPath->Text();
}

void TForm1::Install() {
  edtDestPath->SetEnabled(false);
  edtDestPath->SetText(NormalizeFolder(edtDestPath->Text()));
  ForceDirectories(Destination() + "bin\\temp");
  {
    auto archive = std::make_unique<ab::TAbZipArchive>(os::ModuleFileName(), 0x40);
    auto helper = std::make_unique<THelper>();
    archive->LoadCatalogue();
    archive->ExtractHook = [&helper](ab::TAbZipArchive& sender, ab::TAbZipItem& item,
                                     const std::string& newName) {
      helper->ExtractHook(sender, item, newName);
    };
    archive->SetBaseFolder(Destination() + "bin\\temp");
    archive->ExtractMatching("*.*");
  }
  const std::string version = GetVersion(Destination() + "bin\\temp\\" + "CVCopyScr.EXE");
  ui::ShowMessage("The Version installed was " + version);

  // The database files come from where the extraction put them.
  for (const char* name : {"mwscr.adi", "mwscr.adt", "mwscd.adi", "mwscd.adt"}) {
    const std::string root = NormalizeFolder(GetRootDataPath());
    os::CopyFile(Destination() + "bin\\temp\\" + name, root + "CorvelleEMC\\" + name, false);
  }
  const std::string unpacked = Destination() + "bin\\temp\\CVCopyScr.EXE";
  const std::string installed = Destination() + "bin\\CVCopyScr.EXE";
  if (os::FileExists(unpacked) && os::FileAttributes(installed) != os::kInvalidFileAttributes) {
    ReplaceAddOn(unpacked, installed);
  } else {
    os::MoveFile(unpacked, installed);
  }

  FileRun1->SetFileName(Destination() + "bin\\CVCopyScr.exe");
  FileRun1->Run();
  ui::Application.Terminate();
}

void TForm1::Button2Click(ui::TObject* /*Sender*/) {
  ui::Application.Terminate();
}

void TForm1::FormShow(ui::TObject* /*Sender*/) {
  edtDestPath->SetText(GetProgramPath());
}

}  // namespace installer
