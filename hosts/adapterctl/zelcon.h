#pragma once
// The adapter-control library as the utility calls it: Zelcon<Op> functions, int result,
// handle first. Each forwards to the process's library instance (ZelconLibrary()), which
// refuses a null or closed handle with a non-zero result (0 where the result is a flag:
// GetConnectStatus, QueryDhcp9x; -1 for QueryScanListLength) without touching the adapter.
//
// The backend is chosen on first use from ZELCON_ADAPTER: "sim" or "sim:<scenario file>" for
// the simulated adapter; otherwise the driver's control device (no adapter until it exists).
#include <cstdint>
#include <memory>
#include <string>

#include "hosts/adapterctl/adapter_control.h"

// The utility's notification entry: posts WM_APP (code, param) to `window`, asynchronously.
// `text` is null or a NUL-terminated text valid only during the call (copy it).
using ZelconPoster = void (*)(void* window, uint32_t code, intptr_t param, const char* text);
void ZelconSetNotificationPoster(ZelconPoster poster);

// The process's library instance, for code written against IAdapterControl.
IAdapterControl& ZelconLibrary();

// The control device the library opens (zelnicd's socket), whose appearing and going stand
// for the adapter's arrival and removal; empty on the simulated adapter. The adapter behind
// it is announced under kZelconAdapterHardwareId: the simulated chip's own PCI id is not
// among those the utility recognises as its adapters.
std::string ZelconControlDevicePath();
inline constexpr const char* kZelconAdapterHardwareId = "PCI\\VEN_1E4D&DEV_1F00&SUBSYS_00101E4D";

int ZelconInitialize(void* window);
int ZelconOpenAdapter(void*& handle);
int ZelconCloseAdapter(void* handle);
int ZelconQueryRegistry(const char* path, const char* valueName, char* buffer, uint32_t size);
int ZelconQueryRegistry(const char* path, const char* valueName, uint32_t& value);
int ZelconSetRegistry(const char* path, const char* valueName, uint32_t value);
int ZelconSetSsid(void* handle, const char* ssid, uint32_t length, uint32_t hidden);
int ZelconSetWepKey(void* handle, uint32_t index, const uint8_t* key, uint32_t length,
                    uint32_t isTx);
int ZelconSetWPAInformation(void* handle, uint32_t networkType, uint32_t authMode,
                            uint32_t encryption, const uint8_t* wpa, const char* ssid);
int ZelconSetProfileInUse(void* handle, const char* name, uint32_t length);
int ZelconQueryScanListLength(void* handle, uint8_t* buffer, uint32_t size, uint32_t& length);
int ZelconWPACreateIdentityTLS(const char* loginName, const uint8_t* certHash);
int ZelconWPACreateIdentityPEAP(const char* loginName, const char* domain, const char* password);
int ZelconWPACreateIdentityLEAP(const char* loginName, const char* domain, const char* password);
int ZelconWPACreateIdentityTtls(const char* loginName, const char* domain, const char* password,
                                const char* anonymousName);
void ZelconWPAPortDown();

#define HANDLE_OP(Name, failure) int Zelcon##Name(void* handle);
#define QUERY_DWORD(Name) int Zelcon##Name(void* handle, uint32_t& value);
#define SET_DWORD(Name) int Zelcon##Name(void* handle, uint32_t value);
#define QUERY_TEXT(Name) int Zelcon##Name(void* handle, char* buffer, uint32_t size);
#define QUERY_BYTES(Name) int Zelcon##Name(void* handle, uint8_t* buffer, uint32_t size);
#define QUERY_REGISTER(Name) int Zelcon##Name(void* handle, uint32_t index, uint32_t& value);
#define SET_REGISTER(Name) int Zelcon##Name(void* handle, uint32_t index, uint32_t value);
#define QUERY_RECORD(Name, Type) int Zelcon##Name(void* handle, Type* record);
#define SET_RECORD(Name, Type) int Zelcon##Name(void* handle, const Type* record);
#include "hosts/adapterctl/zelcon_ops.inc"
