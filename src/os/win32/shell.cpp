// The shell launch and the system's error texts, through shell32 and kernel32.
// windows.h must come first: shellapi.h builds on it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include "os/os.h"

// shellapi.h maps the name to ShellExecuteA; ours is the program's own call.
#undef ShellExecute

namespace os {

intptr_t ShellExecute(const std::string& operation, const std::string& file,
                      const std::string& parameters, const std::string& directory,
                      int showCommand) {
  const HINSTANCE result = ::ShellExecuteA(nullptr, operation.c_str(), file.c_str(),
                                           parameters.c_str(), directory.c_str(), showCommand);
  return reinterpret_cast<intptr_t>(result);
}

std::string SystemErrorMessage(uint32_t code) {
  char buffer[256];
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                        nullptr, code, 0, buffer, sizeof buffer, nullptr);
  return std::string(buffer, length);
}

}  // namespace os
