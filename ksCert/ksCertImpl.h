#pragma once
// The implementation part that KsCert and KsCertRef share: one certificate context (owned)
// and the owner that made the certificate available. Its operations return true or false;
// the interface slots turn that into S_OK or S_FALSE.
#include <collections/dcfByteArray.h>
#include <dcf/dcfComPtr.h>

#include <cstdint>

#include "inc/ksCertUtility.h"
#include "ksCert/KsCertHolders.h"

class ksCertImpl {
public:
  // Takes over the context (freeing the previous one).
  void SetContext(capi::PCCERT_CONTEXT context) { context_.reset(context); }
  // Holds one reference on the owner (releasing the previous one); null clears it.
  void SetOwner(IUnknown* owner) { owner_.Assign(owner); }

  capi::PCCERT_CONTEXT Context() const { return context_.get(); }
  IUnknown* Owner() const { return owner_.Get(); }

  // The SHA-1 hash into buffer (size bytes): true with *length = 20; false when there is no
  // context or the buffer is too small.
  bool GetHash(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) const;

  // The DER subject name: *length = its size (0 without a context); copied and true when size
  // covers it, else false with the buffer untouched.
  bool GetEncodedSubject(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) const;

  // Export in a format (kCertExportDer; kCertExportPkcs12 is not offered: false) into out.
  // A password with DER throws dcfRangeException: DER carries no private key.
  bool Export(std::int32_t format, const char* password, std::uint32_t passwordLength,
              dcfByteArray& out) const;
  // The certificate's DER bytes.
  bool ExportDer(dcfByteArray& out) const;

  // The friendly name as a new BSTR (caller frees); false and null when there is none.
  // Throws dcfTargetDoesNotExistException for a null destination.
  bool DoGetFriendlyName(plat::BSTR* name) const;

private:
  CertContextHolder context_;
  dcfComPtr<IUnknown> owner_;
};
