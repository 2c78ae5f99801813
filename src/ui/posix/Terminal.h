// The presenter that draws the window and dialogs on a terminal and reads
// its keys.
#pragma once

#include <memory>

#include "ui/Presenter.h"

namespace ui {

// Nothing when the terminal cannot be put into raw mode.
std::unique_ptr<TPresenter> CreateTerminalPresenter();

}  // namespace ui
