#include "support/TestRegistry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace testing_support {

namespace {

void ClearWindowsHive() {
  (void)std::system("reg delete \"HKCU\\Software\\Medisoft\" /f >NUL 2>&1");
}

// A text as the hive file quotes it.
std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::string HiveLine(const std::string& name, const std::string& kind, const std::string& data) {
  std::string line = "\"" + Escape(name) + "\"=";
  if (kind == "REG_SZ") {
    line.append("\"").append(Escape(data)).append("\"");
  } else if (kind == "REG_EXPAND_SZ") {
    line.append("str(2):\"").append(Escape(data)).append("\"");
  } else if (kind == "REG_DWORD") {
    char hex[16];
    std::snprintf(hex, sizeof hex, "dword:%08lx", std::strtoul(data.c_str(), nullptr, 0));
    line += hex;
  } else {
    line += "hex:";
    for (size_t i = 0; i + 1 < data.size(); i += 2) line.append(i ? "," : "").append(data, i, 2);
  }
  return line + "\n";
}

}  // namespace

TestRegistry::TestRegistry() {
  if (UnderWindows()) {
    ClearWindowsHive();
    return;
  }
  prefix_.emplace("WINEPREFIX", folder_.Native());
  Save();
}

TestRegistry::~TestRegistry() {
  if (UnderWindows()) ClearWindowsHive();
}

void TestRegistry::Set(const std::string& key, const std::string& name, const std::string& kind,
                       const std::string& data) {
  if (UnderWindows()) {
    const std::string command = "reg add \"HKCU\\Software\\" + key + "\" /v \"" + name + "\" /t " +
                                kind + " /d \"" + data + "\" /f >NUL 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    return;
  }
  sections_[key] += HiveLine(name, kind, data);
  Save();
}

void TestRegistry::WriteHive(const std::string& text) const {
  std::ofstream(HivePath(), std::ios::binary) << text;
}

void TestRegistry::Save() const {
  std::string text =
      "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n";
  for (const auto& [key, lines] : sections_)
    text += "[Software\\\\" + Escape(key) + "] 1733648000\n#time=1db4ac1d7e2a5b0\n" + lines + "\n";
  WriteHive(text);
}

}  // namespace testing_support
