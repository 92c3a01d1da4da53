#pragma once
// The extended key usages that make a certificate fit for each TLS role.
#include <string_view>

// Server authentication, and the two older server-gated-cryptography identifiers.
inline constexpr const char* kServerAuthUsages[] = {"1.3.6.1.5.5.7.3.1", "1.3.6.1.4.1.311.10.3.3",
                                                     "2.16.840.1.113730.4.1"};
// Client authentication.
inline constexpr const char* kClientAuthUsages[] = {"1.3.6.1.5.5.7.3.2"};
