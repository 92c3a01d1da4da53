#include "hosts/adapterctl/testing/recording_adapter_control.h"

#include <algorithm>
#include <cstring>

namespace zelcon {
namespace {

std::string Quote(const char* s, size_t n) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// Strings handed to the library are NUL-terminated; a bound keeps a broken caller from
// making the fake read far.
std::string Quote(const char* s) { return s ? Quote(s, strnlen(s, 256)) : "null"; }

std::string Hex(const uint8_t* p, size_t n) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += kHex[p[i] >> 4];
    out += kHex[p[i] & 15];
  }
  return p ? out : "null";
}

std::vector<uint8_t> Copy(const void* p, size_t n) {
  if (!p) return {};
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return std::vector<uint8_t>(b, b + n);
}

std::string Str(uint32_t v) { return std::to_string(v); }

}  // namespace

void* const RecordingAdapterControl::kHandle = reinterpret_cast<void*>(0x5A17);

void RecordingAdapterControl::SetResult(const std::string& op, int result) {
  std::lock_guard lock(mutex_);
  results_[op] = result;
}

void RecordingAdapterControl::QueueResults(const std::string& op, std::vector<int> results) {
  std::lock_guard lock(mutex_);
  queued_[op].insert(queued_[op].end(), results.begin(), results.end());
}

void RecordingAdapterControl::SetDword(const std::string& op, uint32_t value) {
  std::lock_guard lock(mutex_);
  dwords_[op] = value;
}

void RecordingAdapterControl::SetText(const std::string& op, std::string text) {
  std::lock_guard lock(mutex_);
  texts_[op] = std::move(text);
}

void RecordingAdapterControl::SetBytes(const std::string& op, std::vector<uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  bytes_[op] = std::move(bytes);
}

std::vector<RecordingAdapterControl::Call> RecordingAdapterControl::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> RecordingAdapterControl::CallTexts() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> texts;
  for (const Call& c : calls_) texts.push_back(c.text);
  return texts;
}

void RecordingAdapterControl::ClearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

int RecordingAdapterControl::Record(const std::string& op, std::string args, void* handle,
                                    std::vector<uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  calls_.push_back({op + "(" + args + ")", handle, std::move(bytes)});
  if (auto q = queued_.find(op); q != queued_.end() && !q->second.empty()) {
    int result = q->second.front();
    q->second.pop_front();
    return result;
  }
  auto r = results_.find(op);
  return r == results_.end() ? 0 : r->second;
}

void RecordingAdapterControl::AnswerDword(const std::string& op, uint32_t& value) {
  std::lock_guard lock(mutex_);
  if (auto it = dwords_.find(op); it != dwords_.end()) value = it->second;
}

void RecordingAdapterControl::AnswerBytes(const std::string& op, void* buffer, uint32_t size) {
  std::lock_guard lock(mutex_);
  auto it = bytes_.find(op);
  if (it == bytes_.end() || !buffer) return;
  std::memcpy(buffer, it->second.data(), std::min<size_t>(size, it->second.size()));
}

void RecordingAdapterControl::AnswerText(const std::string& op, char* buffer, uint32_t size) {
  std::lock_guard lock(mutex_);
  auto it = texts_.find(op);
  if (it == texts_.end() || !buffer || size == 0) return;
  size_t n = std::min<size_t>(size - 1, it->second.size());
  std::memcpy(buffer, it->second.data(), n);
  buffer[n] = '\0';
}

int RecordingAdapterControl::Initialize(void* window) {
  return Record("Initialize", "", window);
}

int RecordingAdapterControl::OpenAdapter(void*& handle) {
  int result = Record("OpenAdapter", "", nullptr);
  handle = adapter;
  return result;
}

int RecordingAdapterControl::CloseAdapter(void* handle) {
  return Record("CloseAdapter", "", handle);
}

int RecordingAdapterControl::QueryRegistry(const char* path, const char* valueName, char* buffer,
                                           uint32_t size) {
  int result = Record("QueryRegistry", Quote(path) + ", " + Quote(valueName) + ", " + Str(size),
                      nullptr);
  AnswerText("QueryRegistry", buffer, size);
  return result;
}

int RecordingAdapterControl::QueryRegistry(const char* path, const char* valueName,
                                           uint32_t& value) {
  int result = Record("QueryRegistryDword", Quote(path) + ", " + Quote(valueName), nullptr);
  AnswerDword("QueryRegistryDword", value);
  return result;
}

int RecordingAdapterControl::SetRegistry(const char* path, const char* valueName,
                                         uint32_t value) {
  return Record("SetRegistry", Quote(path) + ", " + Quote(valueName) + ", " + Str(value),
                nullptr);
}

int RecordingAdapterControl::SetSsid(void* handle, const char* ssid, uint32_t length,
                                     uint32_t hidden) {
  size_t n = ssid ? std::min<uint32_t>(length, 32) : 0;
  return Record("SetSsid",
                (ssid ? Quote(ssid, n) : "null") + ", " + Str(length) + ", " + Str(hidden),
                handle, Copy(ssid, n));
}

