// The export operations of ksCertImpl: the certificate as DER, or as PKCS#12 with or without
// the chain that the current user's engine builds for it.
#include <dcf/dcfException.h>
#include <dcf/dcfWipe.h>
#include <openssl/pkcs12.h>

#include <memory>
#include <string>

#include "ksCert/KsCertHolders.h"
#include "ksCert/ksCertImpl.h"
#include "platform/cryptoapi/chain_engine.h"
#include "platform/cryptoapi/openssl_error_scope.h"
#include "platform/win32/file_time.h"

namespace {

constexpr char kSourceFile[] = "ksCertImpl";

// The password as the PKCS#12 encoder takes it (UTF-8, the narrow code page), wiped when done.
class Password {
public:
  Password(const char* text, std::uint32_t length) {
    // Exactly `length` bytes: the caller's text need not end in a NUL there.
    if (text != nullptr && length != 0) text_.assign(text, length);
  }
  ~Password() { dcfWipe(text_.data(), text_.size()); }
  Password(const Password&) = delete;
  Password& operator=(const Password&) = delete;

  bool Given() const { return !text_.empty(); }
  const char* Text() const { return text_.c_str(); }

private:
  std::string text_;
};

struct Pkcs12Free {
  void operator()(PKCS12* p12) const { PKCS12_free(p12); }
};
struct X509StackFree {
  void operator()(STACK_OF(X509)* stack) const { sk_X509_free(stack); }
};
struct EngineFree {
  void operator()(capi::HCERTCHAINENGINE engine) const { capi::CertFreeCertificateChainEngine(engine); }
};

// The chain of the certificate as far as it can be built, end certificate first; null when
// no engine or chain could be had.
ChainHolder BuildChainFor(capi::PCCERT_CONTEXT context) {
  capi::CertChainEngineConfig config;
  config.flags = capi::CERT_CHAIN_CACHE_END_CERT;
  capi::HCERTCHAINENGINE made = nullptr;
  if (!capi::CertCreateCertificateChainEngine(config, &made)) return nullptr;
  std::unique_ptr<capi::ChainEngine, EngineFree> engine(made);
  capi::PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!capi::CertGetCertificateChain(engine.get(), context, plat::FileTimeNow(), nullptr, capi::CertChainPara{}, 0,
                                     &chain)) {
    return nullptr;
  }
  return ChainHolder(chain);
}

}  // namespace

bool ksCertImpl::Export(std::int32_t format, const char* password, std::uint32_t passwordLength,
                        dcfByteArray& out) const {
  if (format == kCertExportDer) {
    if (passwordLength != 0) {
      dcfThrowRangeException(dcfRangeException("exporting of private keys is not supported for DER "
                                               "export, password should not be provided"),
                             __LINE__, kSourceFile);
    }
    return ExportDer(out);
  }
  if (format == kCertExportPkcs12) return ExportPkcs12(password, passwordLength, /*withChain=*/false, out);
  return false;
}

bool ksCertImpl::ExportChain(std::int32_t format, const char* password, std::uint32_t passwordLength,
                             dcfByteArray& out) const {
  if (format != kCertExportPkcs12) {
    dcfThrowRangeException(dcfRangeException("only pkcs12 format is presently supported for cert chain export"),
                           __LINE__, kSourceFile);
  }
  return ExportPkcs12(password, passwordLength, /*withChain=*/true, out);
}

bool ksCertImpl::ExportDer(dcfByteArray& out) const {
  if (!context_ || context_->encodingType != capi::X509_ASN_ENCODING) return false;
  out.Assign(context_->encoded, context_->encodedLength);
  return true;
}

bool ksCertImpl::ExportPkcs12(const char* password, std::uint32_t passwordLength, bool withChain,
                              dcfByteArray& out) const {
  out.Clear();
  if (!context_) return false;
  const Password secret(password, passwordLength);
  capi::detail::OpenSslErrorScope errors;

  // With a password the private key goes along, and must be there; without one it never does.
  CryptProvHolder provider;
  EVP_PKEY* key = nullptr;
  if (secret.Given()) {
    if (!provider.Acquire(context_.get())) return false;
    key = const_cast<EVP_PKEY*>(capi::ProviderKey(provider.Get()));
  }

  std::unique_ptr<STACK_OF(X509), X509StackFree> others(sk_X509_new_null());
  if (!others) return false;
  ChainHolder chain;
  if (withChain) {
    chain = BuildChainFor(context_.get());
    if (!chain) return false;
    // The chain as far as it was built: its trust is not looked at.
    const capi::CertSimpleChain* simple = chain->chainCount > 0 ? &chain->chains[0] : nullptr;
    for (std::uint32_t i = 1; simple != nullptr && i < simple->elementCount; ++i) {
      if (simple->elements[i].certificate == nullptr ||
          sk_X509_push(others.get(), const_cast<X509*>(simple->elements[i].certificate->info)) <= 0) {
        return false;
      }
    }
  }
  // No password: the bags are protected with the empty one, as readers expect of such files.
  std::unique_ptr<PKCS12, Pkcs12Free> p12(PKCS12_create(secret.Text(), nullptr, key, const_cast<X509*>(context_->info),
                                                        others.get(), 0, 0, 0, 0, 0));
  if (!p12) return false;
  const int length = i2d_PKCS12(p12.get(), nullptr);
  if (length <= 0) return false;
  out.Resize(static_cast<std::uint32_t>(length));
  unsigned char* cursor = out.Data();
  if (i2d_PKCS12(p12.get(), &cursor) != length) {
    out.Clear();
    return false;
  }
  return true;
}
