// The identity family. A strings are stored as given, W strings as their UTF-8 form.
#include <cstring>

#include <ksstk.h>

#include "ksSupp/export_guard.h"
#include "ksSupp/identity.h"
#include "ksSupp/wide_text.h"

namespace {

using Setter = void (Identity::*)(const char*, std::uint32_t);

// A: the string unchanged, null passed on as null.
KSSTK_RESULT SetNarrow(const char* exportName, KSSTK_IDENTITY handle, Setter setter,
                       const char* text) {
  return GuardHandleExport<Identity>(exportName, handle, [&](Identity& identity) {
    (identity.*setter)(text, text != nullptr ? static_cast<std::uint32_t>(std::strlen(text)) : 0);
    return 0;
  });
}

// W: the UTF-8 form; null becomes "" unless nullStaysNull.
KSSTK_RESULT SetWide(const char* exportName, KSSTK_IDENTITY handle, Setter setter,
                     const KSSTK_WCHAR* text, bool nullStaysNull = false) {
  return GuardHandleExport<Identity>(exportName, handle, [&](Identity& identity) {
    if (text == nullptr && nullStaysNull) {
      (identity.*setter)(nullptr, 0);
    } else {
      const Utf8FromWide utf8(text);
      (identity.*setter)(utf8.Get(), utf8.Length());
    }
    return 0;
  });
}

using TypeSetter = void (Identity::*)(const std::uint32_t*, std::uint32_t);

KSSTK_RESULT SetTypes(const char* exportName, KSSTK_IDENTITY handle, TypeSetter setter,
                      const uint32_t* types, uint32_t count) {
  return GuardHandleExport<Identity>(exportName, handle, [&](Identity& identity) -> KSSTK_RESULT {
    if (types == nullptr && count > 0) return TraceRefusal(exportName, "null types"), E_POINTER;
    (identity.*setter)(types, count);
    return 0;
  });
}

}  // namespace

KSSTK_RESULT KSSTK_IDENTITY_SetUserNameA(KSSTK_IDENTITY identity, const char* name) {
  return SetNarrow("KSSTK_IDENTITY_SetUserNameA", identity, &Identity::SetUserName, name);
}

KSSTK_RESULT KSSTK_IDENTITY_SetUserNameW(KSSTK_IDENTITY identity, const KSSTK_WCHAR* name) {
  return SetWide("KSSTK_IDENTITY_SetUserNameW", identity, &Identity::SetUserName, name);
}

KSSTK_RESULT KSSTK_IDENTITY_SetWindowsNameA(KSSTK_IDENTITY identity, const char* name) {
  return SetNarrow("KSSTK_IDENTITY_SetWindowsNameA", identity, &Identity::SetWindowsName, name);
}

KSSTK_RESULT KSSTK_IDENTITY_SetWindowsNameW(KSSTK_IDENTITY identity, const KSSTK_WCHAR* name) {
  return SetWide("KSSTK_IDENTITY_SetWindowsNameW", identity, &Identity::SetWindowsName, name);
}

KSSTK_RESULT KSSTK_IDENTITY_SetPasswordA(KSSTK_IDENTITY identity, const char* password) {
  return SetNarrow("KSSTK_IDENTITY_SetPasswordA", identity, &Identity::SetPassword, password);
}

KSSTK_RESULT KSSTK_IDENTITY_SetPasswordW(KSSTK_IDENTITY identity, const KSSTK_WCHAR* password) {
  return SetWide("KSSTK_IDENTITY_SetPasswordW", identity, &Identity::SetPassword, password,
                 /*nullStaysNull=*/true);
}

KSSTK_RESULT KSSTK_IDENTITY_SetTtlsIdentityA(KSSTK_IDENTITY identity, const char* name) {
  return SetNarrow("KSSTK_IDENTITY_SetTtlsIdentityA", identity, &Identity::SetTtlsIdentity, name);
}

KSSTK_RESULT KSSTK_IDENTITY_SetTtlsIdentityW(KSSTK_IDENTITY identity, const KSSTK_WCHAR* name) {
  return SetWide("KSSTK_IDENTITY_SetTtlsIdentityW", identity, &Identity::SetTtlsIdentity, name);
}

KSSTK_RESULT KSSTK_IDENTITY_SetEapTypes(KSSTK_IDENTITY identity, const uint32_t* types,
                                        uint32_t count) {
  return SetTypes("KSSTK_IDENTITY_SetEapTypes", identity, &Identity::SetEapTypes, types, count);
}

KSSTK_RESULT KSSTK_IDENTITY_SetTtlsInnerEapTypes(KSSTK_IDENTITY identity, const uint32_t* types,
                                                 uint32_t count) {
  return SetTypes("KSSTK_IDENTITY_SetTtlsInnerEapTypes", identity,
                  &Identity::SetTtlsInnerEapTypes, types, count);
}

KSSTK_RESULT KSSTK_IDENTITY_SetPeapInnerEapTypes(KSSTK_IDENTITY identity, const uint32_t* types,
                                                 uint32_t count) {
  return SetTypes("KSSTK_IDENTITY_SetPeapInnerEapTypes", identity,
                  &Identity::SetPeapInnerEapTypes, types, count);
}

KSSTK_RESULT KSSTK_IDENTITY_SetTtlsInnerAuthProtocol(KSSTK_IDENTITY identity, uint32_t protocol) {
  return GuardHandleExport<Identity>("KSSTK_IDENTITY_SetTtlsInnerAuthProtocol", identity,
                                     [&](Identity& object) {
                                       object.SetTtlsInnerAuthProtocol(protocol);
                                       return 0;
                                     });
}

KSSTK_RESULT KSSTK_IDENTITY_SetPeapNoPasswordInGTC(KSSTK_IDENTITY identity, uint32_t noPassword) {
  return GuardHandleExport<Identity>("KSSTK_IDENTITY_SetPeapNoPasswordInGTC", identity,
                                     [&](Identity& object) {
                                       object.SetPeapNoPasswordInGtc(noPassword);
                                       return 0;
                                     });
}

KSSTK_RESULT KSSTK_IDENTITY_SetUserCertificate(KSSTK_IDENTITY identity, const uint8_t* sha1Hash) {
  return GuardHandleExport<Identity>("KSSTK_IDENTITY_SetUserCertificate", identity,
                                     [&](Identity& object) {
                                       if (sha1Hash != nullptr) object.SetUserCertificate(sha1Hash);
                                       return 0;
                                     });
}

KSSTK_RESULT KSSTK_IDENTITY_Initialize(KSSTK_IDENTITY identity) {
  return GuardHandleExport<Identity>("KSSTK_IDENTITY_Initialize", identity, [](Identity& object) {
    object.Initialize();
    return 0;
  });
}
