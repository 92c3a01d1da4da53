#pragma once
// Test doubles of the certificate library's chain machinery (header-only, tests only): a
// root that hands out one engine, an engine whose validation accepts or refuses each step,
// and a chain with given trust flags and certificates. Objects count their references but
// belong to the test; Balanced() says every reference handed out came back.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "inc/ksCertUtility.h"

namespace fake_cert {

template <class Interface>
class Counted : public Interface {
public:
  HRESULT QueryInterface(const IID&, void** object) override {
    if (object != nullptr) *object = nullptr;
    return E_NOINTERFACE;
  }
  std::uint32_t AddRef() override { return static_cast<std::uint32_t>(++references); }
  std::uint32_t Release() override { return static_cast<std::uint32_t>(--references); }
  bool Balanced() const { return references == 0; }

  int references = 0;  // handed out and not yet released
};

class Cert : public Counted<ksCert> {
public:
  explicit Cert(std::vector<std::uint8_t> derBytes) : der(std::move(derBytes)) {}

  HRESULT CheckUsage(std::int32_t usage, VARIANT_BOOL* valid) override {
    lastUsage = usage;
    *valid = serverUsage ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT ExportCert(std::int32_t format, const char*, std::uint32_t, std::uint8_t* buffer,
                     std::uint32_t size, std::uint32_t* length) override {
    if (format != kCertExportDer) return E_INVALIDARG;
    *length = static_cast<std::uint32_t>(der.size());
    if (der.size() <= size) std::copy(der.begin(), der.end(), buffer);
    return S_OK;
  }
  HRESULT get_Hash(std::uint8_t*, std::uint32_t, std::uint32_t*) override { return E_NOTIMPL; }
  HRESULT ExportCertChain(std::int32_t, const char*, std::uint32_t, std::uint8_t*, std::uint32_t,
                          std::uint32_t*) override { return E_NOTIMPL; }
  HRESULT ApplyTransform(std::int32_t, const std::uint8_t*, std::uint32_t, std::uint8_t*,
                         std::uint32_t, std::uint32_t*, VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT HasPrivateKey(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT GetFieldText(std::int32_t, plat::BSTR*) override { return E_NOTIMPL; }
  HRESULT GetFieldNumber(std::int32_t, std::int32_t*) override { return E_NOTIMPL; }
  HRESULT Reserved11(void*, void*) override { return E_NOTIMPL; }
  HRESULT GetEncodedSubject(std::int32_t, std::uint8_t*, std::uint32_t, std::uint32_t*) override {
    return E_NOTIMPL;
  }
  HRESULT GetOwner(IUnknown**) override { return E_NOTIMPL; }
  HRESULT ApplyTransformEx(std::int32_t, const std::uint8_t*, std::uint32_t, std::uint8_t*,
                           std::uint32_t, void*, std::uint32_t*, VARIANT_BOOL*) override {
    return E_NOTIMPL;
  }

  std::vector<std::uint8_t> der;
  bool serverUsage = true;
  std::int32_t lastUsage = -1;
};

class Chain : public Counted<ksCertChain> {
public:
  HRESULT get_NumCerts(std::int32_t* count) override {
    *count = static_cast<std::int32_t>(certs.size());
    return S_OK;
  }
  HRESULT get_Cert(std::int32_t index, ksCert** cert) override {
    *cert = certs.at(static_cast<std::size_t>(index));
    if (*cert == nullptr) return S_FALSE;
    (*cert)->AddRef();
    return S_OK;
  }
  HRESULT get_Trust(std::int32_t* flags) override {
    *flags = static_cast<std::int32_t>(trust);
    return S_OK;
  }
  HRESULT get_CertHash(std::int32_t, std::uint8_t*, std::uint32_t, std::uint32_t*) override {
    return E_NOTIMPL;
  }
  HRESULT get_Owner(IUnknown**) override { return E_NOTIMPL; }
  HRESULT get_CertTrust(std::int32_t, std::int32_t*) override { return E_NOTIMPL; }

  std::uint32_t trust = 0;
  std::vector<Cert*> certs;  // null entries stand for certificates the chain cannot give
};

// What a validation does at each step.
struct Steps {
  HRESULT createValidation = S_OK;
  bool endCertAccepted = true;
  bool addCertAccepted = true;
  HRESULT createChain = S_OK;
};

class Validation : public Counted<ksCertChainValidation> {
public:
  Validation(const Steps& steps, Chain* chain) : steps_(steps), chain_(chain) {}

  HRESULT SetEndCert(const std::uint8_t* der, std::uint32_t length, VARIANT_BOOL* accepted) override {
    given.emplace_back(der, der + length);
    *accepted = steps_.endCertAccepted ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT AddCert(const std::uint8_t* der, std::uint32_t length, VARIANT_BOOL* accepted) override {
    given.emplace_back(der, der + length);
    *accepted = steps_.addCertAccepted ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT CreateChain(std::int32_t usage, ksCertChain** chain) override {
    chainUsage = usage;
    *chain = nullptr;
    if (steps_.createChain != S_OK || chain_ == nullptr) return steps_.createChain;
    chain_->AddRef();
    *chain = chain_;
    return S_OK;
  }
  HRESULT get_Owner(ksCertChainEngine**) override { return E_NOTIMPL; }

  std::vector<std::vector<std::uint8_t>> given;
  std::int32_t chainUsage = -1;

private:
  const Steps& steps_;
  Chain* chain_;
};

class Engine : public Counted<ksCertChainEngine> {
public:
  HRESULT CreateValidation(ksCertChainValidation** made) override {
    *made = nullptr;
    if (steps.createValidation != S_OK) return steps.createValidation;
    validation.AddRef();
    *made = &validation;
    return S_OK;
  }
  HRESULT get_RootStore(ksCertStore**) override { return E_NOTIMPL; }
  HRESULT put_RootStore(ksCertStore*) override { return E_NOTIMPL; }
  HRESULT get_IntermediateStore(ksCertStore**) override { return E_NOTIMPL; }
  HRESULT put_IntermediateStore(ksCertStore*) override { return E_NOTIMPL; }
  HRESULT get_Owner(ksCertUtility**) override { return E_NOTIMPL; }
  HRESULT SetRootStore(ksCertStore*) override { return E_NOTIMPL; }
  HRESULT SetIntermediateStore(ksCertStore*) override { return E_NOTIMPL; }

  Steps steps;
  Chain chain;
  Validation validation{steps, &chain};
};

class Utility : public Counted<ksCertUtility> {
public:
  HRESULT CreateCertChainEngine(plat::BSTR location, ksCertChainEngine** made) override {
    askedLocation = location != nullptr ? std::u16string(location) : u"(null)";
    *made = nullptr;
    if (giveEngine) {
      engine.AddRef();
      *made = &engine;
    }
    return engineResult;
  }
  HRESULT OpenCertStore(plat::BSTR, plat::BSTR, plat::BSTR, ksCertStore**) override {
    return E_NOTIMPL;
  }
  HRESULT CreateCertName(ksCertName**) override { return E_NOTIMPL; }
  HRESULT CreateCertArray(const ksCertBlob*, std::uint32_t, ksCertArray**) override {
    return E_NOTIMPL;
  }

  HRESULT engineResult = S_OK;
  bool giveEngine = true;
  std::u16string askedLocation;
  Engine engine;
};

}  // namespace fake_cert
