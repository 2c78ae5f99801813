// mksfx: turns a vendor's add-on and databases into the installer's setup.exe,
// and checks an installer, signed or not, before it is sent out.
#include <iostream>

#include "Options.h"
#include "Pack.h"
#include "Verify.h"
#include "os/os.h"

int main(int argc, char** argv) {
  mksfx::Options options;
  try {
    options = mksfx::ParseOptions(os::CommandLineArguments(argc, argv),
                                  std::vector<std::string>(argv, argv + argc));
  } catch (const mksfx::UsageError& error) {
    std::cerr << "mksfx: " << error.what() << '\n' << mksfx::kUsage;
    return mksfx::kExitUsage;
  }
  switch (options.mode) {
    case mksfx::Mode::kHelp:
      std::cout << mksfx::kUsage;
      return mksfx::kExitOk;
    case mksfx::Mode::kVersion:
      std::cout << mksfx::kVersion;
      return mksfx::kExitOk;
    case mksfx::Mode::kVerify: {
      const bool sound = mksfx::VerifyInstaller(os::ExpandFileName(options.verified.path),
                                                options.verified.shown, std::cout, std::cerr);
      if (sound) std::cout << options.verified.shown << ": every member tested OK\n";
      return sound ? mksfx::kExitOk : mksfx::kExitFailed;
    }
    case mksfx::Mode::kPack:
      break;
  }
  return mksfx::Pack(options, std::cout, std::cerr);
}
