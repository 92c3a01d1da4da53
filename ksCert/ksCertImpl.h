#pragma once
// The implementation part that KsCert and KsCertRef share: one certificate context (owned)
// and the owner that made the certificate available. Its operations return true or false;
// the interface slots turn that into S_OK or S_FALSE.
#include <collections/dcfByteArray.h>
#include <dcf/dcfComPtr.h>

#include <cstdint>
#include <string>

#include "inc/ksCertUtility.h"
#include "ksCert/KsCertHolders.h"

// The extended-key-usage text of a certificate that limits no usage.
inline constexpr char16_t kEnhancedKeyUsageAll[] = u"KELMORA_EKU_USAGE_ALL";

class ksCertImpl {
public:
  // Takes over the context (freeing the previous one).
  void SetContext(capi::PCCERT_CONTEXT context) { context_.reset(context); }
  // Holds one reference on the owner (releasing the previous one); null clears it.
  void SetOwner(IUnknown* owner) { owner_.Assign(owner); }

  capi::PCCERT_CONTEXT Context() const { return context_.get(); }
  IUnknown* Owner() const { return owner_.Get(); }

  // The SHA-1 hash into buffer (size bytes): true with *length = 20; false when there is no
  // context or the buffer is too small.
  bool GetHash(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) const;

  // The DER subject name: *length = its size (0 without a context); copied and true when size
  // covers it, else false with the buffer untouched.
  bool GetEncodedSubject(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) const;

  // Whether the certificate is good for a usage (kCertUsageServerAuth, kCertUsageClientAuth,
  // kCertUsageAny): its key usage and its extended key usages must both allow it.
  bool CheckUsage(std::int32_t usage) const;

  // The key-usage bits of the first byte; every bit set when the certificate has no key-usage
  // extension. False (and 0) when they cannot be read. Throws
  // dcfTargetDoesNotExistException for a null destination.
  bool DoGetKeyUsage(std::int32_t* usage) const;

  // The extended key usages as text: the identifiers joined by ", ", or
  // kEnhancedKeyUsageAll when the certificate limits no usage. False when there is no text
  // (an empty usage list, or an unreadable extension).
  bool EnhancedKeyUsageText(std::u16string& text) const;

  // The display text of a field (CertField); false when the field has no text here (an
  // unknown code, an absent or undecodable part, fields 11 and 13 always).
  bool GetFieldText(std::int32_t field, std::u16string& text) const;
  // The field's text read as a decimal number (leading spaces and a sign allowed); false and
  // 0 when the text is missing, holds no token or does not start with a number.
  bool GetFieldNumber(std::int32_t field, std::int32_t* value) const;

  // True when the certificate has a private key that matches its public key.
  bool HasPrivateKey() const;

  // Export in a format (kCertExportDer, or kCertExportPkcs12 without the chain) into out;
  // another format gives false. A password with DER throws dcfRangeException: DER carries no
  // private key.
  bool Export(std::int32_t format, const char* password, std::uint32_t passwordLength,
              dcfByteArray& out) const;
  // PKCS#12 with the chain as far as the current user's engine builds it; another format
  // throws dcfRangeException.
  bool ExportChain(std::int32_t format, const char* password, std::uint32_t passwordLength,
                   dcfByteArray& out) const;
  // The certificate's DER bytes.
  bool ExportDer(dcfByteArray& out) const;
  // PKCS#12: with a password (exactly passwordLength bytes, UTF-8) the private key goes
  // along and must be there; without one only certificates go.
  bool ExportPkcs12(const char* password, std::uint32_t passwordLength, bool withChain,
                    dcfByteArray& out) const;

  // The private-key transforms. Each reports the result's length in *outputLength and is
  // true only when the result was copied into output (outputSize bytes).
  // RSA signature, PKCS #1 type 1 without DigestInfo, of the 36-byte MD5 and SHA-1 value.
  bool SignRsa(const std::uint8_t* input, std::uint32_t inputLength, std::uint8_t* output,
               std::uint32_t outputSize, std::uint32_t* outputLength) const;
  // DSA signature of a 20-byte SHA-1 value, as a DER Dss-Sig-Value.
  bool SignDsa(const std::uint8_t* input, std::uint32_t inputLength, std::uint8_t* output,
               std::uint32_t outputSize, std::uint32_t* outputLength) const;
  // RSA PKCS #1 decryption of a big-endian input.
  bool Decrypt(const std::uint8_t* input, std::uint32_t inputLength, std::uint8_t* output,
               std::uint32_t outputSize, std::uint32_t* outputLength) const;

  // The friendly name as a new BSTR (caller frees); false and null when there is none.
  // Throws dcfTargetDoesNotExistException for a null destination.
  bool DoGetFriendlyName(plat::BSTR* name) const;

private:
  CertContextHolder context_;
  dcfComPtr<IUnknown> owner_;
};
