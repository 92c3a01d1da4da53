#pragma once
// The cipher list a TLS context offers, built from TLS cipher-suite ids in order of
// preference. Only suites the TLS engine (OpenSSL 3) can serve are named: RC4, IDEA, DES,
// triple-DES and export suites are skipped, and so are the three SPEKE suites, which the
// engine does not carry.
#include <cstdint>
#include <string>

#include <collections/dcfArray.h>

// The default list of a client context: the classic suites in their order of preference,
// then the TLS 1.0 AES suites the engine serves (DHE-RSA, DHE-DSS, then RSA key exchange).
inline constexpr std::uint16_t kDefaultClientCipherSuites[] = {
    0x16, 0x13, 0x66, 0x15, 0x12, 0x0A, 0x05, 0x04, 0x07, 0x09, 0x63, 0x65, 0x60, 0x62,
    0x61, 0x64, 0x14, 0x11, 0x03, 0x06, 0x08, 0x39, 0x33, 0x38, 0x32, 0x35, 0x2F};

// The TLS 1.0 AES suites, also appended to the supplicant context's own default list.
inline constexpr std::uint16_t kTlsAesCipherSuites[] = {0x39, 0x33, 0x38, 0x32, 0x35, 0x2F};

// Put before the configured suites of every client context's list; the engine offers them
// in TLS 1.2 only.
inline constexpr char kTls12ForwardSecretSuites[] =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
    "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384";

// The engine's name of a suite, or null when the engine cannot serve it.
const char* CipherSuiteName(std::uint16_t id);

// "name:name:..." of the servable ids, each name followed by a colon; empty when none.
std::string BuildCipherList(const dcfArray<std::uint16_t>& ids);
