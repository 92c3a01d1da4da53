// The link family: the synchronous link creators and the KSSTK_LINK_* exports, each over
// one operation of the Link interface. Every export holds a reference on the link for the
// call, so a host that releases the link inside its callback does not pull it away from
// under the running engine. Most exports answer 0 whatever the operation did.
#include <ksstk.h>

#include <algorithm>

#include <dcf/dcfComPtr.h>

#include "ksSupp/api_context.h"
#include "ksSupp/export_guard.h"
#include "ksSupp/identity.h"
#include "ksSupp/link/async_link.h"
#include "ksSupp/link/link.h"
#include "ksSupp/link/network_info.h"
#include "ksSupp/link/sync_link.h"
#include "ksSupp/wide_text.h"

namespace {

// Runs body(link) holding a reference on the link; the body's result is the export's.
template <class Body>
KSSTK_RESULT GuardLink(const char* exportName, KSSTK_LINK handle, Body&& body) noexcept {
  return GuardHandleExport<Link>(exportName, handle, [&](Link& link) -> KSSTK_RESULT {
    const dcfComPtr<Link> hold(&link);
    return body(link);
  });
}

// An export that answers 0 whatever the operation did (a refusal is traced by the link).
template <class Body>
KSSTK_RESULT GuardLinkZero(const char* exportName, KSSTK_LINK handle, Body&& body) noexcept {
  return GuardLink(exportName, handle, [&](Link& link) -> KSSTK_RESULT {
    body(link);
    return 0;
  });
}

KSSTK_RESULT CreateSyncLink(const char* exportName, KSSTK_CONTEXT handle, KSSTK_LINK* link,
                            StringForm form) noexcept {
  return GuardHandleCreator<ApiContext>(exportName, handle, link, [form](ApiContext& context) {
    return ToHandle(SyncLink::Create(context, form));
  });
}

KSSTK_RESULT CreateAsyncLink(const char* exportName, KSSTK_CONTEXT handle, KSSTK_LINK* link,
                             StringForm form) noexcept {
  return GuardHandleCreator<ApiContext>(exportName, handle, link, [form](ApiContext& context) {
    return ToHandle(AsyncLink::Create(context, form));
  });
}

KSSTK_RESULT SetNetworkInfo(const char* exportName, KSSTK_LINK handle, const KSSTK_NETWORK_INFO* info,
                            StringForm form) noexcept {
  return GuardLink(exportName, handle, [&](Link& link) -> KSSTK_RESULT {
    if (info == nullptr) return TraceRefusal(exportName, "null record"), E_POINTER;
    if (info->Length == 0) {
      if (TraceEnabled(TraceLevel::Error))
        traceError(TraceCategory::Interface, nullptr, 0,
                   "Length member of KSSTK_NETWORK_INFO structure may not be 0\n");
      return E_FAIL;
    }
    dcfComPtr<NetworkInfo> network;
    network.Attach(NetworkInfo::FromRecord(*info, form));
    link.SetNetworkInfo(network.Get());
    return 0;
  });
}

KSSTK_RESULT PrecomputeWpaPsk(const char* exportName, KSSTK_LINK handle, const char* passphrase,
                              const uint8_t* ssid, uint32_t ssidLength) noexcept {
  return GuardLinkZero(exportName, handle,
                       [&](Link& link) { link.PrecomputeWpaPsk(passphrase, ssid, ssidLength); });
}

}  // namespace

KSSTK_RESULT KSSTK_CONTEXT_CreateLinkSynchronousA(KSSTK_CONTEXT context, KSSTK_LINK* link) {
  return CreateSyncLink("KSSTK_CONTEXT_CreateLinkSynchronousA", context, link, StringForm::Narrow);
}

KSSTK_RESULT KSSTK_CONTEXT_CreateLinkSynchronousW(KSSTK_CONTEXT context, KSSTK_LINK* link) {
  return CreateSyncLink("KSSTK_CONTEXT_CreateLinkSynchronousW", context, link, StringForm::Wide);
}

KSSTK_RESULT KSSTK_CONTEXT_CreateLinkAsynchronousA(KSSTK_CONTEXT context, KSSTK_LINK* link) {
  return CreateAsyncLink("KSSTK_CONTEXT_CreateLinkAsynchronousA", context, link, StringForm::Narrow);
}

KSSTK_RESULT KSSTK_CONTEXT_CreateLinkAsynchronousW(KSSTK_CONTEXT context, KSSTK_LINK* link) {
  return CreateAsyncLink("KSSTK_CONTEXT_CreateLinkAsynchronousW", context, link, StringForm::Wide);
}

