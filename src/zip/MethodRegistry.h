// The registry as the member decoder sees it (inside the library only).
#pragma once

#include "zip/engine/AbMethodHook.h"

namespace zip {

const ab::TAbMethodHook& RegisteredMethods();

}  // namespace zip
