/*
 * ksstk.h - the C interface of the Pentrel supplicant library (libpentrel.so).
 *
 * A host loads the library, calls KSSTK_Initialize, sets the trace level and callback,
 * creates a context and from it identities, links, EAP-method handles and certificate
 * lists, and at the end releases every handle and calls KSSTK_Terminate.
 *
 * Conventions:
 * - Every function returns a 32-bit status: 0 for success, a negative HRESULT for failure.
 *   Most functions return 0 whatever happened inside; the comments say where not.
 * - Handles are opaque pointers; every handle is released with KSSTK_Release.
 * - "A" functions take 8-bit strings and store them unchanged; "W" functions take UTF-16
 *   strings (KSSTK_WCHAR, never wchar_t) and convert them to UTF-8.
 * - Memory the library hands to the host is freed with KSSTK_Free. Strings and blocks the
 *   host stores into callback messages must come from KSSTK_Alloc, KSSTK_AllocStringA,
 *   KSSTK_AllocStringW or KSSTK_AllocBlob: the library frees them.
 *
 * Usable from C99 and C++.
 */
#ifndef KSSTK_H
#define KSSTK_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define KSSTK_API __attribute__((visibility("default")))
#else
#define KSSTK_API
#endif
/* The calling convention of the exports and callbacks (the platform's default here). */
#define KSSTK_CALL

typedef int32_t KSSTK_RESULT;

/* One UTF-16 code unit (the same type as char16_t in C11 and C++). */
#ifdef __cplusplus
typedef char16_t KSSTK_WCHAR;
#else
typedef uint_least16_t KSSTK_WCHAR;
#endif

/* Any handle the library returns. The names below say which family a function expects;
 * a handle of another family is refused with E_INVALIDARG, a null one with E_POINTER. */
typedef void* KSSTK_HANDLE;
typedef KSSTK_HANDLE KSSTK_CONTEXT;
typedef KSSTK_HANDLE KSSTK_IDENTITY;
typedef KSSTK_HANDLE KSSTK_LINK;
typedef KSSTK_HANDLE KSSTK_EAP_METHOD;
typedef KSSTK_HANDLE KSSTK_CERT_LIST;
typedef KSSTK_HANDLE KSSTK_CERT;

/* A block of bytes handed across the interface; Data comes from malloc (KSSTK_Free). */
typedef struct KSSTK_BLOB {
  uint8_t* Data;
  uint32_t Length;
} KSSTK_BLOB;

/* ---------------------------------------------------------------------------------------
 * Trace
 * Levels: 1 error, 2 warning, 3 event, 4 detail; a line is written when the trace level is
 * at least its level. Categories: 0 the interface, 1 EAP and 802.1X, 2 keys.
 * The text always ends in "\n" and holds at most 2047 characters; data (may be null) is a
 * byte dump that belongs to the line. When both callbacks are set, only the narrow one is
 * called. Callbacks run on the thread that traced.
 * ------------------------------------------------------------------------------------- */
enum {
  KSSTK_TRACE_ERROR = 1,
  KSSTK_TRACE_WARNING = 2,
  KSSTK_TRACE_EVENT = 3,
  KSSTK_TRACE_DETAIL = 4
};
enum {
  KSSTK_TRACE_CATEGORY_INTERFACE = 0,
  KSSTK_TRACE_CATEGORY_EAP = 1,
  KSSTK_TRACE_CATEGORY_KEYS = 2
};

typedef void(KSSTK_CALL* KSSTK_TRACE_CALLBACK_A)(int32_t level, int32_t category,
                                                 const char* text, const uint8_t* data,
                                                 uint32_t dataLength);
typedef void(KSSTK_CALL* KSSTK_TRACE_CALLBACK_W)(int32_t level, int32_t category,
                                                 const KSSTK_WCHAR* text, const uint8_t* data,
                                                 uint32_t dataLength);

/* ---------------------------------------------------------------------------------------
 * Global functions
 * ------------------------------------------------------------------------------------- */

/* Takes a reference on the TLS library set-up and seeds its random generator.
 * 0, or -1 when the set-up or the seeding failed. Each call is matched by one
 * KSSTK_Terminate. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_Initialize(void);
/* Drops the reference KSSTK_Initialize took. Always 0. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_Terminate(void);

/* Trace settings; they may change at any time and apply from the next trace line. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_SetTraceLevel(int32_t level);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_SetTraceCallbackA(KSSTK_TRACE_CALLBACK_A callback);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_SetTraceCallbackW(KSSTK_TRACE_CALLBACK_W callback);

/* Memory shared with the host (malloc and free). The allocators return 0 even when memory
 * runs out: the out pointer is then null. A null out pointer gives E_POINTER. */
/* size 0 stores null. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_Alloc(uint32_t size, void** block);
/* null is ignored. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_Free(void* block);
/* A copy with its NUL; a null source gives an empty string. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_AllocStringA(const char* source, char** copy);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_AllocStringW(const KSSTK_WCHAR* source,
                                                     KSSTK_WCHAR** copy);
/* Fills the blob with a copy of length bytes (zeros when source is null); length 0 stores
 * a null Data. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_AllocBlob(KSSTK_BLOB* blob, const void* source,
                                                  uint32_t length);

/* Reference counting of every handle. A null handle gives E_POINTER. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_AddRef(KSSTK_HANDLE handle);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_Release(KSSTK_HANDLE handle);

/* ---------------------------------------------------------------------------------------
 * Context family
 * The context holds the TLS settings shared by all authentications and the certificate
 * machinery of the current user; it makes every other handle. All return 0 unless said.
 * ------------------------------------------------------------------------------------- */

