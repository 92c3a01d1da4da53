#include "ksCert/ksCertImpl.h"

#include <dcf/dcfException.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "ksCert/BstrTokenizer.h"
#include "ksCert/KsCertUsages.h"
#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/key_usage.h"
#include "platform/cryptoapi/last_error.h"
#include "platform/win32/ansi_code_page.h"

namespace {

// A token of the usage text against an identifier (both ASCII when they match).
bool TokenEquals(std::u16string_view token, std::string_view identifier) {
  return std::equal(token.begin(), token.end(), identifier.begin(), identifier.end(),
                    [](char16_t a, char b) { return a == static_cast<unsigned char>(b); });
}

}  // namespace

bool ksCertImpl::GetHash(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) const {
  std::uint32_t reported = size;
  if (!context_ ||
      !capi::CertGetCertificateContextProperty(context_.get(), capi::CERT_SHA1_HASH_PROP_ID, buffer, &reported)) {
    return false;
  }
  *length = reported;
  return true;
}

bool ksCertImpl::GetEncodedSubject(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) const {
  *length = 0;
  if (!context_) return false;
  const unsigned char* der = nullptr;
  std::size_t derLength = 0;
  if (X509_NAME_get0_der(X509_get_subject_name(context_->info), &der, &derLength) != 1) return false;
  *length = static_cast<std::uint32_t>(derLength);
  if (size < derLength) return false;
  std::memcpy(buffer, der, derLength);
  return true;
}

bool ksCertImpl::CheckUsage(std::int32_t usage) const {
  if (usage == kCertUsageAny) return true;
  std::int32_t keyUsageMask = 0;
  std::span<const char* const> candidates;
  if (usage == kCertUsageServerAuth) {
    keyUsageMask = capi::CERT_DIGITAL_SIGNATURE_KEY_USAGE | capi::CERT_KEY_ENCIPHERMENT_KEY_USAGE;
    candidates = kServerAuthUsages;
  } else if (usage == kCertUsageClientAuth) {
    keyUsageMask = capi::CERT_DIGITAL_SIGNATURE_KEY_USAGE;
    candidates = kClientAuthUsages;
  }
  std::int32_t keyUsage = 0;
  DoGetKeyUsage(&keyUsage);  // a failure leaves 0, which allows nothing
  const bool keyUsagePasses = (keyUsage & keyUsageMask) != 0;

  bool extendedPasses = false;
  std::u16string text;
  if (EnhancedKeyUsageText(text)) {
    if (text == kEnhancedKeyUsageAll) {
      extendedPasses = true;
    } else {
      BstrTokenizer tokens(text, u", ");
      for (std::u16string_view token = tokens.Next(); !token.empty() && !extendedPasses; token = tokens.Next()) {
        for (const char* candidate : candidates) extendedPasses = extendedPasses || TokenEquals(token, candidate);
      }
    }
  }
  return keyUsagePasses && extendedPasses;
}

bool ksCertImpl::DoGetKeyUsage(std::int32_t* usage) const {
  if (usage == nullptr) {
    dcfThrowTargetDoesNotExistException(
        dcfTargetDoesNotExistException("cannot fetch into NULL pointer in ksCertImpl::DoGetKeyUsage"), __LINE__,
        "ksCertImpl");
  }
  *usage = 0;
  if (!context_) return false;
  std::uint8_t firstByte = 0;
  if (capi::CertGetIntendedKeyUsage(capi::X509_ASN_ENCODING, context_->info, &firstByte, 1)) {
    *usage = firstByte;
    return true;
  }
  if (capi::GetLastError() == capi::ERROR_SUCCESS) {
    *usage = static_cast<std::int32_t>(0xFFFFFFFFu);  // no key-usage extension: every use
    return true;
  }
  return false;
}

bool ksCertImpl::EnhancedKeyUsageText(std::u16string& text) const {
  text.clear();
  std::vector<std::string> identifiers;
  if (!context_ || !capi::CertGetEnhancedKeyUsage(context_.get(), 0, identifiers)) return false;
  if (identifiers.empty()) {
    if (capi::GetLastError() != capi::CRYPT_E_NOT_FOUND) return false;  // an empty list: no use
    text = kEnhancedKeyUsageAll;
    return true;
  }
  std::string joined;
  for (const std::string& identifier : identifiers) {
    if (!joined.empty()) joined += ", ";
    joined += identifier;
  }
  text = plat::AnsiToWide(joined);
  return true;
}

bool ksCertImpl::HasPrivateKey() const {
  CryptProvHolder provider;
  return context_ && provider.Acquire(context_.get());
}

bool ksCertImpl::DoGetFriendlyName(plat::BSTR* name) const {
  if (name == nullptr) {
    dcfThrowTargetDoesNotExistException(
        dcfTargetDoesNotExistException("cannot fetch into NULL pointer in ksCertImpl::DoGetFriendlyName"),
        __LINE__, "ksCertImpl");
  }
  *name = nullptr;
  std::uint32_t size = 0;
  if (!context_ ||
      !capi::CertGetCertificateContextProperty(context_.get(), capi::CERT_FRIENDLY_NAME_PROP_ID, nullptr, &size) ||
      size < sizeof(char16_t)) {
    return false;
  }
  std::vector<char16_t> text(size / sizeof(char16_t));
  if (!capi::CertGetCertificateContextProperty(context_.get(), capi::CERT_FRIENDLY_NAME_PROP_ID, text.data(), &size)) {
    return false;
  }
  // The value ends with its NUL, which the BSTR's own terminator replaces.
  const auto units = static_cast<std::uint32_t>(size / sizeof(char16_t) - 1);
  plat::BSTR copy = plat::SysAllocStringLen(text.data(), units);
  if (copy == nullptr) {
    RaiseOutOfMemory(dcfOutOfMemoryException("bstrResult != NULL"), __LINE__, "ksCertImpl");
  }
  *name = copy;
  return true;
}