KSSTK_RESULT KSSTK_LINK_SetCallbackA(KSSTK_LINK handle, KSSTK_CALLBACK callback, uintptr_t user) {
  return GuardLinkZero("KSSTK_LINK_SetCallbackA", handle,
                       [&](Link& link) { link.SetCallback(callback, user); });
}

KSSTK_RESULT KSSTK_LINK_SetCallbackW(KSSTK_LINK handle, KSSTK_CALLBACK callback, uintptr_t user) {
  return GuardLinkZero("KSSTK_LINK_SetCallbackW", handle,
                       [&](Link& link) { link.SetCallback(callback, user); });
}

KSSTK_RESULT KSSTK_LINK_Initialize(KSSTK_LINK handle) {
  return GuardLinkZero("KSSTK_LINK_Initialize", handle, [](Link& link) { link.Initialize(); });
}

KSSTK_RESULT KSSTK_LINK_SetAuthStateMachineConstants(KSSTK_LINK handle,
                                                     const KSSTK_AUTH_STATE_MACHINE_CONSTANTS* constants) {
  return GuardLink("KSSTK_LINK_SetAuthStateMachineConstants", handle,
                   [&](Link& link) { return link.SetAuthStateMachineConstants(constants); });
}

KSSTK_RESULT KSSTK_LINK_GetAuthStateMachineConstants(KSSTK_LINK handle,
                                                     KSSTK_AUTH_STATE_MACHINE_CONSTANTS** constants) {
  return GuardLink("KSSTK_LINK_GetAuthStateMachineConstants", handle,
                   [&](Link& link) { return link.GetAuthStateMachineConstants(constants); });
}

KSSTK_RESULT KSSTK_LINK_SetRoamTimeoutMs(KSSTK_LINK handle, uint32_t ms) {
  return GuardLink("KSSTK_LINK_SetRoamTimeoutMs", handle,
                   [&](Link& link) { return link.SetRoamTimeoutMs(ms); });
}

KSSTK_RESULT KSSTK_LINK_PortDown(KSSTK_LINK handle) {
  return GuardLinkZero("KSSTK_LINK_PortDown", handle, [](Link& link) { link.PortDown(); });
}

KSSTK_RESULT KSSTK_LINK_SetNetworkInfoA(KSSTK_LINK handle, const KSSTK_NETWORK_INFO* info) {
  return SetNetworkInfo("KSSTK_LINK_SetNetworkInfoA", handle, info, StringForm::Narrow);
}

KSSTK_RESULT KSSTK_LINK_SetNetworkInfoW(KSSTK_LINK handle, const KSSTK_NETWORK_INFO* info) {
  return SetNetworkInfo("KSSTK_LINK_SetNetworkInfoW", handle, info, StringForm::Wide);
}

KSSTK_RESULT KSSTK_LINK_SetIdentity(KSSTK_LINK handle, KSSTK_IDENTITY identity) {
  static constexpr char kName[] = "KSSTK_LINK_SetIdentity";
  return GuardLink(kName, handle, [&](Link& link) -> KSSTK_RESULT {
    Identity* object = nullptr;
    if (const HRESULT refused = FromOptionalHandle(kName, identity, object)) return refused;
    link.SetIdentity(object);
    return 0;
  });
}

KSSTK_RESULT KSSTK_LINK_SetSessionResumptionTimeout(KSSTK_LINK handle, uint32_t seconds) {
  return GuardLinkZero("KSSTK_LINK_SetSessionResumptionTimeout", handle,
                       [&](Link& link) { link.SetSessionResumptionTimeout(seconds); });
}

KSSTK_RESULT KSSTK_LINK_PrecomputeWpaPskA(KSSTK_LINK handle, const char* passphrase,
                                          const uint8_t* ssid, uint32_t ssidLength) {
  return PrecomputeWpaPsk("KSSTK_LINK_PrecomputeWpaPskA", handle, passphrase, ssid, ssidLength);
}

KSSTK_RESULT KSSTK_LINK_PrecomputeWpaPskW(KSSTK_LINK handle, const KSSTK_WCHAR* passphrase,
                                          const uint8_t* ssid, uint32_t ssidLength) {
  if (passphrase == nullptr)
    return PrecomputeWpaPsk("KSSTK_LINK_PrecomputeWpaPskW", handle, nullptr, ssid, ssidLength);
  return GuardExport("KSSTK_LINK_PrecomputeWpaPskW", [&]() -> KSSTK_RESULT {
    const Utf8FromWide text(passphrase);
    return PrecomputeWpaPsk("KSSTK_LINK_PrecomputeWpaPskW", handle, text.Get(), ssid, ssidLength);
  });
}

