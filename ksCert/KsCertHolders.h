#pragma once
// Scope holders for the certificate-store handles the library uses in its operations: each
// gives its handle back when it goes out of scope, unless Release() hands it on.
#include <memory>

#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/cert_store.h"

struct CertStoreCloser {
  void operator()(capi::HCERTSTORE store) const { capi::CertCloseStore(store, 0); }
};
using CertStoreHolder = std::unique_ptr<capi::CertStore, CertStoreCloser>;

struct CertContextFreer {
  void operator()(capi::PCCERT_CONTEXT context) const { capi::CertFreeCertificateContext(context); }
};
using CertContextHolder = std::unique_ptr<const capi::CertContext, CertContextFreer>;
