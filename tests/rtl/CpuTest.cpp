// The processor features we ask for ourselves must agree with what the
// kernel found: a wrong CPUID bit would send the CRC-32 or Inflate down a
// path the processor cannot run, or never take a path it can.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "rtl/Cpu.h"

namespace {

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
std::set<std::string> KernelCpuFlags() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("flags", 0) != 0) continue;
    std::istringstream words(line.substr(line.find(':') + 1));
    std::set<std::string> flags;
    for (std::string word; words >> word;) flags.insert(word);
    return flags;
  }
  return {};
}

TEST(CpuFeatures, AgreeWithTheKernelsFlags) {
  const auto flags = KernelCpuFlags();
  ASSERT_FALSE(flags.empty()) << "no flags line in /proc/cpuinfo";
  const auto has = [&](const char* flag) { return flags.count(flag) != 0; };
  const rtl::TCpuFeatures& cpu = rtl::CpuFeatures();
  EXPECT_EQ(cpu.clmul, has("pclmulqdq") && has("sse4_1"));
  EXPECT_EQ(cpu.bmi2, has("bmi2"));
  // The kernel lists AVX-512 only where it saves the ZMM state.
  EXPECT_EQ(cpu.wideClmul, cpu.clmul && has("avx512f") && has("vpclmulqdq"));
}
#endif

}  // namespace
