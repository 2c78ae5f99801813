// The two dialogs through which the program talks to the user: the message
// dialog (ShowMessage) and the error box for an error that leaves a handler.
#pragma once

#include <exception>
#include <string>

namespace ui {

// Opens the message dialog, captioned with the application title, and waits
// until the user closes it.
void ShowMessage(const std::string& text);

// The error box for an error that left an event handler.
void ShowErrorBox(const std::exception& error);

}  // namespace ui
