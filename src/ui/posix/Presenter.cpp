// The Linux presenter: the drawn window on a terminal, else the transcript.
#include "ui/Presenter.h"

#include <unistd.h>

#include <iostream>

#include "ui/Transcript.h"
#include "ui/posix/Terminal.h"

namespace ui {

std::unique_ptr<TPresenter> CreatePlatformPresenter() {
  if (::isatty(STDIN_FILENO) == 1) {
    if (std::unique_ptr<TPresenter> terminal = CreateTerminalPresenter()) return terminal;
  }
  return std::make_unique<TTranscriptPresenter>(std::cin, std::cout, std::cerr);
}

}  // namespace ui
