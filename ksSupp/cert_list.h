#pragma once
// CertList: DER certificates in order, the object behind a certificate-list handle and the
// chain carried by a server-certificate message. It holds its context (may be null), whose
// chain engine judges the list.
#include <cstdint>

#include <collections/dcfArray.h>
#include <dcf/RefCounted.h>
#include <dcf/dcfComPtr.h>

#include "ksLib_OSSL/der_certificate.h"
#include "ksSupp/der_blob.h"

class ApiContext;

class CertList : public RefCounted {
public:
  // A new empty list (one reference) on the context; throws std::bad_alloc.
  static CertList* Create(ApiContext* context);

  // Appends a copy of one certificate; throws std::bad_alloc.
  void Add(const std::uint8_t* der, std::uint32_t length);
  // Takes over one reference of blob.
  void Append(DerBlob* blob);

  std::uint32_t Count() const { return certificates_.Length(); }
  // The certificate at index with one reference for the caller, or null past the end.
  DerBlob* GetCert(std::uint32_t index) const;
  // The certificate at index without a reference (index below Count()).
  const DerBlob& At(std::uint32_t index) const { return *certificates_[index]; }

  // Builds and judges the chain with the context's chain engine for server use: the chain
  // verdict, and *chain the built chain (one reference, null when none). -1 and null for a
  // list without context.
  std::int32_t BuildChain(CertList** chain);

  ApiContext* Context() const { return context_.Get(); }

private:
  explicit CertList(ApiContext* context);
  ~CertList() override;

  dcfComPtr<ApiContext> context_;
  dcfArray<DerBlob*> certificates_;  // one reference each
};
