// The install window: the destination folder (shown, not editable), Install
// and Exit, and the run action that starts the installed program.
#pragma once

#include <functional>

#include "ui/ActnList.h"
#include "ui/Controls.h"
#include "ui/Forms.h"

namespace ab {
class TAbZipArchive;
class TAbZipItem;
}  // namespace ab

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

  // Replaces the install procedure when set (the window's own tests use it).
  std::function<void()> InstallProcedure;

 private:
  // Unpacks the payload, reports its version, places the files, starts the
  // add-on and ends the installer.
  void Install();
  std::string Destination() const;
};

extern TForm1* Form1;

// Hands each member the archive extracts to the member decoder.
class THelper {
 public:
  void ExtractHook(ab::TAbZipArchive& sender, ab::TAbZipItem& item, const std::string& newName);
};

// Creates a folder and its missing parents, outermost first; "Unable to
// create directory" for an empty path or a relative one whose first folder,
// three characters or longer, is missing: it has nothing to be built on.
void ForceDirectories(const std::string& folder);

// Moves the unpacked add-on over the installed one in one step; on failure
// the installed one is left as it was and EInOutError says why.
void ReplaceAddOn(const std::string& unpacked, const std::string& installed);

}  // namespace installer
