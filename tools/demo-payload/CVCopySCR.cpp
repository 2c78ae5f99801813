// The stand-in add-on that the installer carries and starts. It never opens a
// window: it writes started.txt beside itself with its own file version, so
// that a run can tell it was started and which build it was, and exits.
#include <windows.h>

#include <string>
#include <vector>

namespace {

std::wstring OwnPath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return L"";
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::string OwnFileVersion(const std::wstring& path) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size == 0) return "";
  std::vector<char> info(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, info.data())) return "";
  wchar_t* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(info.data(), L"\\StringFileInfo\\040904E4\\FileVersion",
                      reinterpret_cast<void**>(&text), &length) ||
      text == nullptr)
    return "";
  std::string version;
  for (UINT i = 0; i < length && text[i] != 0; ++i) version += static_cast<char>(text[i]);
  return version;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::wstring self = OwnPath();
  const size_t slash = self.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return 1;
  const std::wstring report = self.substr(0, slash + 1) + L"started.txt";
  const std::string line = OwnFileVersion(self) + "\r\n";
  const HANDLE file = CreateFileW(report.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == line.size() ? 0 : 3;
}
