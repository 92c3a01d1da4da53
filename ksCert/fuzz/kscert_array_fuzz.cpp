// Certificates handed to the library as DER (a peer's chain, a caller's list): the array, the
// field texts and the chain validation either refuse the bytes or answer every operation within
// bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "inc/ksCertUtility.h"
#include "platform/win32/bstr.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static ksCertUtility* root = [] {
    ksCertUtility* made = nullptr;
    dcfCreateInstance<KsCertLib>(&made);
    return made;
  }();
  const ksCertBlob blob{data, static_cast<std::uint32_t>(size)};
  ksCertArray* array = nullptr;
  if (root->CreateCertArray(&blob, 1, &array) != S_OK) {
    if (array != nullptr) std::abort();
    return 0;
  }
  ksCert* cert = nullptr;
  if (array->get_Cert(0, &cert) != S_OK || cert == nullptr) std::abort();
  std::vector<std::uint8_t> buffer(size + 64);
  std::uint32_t length = 0;
  if (cert->get_Hash(buffer.data(), 20, &length) != S_OK || length != 20) std::abort();
  if (cert->ExportCert(kCertExportDer, nullptr, 0, buffer.data(), static_cast<std::uint32_t>(buffer.size()), &length) != S_OK ||
      length != size) {
    std::abort();
  }
  if (cert->GetEncodedSubject(kCertEncodingX509Name, buffer.data(), static_cast<std::uint32_t>(buffer.size()), &length) !=
          S_OK ||
      length > size) {
    std::abort();
  }
  // Every field's text, within bounds, whatever the certificate holds.
  for (std::int32_t field = -1; field <= 19; ++field) {
    plat::BSTR text = nullptr;
    const HRESULT result = cert->GetFieldText(field, &text);
    if ((result == S_OK) != (text != nullptr)) std::abort();
    plat::SysFreeString(text);
  }
  cert->Release();
  array->Release();

  // The chain of the certificate, on an engine that trusts an empty store (it reads no file).
  static ksCertChainEngine* engine = [] {
    plat::BSTR remote = plat::SysAllocString(kCertLocationRemoteStore);
    plat::BSTR name = plat::SysAllocString(u"nowhere");
    ksCertStore* empty = nullptr;
    ksCertChainEngine* made = nullptr;
    if (root->OpenCertStore(name, nullptr, remote, &empty) != S_OK ||
        root->CreateCertChainEngine(name, &made) != S_OK || made->put_RootStore(empty) != S_OK ||
        made->put_IntermediateStore(empty) != S_OK) {
      std::abort();
    }
    empty->Release();
    plat::SysFreeString(name);
    plat::SysFreeString(remote);
    return made;
  }();
  ksCertChainValidation* validation = nullptr;
  VARIANT_BOOL accepted = VARIANT_FALSE;
  if (engine->CreateValidation(&validation) != S_OK ||
      validation->SetEndCert(data, static_cast<std::uint32_t>(size), &accepted) != S_OK) {
    std::abort();
  }
  ksCertChain* chain = nullptr;
  if (validation->CreateChain(kCertUsageServerAuth, &chain) != S_OK) std::abort();
  std::int32_t trust = 0;
  std::int32_t count = 0;
  if (chain->get_Trust(&trust) != S_OK || trust == 0 || chain->get_NumCerts(&count) != S_OK || count != 1) {
    std::abort();  // nothing is trusted, and the chain holds only what was given
  }
  if (chain->get_CertHash(0, buffer.data(), 20, &length) != S_OK || length != 20) std::abort();
  chain->Release();
  validation->Release();
  return 0;
}