int RecordingAdapterControl::SetWepKey(void* handle, uint32_t index, const uint8_t* key,
                                       uint32_t length, uint32_t isTx) {
  size_t n = key ? std::min<uint32_t>(length, 32) : 0;
  return Record("SetWepKey",
                Str(index) + ", " + Hex(key, n) + ", " + Str(length) + ", " + Str(isTx), handle,
                Copy(key, n));
}

int RecordingAdapterControl::SetWPAInformation(void* handle, uint32_t networkType,
                                               uint32_t authMode, uint32_t encryption,
                                               const uint8_t* wpa, const char* ssid) {
  return Record("SetWPAInformation",
                Str(networkType) + ", " + Str(authMode) + ", " + Str(encryption) + ", " +
                    Quote(ssid),
                handle, Copy(wpa, 500));
}

int RecordingAdapterControl::SetProfileInUse(void* handle, const char* name, uint32_t length) {
  size_t n = name ? std::min<uint32_t>(length, 40) : 0;
  return Record("SetProfileInUse", (name ? Quote(name, n) : "null") + ", " + Str(length), handle,
                Copy(name, n));
}

int RecordingAdapterControl::QueryScanListLength(void* handle, uint8_t* buffer, uint32_t size,
                                                 uint32_t& length) {
  int result = Record("QueryScanListLength", Str(size), handle);
  std::lock_guard lock(mutex_);
  if (auto it = bytes_.find("QueryScanListLength"); it != bytes_.end() && buffer) {
    size_t n = std::min<size_t>(size, it->second.size());
    std::memcpy(buffer, it->second.data(), n);
    length = static_cast<uint32_t>(n);
  }
  return result;
}

int RecordingAdapterControl::WPACreateIdentityTLS(const char* loginName,
                                                  const uint8_t* certHash) {
  return Record("WPACreateIdentityTLS", Quote(loginName) + ", " + Hex(certHash, 20), nullptr,
                Copy(certHash, 20));
}

int RecordingAdapterControl::WPACreateIdentityPEAP(const char* loginName, const char* domain,
                                                   const char* password) {
  return Record("WPACreateIdentityPEAP",
                Quote(loginName) + ", " + Quote(domain) + ", " + Quote(password), nullptr);
}

int RecordingAdapterControl::WPACreateIdentityLEAP(const char* loginName, const char* domain,
                                                   const char* password) {
  return Record("WPACreateIdentityLEAP",
                Quote(loginName) + ", " + Quote(domain) + ", " + Quote(password), nullptr);
}

int RecordingAdapterControl::WPACreateIdentityTtls(const char* loginName, const char* domain,
                                                   const char* password,
                                                   const char* anonymousName) {
  return Record("WPACreateIdentityTtls", Quote(loginName) + ", " + Quote(domain) + ", " +
                                             Quote(password) + ", " + Quote(anonymousName),
                nullptr);
}

void RecordingAdapterControl::WPAPortDown() { Record("WPAPortDown", "", nullptr); }

#define HANDLE_OP(Name, failure) \
  int RecordingAdapterControl::Name(void* handle) { return Record(#Name, "", handle); }
#define QUERY_DWORD(Name)                                                   \
  int RecordingAdapterControl::Name(void* handle, uint32_t& value) {        \
    int result = Record(#Name, "", handle);                                 \
    AnswerDword(#Name, value);                                              \
    return result;                                                          \
  }
#define SET_DWORD(Name)                                                     \
  int RecordingAdapterControl::Name(void* handle, uint32_t value) {         \
    return Record(#Name, Str(value), handle);                               \
  }
#define QUERY_TEXT(Name)                                                    \
  int RecordingAdapterControl::Name(void* handle, char* buffer, uint32_t size) { \
    int result = Record(#Name, Str(size), handle);                          \
    AnswerText(#Name, buffer, size);                                        \
    return result;                                                          \
  }
#define QUERY_BYTES(Name)                                                   \
  int RecordingAdapterControl::Name(void* handle, uint8_t* buffer, uint32_t size) { \
    int result = Record(#Name, Str(size), handle);                          \
    AnswerBytes(#Name, buffer, size);                                       \
    return result;                                                          \
  }
#define QUERY_REGISTER(Name)                                                \
  int RecordingAdapterControl::Name(void* handle, uint32_t index, uint32_t& value) { \
    int result = Record(#Name, Str(index), handle);                         \
    AnswerDword(#Name, value);                                              \
    return result;                                                          \
  }
#define SET_REGISTER(Name)                                                  \
  int RecordingAdapterControl::Name(void* handle, uint32_t index, uint32_t value) { \
    return Record(#Name, Str(index) + ", " + Str(value), handle);           \
  }
#define QUERY_RECORD(Name, Type)                                            \
  int RecordingAdapterControl::Name(void* handle, Type* record) {           \
    int result = Record(#Name, "", handle);                                 \
    AnswerBytes(#Name, record, sizeof(Type));                               \
    return result;                                                          \
  }
#define SET_RECORD(Name, Type)                                              \
  int RecordingAdapterControl::Name(void* handle, const Type* record) {     \
    return Record(#Name, std::to_string(sizeof(Type)) + " bytes", handle,   \
                  Copy(record, sizeof(Type)));                              \
  }
#include "hosts/adapterctl/zelcon_ops.inc"

}  // namespace zelcon
