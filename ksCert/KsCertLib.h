#pragma once
// KsCertLib, the certificate-utility root: opens stores and makes chain engines, names and
// certificate arrays. It keeps no state besides its reference count; every store, engine and
// array it makes holds a reference on it, so it outlives them.
#include "inc/ksCertUtility.h"
#include "ksCert/KsComObject.h"

class KsCertChainEngine;
class KsCertName;
class KsCertStore;

class KsCertLib final : public ksCertUtility, public KsComObject, public ksCertUtility2 {
public:
  static HRESULT CreateInstance(KsCertLib** object);

  HRESULT QueryInterface(const IID& iid, void** object) override;
  std::uint32_t AddRef() override { return AddReference(); }
  std::uint32_t Release() override { return ReleaseReference(); }

  // ksCertUtility
  HRESULT OpenCertStore(plat::BSTR storeName, plat::BSTR distinguishedName, plat::BSTR location,
                        ksCertStore** store) override;
  HRESULT CreateCertChainEngine(plat::BSTR location, ksCertChainEngine** engine) override;
  HRESULT CreateCertName(ksCertName** name) override;
  HRESULT CreateCertArray(const ksCertBlob* certs, std::uint32_t count, ksCertArray** array) override;

  // ksCertUtility2
  HRESULT GetCertFieldCode(plat::BSTR fieldName, std::int32_t* code) override;
  HRESULT OpenCertStore(plat::BSTR storeName, plat::BSTR distinguishedName, plat::BSTR location,
                        ksCertStore2** store) override;
  HRESULT CreateCertChainEngine(ksCertChainEngine2** engine) override;
  HRESULT CreateCertChainEngine(plat::BSTR location, ksCertChainEngine2** engine) override;
  HRESULT CreateCertName(ksCertName2** name) override;

private:
  KsCertLib();
  ~KsCertLib() override = default;

  // The store of OpenCertStore with one reference; null when none could be opened.
  KsCertStore* OpenStore(plat::BSTR storeName, plat::BSTR distinguishedName, plat::BSTR location);
  // A new engine owned by this root, set up for the location, with one reference.
  KsCertChainEngine* MakeEngine(plat::BSTR location);
  // A new, empty name with one reference.
  static KsCertName* MakeName();
};
