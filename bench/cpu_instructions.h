#pragma once
// The crypto benchmarks compare our primitives with OpenSSL's twice: with the CPU's AES and
// SHA instructions on, as users have them (the headline), and with both sides denied them
// (masked). OpenSSL reads its capability vector OPENSSL_ia32cap once, as it loads, so the
// masked run is the same program again in a child process with the mask set; our own code is
// switched off in that process by the program's own switches.
//
// OPENSSL_ia32cap is "LV0:LV1", two 64-bit words of CPUID bits; a leading '~' clears the bits
// it names from what the CPU reports. LV0 bit 57 is AES-NI (CPUID.1:ECX bit 25); LV1 bit 29
// is SHA (CPUID.7.0:EBX bit 29) and bit 41 VAES (CPUID.7.0:ECX bit 9). OpenSSL then uses its
// next-best code: vector-permute AES (SSSE3), SHA-1 with AVX2 or SSSE3 message schedules.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

inline constexpr const char* kMaskAesAndSha = "~0x200000000000000:~0x20020000000";
inline constexpr const char* kMaskedRunVariable = "ZL_BENCH_MASKED_RUN";

enum class InstructionRun { kOn, kMasked };

inline const char* Describe(InstructionRun run) {
  return run == InstructionRun::kOn ? "CPU instructions on (headline)"
                                    : "CPU instructions masked (OpenSSL's AES-NI, VAES and SHA bits cleared, ours off)";
}

// The CPU's model and the flags that choose crypto code, from /proc/cpuinfo.
inline void PrintCpu() {
  static const std::set<std::string> kFlags = {"aes", "vaes", "sha_ni", "pclmulqdq", "ssse3", "avx", "avx2",
                                               "avx512f", "bmi2"};
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line, model = "?", flags;
  while (std::getline(cpuinfo, line)) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string key = line.substr(0, line.find_last_not_of(" \t", colon - 1) + 1);
    if (key == "model name" && model == "?") model = line.substr(colon + 2);
    if (key == "flags" && flags.empty()) {
      std::istringstream words(line.substr(colon + 1));
      for (std::string flag; words >> flag;) {
        if (kFlags.count(flag) != 0) flags += (flags.empty() ? "" : " ") + flag;
      }
    }
  }
  std::printf("CPU: %s; crypto flags: %s\n", model.c_str(), flags.c_str());
}

inline void PrintRunHeader(InstructionRun run) {
  const char* cap = std::getenv("OPENSSL_ia32cap");
  std::printf("\n== %s; OPENSSL_ia32cap=%s\n", Describe(run), cap != nullptr ? cap : "(unset)");
}

// Runs body here with the CPU's instructions on, then (in a child process, as OpenSSL needs)
// masked; --cpu_instructions=on|masked|both (default both) picks the runs. `denyOurs` switches
// our code off in the masked run. The exit status is 0 only when every run returned 0.
inline int RunWithAndWithoutCpuInstructions(int argc, char** argv, void (*denyOurs)(),
                                            const std::function<int(InstructionRun, int, char**)>& body) {
  if (const char* masked = std::getenv(kMaskedRunVariable); masked != nullptr && std::strcmp(masked, "1") == 0) {
    denyOurs();
    return body(InstructionRun::kMasked, argc, argv);
  }
  std::string which = "both";
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--cpu_instructions=", 19) == 0) {
      which = argv[i] + 19;
    } else {
      args.push_back(argv[i]);
    }
  }
  if (which != "on" && which != "masked" && which != "both") {
    std::fprintf(stderr, "--cpu_instructions takes on, masked or both\n");
    return 2;
  }
  PrintCpu();
  int status = 0;
  if (which != "masked") {
    std::vector<char*> ours = args;
    ours.push_back(nullptr);
    status |= body(InstructionRun::kOn, static_cast<int>(args.size()), ours.data());
  }
  if (which != "on") {
    std::fflush(stdout);
    std::fflush(stderr);
    args.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      setenv("OPENSSL_ia32cap", kMaskAesAndSha, 1);
      setenv(kMaskedRunVariable, "1", 1);
      execv("/proc/self/exe", args.data());
      std::perror("execv");
      _exit(127);
    }
    int childStatus = 0;
    if (child < 0 || waitpid(child, &childStatus, 0) != child || !WIFEXITED(childStatus) ||
        WEXITSTATUS(childStatus) != 0) {
      std::fprintf(stderr, "the masked run failed\n");
      status |= 1;
    }
  }
  return status;
}
