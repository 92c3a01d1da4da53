/* The record members whose offsets C and C++ must agree on; shared by ksstk_c99.c and the
 * layout test. Each entry: record type, member. */
#ifndef KSSTK_LAYOUT_H
#define KSSTK_LAYOUT_H

#include <stddef.h>

#define KSSTK_LAYOUT_MEMBERS(X)                                   \
  X(KSSTK_BLOB, Data)                                             \
  X(KSSTK_BLOB, Length)                                           \
  X(KSSTK_CALLBACK_MESSAGE, Code)                                 \
  X(KSSTK_CALLBACK_MESSAGE, Handle)                               \
  X(KSSTK_CALLBACK_MESSAGE, Context)                              \
  X(KSSTK_LINK_STATUS_MESSAGE, Status)                            \
  X(KSSTK_AUTH_REPORT_MESSAGE, CipherSuite)                       \
  X(KSSTK_AUTH_REPORT_MESSAGE, MethodNames)                       \
  X(KSSTK_AUTH_REPORT_MESSAGE, NotificationText)                  \
  X(KSSTK_SET_WEP_KEY_MESSAGE, Wep)                               \
  X(KSSTK_SET_WEP_KEY_MESSAGE, KeyMaterial)                       \
  X(KSSTK_ADD_KEY_MESSAGE, Reserved)                              \
  X(KSSTK_ADD_KEY_MESSAGE, Key)                                   \
  X(KSSTK_ADD_KEY_MESSAGE, KeyMaterial)                           \
  X(KSSTK_NDIS_802_11_KEY, BSSID)                                 \
  X(KSSTK_NDIS_802_11_KEY, KeyRSC)                                \
  X(KSSTK_REMOVE_KEY_MESSAGE, Key)                                \
  X(KSSTK_NDIS_802_11_REMOVE_KEY, BSSID)                          \
  X(KSSTK_SEND_EAPOL_MESSAGE, Frame)                              \
  X(KSSTK_SEND_EAPOL_MESSAGE, FrameLength)                        \
  X(KSSTK_AUTH_FAILED_NAS_MESSAGE, Reason)                        \
  X(KSSTK_AUTH_FAILED_NAS_MESSAGE, Bssid)                         \
  X(KSSTK_AUTH_FAILED_NAS_MESSAGE, NasIdentifier)                 \
  X(KSSTK_CONNECTED_BSSID_MESSAGE, Bssid)                         \
  X(KSSTK_GET_PASSWORD_MESSAGE, Password)                         \
  X(KSSTK_GET_CREDENTIALS_MESSAGE, Prompt)                        \
  X(KSSTK_GET_CREDENTIALS_MESSAGE, Password)                      \
  X(KSSTK_GET_TOKEN_RESPONSE_MESSAGE, Response)                   \
  X(KSSTK_GET_TOKEN_RESPONSE_MESSAGE, ResponseLength)             \
  X(KSSTK_VALIDATE_SERVER_CERT_MESSAGE, Chain)                    \
  X(KSSTK_VALIDATE_SERVER_CERT_MESSAGE, Verdict)                  \
  X(KSSTK_LINK_FAILURE_MESSAGE, Reason)                           \
  X(KSSTK_CONNECTED_NETWORK_MESSAGE, Ssid)                        \
  X(KSSTK_CONNECTED_NETWORK_MESSAGE, Bssid)                       \
  X(KSSTK_CCKM_REQUEST_MESSAGE, ElementLength)                    \
  X(KSSTK_CCKM_REQUEST_MESSAGE, Element)                          \
  X(KSSTK_CCKM_RESULT_MESSAGE, Result)                            \
  X(KSSTK_SET_PMKID_LIST_MESSAGE, Pmkid)                          \
  X(KSSTK_SET_PMKID_LIST_MESSAGE, BSSIDInfo)                      \
  X(KSSTK_BSSID_INFO, PMKID)                                      \
  X(KSSTK_PRIVATE_KEY_OPERATION_MESSAGE, CertificateHash)         \
  X(KSSTK_PRIVATE_KEY_OPERATION_MESSAGE, Digest)                  \
  X(KSSTK_PRIVATE_KEY_OPERATION_MESSAGE, RequestValues)           \
  X(KSSTK_PRIVATE_KEY_OPERATION_MESSAGE, Failed)                  \
  X(KSSTK_PRIVATE_KEY_OPERATION_MESSAGE, Answer)                  \
  X(KSSTK_PRIVATE_KEY_OPERATION_MESSAGE, AnswerLength)            \
  X(KSSTK_GET_CERTIFICATE_TEXT_MESSAGE, CertificateHash)          \
  X(KSSTK_GET_CERTIFICATE_TEXT_MESSAGE, Text)                     \
  X(KSSTK_NETWORK_INFO, Bssid)                                    \
  X(KSSTK_NETWORK_INFO, Passphrase)                               \
  X(KSSTK_NETWORK_INFO, Ssid)                                     \
  X(KSSTK_NETWORK_INFO, AssociationResponseIeLength)              \
  X(KSSTK_AUTH_STATE_MACHINE_CONSTANTS, authenticatedAfterMaxStart) \
  X(KSSTK_PMKID_CANDIDATE, Flags)                                 \
  X(KSSTK_PMKID_CANDIDATE_LIST, CandidateList)                    \
  X(KSSTK_AUTHENTICATION_EVENT, Flags)                            \
  X(KSSTK_CCKM_START, Bssid)

typedef struct KsstkLayoutEntry {
  const char* name;
  size_t recordSize;
  size_t offset;
} KsstkLayoutEntry;

#define KSSTK_LAYOUT_ENTRY(record, member) {#record "." #member, sizeof(record), offsetof(record, member)},

#ifdef __cplusplus
extern "C" {
#endif
/* C's view, from ksstk_c99.c. */
extern const KsstkLayoutEntry ksstk_c99_layout[];
extern const size_t ksstk_c99_layout_count;
#ifdef __cplusplus
}
#endif

#endif
