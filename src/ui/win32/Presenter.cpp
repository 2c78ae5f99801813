// Until the Windows window and dialogs exist, the Win32 build speaks the
// transcript on its standard handles, so that it can be driven under Wine
// exactly as the native build is.
#include "ui/Presenter.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>

#include "ui/Transcript.h"

namespace ui {

std::unique_ptr<TPresenter> CreatePlatformPresenter() {
  // Lines end in LF on both builds.
  _setmode(_fileno(stdout), _O_BINARY);
  return std::make_unique<TTranscriptPresenter>(std::cin, std::cout, std::cerr);
}

}  // namespace ui