/* A new context. When it cannot be made, *context is null and the result is the failure
 * (a memory shortage alone gives 0 and null). */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CreateContext(KSSTK_CONTEXT* context);
/* Replaces the TLS cipher-suite ids (low 16 bits used; count 0 empties the list); takes
 * effect at the next KSSTK_CONTEXT_Initialize. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CONTEXT_SetTlsCipherSuites(KSSTK_CONTEXT context,
                                                                  const uint32_t* ids,
                                                                  uint32_t count);
/* The Diffie-Hellman private-exponent size in bits (default 192); takes effect at the next
 * KSSTK_CONTEXT_Initialize. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CONTEXT_SetDhExponentBits(KSSTK_CONTEXT context,
                                                                 uint32_t bits);
/* Builds the TLS configuration from the settings; call it before TLS methods run. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CONTEXT_Initialize(KSSTK_CONTEXT context);
/* A new identity, or null when memory ran out. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CONTEXT_CreateIdentity(KSSTK_CONTEXT context,
                                                              KSSTK_IDENTITY* identity);
/* A new empty certificate list, or null when memory ran out. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CONTEXT_CreateCertList(KSSTK_CONTEXT context,
                                                              KSSTK_CERT_LIST* list);

/* ---------------------------------------------------------------------------------------
 * Identity family: one user's credentials and EAP preferences. All return 0.
 * Passwords are wiped from the library's memory when replaced and when the identity goes.
 * ------------------------------------------------------------------------------------- */

/* A: a copy, null clears the name. W: the UTF-8 form, null stores an empty name. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_IDENTITY_SetUserNameA(KSSTK_IDENTITY identity,
                                                             const char* name);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_IDENTITY_SetUserNameW(KSSTK_IDENTITY identity,
                                                             const KSSTK_WCHAR* name);
/* The Windows (domain) account name, as the user name. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_IDENTITY_SetWindowsNameA(KSSTK_IDENTITY identity,
                                                                const char* name);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_IDENTITY_SetWindowsNameW(KSSTK_IDENTITY identity,
                                                                const KSSTK_WCHAR* name);
/* Non-null: the password is set (an empty one too). Null: the password is cleared, and
 * methods then ask the host for one. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_IDENTITY_SetPasswordA(KSSTK_IDENTITY identity,
                                                             const char* password);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_IDENTITY_SetPasswordW(KSSTK_IDENTITY identity,
                                                             const KSSTK_WCHAR* password);
/* The outer identity of TTLS; null or empty leaves it empty. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_IDENTITY_SetTtlsIdentityA(KSSTK_IDENTITY identity,
                                                                 const char* name);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_IDENTITY_SetTtlsIdentityW(KSSTK_IDENTITY identity,
                                                                 const KSSTK_WCHAR* name);
/* EAP types in order of preference: outer, inside TTLS, inside PEAP. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_IDENTITY_SetEapTypes(KSSTK_IDENTITY identity,
                                                            const uint32_t* types,
                                                            uint32_t count);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_IDENTITY_SetTtlsInnerEapTypes(KSSTK_IDENTITY identity,
                                                                     const uint32_t* types,
                                                                     uint32_t count);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_IDENTITY_SetPeapInnerEapTypes(KSSTK_IDENTITY identity,
                                                                     const uint32_t* types,
                                                                     uint32_t count);
/* The TTLS inner protocol: 1 PAP, 2 CHAP, 3 MS-CHAP, 4 MS-CHAP-V2, 5 certificate only,
 * 6 EAP, 7 PAP with a token. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_IDENTITY_SetTtlsInnerAuthProtocol(KSSTK_IDENTITY identity,
                                                                         uint32_t protocol);
/* Non-zero: PEAP's Generic Token Card does not send the password. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_IDENTITY_SetPeapNoPasswordInGTC(KSSTK_IDENTITY identity,
                                                                       uint32_t noPassword);
/* The client certificate: the SHA-1 hash of a certificate in the current user's "my"
 * store (20 bytes). Null changes nothing. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_IDENTITY_SetUserCertificate(KSSTK_IDENTITY identity,
                                                                   const uint8_t* sha1Hash);
/* Builds the identity's TLS credentials; call it after the certificate is chosen. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_IDENTITY_Initialize(KSSTK_IDENTITY identity);

/* ---------------------------------------------------------------------------------------
 * Certificate lists and certificates (DER). All return 0.
 * ------------------------------------------------------------------------------------- */

/* Verdict on a certificate chain. */
enum {
  KSSTK_CHAIN_TRUSTED = 0,
  KSSTK_CHAIN_NOT_YET_VALID = 1,
  KSSTK_CHAIN_EXPIRED = 2,
  KSSTK_CHAIN_REVOKED = 3,
  KSSTK_CHAIN_BAD_SIGNATURE = 4,
  KSSTK_CHAIN_WRONG_USAGE = 5, /* not valid for server use, or no certificate */
  KSSTK_CHAIN_UNTRUSTED_ROOT = 6,
  KSSTK_CHAIN_REVOCATION_UNKNOWN = 7,
  KSSTK_CHAIN_OTHER_FAILURE = 8,
  KSSTK_CHAIN_ISSUER_UNKNOWN = 9 /* accepted from the host only */
};

