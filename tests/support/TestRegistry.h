// The current user hive for one test, holding only what the test puts there:
// natively a user.reg of its own in a scratch WINEPREFIX, under Wine the real
// hive, whose Software\Medisoft is cleared before and after and written
// through reg.exe.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "support/Corpus.h"
#include "support/Environment.h"

namespace testing_support {

class TestRegistry {
 public:
  TestRegistry();
  ~TestRegistry();
  TestRegistry(const TestRegistry&) = delete;
  TestRegistry& operator=(const TestRegistry&) = delete;

  // A value of HKCU\Software\KEY, of a kind named as reg.exe names it
  // (REG_SZ, REG_EXPAND_SZ, REG_DWORD, else binary given as hex digits).
  void Set(const std::string& key, const std::string& name, const std::string& kind,
           const std::string& data);

  // Natively only: the hive file, which a test may write or spoil itself.
  std::string HivePath() const { return folder_.Native() + "/user.reg"; }
  void WriteHive(const std::string& text) const;

 private:
  void Save() const;

  ScratchFolder folder_;
  std::optional<ScopedEnvironment> prefix_;
  std::map<std::string, std::string> sections_;  // key -> its value lines
};

}  // namespace testing_support
