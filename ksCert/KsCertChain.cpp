#include "ksCert/KsCertChain.h"

#include <collections/dcfByteArray.h>

#include <cstring>

#include "ksCert/KsCertChainEngine.h"
#include "ksCert/KsCertChainValidation.h"
#include "ksCert/KsCertRef.h"
#include "ksCert/KsCertStore.h"
#include "ksCert/KsCertViewer.h"
#include "ksCert/dcfCom.h"
#include "platform/cryptoapi/cert_context.h"

namespace {

constexpr char kSourceFile[] = "KsCertChain";
constexpr char kImplSourceFile[] = "ksCertChainImpl";
constexpr std::int32_t kNoFactoryLine = 47;
constexpr std::int32_t kEmptyChainLine = 65;
constexpr std::int32_t kOutsideChainLine = 66;

// The flags of one trust status: the copied bits, 8 for an error none of them names, and 1
// for a certificate not valid at the time.
std::int32_t FlagsOf(std::uint32_t errorStatus) {
  if (errorStatus == 0) return 0;
  std::int32_t flags = static_cast<std::int32_t>(errorStatus) & kChainTrustCopiedBits;
  if (flags == 0) flags = kChainTrustOtherError;
  return flags;
}

}  // namespace

HRESULT KsCertChain::CreateInstance(KsCertChain** object) { return Created(new (std::nothrow) KsCertChain, object); }

KsCertChain::KsCertChain() : KsComObject(kSourceFile) {}

KsCertChain::~KsCertChain() { capi::CertFreeCertificateChain(chain_); }

void KsCertChain::SetFactoryDirect(KsCertChainValidation* validation) { owner_.Assign(validation); }

void KsCertChain::Attach(capi::PCCERT_CHAIN_CONTEXT chain, std::uint64_t buildTime) {
  chain_ = chain;
  simpleChain_ = chain != nullptr && chain->chainCount > 0 ? &chain->chains[0] : nullptr;
  buildTime_ = buildTime;
}

HRESULT KsCertChain::QueryInterface(const IID& iid, void** object) {
  const KsInterfaceEntry map[] = {
      {IID_ksCertChain, static_cast<ksCertChain*>(this)},
      {IID_ksCertArray, static_cast<ksCertChain*>(this)},  // the chain's own interface begins with it
      {IID_ksCertChainView, static_cast<ksCertChainView*>(this)},
      {IID_ksCertChain2, static_cast<ksCertChain2*>(this)},
  };
  return QueryMap(map, iid, object);
}

const capi::CertChainElement& KsCertChain::ElementAt(std::int32_t index) const {
  if (simpleChain_ == nullptr) {
    dcfThrowTargetDoesNotExistException(dcfTargetDoesNotExistException("attempt to retrieve cert from empty chain"),
                                        kEmptyChainLine, kImplSourceFile);
  }
  if (index < 0 || static_cast<std::uint32_t>(index) >= simpleChain_->elementCount) {
    dcfThrowRangeException(dcfRangeException("attempt to navigate beyond end of cert chain"), kOutsideChainLine,
                           kImplSourceFile);
  }
  return simpleChain_->elements[index];
}

HRESULT KsCertChain::get_NumCerts(std::int32_t* count) {
  if (count == nullptr) return E_POINTER;
  *count = simpleChain_ != nullptr ? static_cast<std::int32_t>(simpleChain_->elementCount) : 0;
  return S_OK;
}

KsCertRef* KsCertChain::MakeRef(std::int32_t index) {
  const capi::CertChainElement& element = ElementAt(index);
  if (element.certificate == nullptr) return nullptr;
  if (!owner_) {
    dcfThrowSequenceException(
        dcfSequenceException("must SetFactoryDirect before accessing CertChainValidation from CertChain"),
        kNoFactoryLine, kImplSourceFile);
  }
  KsCertRef* made = nullptr;
  dcfCreateInstance<KsCertRef>(&made);
  made->Impl().SetContext(capi::CertDuplicateCertificateContext(element.certificate));
  made->Impl().SetOwner(static_cast<ksCertStore*>(owner_->ExtraStore()));
  made->SetContainer(static_cast<ksCertChain*>(this));
  return made;
}

template <class Interface>
HRESULT KsCertChain::GetCert(std::int32_t line, std::int32_t index, Interface** cert) {
  if (cert == nullptr) return E_POINTER;
  *cert = nullptr;
  return RunGuarded(line, [&] {
    KsCertRef* made = MakeRef(index);
    *cert = made;
    return made != nullptr ? S_OK : S_FALSE;
  });
}

