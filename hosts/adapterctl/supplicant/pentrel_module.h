#pragma once
// libpentrel.so as the adapter-control library uses it: loaded at run time through its public
// header only (dlopen and dlsym), so the utility starts without it and the interface is all
// that joins the two.
#include <ksstk.h>

#include <memory>
#include <string>

namespace zelcon {

#define PENTREL_HOST_EXPORTS(X)                                                              \
  X(KSSTK_Initialize) X(KSSTK_Terminate) X(KSSTK_AllocStringA) X(KSSTK_Release)              \
  X(KSSTK_CreateContext) X(KSSTK_CONTEXT_Initialize) X(KSSTK_CONTEXT_CreateIdentity)         \
  X(KSSTK_IDENTITY_SetUserNameA) X(KSSTK_IDENTITY_SetPasswordA)                              \
  X(KSSTK_IDENTITY_SetTtlsIdentityA) X(KSSTK_IDENTITY_SetEapTypes)                           \
  X(KSSTK_IDENTITY_SetPeapInnerEapTypes) X(KSSTK_IDENTITY_SetTtlsInnerAuthProtocol)          \
  X(KSSTK_IDENTITY_SetUserCertificate) X(KSSTK_IDENTITY_Initialize)                          \
  X(KSSTK_ProcessCallbackA) X(KSSTK_CONTEXT_CreateLinkAsynchronousA)                         \
  X(KSSTK_LINK_SetCallbackA) X(KSSTK_LINK_Initialize) X(KSSTK_LINK_PortDown)                 \
  X(KSSTK_LINK_SetNetworkInfoA) X(KSSTK_LINK_SetIdentity) X(KSSTK_LINK_PortUp) X(KSSTK_LINK_PrecomputeWpaPskA)               \
  X(KSSTK_LINK_ReceiveEapol) X(KSSTK_LINK_ReceiveAuthenticationEvent)                        \
  X(KSSTK_LINK_ReceivePMKIDCandidateListEvent) X(KSSTK_LINK_CCKM_StartReassociation)          \
  X(KSSTK_LINK_Terminate) X(KSSTK_LINK_Thread)

struct PentrelModule {
#define PENTREL_HOST_MEMBER(name) decltype(&::name) name = nullptr;
  PENTREL_HOST_EXPORTS(PENTREL_HOST_MEMBER)
#undef PENTREL_HOST_MEMBER

  // The library at `path` with every export the host calls; null (and the reason in
  // `error`) when it cannot be loaded or lacks one.
  static std::unique_ptr<PentrelModule> Load(const std::string& path, std::string& error);
  ~PentrelModule();
  PentrelModule(const PentrelModule&) = delete;
  PentrelModule& operator=(const PentrelModule&) = delete;

private:
  PentrelModule() = default;
  void* handle_ = nullptr;
};

// Where the library is: $ZELCON_PENTREL_LIBRARY, else the installed name.
std::string PentrelLibraryPath();

}  // namespace zelcon