/* Appends a copy of one DER certificate. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CERT_LIST_AddCert(KSSTK_CERT_LIST list,
                                                         const uint8_t* der, uint32_t length);
/* Builds and judges the chain of the list (first certificate: the end certificate) with the
 * current user's certificate stores, for server use. *chain receives the built chain (the
 * caller releases it; null when none), *verdict a KSSTK_CHAIN_ value (-1 for a list without
 * context). */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CERT_LIST_BuildCertChain(KSSTK_CERT_LIST list,
                                                                KSSTK_CERT_LIST* chain,
                                                                int32_t* verdict);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CERT_LIST_GetNumCerts(KSSTK_CERT_LIST list,
                                                             uint32_t* count);
/* The certificate at index with a reference for the caller, or null past the end. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CERT_LIST_GetCert(KSSTK_CERT_LIST list, uint32_t index,
                                                         KSSTK_CERT* cert);
/* A copy of the DER bytes (free Data with KSSTK_Free); an empty certificate gives {null, 0}. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CERT_GetDer(KSSTK_CERT cert, KSSTK_BLOB* der);
/* The SHA-1 hash of the DER bytes into 20 bytes. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CERT_GetSha1Hash(KSSTK_CERT cert, uint8_t* sha1Hash);

/* ---------------------------------------------------------------------------------------
 * Host callback messages
 * A link (or EAP-method handle) calls the host's callback with one message at a time. The
 * message is a zero-filled buffer of Size bytes that is valid during the call only, and so
 * are the pointers the library put into it. Requests are answered by writing into the
 * message before returning; strings and blocks written there must come from KSSTK_Alloc*
 * (the library frees them, wiping passwords first). Answer fields left zero mean "no
 * answer". Links made by an A creator carry 8-bit (UTF-8) strings, W links UTF-16 ones.
 * Size is sizeof the message's record plus the length of its variable tail, if any.
 * ------------------------------------------------------------------------------------- */

typedef struct KSSTK_CALLBACK_MESSAGE {
  uint32_t Size;
  uint32_t Code;
  KSSTK_HANDLE Handle; /* the link or EAP-method handle that sends it */
  uintptr_t Context;   /* 0: the link's own port; else its pre-authentication port, and
                        * then a pointer to the 6-byte BSSID of the access point it
                        * pre-authenticates with (valid during the callback; all zero
                        * when no candidate runs) */
} KSSTK_CALLBACK_MESSAGE;

/* The host callback; its result is ignored. */
typedef uint32_t(KSSTK_CALL* KSSTK_CALLBACK)(uintptr_t user, KSSTK_CALLBACK_MESSAGE* message);

/* A string field: .A in messages of A links, .W in those of W links. */
typedef union KSSTK_STRING {
  char* A;
  KSSTK_WCHAR* W;
} KSSTK_STRING;

/* Link message codes. Where two codes share a record, the second is sent for the
 * pre-authentication port (Context non-zero, pointing at the candidate's BSSID). Its EAPOL
 * frames (code 25) go to that BSSID with ethertype 0x88C7; frames of that ethertype from
 * the air come back through KSSTK_LINK_ReceivePreauthEapol. */
enum {
  KSSTK_MSG_LINK_STATUS = 1,
  KSSTK_MSG_AUTH_REPORT = 2,
  KSSTK_MSG_LINK_UP = 3,
  KSSTK_MSG_LINK_DOWN = 4,
  KSSTK_MSG_SET_WEP_KEY = 5,
  KSSTK_MSG_ADD_KEY = 6,
  KSSTK_MSG_REMOVE_KEY = 7,
  KSSTK_MSG_SEND_EAPOL = 8,
  KSSTK_MSG_AUTH_FAILED_NAS = 9,
  KSSTK_MSG_CONNECTED_BSSID = 10,
  KSSTK_MSG_GET_PASSWORD = 11,
  KSSTK_MSG_GET_CREDENTIALS = 12,
  KSSTK_MSG_GET_TOKEN_RESPONSE = 13,
  KSSTK_MSG_VALIDATE_SERVER_CERT = 14,
  KSSTK_MSG_KEYS_RESET = 15,
  KSSTK_MSG_LINK_FAILURE = 16,
  KSSTK_MSG_CONNECTED_NETWORK = 17,
  KSSTK_MSG_CCKM_REQUEST = 18,
  KSSTK_MSG_CCKM_RESULT = 19,
  KSSTK_MSG_SET_PMKID_LIST = 20,
  KSSTK_MSG_PRIVATE_KEY_OPERATION = 21,
  KSSTK_MSG_GET_CERTIFICATE_TEXT = 22,
  KSSTK_MSG_ROAMING = 23,
  KSSTK_MSG_PREAUTH_AUTH_REPORT = 24,
  KSSTK_MSG_SEND_PREAUTH_EAPOL = 25,
  KSSTK_MSG_PREAUTH_KEYS_RESET = 26,
  KSSTK_MSG_PREAUTH_GET_PASSWORD = 27,
  KSSTK_MSG_PREAUTH_GET_CREDENTIALS = 28,
  KSSTK_MSG_PREAUTH_GET_TOKEN_RESPONSE = 29,
  KSSTK_MSG_PREAUTH_VALIDATE_SERVER_CERT = 30,
  KSSTK_MSG_PREAUTH_PRIVATE_KEY_OPERATION = 31
};

