#include "hosts/adapterctl/adapter_control_base.h"

#include <string.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/win32/atomic_file.h"

namespace zelcon {
namespace {

std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

// Why a registry query found nothing: the key or the value does not exist, or the key
// could not be read (or the value is of the other type).
int RegistryFailure(const plat::RegistryStore& registry, const char* path, const char* name) {
  const std::string file = registry.KeyFilePath(path);
  std::error_code error;
  if (!std::filesystem::exists(file, error) && !error) return kRegistryValueAbsent;
  std::optional<std::string> text =
      plat::ReadWholeFile(file, plat::RegistryStore::kMaxKeyFileBytes);
  if (text && !plat::RegistryLookup(*text, name)) return kRegistryValueAbsent;
  return 1;
}

}  // namespace

// explicit_bzero: a store before the free that the compiler does not drop.
void Wipe(std::string& s) {
  if (!s.empty()) explicit_bzero(s.data(), s.size());
  s.clear();
}

void Wipe(std::vector<uint8_t>& bytes) {
  if (!bytes.empty()) explicit_bzero(bytes.data(), bytes.size());
  bytes.clear();
}

PendingIdentity::~PendingIdentity() { Wipe(password); }

bool CopyText(std::string_view text, char* buffer, uint32_t size) {
  if (!buffer || size == 0) return false;
  size_t n = std::min<size_t>(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return n == text.size();
}

int AdapterControlBase::Initialize(void* window) {
  notifier_.SetTarget(window);
  return 0;
}

int AdapterControlBase::OpenAdapter(void*& handle) {
  handle = nullptr;
  return 1;
}

int AdapterControlBase::CloseAdapter(void*) { return 1; }

int AdapterControlBase::QueryRegistry(const char* path, const char* valueName, char* buffer,
                                      uint32_t size) {
  if (!path || !valueName) return 1;
  std::optional<std::string> text = registry_.QueryString(path, valueName);
  if (!text) return RegistryFailure(registry_, path, valueName);
  return CopyText(*text, buffer, size) ? 0 : 1;
}

int AdapterControlBase::QueryRegistry(const char* path, const char* valueName, uint32_t& value) {
  if (!path || !valueName) return 1;
  std::optional<uint32_t> v = registry_.QueryDword(path, valueName);
  if (!v) return RegistryFailure(registry_, path, valueName);
  value = *v;
  return 0;
}

int AdapterControlBase::SetRegistry(const char* path, const char* valueName, uint32_t value) {
  if (!path || !valueName) return 1;
  return registry_.SetDword(path, valueName, value) ? 0 : 1;
}

int AdapterControlBase::SetSsid(void*, const char*, uint32_t, uint32_t) { return 1; }
int AdapterControlBase::SetWepKey(void*, uint32_t, const uint8_t*, uint32_t, uint32_t) {
  return 1;
}
int AdapterControlBase::SetWPAInformation(void*, uint32_t, uint32_t, uint32_t, const uint8_t*,
                                          const char*) {
  return 1;
}
int AdapterControlBase::SetProfileInUse(void*, const char*, uint32_t) { return 1; }
int AdapterControlBase::QueryScanListLength(void*, uint8_t*, uint32_t, uint32_t&) { return -1; }

void AdapterControlBase::SetIdentity(PendingIdentity::Method method, const char* login,
                                     const char* domain, const char* password,
                                     const char* anonymous, const uint8_t* certHash) {
  std::lock_guard lock(identityMutex_);
  Wipe(identity_.password);
  identity_.method = method;
  identity_.loginName = Text(login);
  identity_.domain = Text(domain);
  identity_.password = Text(password);
  identity_.anonymousName = Text(anonymous);
  identity_.certHash.assign(certHash, certHash ? certHash + 20 : certHash);
}

int AdapterControlBase::WPACreateIdentityTLS(const char* loginName, const uint8_t* certHash) {
  SetIdentity(PendingIdentity::Method::Tls, loginName, nullptr, nullptr, nullptr, certHash);
  return 0;
}

int AdapterControlBase::WPACreateIdentityPEAP(const char* loginName, const char* domain,
                                              const char* password) {
  SetIdentity(PendingIdentity::Method::Peap, loginName, domain, password, nullptr, nullptr);
  return 0;
}

int AdapterControlBase::WPACreateIdentityLEAP(const char* loginName, const char* domain,
                                              const char* password) {
  SetIdentity(PendingIdentity::Method::Leap, loginName, domain, password, nullptr, nullptr);
  return 0;
}

int AdapterControlBase::WPACreateIdentityTtls(const char* loginName, const char* domain,
                                              const char* password, const char* anonymousName) {
  SetIdentity(PendingIdentity::Method::Ttls, loginName, domain, password, anonymousName,
              nullptr);
  return 0;
}

PendingIdentity AdapterControlBase::TakePendingIdentity() {
  std::lock_guard lock(identityMutex_);
  PendingIdentity taken = identity_;
  Wipe(identity_.password);
  identity_ = PendingIdentity();
  return taken;
}

}  // namespace zelcon