KSSTK_RESULT KSSTK_LINK_PortUp(KSSTK_LINK handle) {
  return GuardLinkZero("KSSTK_LINK_PortUp", handle, [](Link& link) { link.PortUp(); });
}

KSSTK_RESULT KSSTK_LINK_Reauthenticate(KSSTK_LINK handle) {
  return GuardLinkZero("KSSTK_LINK_Reauthenticate", handle, [](Link& link) { link.Reauthenticate(); });
}

KSSTK_RESULT KSSTK_LINK_ReceiveEapol(KSSTK_LINK handle, const uint8_t* frame, uint32_t length) {
  return GuardLinkZero("KSSTK_LINK_ReceiveEapol", handle,
                       [&](Link& link) { link.ReceiveEapol(frame, length); });
}

KSSTK_RESULT KSSTK_LINK_ReceiveAuthenticationEvent(KSSTK_LINK handle,
                                                   const KSSTK_AUTHENTICATION_EVENT* event) {
  return GuardLinkZero("KSSTK_LINK_ReceiveAuthenticationEvent", handle,
                       [&](Link& link) { link.ReceiveAuthenticationEvent(event); });
}

KSSTK_RESULT KSSTK_LINK_ReceivePMKIDCandidateListEvent(KSSTK_LINK handle,
                                                       const KSSTK_PMKID_CANDIDATE_LIST* list) {
  static constexpr char kName[] = "KSSTK_LINK_ReceivePMKIDCandidateListEvent";
  return GuardLinkZero(kName, handle, [&](Link& link) {
    if (list == nullptr) return TraceRefusal(kName, "null list");
    // The host's count does not drive the copy beyond the entries taken.
    PmkidCandidate candidates[Link::kMaxCandidates] = {};
    const std::uint32_t count = std::min(list->NumCandidates, Link::kMaxCandidates);
    for (std::uint32_t i = 0; i < count; ++i) {
      std::copy_n(list->CandidateList[i].BSSID, 6, candidates[i].bssid);
      candidates[i].flags = list->CandidateList[i].Flags & KSSTK_PMKID_CANDIDATE_PREAUTH_ENABLED;
    }
    link.ReceivePmkidCandidates(count, candidates);
  });
}

KSSTK_RESULT KSSTK_LINK_ReceivePreauthEapol(KSSTK_LINK handle, const uint8_t* source,
                                            const uint8_t* frame, uint32_t length) {
  static constexpr char kName[] = "KSSTK_LINK_ReceivePreauthEapol";
  return GuardLinkZero(kName, handle, [&](Link& link) {
    if (source == nullptr || (frame == nullptr && length != 0))
      return TraceRefusal(kName, "null address or frame");
    link.ReceivePreauthEapol(source, frame, length);
  });
}

KSSTK_RESULT KSSTK_LINK_CCKM_StartReassociation(KSSTK_LINK handle, const KSSTK_CCKM_START* start) {
  return GuardLinkZero("KSSTK_LINK_CCKM_StartReassociation", handle,
                       [&](Link& link) { link.CckmStartReassociation(start); });
}

KSSTK_RESULT KSSTK_LINK_FlushCachedSecurityAssociations(KSSTK_LINK handle) {
  return GuardLinkZero("KSSTK_LINK_FlushCachedSecurityAssociations", handle,
                       [](Link& link) { link.FlushCachedSecurityAssociations(); });
}

KSSTK_RESULT KSSTK_LINK_Terminate(KSSTK_LINK handle) {
  return GuardLinkZero("KSSTK_LINK_Terminate", handle, [](Link& link) { link.Terminate(); });
}

KSSTK_RESULT KSSTK_LINK_Process(KSSTK_LINK handle, uint32_t* ms) {
  // A defined wait also when the call is refused or fails.
  if (ms != nullptr) *ms = LinkEngine::kMaxWait;
  return GuardLinkZero("KSSTK_LINK_Process", handle, [&](Link& link) { link.Process(ms); });
}

KSSTK_RESULT KSSTK_LINK_Thread(KSSTK_LINK handle) {
  // -1 when a second thread would run the same link (0 on a synchronous link, as every
  // refusal there).
  return GuardLink("KSSTK_LINK_Thread", handle, [](Link& link) -> KSSTK_RESULT {
    return dynamic_cast<AsyncLink*>(&link) != nullptr ? link.Thread() : (link.Thread(), 0);
  });
}
