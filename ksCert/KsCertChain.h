#pragma once
// KsCertChain: a built chain. Its certificates are counted, handed out (each keeps the chain
// alive) and hashed by index (0: the end certificate); its trust is summed up in one word of
// flags.
#include <dcf/dcfComPtr.h>

#include "inc/ksCertUtility.h"
#include "ksCert/KsComObject.h"
#include "platform/cryptoapi/cert_chain.h"

class KsCertChainValidation;
class KsCertRef;

// The trust flags of get_Trust and get_CertTrust besides the chain status bits they copy.
inline constexpr std::int32_t kChainTrustCopiedBits = 0x000D00FE;
inline constexpr std::int32_t kChainTrustOtherError = 0x8;  // an error none of the copied bits names
inline constexpr std::int32_t kChainTrustNotYetValid = 0x10000000;
inline constexpr std::int32_t kChainTrustNoChain = 0x40;
inline constexpr std::int32_t kChainTrustNoSimpleChain = 0x20;

class KsCertChain final : public ksCertChain, public KsComObject, public ksCertChainView, public ksCertChain2 {
public:
  static HRESULT CreateInstance(KsCertChain** object);

  // The validation that built the chain (one reference).
  void SetFactoryDirect(KsCertChainValidation* validation);
  // Takes over the built chain and the time it was built for.
  void Attach(capi::PCCERT_CHAIN_CONTEXT chain, std::uint64_t buildTime);

  HRESULT QueryInterface(const IID& iid, void** object) override;
  std::uint32_t AddRef() override { return AddReference(); }
  std::uint32_t Release() override { return ReleaseReference(); }

  // ksCertChain and ksCertArray (and ksCertChain2 where the slots agree)
  HRESULT get_NumCerts(std::int32_t* count) override;
  HRESULT get_Cert(std::int32_t index, ksCert** cert) override;
  HRESULT get_CertHash(std::int32_t index, std::uint8_t* buffer, std::uint32_t size,
                       std::uint32_t* length) override;
  HRESULT get_Owner(IUnknown** owner) override;
  HRESULT get_Trust(std::int32_t* flags) override;
  HRESULT get_CertTrust(std::int32_t index, std::int32_t* flags) override;

  // ksCertChainView
  HRESULT ViewCert(std::int32_t index, VARIANT_BOOL* viewed) override;

  // ksCertChain2
  HRESULT get_Cert(std::int32_t index, ksCert2** cert) override;

private:
  KsCertChain();
  ~KsCertChain() override;

  // The element at the index; throws when there is no simple chain or the index is outside.
  const capi::CertChainElement& ElementAt(std::int32_t index) const;
  // A new KsCertRef (one reference) for the element, or null when it has no certificate.
  KsCertRef* MakeRef(std::int32_t index);
  template <class Interface>
  HRESULT GetCert(std::int32_t line, std::int32_t index, Interface** cert);

  capi::PCCERT_CHAIN_CONTEXT chain_ = nullptr;
  dcfComPtr<KsCertChainValidation> owner_;
  const capi::CertSimpleChain* simpleChain_ = nullptr;
  std::uint64_t buildTime_ = 0;
};
