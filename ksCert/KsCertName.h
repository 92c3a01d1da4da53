#pragma once
// KsCertName: one X.500 distinguished name, held as its DER encoding and its decoded form,
// read and written as text in the reversed X.500 form ("CN=a, O=b" encodes O first), and
// compared RDN by RDN with another name.
#include <collections/dcfByteArray.h>
#include <openssl/x509.h>

#include <memory>

#include "inc/ksCertUtility.h"
#include "ksCert/KsComObject.h"

class KsCertName final : public ksCertNameUnknown, public KsComObject, public ksCertName, public ksCertName2 {
public:
  static HRESULT CreateInstance(KsCertName** object);

  HRESULT QueryInterface(const IID& iid, void** object) override;
  std::uint32_t AddRef() override { return AddReference(); }
  std::uint32_t Release() override { return ReleaseReference(); }

  // ksCertName (and ksCertName2 where the slots agree)
  HRESULT get_Text(plat::BSTR* text) override;
  HRESULT put_Text(plat::BSTR text) override;
  HRESULT put_Encoded(const std::uint8_t* der, std::uint32_t length) override;
  HRESULT get_Encoded(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) override;
  // Bit 0: this name is a leading part of the other; bit 1: the other of this one (3: equal;
  // 0: they differ, or either has no value). A null other name gives 0 and S_FALSE.
  HRESULT Compare(ksCertName* other, std::int32_t* result) override;
  HRESULT Reserved8(std::int32_t* value) override;

  // ksCertName2
  HRESULT Compare(ksCertName2* other, std::int32_t* result) override;

private:
  struct NameFree {
    void operator()(X509_NAME* name) const { X509_NAME_free(name); }
  };

  KsCertName();
  ~KsCertName() override = default;

  // Decodes the encoded name; an encoding that does not decode, exactly, empties the name.
  void Decode();
  std::int32_t CompareWith(const KsCertName* other) const;

  dcfByteArray encoded_;
  std::unique_ptr<X509_NAME, NameFree> decoded_;  // null when the name has no value
};