/* Values of KSSTK_LINK_STATUS_MESSAGE.Status. */
enum {
  KSSTK_LINK_STATUS_IDLE = 1,
  KSSTK_LINK_STATUS_AUTHENTICATING = 2,
  KSSTK_LINK_STATUS_WAITING_FOR_KEYS = 3,
  KSSTK_LINK_STATUS_AUTHENTICATED = 4,
  KSSTK_LINK_STATUS_WAITING_FOR_PSK_KEYS = 5,
  KSSTK_LINK_STATUS_CONNECTED_WITHOUT_8021X = 6,
  KSSTK_LINK_STATUS_NO_AUTHENTICATOR = 7,
  KSSTK_LINK_STATUS_FAST_RECONNECTED = 8
};

/* Values of KSSTK_LINK_FAILURE_MESSAGE.Reason. */
enum {
  KSSTK_LINK_FAILURE_KEY_TIMEOUT = 1,
  KSSTK_LINK_FAILURE_ELEMENT_MISMATCH = 2,
  KSSTK_LINK_FAILURE_BAD_GROUP_KEY = 3,
  KSSTK_LINK_FAILURE_KEY_DATA_DECRYPTION = 4,
  KSSTK_LINK_FAILURE_NO_AUTHENTICATOR = 5,
  KSSTK_LINK_FAILURE_CCKM_HANDOFF = 6
};

/* Values of KSSTK_AUTH_FAILED_NAS_MESSAGE.Reason. */
enum {
  KSSTK_NAS_FAILURE_GUARD_TIME = 2,
  KSSTK_NAS_FAILURE_OTHER = 3,
  KSSTK_NAS_FAILURE_METHOD_REFUSED = 4
};

/* Values of KSSTK_PRIVATE_KEY_OPERATION_MESSAGE.KeyKind. */
enum { KSSTK_KEY_KIND_RSA = 1, KSSTK_KEY_KIND_DSA = 2 };

/* The NDIS 802.11 records inside the key messages, laid out as OID_802_11_ADD_WEP,
 * OID_802_11_ADD_KEY, OID_802_11_REMOVE_KEY and OID_802_11_PMKID take them; the variable
 * part follows each in its message. */
typedef struct KSSTK_NDIS_802_11_WEP {
  uint32_t Length;    /* key length + 12 */
  uint32_t KeyIndex;  /* bit 31: transmit key; low bits: the index */
  uint32_t KeyLength; /* at most 32 */
  /* KeyMaterial follows */
} KSSTK_NDIS_802_11_WEP;

typedef struct KSSTK_NDIS_802_11_KEY {
  uint32_t Length;   /* key length + 32 */
  uint32_t KeyIndex; /* bit 31 transmit, bit 30 pairwise, bit 29 KeyRSC valid, low byte index */
  uint32_t KeyLength; /* at most 32 */
  uint8_t BSSID[6];   /* FF-FF-FF-FF-FF-FF when the key has none */
  uint8_t Padding[6];
  uint64_t KeyRSC;
  /* KeyMaterial follows */
} KSSTK_NDIS_802_11_KEY;

typedef struct KSSTK_NDIS_802_11_REMOVE_KEY {
  uint32_t Length; /* 16 */
  uint32_t KeyIndex;
  uint8_t BSSID[6];
  uint8_t Padding[2];
} KSSTK_NDIS_802_11_REMOVE_KEY;

typedef struct KSSTK_BSSID_INFO {
  uint8_t BSSID[6];
  uint8_t PMKID[16];
} KSSTK_BSSID_INFO;

typedef struct KSSTK_NDIS_802_11_PMKID {
  uint32_t Length; /* 8 + 22 x BSSIDInfoCount */
  uint32_t BSSIDInfoCount;
  /* BSSIDInfo entries follow */
} KSSTK_NDIS_802_11_PMKID;

/* Codes 3, 4, 15 / 26 and 23 carry the header only. */

/* Code 1. */
typedef struct KSSTK_LINK_STATUS_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  uint32_t Status; /* KSSTK_LINK_STATUS_ */
} KSSTK_LINK_STATUS_MESSAGE;

/* Codes 2 / 24: the authentication report of an 802.1X port, sent when it changed. */
typedef struct KSSTK_AUTH_REPORT_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  uint32_t Authorized;
  uint32_t PaeState;                          /* 1 LOGOFF .. 7 AUTHENTICATED */
  uint32_t AuthenticatedWithoutAuthenticator;
  uint32_t MethodStatus;                      /* completion status of the EAP method */
  uint32_t CipherSuite;                       /* all bits set when the method has none */
  KSSTK_STRING MethodNames;                   /* null when empty, as the next two */
  KSSTK_STRING IdentityRequestText;
  KSSTK_STRING NotificationText;
} KSSTK_AUTH_REPORT_MESSAGE;

/* Code 5. */
typedef struct KSSTK_SET_WEP_KEY_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  KSSTK_NDIS_802_11_WEP Wep;
  uint8_t KeyMaterial[]; /* Wep.KeyLength bytes */
} KSSTK_SET_WEP_KEY_MESSAGE;

