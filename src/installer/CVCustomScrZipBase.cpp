// The installer's entry: the application object, the install window, the
// message loop; the process always ends with exit code 0.
#include "installer/Unit1.h"
#include "ui/Forms.h"

int main() {
  try {
    ui::Application.CreateForm(installer::Form1);
    ui::Application.Run();
  } catch (const std::exception& error) {
    ui::Application.ShowException(error);
  }
  return ui::Application.ExitCode();
}