HRESULT KsCertChain::get_Cert(std::int32_t index, ksCert** cert) { return GetCert(__LINE__, index, cert); }

HRESULT KsCertChain::get_Cert(std::int32_t index, ksCert2** cert) { return GetCert(__LINE__, index, cert); }

HRESULT KsCertChain::get_CertHash(std::int32_t index, std::uint8_t* buffer, std::uint32_t size,
                                  std::uint32_t* length) {
  if (buffer == nullptr || length == nullptr) return E_POINTER;
  bool answered = false;
  const HRESULT result = RunGuarded(__LINE__, [&] {
    const capi::CertChainElement& element = ElementAt(index);
    std::uint32_t needed = 0;
    if (element.certificate == nullptr ||
        !capi::CertGetCertificateContextProperty(element.certificate, capi::CERT_SHA1_HASH_PROP_ID, nullptr, &needed)) {
      return S_FALSE;
    }
    dcfByteArray hash;
    hash.Resize(needed);
    if (!capi::CertGetCertificateContextProperty(element.certificate, capi::CERT_SHA1_HASH_PROP_ID, hash.Data(), &needed)) {
      return S_FALSE;
    }
    // A buffer that is too small learns the size it needs.
    *length = needed;
    if (size >= needed && needed > 0) std::memcpy(buffer, hash.Data(), needed);
    answered = true;
    return S_OK;
  });
  if (!answered) {
    std::memset(buffer, 0, size);
    *length = 0;
  }
  return result;
}

HRESULT KsCertChain::get_Owner(IUnknown** owner) {
  if (owner == nullptr) return E_POINTER;
  ksCertChainValidation* validation = owner_.Get();
  if (validation != nullptr) validation->AddRef();
  *owner = validation;
  return S_OK;
}

HRESULT KsCertChain::get_Trust(std::int32_t* flags) {
  if (flags == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] {
    if (chain_ == nullptr) {
      *flags = kChainTrustNoChain;
      return S_FALSE;
    }
    if (simpleChain_ == nullptr) {
      *flags = kChainTrustNoSimpleChain;
      return S_OK;
    }
    const std::uint32_t errors = simpleChain_->trustStatus.errorStatus;
    std::int32_t trust = FlagsOf(errors);
    if ((errors & capi::CERT_TRUST_IS_NOT_TIME_VALID) != 0) {
      // Expired beats not yet valid: one expired element gives 0x1 and never 0x10000000.
      bool expired = false;
      bool notYetValid = false;
      for (std::uint32_t i = 0; i < simpleChain_->elementCount && !expired; ++i) {
        const capi::PCCERT_CONTEXT certificate = simpleChain_->elements[i].certificate;
        if (certificate == nullptr) continue;
        const std::int32_t validity = capi::CertVerifyTimeValidity(buildTime_, certificate->info);
        expired = validity > 0;
        notYetValid = notYetValid || validity < 0;
      }
      if (expired) {
        trust |= capi::CERT_TRUST_IS_NOT_TIME_VALID;
      } else if (notYetValid) {
        trust |= kChainTrustNotYetValid;
      }
    }
    *flags = trust;
    return S_OK;
  });
}

HRESULT KsCertChain::get_CertTrust(std::int32_t index, std::int32_t* flags) {
  if (flags == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] {
    if (simpleChain_ == nullptr || index < 0 || static_cast<std::uint32_t>(index) >= simpleChain_->elementCount ||
        simpleChain_->elements[index].certificate == nullptr) {
      *flags = kChainTrustNoChain;
      return S_FALSE;
    }
    const std::uint32_t errors = simpleChain_->elements[index].trustStatus.errorStatus;
    *flags = FlagsOf(errors) | static_cast<std::int32_t>(errors & capi::CERT_TRUST_IS_NOT_TIME_VALID);
    return S_OK;
  });
}

HRESULT KsCertChain::ViewCert(std::int32_t index, VARIANT_BOOL* viewed) {
  return RunGuarded(__LINE__, [&] {
    if (!owner_) return S_FALSE;
    const capi::CertChainElement& element = ElementAt(index);
    KsCertStore* extra = owner_->ExtraStore();
    std::int32_t ran = 0;
    RunCertificateViewer(extra != nullptr ? extra->Handle() : nullptr, element.certificate, &ran);
    if (viewed != nullptr) *viewed = ran != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}
