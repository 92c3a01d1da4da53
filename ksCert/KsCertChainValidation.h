#pragma once
// KsCertChainValidation: collects an end certificate and further certificates as DER and
// builds their chain through its engine, now, for a usage. Every certificate given is also
// put into its extra memory store, which the chain building searches.
#include <collections/dcfArray.h>
#include <dcf/dcfComPtr.h>

#include "inc/ksCertUtility.h"
#include "ksCert/KsComObject.h"
#include "platform/cryptoapi/cert_chain.h"

class KsCertChainEngine;
class KsCertStore;

class KsCertChainValidation final : public ksCertChainValidation,
                                    public KsComObject,
                                    public ksCertChainValidation2 {
public:
  // Chain-building flags: cache end certificates, cached URLs only, 0x200; with revocation
  // checking also the whole chain's revocation.
  static constexpr std::uint32_t kChainFlags = 0x205;

  static HRESULT CreateInstance(KsCertChainValidation** object);

  // The engine that builds the chains (one reference), and whether they check revocation.
  void SetFactoryDirect(KsCertChainEngine* engine);
  void SetCheckRevocation(bool check) { checkRevocation_ = check; }
  KsCertStore* ExtraStore() const { return extraStore_.Get(); }

  HRESULT QueryInterface(const IID& iid, void** object) override;
  std::uint32_t AddRef() override { return AddReference(); }
  std::uint32_t Release() override { return ReleaseReference(); }

  // ksCertChainValidation (and ksCertChainValidation2 where the slots agree)
  HRESULT SetEndCert(const std::uint8_t* der, std::uint32_t length, VARIANT_BOOL* accepted) override;
  HRESULT AddCert(const std::uint8_t* der, std::uint32_t length, VARIANT_BOOL* accepted) override;
  HRESULT CreateChain(std::int32_t usage, ksCertChain** chain) override;
  HRESULT get_Owner(ksCertChainEngine** owner) override;

  // ksCertChainValidation2
  HRESULT CreateChain(std::int32_t usage, ksCertChain2** chain) override;

private:
  KsCertChainValidation();
  ~KsCertChainValidation() override;

  // Decodes the DER and adds it to the extra store; the decoded context, or null.
  capi::PCCERT_CONTEXT Decode(const std::uint8_t* der, std::uint32_t length);
  // Builds the chain; null when there is no end certificate or the building fails.
  class KsCertChain* BuildChain(std::int32_t usage);
  template <class Interface>
  HRESULT MakeChain(std::int32_t line, std::int32_t usage, Interface** chain);

  dcfComPtr<KsCertStore> extraStore_;
  dcfArray<capi::PCCERT_CONTEXT> certificates_;  // [0]: the end certificate
  bool hasEndCert_ = false;
  dcfComPtr<KsCertChainEngine> owner_;
  capi::CertChainPara para_;
  bool checkRevocation_ = false;
};
