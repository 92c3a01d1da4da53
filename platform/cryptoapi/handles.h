#pragma once
// The handles of the certificate-store services: stores, certificate contexts and chain
// engines. Their records are opaque to callers except CertContext (cert_context.h).

namespace capi {

struct CertStore;
struct CertContext;
struct ChainEngine;

using HCERTSTORE = CertStore*;
using PCCERT_CONTEXT = const CertContext*;
using HCERTCHAINENGINE = ChainEngine*;

}  // namespace capi