/* Code 6. */
typedef struct KSSTK_ADD_KEY_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  uint32_t CipherSuite; /* selector: OUI in the high bytes, suite type in the low byte */
  uint32_t Reserved;
  KSSTK_NDIS_802_11_KEY Key;
  uint8_t KeyMaterial[]; /* Key.KeyLength bytes */
} KSSTK_ADD_KEY_MESSAGE;

/* Code 7. */
typedef struct KSSTK_REMOVE_KEY_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  KSSTK_NDIS_802_11_REMOVE_KEY Key;
} KSSTK_REMOVE_KEY_MESSAGE;

/* Codes 8 / 25: transmit an EAPOL frame (from its 802.1X header on). */
typedef struct KSSTK_SEND_EAPOL_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  const uint8_t* Frame;
  uint32_t FrameLength;
} KSSTK_SEND_EAPOL_MESSAGE;

/* Code 9. */
typedef struct KSSTK_AUTH_FAILED_NAS_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  uint32_t EapType;         /* 0 when none */
  uint16_t Reason;          /* KSSTK_NAS_FAILURE_ */
  uint8_t Bssid[6];
  uint8_t NasIdentifier[16]; /* 8-bit, NUL-padded, not terminated when it fills 16 bytes */
} KSSTK_AUTH_FAILED_NAS_MESSAGE;

/* Code 10. */
typedef struct KSSTK_CONNECTED_BSSID_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  uint32_t EapType;
  uint8_t Bssid[6];
  uint8_t Padding[2];
} KSSTK_CONNECTED_BSSID_MESSAGE;

/* Codes 11 / 27: the host answers a password. */
typedef struct KSSTK_GET_PASSWORD_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  KSSTK_STRING Password; /* answer */
} KSSTK_GET_PASSWORD_MESSAGE;

/* Codes 12 / 28: the host answers a user name and a password. */
typedef struct KSSTK_GET_CREDENTIALS_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  KSSTK_STRING Prompt;
  KSSTK_STRING UserName; /* answer */
  KSSTK_STRING Password; /* answer */
} KSSTK_GET_CREDENTIALS_MESSAGE;

/* Codes 13 / 29: the host answers the bytes of a token response. */
typedef struct KSSTK_GET_TOKEN_RESPONSE_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  KSSTK_STRING Challenge;
  uint8_t* Response;       /* answer */
  uint32_t ResponseLength; /* answer */
} KSSTK_GET_TOKEN_RESPONSE_MESSAGE;

/* Codes 14 / 30: the host judges the server's chain, either with KSSTK_ProcessCallbackA/W
 * or on its own. Verdict arrives as 0xFFFFFFFF; a host that leaves it so (or has no
 * callback) gets the library's own judgement. The list is released after the call. */
typedef struct KSSTK_VALIDATE_SERVER_CERT_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  KSSTK_CERT_LIST Chain;
  uint32_t Verdict; /* answer: KSSTK_CHAIN_ */
} KSSTK_VALIDATE_SERVER_CERT_MESSAGE;

/* Code 16. */
typedef struct KSSTK_LINK_FAILURE_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  uint32_t Reason; /* KSSTK_LINK_FAILURE_ */
} KSSTK_LINK_FAILURE_MESSAGE;

/* Code 17. */
typedef struct KSSTK_CONNECTED_NETWORK_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  uint32_t EapType;
  uint32_t SsidLength; /* at most 32 */
  uint8_t Ssid[32];
  uint8_t Bssid[6];
  uint8_t Padding[2];
} KSSTK_CONNECTED_NETWORK_MESSAGE;

/* Code 18. */
typedef struct KSSTK_CCKM_REQUEST_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  uint32_t Kind;          /* 0 first association, 1 fast handoff */
  uint32_t ElementLength; /* 26 for a fast handoff */
  uint8_t Element[];      /* for the reassociation request */
} KSSTK_CCKM_REQUEST_MESSAGE;

/* Code 19. */
typedef struct KSSTK_CCKM_RESULT_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  uint32_t Result; /* 0 succeeded, 1 failed */
} KSSTK_CCKM_RESULT_MESSAGE;

/* Code 20. */
typedef struct KSSTK_SET_PMKID_LIST_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  KSSTK_NDIS_802_11_PMKID Pmkid;
  KSSTK_BSSID_INFO BSSIDInfo[]; /* Pmkid.BSSIDInfoCount entries */
} KSSTK_SET_PMKID_LIST_MESSAGE;

/* Codes 21 / 31: sign with the client certificate's key, which the host holds. */
typedef struct KSSTK_PRIVATE_KEY_OPERATION_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  uint32_t KeyKind; /* KSSTK_KEY_KIND_ */
  uint8_t CertificateHash[20];
  const uint8_t* Digest;
  uint32_t DigestLength;
  uint32_t RequestValues[2]; /* passed on from the TLS engine unchanged */
  uint32_t Reserved;
  uint32_t Failed;       /* answer: non-zero refuses */
  uint8_t* Answer;       /* answer: the signature */
  uint32_t AnswerLength; /* answer */
} KSSTK_PRIVATE_KEY_OPERATION_MESSAGE;

/* Code 22: the host answers the text to show for a certificate. */
typedef struct KSSTK_GET_CERTIFICATE_TEXT_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  uint8_t CertificateHash[20];
  KSSTK_STRING Text; /* answer */
} KSSTK_GET_CERTIFICATE_TEXT_MESSAGE;

