#pragma once
// What KsCert and KsCertRef have in common: the two certificate interfaces over one
// ksCertImpl. The slots that differ between the two classes are virtual here and overridden
// by KsCertRef.
#include "inc/ksCertUtility.h"
#include "ksCert/KsComObject.h"
#include "ksCert/ksCertImpl.h"

class KsCertObject : public ksCert, public KsComObject, public ksCert2 {
public:
  ksCertImpl& Impl() { return impl_; }

  HRESULT QueryInterface(const IID& iid, void** object) override;
  std::uint32_t AddRef() override { return AddReference(); }
  std::uint32_t Release() override { return ReleaseReference(); }

  // ksCert, and ksCert2 where the slots agree
  HRESULT get_Hash(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) override;
  HRESULT CheckUsage(std::int32_t usage, VARIANT_BOOL* valid) override;
  HRESULT ExportCert(std::int32_t format, const char* password, std::uint32_t passwordLength,
                     std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) override;
  HRESULT ExportCertChain(std::int32_t format, const char* password, std::uint32_t passwordLength,
                          std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) override;
  HRESULT ApplyTransform(std::int32_t type, const std::uint8_t* input, std::uint32_t inputLength,
                         std::uint8_t* output, std::uint32_t outputSize, std::uint32_t* outputLength,
                         VARIANT_BOOL* done) override;
  HRESULT HasPrivateKey(VARIANT_BOOL* has) override;
  HRESULT GetFieldText(std::int32_t field, plat::BSTR* text) override;
  HRESULT GetFieldNumber(std::int32_t field, std::int32_t* value) override;
  HRESULT Reserved11(void* first, void* second) override;
  HRESULT GetEncodedSubject(std::int32_t encoding, std::uint8_t* buffer, std::uint32_t size,
                            std::uint32_t* length) override;
  HRESULT GetOwner(IUnknown** owner) override;
  HRESULT ApplyTransformEx(std::int32_t type, const std::uint8_t* input, std::uint32_t inputLength,
                           std::uint8_t* output, std::uint32_t outputSize, void* context,
                           std::uint32_t* outputLength, VARIANT_BOOL* done) override;

  // ksCert2's own slots
  HRESULT get_FriendlyName(plat::BSTR* name) override;
  HRESULT Reserved6(std::uint32_t* out) override;
  HRESULT GetEncodedSubject(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) override;

protected:
  explicit KsCertObject(const char* sourceFile) : KsComObject(sourceFile) {}
  ~KsCertObject() override = default;

  // A reference zero-fills the caller's buffer when it refuses an encoding; a KsCert does not.
  virtual bool ClearsBufferOnWrongEncoding() const = 0;
  // A KsCert clears ApplyTransform's done flag before anything else; a reference writes it
  // only with its result, so a caught exception leaves it as the caller set it.
  virtual bool WritesDoneFirst() const = 0;

private:
  // The export slots' common part: exporter fills the bytes or says false.
  template <class Exporter>
  HRESULT ExportInto(std::int32_t line, std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length,
                     Exporter&& exporter);

  ksCertImpl impl_;
};
