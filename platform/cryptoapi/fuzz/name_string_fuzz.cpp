// X.500 name text from anyone (a user's entry, a stored setting): the parser refuses it or
// gives a name whose printed text parses again to the same text.
#include <openssl/x509.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cryptoapi/name_string.h"

namespace {

constexpr std::uint32_t kFlags = capi::CERT_X500_NAME_STR | capi::CERT_NAME_STR_REVERSE_FLAG;

std::string Printed(const std::vector<std::uint8_t>& der) {
  const unsigned char* cursor = der.data();
  X509_NAME* name = d2i_X509_NAME(nullptr, &cursor, static_cast<long>(der.size()));
  if (name == nullptr || cursor != der.data() + der.size()) std::abort();  // what it encodes decodes
  std::string text = capi::CertNameToStr(name, kFlags);
  X509_NAME_free(name);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::uint8_t> der;
  if (!capi::CertStrToName(text, kFlags, der)) {
    if (!der.empty()) std::abort();
    return 0;
  }
  const std::string first = Printed(der);
  std::vector<std::uint8_t> again;
  if (!capi::CertStrToName(first, kFlags, again)) std::abort();
  if (Printed(again) != first) std::abort();
  return 0;
}