/* ---------------------------------------------------------------------------------------
 * Links
 * A link is one network port (one adapter's association): the host hands it EAPOL frames
 * and link events and receives frames to send, keys to install and reports through its
 * callback. Order of calls: create; KSSTK_LINK_SetCallbackA/W; KSSTK_LINK_Initialize; the
 * settings; KSSTK_LINK_PortUp on association, frames and events, KSSTK_LINK_PortDown on
 * disassociation; KSSTK_LINK_Terminate; KSSTK_Release. Every operation but SetCallback,
 * Initialize, PrecomputeWpaPsk and Thread is refused before Initialize (settings given
 * before it are lost).
 *
 * A synchronous link runs on the host's thread inside its calls: the callback is called
 * from inside them, and the host calls KSSTK_LINK_Process again no later than the
 * milliseconds it stored. From inside its own callback a host may call SetIdentity,
 * GetAuthStateMachineConstants, PrecomputeWpaPsk, KSSTK_ProcessCallbackA/W, KSSTK_AddRef,
 * KSSTK_Release and the allocators; other link calls are refused there (traced). A link
 * released inside its callback goes when the call that runs the callback returns.
 *
 * Results: 0 whatever the operation did, except where said; refusals are traced at
 * level 1.
 * ------------------------------------------------------------------------------------- */

/* A constant 8-bit or UTF-16 string the host hands in: .A for the A form, .W for the W form. */
typedef union KSSTK_CONST_STRING {
  const char* A;
  const KSSTK_WCHAR* W;
} KSSTK_CONST_STRING;

/* KSSTK_NETWORK_INFO.NetworkType */
enum { KSSTK_NETWORK_AD_HOC = 1, KSSTK_NETWORK_INFRASTRUCTURE = 2 };
/* KSSTK_NETWORK_INFO.AssociationMode */
enum {
  KSSTK_ASSOCIATION_8021X = 1, /* IEEE 802.1X with dynamic WEP keys, or static keys */
  KSSTK_ASSOCIATION_STATIC = 2,
  KSSTK_ASSOCIATION_WPA = 3, /* RSN when the station's own element is an RSN element */
  KSSTK_ASSOCIATION_RSN = 4
};
/* KSSTK_NETWORK_INFO.KeySource */
enum { KSSTK_KEY_SOURCE_NONE = 0, KSSTK_KEY_SOURCE_PASSPHRASE = 1, KSSTK_KEY_SOURCE_EAP = 2 };
/* KSSTK_NETWORK_INFO.Cipher */
enum { KSSTK_CIPHER_WEP = 1, KSSTK_CIPHER_TKIP = 2, KSSTK_CIPHER_CCMP = 3 };

/* The network of the current or next association. Length: the bytes the host filled (not
 * 0; more than sizeof is read as sizeof; missing fields read as 0). Use8021X: 1 runs 802.1X
 * at port up. The pass phrase is the WPA pass phrase or 64 hexadecimal digits (null or
 * empty: none); the SSID is cut to 32 bytes; the element blocks are the station's own
 * WPA/RSN element(s) of its association request, the access point's from its beacon or
 * probe response, and the elements of the (re)association response. All are copied. */
typedef struct KSSTK_NETWORK_INFO {
  uint32_t Length;
  uint32_t NetworkType;
  uint32_t AssociationMode;
  uint32_t Use8021X;
  uint32_t KeySource;
  uint32_t Cipher;
  uint8_t StationAddress[6];
  uint8_t Bssid[6];
  KSSTK_CONST_STRING Passphrase;
  const uint8_t* Ssid;
  uint32_t SsidLength;
  const uint8_t* SupplicantIe;
  uint32_t SupplicantIeLength;
  const uint8_t* AuthenticatorIe;
  uint32_t AuthenticatorIeLength;
  const uint8_t* AssociationResponseIe;
  uint32_t AssociationResponseIeLength;
} KSSTK_NETWORK_INFO;

/* The 802.1X timers and limits (ms); the defaults are in brackets. */
typedef struct KSSTK_AUTH_STATE_MACHINE_CONSTANTS {
  uint32_t Length;            /* 28 */
  uint32_t authPeriod;        /* [30000] wait for the next request of an authentication */
  uint32_t heldPeriod;        /* [60000] hold-off after a failure */
  uint32_t startPeriod;       /* [30000] between EAPOL-Starts */
  uint32_t startDelay;        /* [2000] before the first EAPOL-Start */
  uint32_t maxStart;          /* [3] EAPOL-Starts before the authenticator counts as absent */
  uint32_t authenticatedAfterMaxStart; /* [0] non-zero: then the port counts as authorized */
} KSSTK_AUTH_STATE_MACHINE_CONSTANTS;

/* As NDIS_802_11_PMKID_CANDIDATE_LIST. At most 16 candidates are taken. */
enum { KSSTK_PMKID_CANDIDATE_PREAUTH_ENABLED = 0x01 };
typedef struct KSSTK_PMKID_CANDIDATE {
  uint8_t BSSID[6];
  uint8_t Padding[2];
  uint32_t Flags;
} KSSTK_PMKID_CANDIDATE;
typedef struct KSSTK_PMKID_CANDIDATE_LIST {
  uint32_t Version;
  uint32_t NumCandidates;
  KSSTK_PMKID_CANDIDATE CandidateList[];
} KSSTK_PMKID_CANDIDATE_LIST;

