// The certificate-list and certificate family, and the library's answer to a server
// certificate message.
#include <cstdlib>
#include <cstring>

#include <dcf/dcfComPtr.h>
#include <dcf/sha1.h>
#include <ksstk.h>

#include "ksSupp/cert_list.h"
#include "ksSupp/export_guard.h"

namespace {

// Judges the list; the verdict is a rejection until the judgement is complete. A failure of
// the certificate library is traced and leaves the rejection; the result stays 0.
KSSTK_RESULT BuildChain(const char* exportName, KSSTK_CERT_LIST handle, KSSTK_CERT_LIST* chain,
                        int32_t& verdict) {
  verdict = KSSTK_CHAIN_OTHER_FAILURE;
  return GuardHandleExport<CertList>(exportName, handle, [&](CertList& list) {
    CertList* built = nullptr;
    try {
      verdict = list.BuildChain(&built);
    } catch (const dcfException& exception) {
      TraceCaughtException(exportName, exception);
      return 0;
    }
    if (chain != nullptr) {
      *chain = ToHandle(built);
    } else if (built != nullptr) {
      built->Release();
    }
    return 0;
  });
}

KSSTK_RESULT ProcessCallback(const char* exportName, KSSTK_CALLBACK_MESSAGE* message) {
  if (message == nullptr) return TraceRefusal(exportName, "null message"), E_POINTER;
  const bool serverChain = message->Code == KSSTK_MSG_VALIDATE_SERVER_CERT ||
                           message->Code == KSSTK_MSG_PREAUTH_VALIDATE_SERVER_CERT;
  if (!serverChain) return 0;
  if (message->Size < sizeof(KSSTK_VALIDATE_SERVER_CERT_MESSAGE)) {
    return TraceRefusal(exportName, "message too short"), E_INVALIDARG;
  }
  auto* request = reinterpret_cast<KSSTK_VALIDATE_SERVER_CERT_MESSAGE*>(message);
  int32_t verdict = KSSTK_CHAIN_OTHER_FAILURE;
  const KSSTK_RESULT result = BuildChain(exportName, request->Chain, nullptr, verdict);
  request->Verdict = static_cast<uint32_t>(verdict);
  return result;
}

}  // namespace

KSSTK_RESULT KSSTK_CERT_LIST_AddCert(KSSTK_CERT_LIST handle, const uint8_t* der, uint32_t length) {
  static constexpr char kName[] = "KSSTK_CERT_LIST_AddCert";
  return GuardHandleExport<CertList>(kName, handle, [&](CertList& list) -> KSSTK_RESULT {
    if (der == nullptr && length > 0) return TraceRefusal(kName, "null certificate"), E_POINTER;
    list.Add(der, length);
    return 0;
  });
}

KSSTK_RESULT KSSTK_CERT_LIST_BuildCertChain(KSSTK_CERT_LIST handle, KSSTK_CERT_LIST* chain,
                                            int32_t* verdict) {
  static constexpr char kName[] = "KSSTK_CERT_LIST_BuildCertChain";
  if (chain == nullptr || verdict == nullptr) return TraceRefusal(kName, "null out pointer"), E_POINTER;
  *chain = nullptr;
  return BuildChain(kName, handle, chain, *verdict);
}

KSSTK_RESULT KSSTK_CERT_LIST_GetNumCerts(KSSTK_CERT_LIST handle, uint32_t* count) {
  static constexpr char kName[] = "KSSTK_CERT_LIST_GetNumCerts";
  if (count == nullptr) return TraceRefusal(kName, "null out pointer"), E_POINTER;
  *count = 0;
  return GuardHandleExport<CertList>(kName, handle, [&](CertList& list) {
    *count = list.Count();
    return 0;
  });
}

KSSTK_RESULT KSSTK_CERT_LIST_GetCert(KSSTK_CERT_LIST handle, uint32_t index, KSSTK_CERT* cert) {
  static constexpr char kName[] = "KSSTK_CERT_LIST_GetCert";
  if (cert == nullptr) return TraceRefusal(kName, "null out pointer"), E_POINTER;
  *cert = nullptr;
  return GuardHandleExport<CertList>(kName, handle, [&](CertList& list) {
    *cert = ToHandle(list.GetCert(index));
    return 0;
  });
}

KSSTK_RESULT KSSTK_CERT_GetDer(KSSTK_CERT handle, KSSTK_BLOB* der) {
  static constexpr char kName[] = "KSSTK_CERT_GetDer";
  if (der == nullptr) return TraceRefusal(kName, "null blob"), E_POINTER;
  der->Data = nullptr;
  der->Length = 0;
  return GuardHandleExport<DerBlob>(kName, handle, [&](DerBlob& cert) {
    const dcfByteArray& bytes = cert.Bytes();
    if (bytes.Length() == 0) return 0;
    der->Data = static_cast<uint8_t*>(std::malloc(bytes.Length()));
    if (der->Data == nullptr) return 0;  // as the allocators: the host finds null
    std::memcpy(der->Data, bytes.Data(), bytes.Length());
    der->Length = bytes.Length();
    return 0;
  });
}

KSSTK_RESULT KSSTK_CERT_GetSha1Hash(KSSTK_CERT handle, uint8_t* sha1Hash) {
  static constexpr char kName[] = "KSSTK_CERT_GetSha1Hash";
  if (sha1Hash == nullptr) return TraceRefusal(kName, "null out pointer"), E_POINTER;
  return GuardHandleExport<DerBlob>(kName, handle, [&](DerBlob& cert) {
    static const std::uint8_t kNoBytes[1] = {0};
    const dcfByteArray& der = cert.Bytes();
    Sha1Digest(sha1Hash, der.Length() > 0 ? der.Data() : kNoBytes, der.Length());
    return 0;
  });
}

KSSTK_RESULT KSSTK_ProcessCallbackA(KSSTK_CALLBACK_MESSAGE* message) {
  return ProcessCallback("KSSTK_ProcessCallbackA", message);
}

KSSTK_RESULT KSSTK_ProcessCallbackW(KSSTK_CALLBACK_MESSAGE* message) {
  return ProcessCallback("KSSTK_ProcessCallbackW", message);
}
