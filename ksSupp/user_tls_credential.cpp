// The TLS credentials of an identity: a client context on the supplicant context's TLS
// configuration, with the user's certificate and its chain when the identity names one (by
// store location and SHA-1 hash, or as a certificate object). The certificate's key stays
// where it is kept: the connection's external signer asks the host or the store to sign.
#include <dcf/dcfComPtr.h>
#include <dcf/dcfWipe.h>

#include <cstring>

#include <openssl/err.h>
#include <openssl/x509.h>

#include "ksLib_OSSL/tls_context.h"
#include "ksSupp/api_context.h"
#include "ksSupp/cert_utility_calls.h"
#include "ksSupp/user_private_key.h"
#include "platform/win32/bstr.h"

namespace {

constexpr std::uint32_t kCurrentUserMy = 1;
constexpr std::uint32_t kLocalMachineMy = 2;

// A BSTR for the duration of one call.
class Text {
 public:
  explicit Text(const char16_t* text) : bstr_(plat::SysAllocString(text)) {
    if (bstr_ == nullptr) throw std::bad_alloc();
  }
  ~Text() { plat::SysFreeString(bstr_); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  operator plat::BSTR() const { return bstr_; }

 private:
  plat::BSTR bstr_;
};

const char16_t* LocationName(std::uint32_t location) {
  return location == kCurrentUserMy ? kCertLocationCurrentUser : kCertLocationLocalMachine;
}

dcfComPtr<ksCertStore> OpenStore(ksCertUtility& utility, const char16_t* name,
                                 std::uint32_t location) {
  ksCertStore* store = nullptr;
  const HRESULT result =
      utility.OpenCertStore(Text(name), nullptr, Text(LocationName(location)), &store);
  dcfComPtr<ksCertStore> held;
  held.Attach(store);
  CheckCertUtility(result, "error return from OpenCertStore call in certificate utility object",
                   __LINE__);
  if (result != S_OK) held.Reset();
  return held;
}

// The user's certificate from "my" of the location; null when it is not there.
dcfComPtr<ksCert> FindUserCertificate(ksCertUtility& utility, std::uint32_t location,
                                      const std::uint8_t* hash) {
  dcfComPtr<ksCert> found;
  if ((location != kCurrentUserMy && location != kLocalMachineMy) || hash == nullptr) {
    return found;
  }
  dcfComPtr<ksCertStore> store = OpenStore(utility, u"my", location);
  if (!store) return found;
  ksCert* cert = nullptr;
  const HRESULT result = store->GetCertByHash(hash, 20, &cert);
  found.Attach(cert);
  CheckCertUtility(result, "error return from GetCertByHash in ksCertStore", __LINE__);
  if (result != S_OK) found.Reset();
  return found;
}

// The certificate's chain for client use, over the location's "root" and "ca" stores; null
// when none could be built.
dcfComPtr<ksCertChain> BuildUserChain(ksCertUtility& utility, std::uint32_t location,
                                      ksCert& cert) {
  dcfComPtr<ksCertChain> chain;
  dcfComPtr<ksCertChainEngine> engine;
  {
    ksCertChainEngine* made = nullptr;
    const HRESULT result = utility.CreateCertChainEngine(nullptr, &made);
    engine.Attach(made);
    CheckCertUtility(result,
                     "error return from CreateCertChainEngine call in certificate utility object",
                     __LINE__);
    if (result != S_OK || !engine) return chain;
  }
  dcfComPtr<ksCertStore> root = OpenStore(utility, u"root", location);
  dcfComPtr<ksCertStore> intermediate = OpenStore(utility, u"ca", location);
  if (root) {
    CheckCertUtility(engine->put_RootStore(root.Get()),
                     "error return from put_RootStore in ksCertChainEngine", __LINE__);
  }
  if (intermediate) {
    CheckCertUtility(engine->put_IntermediateStore(intermediate.Get()),
                     "error return from put_IntermediateStore in ksCertChainEngine", __LINE__);
  }
  dcfComPtr<ksCertChainValidation> validation;
  {
    ksCertChainValidation* made = nullptr;
    const HRESULT result = engine->CreateValidation(&made);
    validation.Attach(made);
    CheckCertUtility(result, "error return from CreateValidation in ksCertChainEngine", __LINE__);
    if (result != S_OK || !validation) return chain;
  }
  dcfByteArray der;
  ExportCertificateDer(cert, der);
  VARIANT_BOOL accepted = VARIANT_FALSE;
  const HRESULT set = validation->SetEndCert(der.Data(), der.Length(), &accepted);
  CheckCertUtility(set, "error return from SetEndCert in ksCertChainValidation", __LINE__);
  if (!CertUtilityAccepted(set, accepted)) return chain;
  ksCertChain* built = nullptr;
  const HRESULT result = validation->CreateChain(kCertUsageAny, &built);
  chain.Attach(built);
  CheckCertUtility(result, "error return from CreateChain in ksCertChainValidation", __LINE__);
  if (result != S_OK) chain.Reset();
  return chain;
}

// Whether the certificate's key is RSA: the external signer signs with such keys while they
// stay in the store.
bool HasRsaKey(const dcfByteArray& der) {
  const unsigned char* cursor = der.Data();
  X509* certificate = d2i_X509(nullptr, &cursor, static_cast<long>(der.Length()));
  const bool rsa = certificate != nullptr && X509_get0_pubkey(certificate) != nullptr &&
                   EVP_PKEY_is_a(X509_get0_pubkey(certificate), "RSA");
  X509_free(certificate);
  ERR_clear_error();
  return rsa;
}

// The certificate object's SHA-1 hash.
void CertificateHash(ksCert& cert, std::uint8_t hash[20]) {
  std::uint32_t length = 0;
  const HRESULT result = cert.get_Hash(hash, 20, &length);
  CheckCertUtility(result, "error return from get_Hash call in certificate utility object",
                   __LINE__);
  if (result != S_OK || length != 20) {
    CheckCertUtility(E_FAIL, "error return from get_Hash call in certificate utility object",
                     __LINE__);
  }
}

}  // namespace

std::uint32_t ApiContext::LoadUserCertificate(std::uint32_t location, ksCert& cert,
                                              const std::uint8_t hash[20], TlsContext& context) {
  const std::uint32_t stores = location == kLocalMachineMy ? kLocalMachineMy : kCurrentUserMy;
  dcfComPtr<ksCertChain> chain = BuildUserChain(*certUtility_, stores, cert);
  if (!chain) return IdentityTlsCredential::kContextFailed;
  std::int32_t count = 0;
  CheckCertUtility(chain->get_NumCerts(&count),
                   "error return from get_NumCerts call in certificate utility object", __LINE__);
  bool rsa = false;
  for (std::int32_t i = 0; i < count; ++i) {
    dcfComPtr<ksCert> member = ChainCertificate(*chain, i);
    dcfByteArray der;
    if (member) ExportCertificateDer(*member, der);
    if (der.Empty()) break;
    if (i == 0) {
      rsa = HasRsaKey(der);
      context.UseCertificateDer(TlsContext::kDer, der.Data(), der.Length());
    } else {
      context.AddChainCertificateDer(TlsContext::kDer, der.Data(), der.Length());
    }
  }
  if (count <= 0) return IdentityTlsCredential::kContextFailed;
  if (rsa) return 0;
  return LoadUserPrivateKey(stores == kCurrentUserMy ? UserKeyLocation::kCurrentUser
                                                     : UserKeyLocation::kLocalMachine,
                            hash, context)
             ? 0
             : IdentityTlsCredential::kContextFailed;
}

IdentityTlsCredential* ApiContext::CreateTlsContext(std::uint32_t location,
                                                    const std::uint8_t* hash,
                                                    ksCert* certificate) {
  auto* credential = new IdentityTlsCredential();
  try {
    FillCredential(*credential, location, hash, certificate);
  } catch (...) {
    credential->Release();
    throw;
  }
  return credential;
}

void ApiContext::FillCredential(IdentityTlsCredential& credential, std::uint32_t location,
                                const std::uint8_t* hash, ksCert* given) {
  // The certificate: the object given, else the one the location's "my" store holds.
  dcfComPtr<ksCert> certificate;
  if (given != nullptr) {
    given->AddRef();
    certificate.Attach(given);
    CertificateHash(*certificate, credential.hash);
    credential.hasHash = true;
  } else if (location != 0 && hash != nullptr) {
    credential.hasHash = true;
    std::memcpy(credential.hash, hash, sizeof credential.hash);
  }
  TlsContext* made = nullptr;
  if (!tlsConfig_ || TlsContext::Create(tlsConfig_.Get(), &made) != 0) {
    credential.status = IdentityTlsCredential::kContextFailed;
    return;
  }
  dcfComPtr<TlsContext> context;
  context.Attach(made);
  if (!certificate && location != 0) {
    certificate = FindUserCertificate(*certUtility_, location, hash);
    if (!certificate) {
      credential.status = IdentityTlsCredential::kCertificateNotFound;
      return;
    }
  }
  if (certificate) {
    const std::uint32_t loaded =
        LoadUserCertificate(location, *certificate, credential.hash, *context);
    if (loaded != 0) {
      credential.status = loaded;
      return;
    }
    credential.certificate = certificate;
  }
  if (context->SetVerifyPeer(true) != 0 || context->ApplyConfiguration() != 0) {
    credential.status = IdentityTlsCredential::kContextFailed;
    return;
  }
  credential.context = std::move(context);
}
