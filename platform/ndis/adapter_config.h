#pragma once
// What the host (a test or the driver host process) tells the runtime about one adapter:
// its registry parameters, the system it pretends to be, and how strict to be.
#include <cstdint>
#include <map>
#include <string>

namespace ndis {

// Keys compare like registry value names: without regard to ASCII case.
struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

enum class ViolationPolicy : std::uint8_t {
  Abort,   // print the violation and abort (default: nothing goes unnoticed)
  Record,  // print it, keep it for violations(), carry on (tests that provoke one)
};

struct AdapterConfig {
  // The adapter's registry parameters, all REG_SZ text as the registry holds them:
  // NdisParameterInteger parses decimal, NdisParameterHexInteger hexadecimal, and
  // "NetworkAddress" is twelve hex digits (separators '-' or ':' allowed).
  std::map<std::string, std::string, CaseInsensitiveLess> parameters;

  // The newest WDM version the system offers (IoIsWdmVersionAvailable); {0, 0}: none.
  std::uint8_t wdmMajor = 1;
  std::uint8_t wdmMinor = 0x20;

  // The resource list carries only the interrupt: the driver must map the BARs itself.
  bool resourcesInterruptOnly = false;

  // The registry path handed to the driver entry.
  std::u16string registryPath = u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Zelnic";

  ViolationPolicy violations = ViolationPolicy::Abort;

  // NDIS calls the miniport's check-for-hang handler at the interval it asked for.
  bool checkForHang = true;
};

}  // namespace ndis
