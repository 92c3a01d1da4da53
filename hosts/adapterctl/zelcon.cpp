#include "hosts/adapterctl/zelcon.h"

#include <cstdlib>

#include "hosts/adapterctl/backend.h"
#include "hosts/adapterctl/guarded_adapter_control.h"
#include "hosts/adapterctl/notifier.h"

namespace {

struct Library {
  zelcon::Notifier notifier;
  zelcon::GuardedAdapterControl control;

  Library()
      : control(zelcon::CreateBackend(Selection(), notifier,
                                      plat::RegistryStore::FromEnvironment())) {}
  static const char* Selection() {
    const char* s = std::getenv("ZELCON_ADAPTER");
    return s ? s : "";
  }
};

Library& TheLibrary() {
  static Library library;
  return library;
}

}  // namespace

void ZelconSetNotificationPoster(ZelconPoster poster) { TheLibrary().notifier.SetPoster(poster); }

IAdapterControl& ZelconLibrary() { return TheLibrary().control; }

std::string ZelconControlDevicePath() { return zelcon::ControlDevicePath(Library::Selection()); }

int ZelconInitialize(void* window) { return ZelconLibrary().Initialize(window); }
int ZelconOpenAdapter(void*& handle) { return ZelconLibrary().OpenAdapter(handle); }
int ZelconCloseAdapter(void* handle) { return ZelconLibrary().CloseAdapter(handle); }
int ZelconQueryRegistry(const char* path, const char* valueName, char* buffer, uint32_t size) {
  return ZelconLibrary().QueryRegistry(path, valueName, buffer, size);
}
int ZelconQueryRegistry(const char* path, const char* valueName, uint32_t& value) {
  return ZelconLibrary().QueryRegistry(path, valueName, value);
}
int ZelconSetRegistry(const char* path, const char* valueName, uint32_t value) {
  return ZelconLibrary().SetRegistry(path, valueName, value);
}
int ZelconSetSsid(void* handle, const char* ssid, uint32_t length, uint32_t hidden) {
  return ZelconLibrary().SetSsid(handle, ssid, length, hidden);
}
int ZelconSetWepKey(void* handle, uint32_t index, const uint8_t* key, uint32_t length,
                    uint32_t isTx) {
  return ZelconLibrary().SetWepKey(handle, index, key, length, isTx);
}
int ZelconSetWPAInformation(void* handle, uint32_t networkType, uint32_t authMode,
                            uint32_t encryption, const uint8_t* wpa, const char* ssid) {
  return ZelconLibrary().SetWPAInformation(handle, networkType, authMode, encryption, wpa, ssid);
}
int ZelconSetProfileInUse(void* handle, const char* name, uint32_t length) {
  return ZelconLibrary().SetProfileInUse(handle, name, length);
}
int ZelconQueryScanListLength(void* handle, uint8_t* buffer, uint32_t size, uint32_t& length) {
  return ZelconLibrary().QueryScanListLength(handle, buffer, size, length);
}
int ZelconWPACreateIdentityTLS(const char* loginName, const uint8_t* certHash) {
  return ZelconLibrary().WPACreateIdentityTLS(loginName, certHash);
}
int ZelconWPACreateIdentityPEAP(const char* loginName, const char* domain, const char* password) {
  return ZelconLibrary().WPACreateIdentityPEAP(loginName, domain, password);
}
int ZelconWPACreateIdentityLEAP(const char* loginName, const char* domain, const char* password) {
  return ZelconLibrary().WPACreateIdentityLEAP(loginName, domain, password);
}
int ZelconWPACreateIdentityTtls(const char* loginName, const char* domain, const char* password,
                                const char* anonymousName) {
  return ZelconLibrary().WPACreateIdentityTtls(loginName, domain, password, anonymousName);
}
void ZelconWPAPortDown() { ZelconLibrary().WPAPortDown(); }

#define HANDLE_OP(Name, failure) \
  int Zelcon##Name(void* handle) { return ZelconLibrary().Name(handle); }
#define QUERY_DWORD(Name) \
  int Zelcon##Name(void* handle, uint32_t& value) { return ZelconLibrary().Name(handle, value); }
#define SET_DWORD(Name) \
  int Zelcon##Name(void* handle, uint32_t value) { return ZelconLibrary().Name(handle, value); }
#define QUERY_TEXT(Name)                                          \
  int Zelcon##Name(void* handle, char* buffer, uint32_t size) {   \
    return ZelconLibrary().Name(handle, buffer, size);            \
  }
#define QUERY_BYTES(Name)                                           \
  int Zelcon##Name(void* handle, uint8_t* buffer, uint32_t size) {  \
    return ZelconLibrary().Name(handle, buffer, size);              \
  }
#define QUERY_REGISTER(Name)                                            \
  int Zelcon##Name(void* handle, uint32_t index, uint32_t& value) {     \
    return ZelconLibrary().Name(handle, index, value);                  \
  }
#define SET_REGISTER(Name)                                              \
  int Zelcon##Name(void* handle, uint32_t index, uint32_t value) {      \
    return ZelconLibrary().Name(handle, index, value);                  \
  }
#define QUERY_RECORD(Name, Type) \
  int Zelcon##Name(void* handle, Type* record) { return ZelconLibrary().Name(handle, record); }
#define SET_RECORD(Name, Type)                                                             \
  int Zelcon##Name(void* handle, const Type* record) {                                     \
    return ZelconLibrary().Name(handle, record);                                           \
  }
#include "hosts/adapterctl/zelcon_ops.inc"

// The library's version as the About page finds it by name at run time: the build's project
// version (there are no version resources to read on Linux).
#ifndef ZELCON_LIBRARY_VERSION
#define ZELCON_LIBRARY_VERSION "0.0.0"
#endif
extern "C" __attribute__((visibility("default"), used)) const char ZelconLibraryVersion[] =
    ZELCON_LIBRARY_VERSION;
