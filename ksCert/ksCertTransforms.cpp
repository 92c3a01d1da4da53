// The private-key transforms of ksCertImpl: the RSA signature of the TLS 1.0 handshake hash
// (MD5 and SHA-1 together, signed without a DigestInfo) or of a DigestInfo (TLS 1.2), the DSA signature of a SHA-1 value,
// and RSA decryption. The key never leaves the certificate-store services' provider.
#include <dcf/dcfWipe.h>
#include <openssl/evp.h>
#include <openssl/err.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "ksCert/KsCertHolders.h"
#include "ksCert/ksCertImpl.h"
#include "platform/cryptoapi/openssl_error_scope.h"

namespace {

// The TLS 1.0 handshake hash: 16 bytes of MD5 followed by 20 of SHA-1.
constexpr std::uint32_t kMd5Sha1Size = 36;
constexpr std::uint32_t kSha1Size = 20;

struct PkeyContextFree {
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
using PkeyContext = std::unique_ptr<EVP_PKEY_CTX, PkeyContextFree>;

// A byte buffer wiped before it is freed (a decrypted secret, a signature in the making).
class WipedBytes {
public:
  explicit WipedBytes(std::size_t size) : bytes_(size) {}
  ~WipedBytes() { dcfWipe(bytes_.data(), bytes_.size()); }
  WipedBytes(const WipedBytes&) = delete;
  WipedBytes& operator=(const WipedBytes&) = delete;
  unsigned char* Data() { return bytes_.data(); }
  std::size_t Size() const { return bytes_.size(); }

private:
  std::vector<unsigned char> bytes_;
};

// Copies a result out when it fits; its length is reported either way.
bool HandOver(WipedBytes& result, std::size_t length, std::uint8_t* output, std::uint32_t outputSize,
              std::uint32_t* outputLength) {
  *outputLength = static_cast<std::uint32_t>(length);
  if (outputSize < length) return false;
  std::copy(result.Data(), result.Data() + length, output);
  return true;
}

// Whether the input is exactly one DER DigestInfo (what TLS 1.2 signs with RSA).
bool IsDigestInfo(const std::uint8_t* input, std::uint32_t length) {
  const unsigned char* cursor = input;
  X509_SIG* info = d2i_X509_SIG(nullptr, &cursor, static_cast<long>(length));
  const bool whole = info != nullptr && cursor == input + length;
  X509_SIG_free(info);
  ERR_clear_error();
  return whole;
}

enum class Operation { Sign, Decrypt };

// Runs one sign or decrypt with the certificate's key of the given type over the input.
bool RunWithKey(capi::PCCERT_CONTEXT context, int keyType, Operation operation, int padding,
                const std::uint8_t* input, std::uint32_t inputLength, std::uint8_t* output,
                std::uint32_t outputSize, std::uint32_t* outputLength) {
  *outputLength = 0;
  CryptProvHolder provider;
  if (context == nullptr || !provider.Acquire(context)) return false;
  EVP_PKEY* key = const_cast<EVP_PKEY*>(capi::ProviderKey(provider.Get()));
  if (key == nullptr || EVP_PKEY_get_base_id(key) != keyType) return false;
  capi::detail::OpenSslErrorScope errors;
  PkeyContext pkey(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
  if (!pkey) return false;
  const bool ready = operation == Operation::Sign ? EVP_PKEY_sign_init(pkey.get()) == 1
                                                  : EVP_PKEY_decrypt_init(pkey.get()) == 1;
  if (!ready || (padding != 0 && EVP_PKEY_CTX_set_rsa_padding(pkey.get(), padding) != 1)) return false;
  std::size_t length = 0;
  auto run = [&](unsigned char* out, std::size_t* size) {
    return operation == Operation::Sign ? EVP_PKEY_sign(pkey.get(), out, size, input, inputLength)
                                        : EVP_PKEY_decrypt(pkey.get(), out, size, input, inputLength);
  };
  if (run(nullptr, &length) != 1 || length == 0) return false;
  WipedBytes result(length);
  if (run(result.Data(), &length) != 1) return false;
  return HandOver(result, length, output, outputSize, outputLength);
}

}  // namespace

bool ksCertImpl::SignRsa(const std::uint8_t* input, std::uint32_t inputLength, std::uint8_t* output,
                         std::uint32_t outputSize, std::uint32_t* outputLength) const {
  *outputLength = 0;
  if (inputLength != kMd5Sha1Size && !IsDigestInfo(input, inputLength)) return false;
  // PKCS #1 type 1 padding over the raw input (the 36 bytes have no DigestInfo, TLS 1.2's
  // digest comes inside its own): the signature comes out big-endian, as the peer reads it.
  return RunWithKey(context_.get(), EVP_PKEY_RSA, Operation::Sign, RSA_PKCS1_PADDING, input, inputLength, output,
                    outputSize, outputLength);
}

bool ksCertImpl::SignDsa(const std::uint8_t* input, std::uint32_t inputLength, std::uint8_t* output,
                         std::uint32_t outputSize, std::uint32_t* outputLength) const {
  *outputLength = 0;
  if (inputLength != kSha1Size) return false;
  // The signature comes out as the DER Dss-Sig-Value (r and s as INTEGERs).
  return RunWithKey(context_.get(), EVP_PKEY_DSA, Operation::Sign, 0, input, inputLength, output, outputSize,
                    outputLength);
}

bool ksCertImpl::Decrypt(const std::uint8_t* input, std::uint32_t inputLength, std::uint8_t* output,
                         std::uint32_t outputSize, std::uint32_t* outputLength) const {
  *outputLength = 0;
  // The input is big-endian as it came from the peer, which is how the key takes it here.
  return RunWithKey(context_.get(), EVP_PKEY_RSA, Operation::Decrypt, RSA_PKCS1_PADDING, input, inputLength, output,
                    outputSize, outputLength);
}