/* As NDIS_802_11_AUTHENTICATION_REQUEST; ignored unless Bssid is the network's. */
enum {
  KSSTK_AUTH_REQUEST_REAUTHENTICATE = 0x01,
  KSSTK_AUTH_REQUEST_KEY_UPDATE = 0x02,
  KSSTK_AUTH_REQUEST_PAIRWISE_ERROR = 0x06,
  KSSTK_AUTH_REQUEST_GROUP_ERROR = 0x0E
};
typedef struct KSSTK_AUTHENTICATION_EVENT {
  uint32_t Length;
  uint8_t Bssid[6];
  uint8_t Padding[2];
  uint32_t Flags;
} KSSTK_AUTHENTICATION_EVENT;

/* A CCKM fast handoff the driver is about to make. */
typedef struct KSSTK_CCKM_START {
  uint8_t Timestamp[8];
  uint8_t Bssid[6];
} KSSTK_CCKM_START;

/* A new synchronous link; A links exchange 8-bit strings in their messages, W links UTF-16
 * ones. Null when memory ran out (result 0). */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CONTEXT_CreateLinkSynchronousA(KSSTK_CONTEXT context,
                                                                      KSSTK_LINK* link);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CONTEXT_CreateLinkSynchronousW(KSSTK_CONTEXT context,
                                                                      KSSTK_LINK* link);

/* A new asynchronous link: its calls only record the request and wake the link thread,
 * which the host runs with KSSTK_LINK_Thread on a thread of its own; only that thread runs
 * the engine and calls the host back. Its calls may come from any thread. An identity set
 * in answer to KSSTK_MSG_KEYS_RESET is used by the authentication that is starting. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CONTEXT_CreateLinkAsynchronousA(KSSTK_CONTEXT context,
                                                                       KSSTK_LINK* link);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CONTEXT_CreateLinkAsynchronousW(KSSTK_CONTEXT context,
                                                                       KSSTK_LINK* link);

/* Before Initialize only (refused afterwards; the old callback stays). Both forms are the
 * same: the creator chose the strings' form. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_SetCallbackA(KSSTK_LINK link, KSSTK_CALLBACK callback,
                                                         uintptr_t user);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_SetCallbackW(KSSTK_LINK link, KSSTK_CALLBACK callback,
                                                         uintptr_t user);
/* Once. The link reports idle (status 1). */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_Initialize(KSSTK_LINK link);
/* Copies the first min(Length, 28) bytes over the stored values. 0, or -1 when refused. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_SetAuthStateMachineConstants(
    KSSTK_LINK link, const KSSTK_AUTH_STATE_MACHINE_CONSTANTS* constants);
/* *constants receives a copy (free it with KSSTK_Free), or null when refused. 0 or -1. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_GetAuthStateMachineConstants(
    KSSTK_LINK link, KSSTK_AUTH_STATE_MACHINE_CONSTANTS** constants);
/* How long a port-up to the same network may take before the link counts as down (0: at
 * once). 0, or -1 when refused. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_SetRoamTimeoutMs(KSSTK_LINK link, uint32_t ms);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_PortDown(KSSTK_LINK link);
/* 0, or E_FAIL when Length is 0. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_SetNetworkInfoA(KSSTK_LINK link,
                                                            const KSSTK_NETWORK_INFO* info);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_SetNetworkInfoW(KSSTK_LINK link,
                                                            const KSSTK_NETWORK_INFO* info);
/* The identity of the next 802.1X authentications (null: none). */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_SetIdentity(KSSTK_LINK link, KSSTK_IDENTITY identity);
/* Seconds a TLS session may be resumed. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_SetSessionResumptionTimeout(KSSTK_LINK link,
                                                                       uint32_t seconds);
/* Computes the PSK of a pass phrase ahead, from any thread and before Initialize too, so
 * that the port-up that needs it finds it ready. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_PrecomputeWpaPskA(KSSTK_LINK link,
                                                              const char* passphrase,
                                                              const uint8_t* ssid,
                                                              uint32_t ssidLength);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_PrecomputeWpaPskW(KSSTK_LINK link,
                                                              const KSSTK_WCHAR* passphrase,
                                                              const uint8_t* ssid,
                                                              uint32_t ssidLength);
/* The station associated with the network last set (an all-zero one when none was). */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_PortUp(KSSTK_LINK link);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_Reauthenticate(KSSTK_LINK link);
/* One EAPOL frame from the authenticator (from its 802.1X header on); read during the call
 * only. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_ReceiveEapol(KSSTK_LINK link, const uint8_t* frame,
                                                         uint32_t length);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_ReceiveAuthenticationEvent(
    KSSTK_LINK link, const KSSTK_AUTHENTICATION_EVENT* event);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_ReceivePMKIDCandidateListEvent(
    KSSTK_LINK link, const KSSTK_PMKID_CANDIDATE_LIST* list);
/* An EAPOL frame of the pre-authentication port from the access point at source. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_ReceivePreauthEapol(KSSTK_LINK link,
                                                                const uint8_t* source,
                                                                const uint8_t* frame,
                                                                uint32_t length);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_CCKM_StartReassociation(KSSTK_LINK link,
                                                                    const KSSTK_CCKM_START* start);
/* Forgets the cached PMKSAs and the CCKM base key. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_FlushCachedSecurityAssociations(KSSTK_LINK link);
/* Stops the link: it reports idle and does no more work. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_Terminate(KSSTK_LINK link);
/* Runs the link's timers; *ms receives when to call again (at most 60000; also stored when
 * refused, as on an asynchronous link, which has no such step). */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_Process(KSSTK_LINK link, uint32_t* ms);
