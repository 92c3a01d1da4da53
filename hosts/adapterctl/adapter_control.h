#pragma once
// IAdapterControl: the adapter-control library's operations, one virtual per operation, with
// the argument forms the utility uses. The Zelcon* free functions (zelcon.h) forward to the
// process's instance; the utility's logic takes an IAdapterControl& so that tests hand it a
// recording fake. Results are 0 for success unless an operation says otherwise. Buffers and
// records passed in belong to the caller and are not kept after the call returns.
#include <cstdint>

#include "hosts/adapterctl/zelcon_records.h"

// ERROR_FILE_NOT_FOUND: the registry value (or its key) does not exist.
inline constexpr int kRegistryValueAbsent = 2;
// SetSsid: the adapter is on this network already (no association notice follows).
inline constexpr int kAlreadyOnNetwork = 4;

class IAdapterControl {
public:
  virtual ~IAdapterControl() = default;

  // Names the window that receives notifications from now on.
  virtual int Initialize(void* window) = 0;
  // Fills `handle`; null means no adapter.
  virtual int OpenAdapter(void*& handle) = 0;
  virtual int CloseAdapter(void* handle) = 0;

  // No handle: the registry stand-in. Text form: NUL-terminated within `size`. A value that
  // does not exist answers kRegistryValueAbsent, any other failure another non-zero result.
  virtual int QueryRegistry(const char* path, const char* valueName, char* buffer,
                            uint32_t size) = 0;
  virtual int QueryRegistry(const char* path, const char* valueName, uint32_t& value) = 0;
  virtual int SetRegistry(const char* path, const char* valueName, uint32_t value) = 0;

  // 0 accepted (joining), 4 already on this network, other non-zero failure.
  virtual int SetSsid(void* handle, const char* ssid, uint32_t length, uint32_t hidden) = 0;
  // index 1-4; length 0, 5 or 13; isTx 0 or 1.
  virtual int SetWepKey(void* handle, uint32_t index, const uint8_t* key, uint32_t length,
                        uint32_t isTx) = 0;
  // wpa: the profile's 500-byte WPA information block; ssid NUL-terminated.
  virtual int SetWPAInformation(void* handle, uint32_t networkType, uint32_t authMode,
                                uint32_t encryption, const uint8_t* wpa, const char* ssid) = 0;
  // " " with length 1 means none.
  virtual int SetProfileInUse(void* handle, const char* name, uint32_t length) = 0;
  // Negative on failure, else 0 with `length` = bytes written.
  virtual int QueryScanListLength(void* handle, uint8_t* buffer, uint32_t size,
                                  uint32_t& length) = 0;

  // 802.1X identities, no handle; strings NUL-terminated, certHash 20 bytes.
  virtual int WPACreateIdentityTLS(const char* loginName, const uint8_t* certHash) = 0;
  virtual int WPACreateIdentityPEAP(const char* loginName, const char* domain,
                                    const char* password) = 0;
  virtual int WPACreateIdentityLEAP(const char* loginName, const char* domain,
                                    const char* password) = 0;
  virtual int WPACreateIdentityTtls(const char* loginName, const char* domain,
                                    const char* password, const char* anonymousName) = 0;
  virtual void WPAPortDown() = 0;

#define HANDLE_OP(Name, failure) virtual int Name(void* handle) = 0;
#define QUERY_DWORD(Name) virtual int Name(void* handle, uint32_t& value) = 0;
#define SET_DWORD(Name) virtual int Name(void* handle, uint32_t value) = 0;
#define QUERY_TEXT(Name) virtual int Name(void* handle, char* buffer, uint32_t size) = 0;
#define QUERY_BYTES(Name) virtual int Name(void* handle, uint8_t* buffer, uint32_t size) = 0;
#define QUERY_REGISTER(Name) virtual int Name(void* handle, uint32_t index, uint32_t& value) = 0;
#define SET_REGISTER(Name) virtual int Name(void* handle, uint32_t index, uint32_t value) = 0;
#define QUERY_RECORD(Name, Type) virtual int Name(void* handle, Type* record) = 0;
#define SET_RECORD(Name, Type) virtual int Name(void* handle, const Type* record) = 0;
#include "hosts/adapterctl/zelcon_ops.inc"
};
