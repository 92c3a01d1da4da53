#pragma once
// One DER-encoded certificate as the TLS engine hands it over.
#include <cstdint>

struct DerCertificate {
  const std::uint8_t* bytes;
  std::uint32_t length;
};
