#pragma once
// The answers of a library that has no adapter behind a handle: every handle operation
// fails; what needs no adapter works. Backends derive from it and answer what they can.
// - the registry operations read and write the shared registry store;
// - the identity operations keep the latest identity, which the device backend's 802.1X host
//   takes with the WPA information;
// - Initialize names the notification window.
#include <mutex>
#include <string>
#include <vector>

#include "hosts/adapterctl/adapter_control.h"
#include "hosts/adapterctl/notifier.h"
#include "platform/win32/registry_store.h"

namespace zelcon {

// The identity the next WPA information will use (kept until the 802.1X host takes it).
struct PendingIdentity {
  enum class Method { None, Tls, Peap, Leap, Ttls };
  Method method = Method::None;
  std::string loginName, domain, password, anonymousName;
  std::vector<uint8_t> certHash;
  ~PendingIdentity();  // the password is wiped
};

class AdapterControlBase : public IAdapterControl {
public:
  AdapterControlBase(Notifier& notifier, plat::RegistryStore registry)
      : notifier_(notifier), registry_(std::move(registry)) {}

  int Initialize(void* window) override;
  int OpenAdapter(void*& handle) override;
  int CloseAdapter(void* handle) override;
  int QueryRegistry(const char* path, const char* valueName, char* buffer,
                    uint32_t size) override;
  int QueryRegistry(const char* path, const char* valueName, uint32_t& value) override;
  int SetRegistry(const char* path, const char* valueName, uint32_t value) override;
  int SetSsid(void* handle, const char* ssid, uint32_t length, uint32_t hidden) override;
  int SetWepKey(void* handle, uint32_t index, const uint8_t* key, uint32_t length,
                uint32_t isTx) override;
  int SetWPAInformation(void* handle, uint32_t networkType, uint32_t authMode,
                        uint32_t encryption, const uint8_t* wpa, const char* ssid) override;
  int SetProfileInUse(void* handle, const char* name, uint32_t length) override;
  int QueryScanListLength(void* handle, uint8_t* buffer, uint32_t size,
                          uint32_t& length) override;
  int WPACreateIdentityTLS(const char* loginName, const uint8_t* certHash) override;
  int WPACreateIdentityPEAP(const char* loginName, const char* domain,
                            const char* password) override;
  int WPACreateIdentityLEAP(const char* loginName, const char* domain,
                            const char* password) override;
  int WPACreateIdentityTtls(const char* loginName, const char* domain, const char* password,
                            const char* anonymousName) override;
  void WPAPortDown() override {}

#define HANDLE_OP(Name, failure) \
  int Name(void*) override { return failure; }
#define QUERY_DWORD(Name) \
  int Name(void*, uint32_t&) override { return 1; }
#define SET_DWORD(Name) \
  int Name(void*, uint32_t) override { return 1; }
#define QUERY_TEXT(Name) \
  int Name(void*, char*, uint32_t) override { return 1; }
#define QUERY_BYTES(Name) \
  int Name(void*, uint8_t*, uint32_t) override { return 1; }
#define QUERY_REGISTER(Name) \
  int Name(void*, uint32_t, uint32_t&) override { return 1; }
#define SET_REGISTER(Name) \
  int Name(void*, uint32_t, uint32_t) override { return 1; }
#define QUERY_RECORD(Name, Type) \
  int Name(void*, Type*) override { return 1; }
#define SET_RECORD(Name, Type) \
  int Name(void*, const Type*) override { return 1; }
#include "hosts/adapterctl/zelcon_ops.inc"

  PendingIdentity TakePendingIdentity();

protected:
  Notifier& notifier_;
  plat::RegistryStore registry_;

private:
  void SetIdentity(PendingIdentity::Method method, const char* login, const char* domain,
                   const char* password, const char* anonymous, const uint8_t* certHash);
  std::mutex identityMutex_;
  PendingIdentity identity_;
};

// Overwrites a secret before its memory goes, and empties it.
void Wipe(std::string& s);
void Wipe(std::vector<uint8_t>& bytes);

// Copies `text` into `buffer` NUL-terminated, cut to fit; false when it does not fit whole.
bool CopyText(std::string_view text, char* buffer, uint32_t size);

}  // namespace zelcon