/* The thread of an asynchronous link: runs until KSSTK_LINK_Terminate, then 0; -1 at once
 * when another thread already runs the link. A synchronous link returns 0 at once. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_LINK_Thread(KSSTK_LINK link);

/* ---------------------------------------------------------------------------------------
 * EAP-method handles
 * One EAP method run by the host outside any link: the host receives EAP-Requests on its
 * own road, hands them over and fetches the responses. The method's questions reach the
 * host as messages with the codes below, on the thread of the call that caused them; their
 * records are those of the link messages named. A result of a method that is not 0 (or,
 * for VerifyCompletion, not complete) is told as a status notice; 8192 means no method.
 * All return 0 unless said.
 * ------------------------------------------------------------------------------------- */
enum {
  KSSTK_MSG_EAP_STATUS = 1,               /* KSSTK_EAP_STATUS_MESSAGE */
  KSSTK_MSG_EAP_GET_PASSWORD = 2,         /* KSSTK_GET_PASSWORD_MESSAGE */
  KSSTK_MSG_EAP_GET_CREDENTIALS = 3,      /* KSSTK_GET_CREDENTIALS_MESSAGE */
  KSSTK_MSG_EAP_GET_TOKEN_RESPONSE = 4,   /* KSSTK_GET_TOKEN_RESPONSE_MESSAGE */
  KSSTK_MSG_EAP_VALIDATE_SERVER_CERT = 5, /* KSSTK_VALIDATE_SERVER_CERT_MESSAGE */
  KSSTK_MSG_EAP_SIGN = 6                  /* KSSTK_PRIVATE_KEY_OPERATION_MESSAGE */
};
enum { KSSTK_EAP_STATUS_NO_METHOD = 8192 };

typedef struct KSSTK_EAP_STATUS_MESSAGE {
  KSSTK_CALLBACK_MESSAGE Header;
  uint32_t Status;
} KSSTK_EAP_STATUS_MESSAGE;

/* A new handle for the EAP type; A handles exchange 8-bit strings, W handles UTF-16 ones.
 * Null when memory ran out (result 0). */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CONTEXT_CreateEapMethodA(KSSTK_CONTEXT context,
                                                                uint32_t eapType,
                                                                KSSTK_EAP_METHOD* method);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_CONTEXT_CreateEapMethodW(KSSTK_CONTEXT context,
                                                                uint32_t eapType,
                                                                KSSTK_EAP_METHOD* method);
/* At any time; both forms are the same (the creator chose the strings' form). */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_EAP_METHOD_SetCallbackA(KSSTK_EAP_METHOD method,
                                                               KSSTK_CALLBACK callback,
                                                               uintptr_t user);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_EAP_METHOD_SetCallbackW(KSSTK_EAP_METHOD method,
                                                               KSSTK_CALLBACK callback,
                                                               uintptr_t user);
/* The identity the next Initialize loads (null: none). */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_EAP_METHOD_SetIdentity(KSSTK_EAP_METHOD method,
                                                              KSSTK_IDENTITY identity);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_EAP_METHOD_SetSessionResumptionTimeout(
    KSSTK_EAP_METHOD method, uint32_t seconds);
/* Loads the identity and makes a new method of the handle's type: 0, or E_FAIL without an
 * identity, for a type the library does not know, or when the method does not start. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_EAP_METHOD_Initialize(KSSTK_EAP_METHOD method);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_EAP_METHOD_ReceiveEapRequest(KSSTK_EAP_METHOD method,
                                                                    const uint8_t* packet,
                                                                    uint32_t length);
/* *length: the response's bytes in buffer (0 when there is none). */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_EAP_METHOD_GetEapResponse(KSSTK_EAP_METHOD method,
                                                                 uint8_t* buffer, uint32_t size,
                                                                 uint32_t* length);
/* No status notice means the method has completed. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_EAP_METHOD_VerifyCompletion(KSSTK_EAP_METHOD method);
/* The method's 64-byte key block (free Data with KSSTK_Free); E_FAIL and {null, 0} when it
 * has none. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_EAP_METHOD_GetKeys(KSSTK_EAP_METHOD method, KSSTK_BLOB* keys);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_EAP_METHOD_AuthenticationSuccess(KSSTK_EAP_METHOD method);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_EAP_METHOD_AuthenticationFailure(KSSTK_EAP_METHOD method);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_EAP_METHOD_Terminate(KSSTK_EAP_METHOD method);

/* Answers a code 14 / 30 message with the library's own judgement of its chain (as
 * KSSTK_CERT_LIST_BuildCertChain); every other message is left unchanged. Both forms are
 * the same: the messages they answer hold no strings. 0. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_ProcessCallbackA(KSSTK_CALLBACK_MESSAGE* message);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_ProcessCallbackW(KSSTK_CALLBACK_MESSAGE* message);

#ifdef __cplusplus
}
#endif

#endif /* KSSTK_H */
