#pragma once
// A recording fake of the adapter-control library for tests. Every call is recorded, in
// order, with its arguments copied: a short text such as SetAuthMode(4) or
// SetSsid("office", 6, 0) (the handle is kept beside it, not in the text) and the bytes of any
// buffer or record it was given. Results and the data that queries return come from a
// script; anything not scripted answers 0 and leaves the caller's output untouched.
// OpenAdapter hands out `adapter` (set it to null for "no adapter").
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "hosts/adapterctl/adapter_control.h"

namespace zelcon {

class RecordingAdapterControl : public IAdapterControl {
public:
  struct Call {
    std::string text;
    void* handle = nullptr;
    std::vector<uint8_t> bytes;
  };

  static void* const kHandle;
  void* adapter = kHandle;

  // Script. `op` is the operation's name without the "Zelcon" prefix.
  void SetResult(const std::string& op, int result);
  void QueueResults(const std::string& op, std::vector<int> results);  // used first, in order
  void SetDword(const std::string& op, uint32_t value);
  void SetText(const std::string& op, std::string text);
  void SetBytes(const std::string& op, std::vector<uint8_t> bytes);

  std::vector<Call> Calls() const;
  std::vector<std::string> CallTexts() const;
  void ClearCalls();

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
  void WPAPortDown() override;

#define HANDLE_OP(Name, failure) int Name(void* handle) override;
#define QUERY_DWORD(Name) int Name(void* handle, uint32_t& value) override;
#define SET_DWORD(Name) int Name(void* handle, uint32_t value) override;
#define QUERY_TEXT(Name) int Name(void* handle, char* buffer, uint32_t size) override;
#define QUERY_BYTES(Name) int Name(void* handle, uint8_t* buffer, uint32_t size) override;
#define QUERY_REGISTER(Name) int Name(void* handle, uint32_t index, uint32_t& value) override;
#define SET_REGISTER(Name) int Name(void* handle, uint32_t index, uint32_t value) override;
#define QUERY_RECORD(Name, Type) int Name(void* handle, Type* record) override;
#define SET_RECORD(Name, Type) int Name(void* handle, const Type* record) override;
#include "hosts/adapterctl/zelcon_ops.inc"

private:
  // Records the call and answers its scripted result.
  int Record(const std::string& op, std::string args, void* handle,
             std::vector<uint8_t> bytes = {});
  void AnswerDword(const std::string& op, uint32_t& value);
  void AnswerBytes(const std::string& op, void* buffer, uint32_t size);
  void AnswerText(const std::string& op, char* buffer, uint32_t size);

  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  std::map<std::string, int> results_;
  std::map<std::string, std::deque<int>> queued_;
  std::map<std::string, uint32_t> dwords_;
  std::map<std::string, std::string> texts_;
  std::map<std::string, std::vector<uint8_t>> bytes_;
};

}  // namespace zelcon
