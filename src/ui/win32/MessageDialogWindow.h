// The message dialog as a real window: built for each call in the system's
// message-box font, laid out from that font's dialog units, run modally with
// every other window of the program disabled, destroyed when it closes.
#pragma once

#include <windows.h>

#include "ui/Dialogs.h"

namespace ui::win32 {

void RunMessageDialogWindow(TMessageDialog& dialog, HWND owner);

}  // namespace ui::win32
