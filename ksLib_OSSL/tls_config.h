#pragma once
// The TLS settings of one supplicant context, from which its TLS contexts are built: the
// cipher suites in order of preference and the size of the Diffie-Hellman private exponent.
// Suite ids are kept as given, also those the TLS engine cannot offer (RC4, DES and export
// suites): the cipher list of a connection is made later from the ids the engine serves.
#include <cstdint>

#include <collections/dcfArray.h>
#include <dcf/RefCounted.h>

class TlsConfig : public RefCounted {
public:
  // A new configuration (one reference, no suites) into *config; 0, or E_OUTOFMEMORY with
  // *config null.
  static std::int32_t Create(TlsConfig** config);

  // Appends the low 16 bits of id (a TLS cipher-suite number); 0, or E_OUTOFMEMORY.
  std::int32_t AddCipherSuite(std::uint32_t id);
  std::int32_t SetDhExponentBits(std::uint32_t bits);
  // Completes the configuration; 0.
  std::int32_t Finalize();

  const dcfArray<std::uint16_t>& CipherSuites() const { return cipherSuites_; }
  std::uint32_t DhExponentBits() const { return dhExponentBits_; }

private:
  TlsConfig() = default;

  dcfArray<std::uint16_t> cipherSuites_;
  std::uint32_t dhExponentBits_ = 0;
};
