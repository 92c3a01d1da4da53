#pragma once
// Wraps a backend so that no operation reaches it with a handle that it did not hand out or
// that was closed since: such a call fails at once (with the result a missing adapter gives)
// and touches nothing. Operations run under a shared lock and closing takes it exclusively,
// so a handle is never closed while another thread is inside an operation on it.
#include <memory>
#include <shared_mutex>
#include <unordered_set>

#include "hosts/adapterctl/adapter_control.h"

namespace zelcon {

class GuardedAdapterControl : public IAdapterControl {
public:
  explicit GuardedAdapterControl(std::unique_ptr<IAdapterControl> inner)
      : inner_(std::move(inner)) {}

  IAdapterControl& Inner() { return *inner_; }

  int Initialize(void* window) override { return inner_->Initialize(window); }
  int OpenAdapter(void*& handle) override;
  int CloseAdapter(void* handle) override;
  int QueryRegistry(const char* path, const char* valueName, char* buffer,
                    uint32_t size) override {
    return inner_->QueryRegistry(path, valueName, buffer, size);
  }
  int QueryRegistry(const char* path, const char* valueName, uint32_t& value) override {
    return inner_->QueryRegistry(path, valueName, value);
  }
  int SetRegistry(const char* path, const char* valueName, uint32_t value) override {
    return inner_->SetRegistry(path, valueName, value);
  }
  int SetSsid(void* h, const char* ssid, uint32_t length, uint32_t hidden) override {
    return Guarded(h, 1, [&] { return inner_->SetSsid(h, ssid, length, hidden); });
  }
  int SetWepKey(void* h, uint32_t index, const uint8_t* key, uint32_t length,
                uint32_t isTx) override {
    return Guarded(h, 1, [&] { return inner_->SetWepKey(h, index, key, length, isTx); });
  }
  int SetWPAInformation(void* h, uint32_t networkType, uint32_t authMode, uint32_t encryption,
                        const uint8_t* wpa, const char* ssid) override {
    return Guarded(h, 1, [&] {
      return inner_->SetWPAInformation(h, networkType, authMode, encryption, wpa, ssid);
    });
  }
  int SetProfileInUse(void* h, const char* name, uint32_t length) override {
    return Guarded(h, 1, [&] { return inner_->SetProfileInUse(h, name, length); });
  }
  int QueryScanListLength(void* h, uint8_t* buffer, uint32_t size, uint32_t& length) override {
    return Guarded(h, -1, [&] { return inner_->QueryScanListLength(h, buffer, size, length); });
  }
  int WPACreateIdentityTLS(const char* loginName, const uint8_t* certHash) override {
    return inner_->WPACreateIdentityTLS(loginName, certHash);
  }
  int WPACreateIdentityPEAP(const char* loginName, const char* domain,
                            const char* password) override {
    return inner_->WPACreateIdentityPEAP(loginName, domain, password);
  }
  int WPACreateIdentityLEAP(const char* loginName, const char* domain,
                            const char* password) override {
    return inner_->WPACreateIdentityLEAP(loginName, domain, password);
  }
  int WPACreateIdentityTtls(const char* loginName, const char* domain, const char* password,
                            const char* anonymousName) override {
    return inner_->WPACreateIdentityTtls(loginName, domain, password, anonymousName);
  }
  void WPAPortDown() override { inner_->WPAPortDown(); }

#define HANDLE_OP(Name, failure) \
  int Name(void* h) override { return Guarded(h, failure, [&] { return inner_->Name(h); }); }
#define QUERY_DWORD(Name)                                                     \
  int Name(void* h, uint32_t& value) override {                               \
    return Guarded(h, 1, [&] { return inner_->Name(h, value); });             \
  }
#define SET_DWORD(Name)                                                       \
  int Name(void* h, uint32_t value) override {                                \
    return Guarded(h, 1, [&] { return inner_->Name(h, value); });             \
  }
#define QUERY_TEXT(Name)                                                      \
  int Name(void* h, char* buffer, uint32_t size) override {                   \
    return Guarded(h, 1, [&] { return inner_->Name(h, buffer, size); });      \
  }
#define QUERY_BYTES(Name)                                                     \
  int Name(void* h, uint8_t* buffer, uint32_t size) override {                \
    return Guarded(h, 1, [&] { return inner_->Name(h, buffer, size); });      \
  }
#define QUERY_REGISTER(Name)                                                  \
  int Name(void* h, uint32_t index, uint32_t& value) override {               \
    return Guarded(h, 1, [&] { return inner_->Name(h, index, value); });      \
  }
#define SET_REGISTER(Name)                                                    \
  int Name(void* h, uint32_t index, uint32_t value) override {                \
    return Guarded(h, 1, [&] { return inner_->Name(h, index, value); });      \
  }
#define QUERY_RECORD(Name, Type)                                              \
  int Name(void* h, Type* record) override {                                  \
    return Guarded(h, 1, [&] { return inner_->Name(h, record); });            \
  }
#define SET_RECORD(Name, Type)                                                \
  int Name(void* h, const Type* record) override {                            \
    return Guarded(h, 1, [&] { return inner_->Name(h, record); });            \
  }
#include "hosts/adapterctl/zelcon_ops.inc"

private:
  template <typename F>
  int Guarded(void* handle, int failure, F call) {
    std::shared_lock lock(mutex_);
    if (handle == nullptr || open_.count(handle) == 0) return failure;
    return call();
  }

  std::unique_ptr<IAdapterControl> inner_;
  std::shared_mutex mutex_;
  std::unordered_set<void*> open_;
};

}  // namespace zelcon
