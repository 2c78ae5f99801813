// First terminal stand-in for the dialogs: one transcript line each.
#include "ui/Dialogs.h"

#include <cstdio>

namespace ui {

void ShowMessage(const std::string& text) { std::printf("[message] %s\n", text.c_str()); }

void ShowErrorBox(const std::exception& error) { std::printf("[error] %s\n", error.what()); }

}  // namespace ui
