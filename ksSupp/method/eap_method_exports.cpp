// The EAP-method family: the handle's creators and the KSSTK_EAP_METHOD_* exports. Each
// export holds a reference on the handle for the call, so a host that releases it inside
// its callback does not pull it away from under the running method.
#include <ksstk.h>

#include <dcf/dcfComPtr.h>

#include "ksSupp/api_context.h"
#include "ksSupp/export_guard.h"
#include "ksSupp/identity.h"
#include "ksSupp/method/eap_method_handle.h"
#include "platform/win32/hresult.h"

namespace {

template <class Body>
KSSTK_RESULT GuardMethod(const char* exportName, KSSTK_EAP_METHOD handle, Body&& body) noexcept {
  return GuardHandleExport<EapMethodHandle>(exportName, handle, [&](EapMethodHandle& method) -> KSSTK_RESULT {
    const dcfComPtr<EapMethodHandle> hold(&method);
    return body(method);
  });
}

KSSTK_RESULT Create(const char* exportName, KSSTK_CONTEXT handle, uint32_t eapType,
                    KSSTK_EAP_METHOD* method, StringForm form) noexcept {
  return GuardHandleCreator<ApiContext>(exportName, handle, method, [&](ApiContext& context) {
    return ToHandle(EapMethodHandle::Create(context, eapType, form));
  });
}

KSSTK_RESULT SetCallback(const char* exportName, KSSTK_EAP_METHOD handle, KSSTK_CALLBACK callback,
                         uintptr_t user) noexcept {
  return GuardMethod(exportName, handle, [&](EapMethodHandle& method) {
    method.SetCallback(callback, user);
    return 0;
  });
}

}  // namespace

KSSTK_RESULT KSSTK_CONTEXT_CreateEapMethodA(KSSTK_CONTEXT context, uint32_t eapType, KSSTK_EAP_METHOD* method) {
  return Create("KSSTK_CONTEXT_CreateEapMethodA", context, eapType, method, StringForm::Narrow);
}

KSSTK_RESULT KSSTK_CONTEXT_CreateEapMethodW(KSSTK_CONTEXT context, uint32_t eapType, KSSTK_EAP_METHOD* method) {
  return Create("KSSTK_CONTEXT_CreateEapMethodW", context, eapType, method, StringForm::Wide);
}

KSSTK_RESULT KSSTK_EAP_METHOD_SetCallbackA(KSSTK_EAP_METHOD handle, KSSTK_CALLBACK callback, uintptr_t user) {
  return SetCallback("KSSTK_EAP_METHOD_SetCallbackA", handle, callback, user);
}

KSSTK_RESULT KSSTK_EAP_METHOD_SetCallbackW(KSSTK_EAP_METHOD handle, KSSTK_CALLBACK callback, uintptr_t user) {
  return SetCallback("KSSTK_EAP_METHOD_SetCallbackW", handle, callback, user);
}

KSSTK_RESULT KSSTK_EAP_METHOD_SetIdentity(KSSTK_EAP_METHOD handle, KSSTK_IDENTITY identity) {
  static constexpr char kName[] = "KSSTK_EAP_METHOD_SetIdentity";
  return GuardMethod(kName, handle, [&](EapMethodHandle& method) -> KSSTK_RESULT {
    Identity* object = nullptr;
    if (const HRESULT refused = FromOptionalHandle(kName, identity, object)) return refused;
    method.SetIdentity(object);
    return 0;
  });
}

KSSTK_RESULT KSSTK_EAP_METHOD_SetSessionResumptionTimeout(KSSTK_EAP_METHOD handle, uint32_t seconds) {
  return GuardMethod("KSSTK_EAP_METHOD_SetSessionResumptionTimeout", handle, [&](EapMethodHandle& method) {
    method.SetResumptionTimeout(seconds);
    return 0;
  });
}

KSSTK_RESULT KSSTK_EAP_METHOD_Initialize(KSSTK_EAP_METHOD handle) {
  static constexpr char kName[] = "KSSTK_EAP_METHOD_Initialize";
  return GuardMethod(kName, handle, [&](EapMethodHandle& method) -> KSSTK_RESULT {
    const std::int32_t result = method.Initialize();
    if (result != 0) TraceRefusal(kName, "no identity, unknown EAP type, or the method did not start");
    return result;
  });
}

KSSTK_RESULT KSSTK_EAP_METHOD_ReceiveEapRequest(KSSTK_EAP_METHOD handle, const uint8_t* packet, uint32_t length) {
  static constexpr char kName[] = "KSSTK_EAP_METHOD_ReceiveEapRequest";
  return GuardMethod(kName, handle, [&](EapMethodHandle& method) -> KSSTK_RESULT {
    if (packet == nullptr && length != 0) return TraceRefusal(kName, "null packet"), E_POINTER;
    method.ReceiveEapRequest(packet, length);
    return 0;
  });
}

KSSTK_RESULT KSSTK_EAP_METHOD_GetEapResponse(KSSTK_EAP_METHOD handle, uint8_t* buffer, uint32_t size,
                                             uint32_t* length) {
  static constexpr char kName[] = "KSSTK_EAP_METHOD_GetEapResponse";
  if (length != nullptr) *length = 0;
  return GuardMethod(kName, handle, [&](EapMethodHandle& method) -> KSSTK_RESULT {
    if (buffer == nullptr && size != 0) return TraceRefusal(kName, "null buffer"), E_POINTER;
    method.GetEapResponse(buffer, size, length);
    return 0;
  });
}

KSSTK_RESULT KSSTK_EAP_METHOD_VerifyCompletion(KSSTK_EAP_METHOD handle) {
  return GuardMethod("KSSTK_EAP_METHOD_VerifyCompletion", handle, [](EapMethodHandle& method) {
    method.VerifyCompletion();
    return 0;
  });
}

KSSTK_RESULT KSSTK_EAP_METHOD_GetKeys(KSSTK_EAP_METHOD handle, KSSTK_BLOB* keys) {
  static constexpr char kName[] = "KSSTK_EAP_METHOD_GetKeys";
  if (keys != nullptr) *keys = {};
  return GuardMethod(kName, handle, [&](EapMethodHandle& method) -> KSSTK_RESULT {
    if (keys == nullptr) return TraceRefusal(kName, "null blob"), E_POINTER;
    return method.GetKeys(*keys) ? 0 : E_FAIL;
  });
}

KSSTK_RESULT KSSTK_EAP_METHOD_AuthenticationSuccess(KSSTK_EAP_METHOD handle) {
  return GuardMethod("KSSTK_EAP_METHOD_AuthenticationSuccess", handle, [](EapMethodHandle& method) {
    method.SetAuthenticationResult(true);
    return 0;
  });
}

KSSTK_RESULT KSSTK_EAP_METHOD_AuthenticationFailure(KSSTK_EAP_METHOD handle) {
  return GuardMethod("KSSTK_EAP_METHOD_AuthenticationFailure", handle, [](EapMethodHandle& method) {
    method.SetAuthenticationResult(false);
    return 0;
  });
}

KSSTK_RESULT KSSTK_EAP_METHOD_Terminate(KSSTK_EAP_METHOD handle) {
  return GuardMethod("KSSTK_EAP_METHOD_Terminate", handle, [](EapMethodHandle& method) {
    method.Terminate();
    return 0;
  });
}
