#include "ksCert/KsCertName.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/cryptoapi/name_string.h"
#include "platform/cryptoapi/oid_info.h"
#include "platform/cryptoapi/openssl_error_scope.h"
#include "platform/win32/ansi_code_page.h"

namespace {

constexpr char kSourceFile[] = "KsCertName";
constexpr std::uint32_t kNameFlags = capi::CERT_X500_NAME_STR | capi::CERT_NAME_STR_REVERSE_FLAG;

// One attribute as Compare sees it: its identifier and its value text.
struct Attribute {
  std::string oid;
  std::string value;
  bool operator==(const Attribute&) const = default;
};
using Rdn = std::vector<Attribute>;

std::vector<Rdn> RdnsOf(const X509_NAME* name) {
  std::vector<Rdn> rdns;
  int currentSet = -1;
  for (int i = 0; i < X509_NAME_entry_count(name); ++i) {
    const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
    const int set = X509_NAME_ENTRY_set(entry);
    if (rdns.empty() || set != currentSet) rdns.emplace_back();
    currentSet = set;
    rdns.back().push_back({capi::DottedOid(X509_NAME_ENTRY_get_object(entry)),
                           capi::CertRdnValueToStr(X509_NAME_ENTRY_get_data(entry))});
  }
  return rdns;
}

}  // namespace

HRESULT KsCertName::CreateInstance(KsCertName** object) {
  return Created(new (std::nothrow) KsCertName, object);
}

KsCertName::KsCertName() : KsComObject(kSourceFile) {}

HRESULT KsCertName::QueryInterface(const IID& iid, void** object) {
  const KsInterfaceEntry map[] = {
      {IID_ksCertNameUnknown, static_cast<ksCertNameUnknown*>(this)},
      {IID_ksCertName, static_cast<ksCertName*>(this)},
      {IID_ksCertName2, static_cast<ksCertName2*>(this)},
  };
  return QueryMap(map, iid, object);
}

void KsCertName::Decode() {
  decoded_.reset();
  if (encoded_.Length() == 0) return;
  capi::detail::OpenSslErrorScope errors;
  const unsigned char* cursor = encoded_.Data();
  decoded_.reset(d2i_X509_NAME(nullptr, &cursor, static_cast<long>(encoded_.Length())));
  // One name and nothing after it.
  if (!decoded_ || cursor != encoded_.Data() + encoded_.Length()) {
    decoded_.reset();
    encoded_.Clear();
  }
}

HRESULT KsCertName::get_Text(plat::BSTR* text) {
  if (text == nullptr) return E_POINTER;
  *text = nullptr;
  return RunGuarded(__LINE__, [&] {
    if (!decoded_) return S_OK;
    const std::u16string wide = plat::AnsiToWide(capi::CertNameToStr(decoded_.get(), kNameFlags));
    plat::BSTR copy = plat::SysAllocStringLen(wide.data(), static_cast<std::uint32_t>(wide.size()));
    if (copy == nullptr) RaiseOutOfMemory(dcfOutOfMemoryException("*pbstrToBstr != NULL"), __LINE__, kSourceFile);
    *text = copy;
    return S_OK;
  });
}

HRESULT KsCertName::put_Text(plat::BSTR text) {
  return RunGuarded(__LINE__, [&] {
    decoded_.reset();
    encoded_.Clear();
    const std::u16string_view wide = text != nullptr ? std::u16string_view(text, plat::SysStringLen(text))
                                                     : std::u16string_view();
    std::vector<std::uint8_t> der;
    // Text that is not a name leaves the name empty; the call still succeeds.
    if (capi::CertStrToName(plat::WideToAnsi(wide), kNameFlags, der)) {
      encoded_.Assign(der.data(), static_cast<std::uint32_t>(der.size()));
      Decode();
    }
    return S_OK;
  });
}

HRESULT KsCertName::put_Encoded(const std::uint8_t* der, std::uint32_t length) {
  return RunGuarded(__LINE__, [&] {
    decoded_.reset();
    encoded_.Clear();
    if (der != nullptr && length != 0) {
      encoded_.Assign(der, length);
      Decode();
    }
    return S_OK;
  });
}

HRESULT KsCertName::get_Encoded(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) {
  if (length == nullptr) return E_POINTER;
  *length = encoded_.Length();
  // Copied only when it fits whole.
  if (buffer != nullptr && size >= encoded_.Length() && encoded_.Length() != 0) {
    std::memcpy(buffer, encoded_.Data(), encoded_.Length());
  }
  return S_OK;
}

std::int32_t KsCertName::CompareWith(const KsCertName* other) const {
  if (other == nullptr || !decoded_ || !other->decoded_) return 0;
  const std::vector<Rdn> mine = RdnsOf(decoded_.get());
  const std::vector<Rdn> theirs = RdnsOf(other->decoded_.get());
  const std::size_t common = std::min(mine.size(), theirs.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (mine[i] != theirs[i]) return 0;
  }
  if (mine.size() < theirs.size()) return 1;
  if (mine.size() > theirs.size()) return 2;
  return 3;
}

HRESULT KsCertName::Compare(ksCertName* other, std::int32_t* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  if (other == nullptr) return S_FALSE;
  // A name of another implementation has no value this one can read.
  return RunGuarded(__LINE__, [&] {
    *result = CompareWith(dynamic_cast<const KsCertName*>(other));
    return S_OK;
  });
}

HRESULT KsCertName::Compare(ksCertName2* other, std::int32_t* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  if (other == nullptr) return S_FALSE;
  return RunGuarded(__LINE__, [&] {
    *result = CompareWith(dynamic_cast<const KsCertName*>(other));
    return S_OK;
  });
}

HRESULT KsCertName::Reserved8(std::int32_t* value) {
  if (value == nullptr) return E_POINTER;
  *value = 0;
  return S_FALSE;
}
