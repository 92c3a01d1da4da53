#include "ksLib_OSSL/tls_config.h"

#include <new>

#include "platform/win32/hresult.h"

std::int32_t TlsConfig::Create(TlsConfig** config) {
  *config = new (std::nothrow) TlsConfig();
  return *config != nullptr ? 0 : E_OUTOFMEMORY;
}

std::int32_t TlsConfig::AddCipherSuite(std::uint32_t id) {
  const auto suite = static_cast<std::uint16_t>(id & 0xFFFF);
  try {
    cipherSuites_.Append(&suite, 1);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return 0;
}

std::int32_t TlsConfig::SetDhExponentBits(std::uint32_t bits) {
  dhExponentBits_ = bits;
  return 0;
}

std::int32_t TlsConfig::Finalize() { return 0; }
