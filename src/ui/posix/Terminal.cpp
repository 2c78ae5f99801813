#include "ui/posix/Terminal.h"
namespace ui {
std::unique_ptr<TPresenter> CreateTerminalPresenter() {
  return nullptr;
}
}  // namespace ui
