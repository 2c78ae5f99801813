// Code pages and locks on the real Windows API: the system's own OEM-to-ANSI
// table and a CRITICAL_SECTION, which is re-entrant for its owning thread.
#include <windows.h>

// windows.h maps the name onto OemToCharA; the layer's function has it too.
#undef OemToChar

#include <atomic>
#include <string>

#include "os/os.h"

namespace os {

namespace {

std::atomic<bool> multiThread{false};

}  // namespace

bool AreFileApisAnsi() {
  return ::AreFileApisANSI() != FALSE;
}

std::string OemToChar(const std::string& oem) {
  std::string ansi(oem.size(), '\0');
  // The buffer call takes a length, so embedded zeros are converted too.
  if (!oem.empty()) ::OemToCharBuffA(oem.data(), ansi.data(), static_cast<DWORD>(oem.size()));
  return ansi;
}

struct CriticalSection::Impl {
  CRITICAL_SECTION section;
};

CriticalSection::CriticalSection() : impl_(std::make_unique<Impl>()) {
  ::InitializeCriticalSection(&impl_->section);
}

CriticalSection::~CriticalSection() {
  ::DeleteCriticalSection(&impl_->section);
}

void CriticalSection::Enter() {
  ::EnterCriticalSection(&impl_->section);
}

void CriticalSection::Leave() {
  ::LeaveCriticalSection(&impl_->section);
}

bool IsMultiThread() {
  return multiThread.load();
}

void SetMultiThread(bool value) {
  multiThread.store(value);
}

}  // namespace os
