// The context family: creating a context, its TLS settings, and the handles it makes.
#include <ksstk.h>

#include "inc/ksCertUtility.h"
#include "ksSupp/api_context.h"
#include "ksSupp/export_guard.h"
#include "ksSupp/identity.h"

KSSTK_RESULT KSSTK_CreateContext(KSSTK_CONTEXT* context) {
  return GuardCreator("KSSTK_CreateContext", context, []() -> KSSTK_HANDLE {
    ksCertUtility* certUtility = nullptr;
    dcfCreateInstance<KsCertLib>(&certUtility);
    return ToHandle(ApiContext::Create(certUtility));
  });
}

KSSTK_RESULT KSSTK_CONTEXT_SetTlsCipherSuites(KSSTK_CONTEXT handle, const uint32_t* ids,
                                              uint32_t count) {
  static constexpr char kName[] = "KSSTK_CONTEXT_SetTlsCipherSuites";
  return GuardHandleExport<ApiContext>(kName, handle, [&](ApiContext& context) -> KSSTK_RESULT {
    if (ids == nullptr && count > 0) return TraceRefusal(kName, "null ids"), E_POINTER;
    context.SetTlsCipherSuites(ids, count);
    return 0;
  });
}

KSSTK_RESULT KSSTK_CONTEXT_SetDhExponentBits(KSSTK_CONTEXT handle, uint32_t bits) {
  return GuardHandleExport<ApiContext>("KSSTK_CONTEXT_SetDhExponentBits", handle,
                                       [&](ApiContext& context) {
                                         context.SetDhExponentBits(bits);
                                         return 0;
                                       });
}

KSSTK_RESULT KSSTK_CONTEXT_Initialize(KSSTK_CONTEXT handle) {
  return GuardHandleExport<ApiContext>("KSSTK_CONTEXT_Initialize", handle,
                                       [](ApiContext& context) {
                                         context.InitializeTls();
                                         return 0;
                                       });
}

KSSTK_RESULT KSSTK_CONTEXT_CreateIdentity(KSSTK_CONTEXT handle, KSSTK_IDENTITY* identity) {
  return GuardHandleCreator<ApiContext>(
      "KSSTK_CONTEXT_CreateIdentity", handle, identity,
      [](ApiContext& context) { return ToHandle(Identity::Create(&context)); });
}

KSSTK_RESULT KSSTK_CONTEXT_CreateCertList(KSSTK_CONTEXT handle, KSSTK_CERT_LIST* list) {
  return GuardHandleCreator<ApiContext>(
      "KSSTK_CONTEXT_CreateCertList", handle, list,
      [](ApiContext& context) { return ToHandle(CertList::Create(&context)); });
}
