#include "ksCert/ksCertImpl.h"

#include <dcf/dcfException.h>
#include <openssl/x509.h>

#include <cstring>
#include <vector>

#include "platform/cryptoapi/cert_context.h"

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

bool ksCertImpl::Export(std::int32_t format, const char*, std::uint32_t passwordLength,
                        dcfByteArray& out) const {
  if (format != kCertExportDer) return false;
  if (passwordLength != 0) {
    dcfThrowRangeException(dcfRangeException("exporting of private keys is not supported for DER "
                                             "export, password should not be provided"),
                           __LINE__, "ksCertImpl");
  }
  return ExportDer(out);
}

bool ksCertImpl::ExportDer(dcfByteArray& out) const {
  if (!context_ || context_->encodingType != capi::X509_ASN_ENCODING) return false;
  out.Assign(context_->encoded, context_->encodedLength);
  return true;
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
