#pragma once
// The test host's hold on libpentrel.so: loaded once with dlopen, every export looked up by
// name with dlsym, nothing linked. Use: Pentrel().KSSTK_Alloc(...).
#include <ksstk.h>

#define PENTREL_EXPORTS(X)                                                                   \
  X(KSSTK_Initialize) X(KSSTK_Terminate) X(KSSTK_SetTraceLevel) X(KSSTK_SetTraceCallbackA)   \
  X(KSSTK_SetTraceCallbackW) X(KSSTK_Alloc) X(KSSTK_Free) X(KSSTK_AllocStringA)              \
  X(KSSTK_AllocStringW) X(KSSTK_AllocBlob) X(KSSTK_AddRef) X(KSSTK_Release)                  \
  X(KSSTK_CreateContext) X(KSSTK_CONTEXT_SetTlsCipherSuites) X(KSSTK_CONTEXT_SetDhExponentBits) \
  X(KSSTK_CONTEXT_Initialize) X(KSSTK_CONTEXT_CreateIdentity) X(KSSTK_CONTEXT_CreateCertList) \
  X(KSSTK_IDENTITY_SetUserNameA) X(KSSTK_IDENTITY_SetUserNameW)                              \
  X(KSSTK_IDENTITY_SetWindowsNameA) X(KSSTK_IDENTITY_SetWindowsNameW)                        \
  X(KSSTK_IDENTITY_SetPasswordA) X(KSSTK_IDENTITY_SetPasswordW)                              \
  X(KSSTK_IDENTITY_SetTtlsIdentityA) X(KSSTK_IDENTITY_SetTtlsIdentityW)                      \
  X(KSSTK_IDENTITY_SetEapTypes) X(KSSTK_IDENTITY_SetTtlsInnerEapTypes)                       \
  X(KSSTK_IDENTITY_SetPeapInnerEapTypes) X(KSSTK_IDENTITY_SetTtlsInnerAuthProtocol)          \
  X(KSSTK_IDENTITY_SetPeapNoPasswordInGTC) X(KSSTK_IDENTITY_SetUserCertificate)              \
  X(KSSTK_IDENTITY_Initialize) X(KSSTK_CERT_LIST_AddCert) X(KSSTK_CERT_LIST_BuildCertChain)  \
  X(KSSTK_CERT_LIST_GetNumCerts) X(KSSTK_CERT_LIST_GetCert) X(KSSTK_CERT_GetDer)             \
  X(KSSTK_CERT_GetSha1Hash) X(KSSTK_ProcessCallbackA) X(KSSTK_ProcessCallbackW)              \
  X(KSSTK_CONTEXT_CreateLinkSynchronousA) X(KSSTK_CONTEXT_CreateLinkSynchronousW)            \
  X(KSSTK_LINK_SetCallbackA) X(KSSTK_LINK_SetCallbackW) X(KSSTK_LINK_Initialize)             \
  X(KSSTK_LINK_SetAuthStateMachineConstants) X(KSSTK_LINK_GetAuthStateMachineConstants)      \
  X(KSSTK_LINK_SetRoamTimeoutMs) X(KSSTK_LINK_PortDown) X(KSSTK_LINK_SetNetworkInfoA)        \
  X(KSSTK_LINK_SetNetworkInfoW) X(KSSTK_LINK_SetIdentity)                                    \
  X(KSSTK_LINK_SetSessionResumptionTimeout) X(KSSTK_LINK_PrecomputeWpaPskA)                  \
  X(KSSTK_LINK_PrecomputeWpaPskW) X(KSSTK_LINK_PortUp) X(KSSTK_LINK_Reauthenticate)          \
  X(KSSTK_LINK_ReceiveEapol) X(KSSTK_LINK_ReceiveAuthenticationEvent)                        \
  X(KSSTK_LINK_ReceivePMKIDCandidateListEvent) X(KSSTK_LINK_ReceivePreauthEapol)             \
  X(KSSTK_LINK_CCKM_StartReassociation) X(KSSTK_LINK_FlushCachedSecurityAssociations)        \
  X(KSSTK_LINK_Terminate) X(KSSTK_LINK_Process) X(KSSTK_LINK_Thread)                        \
  X(KSSTK_CONTEXT_CreateLinkAsynchronousA) X(KSSTK_CONTEXT_CreateLinkAsynchronousW)          \
  X(KSSTK_CONTEXT_CreateEapMethodA) X(KSSTK_CONTEXT_CreateEapMethodW)                        \
  X(KSSTK_EAP_METHOD_SetCallbackA) X(KSSTK_EAP_METHOD_SetCallbackW)                          \
  X(KSSTK_EAP_METHOD_SetIdentity) X(KSSTK_EAP_METHOD_SetSessionResumptionTimeout)            \
  X(KSSTK_EAP_METHOD_Initialize) X(KSSTK_EAP_METHOD_ReceiveEapRequest)                       \
  X(KSSTK_EAP_METHOD_GetEapResponse) X(KSSTK_EAP_METHOD_VerifyCompletion)                    \
  X(KSSTK_EAP_METHOD_GetKeys) X(KSSTK_EAP_METHOD_AuthenticationSuccess)                      \
  X(KSSTK_EAP_METHOD_AuthenticationFailure) X(KSSTK_EAP_METHOD_Terminate)

struct PentrelLibrary {
#define PENTREL_MEMBER(name) decltype(&::name) name = nullptr;
  PENTREL_EXPORTS(PENTREL_MEMBER)
#undef PENTREL_MEMBER
  void* module = nullptr;
};

// Loads the library on first use; a missing library or export fails the calling test.
const PentrelLibrary& Pentrel();
