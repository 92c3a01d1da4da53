// DER names from certificates and peers: a name refuses the bytes (and is empty) or holds them
// whole, prints them as text and compares equal to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "inc/ksCertUtility.h"
#include "platform/win32/bstr.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static ksCertUtility* root = [] {
    ksCertUtility* made = nullptr;
    dcfCreateInstance<KsCertLib>(&made);
    return made;
  }();
  ksCertName* name = nullptr;
  ksCertName* copy = nullptr;
  if (root->CreateCertName(&name) != S_OK || root->CreateCertName(&copy) != S_OK) std::abort();
  if (name->put_Encoded(data, static_cast<std::uint32_t>(size)) != S_OK) std::abort();
  std::uint32_t length = 0;
  if (name->get_Encoded(nullptr, 0, &length) != S_OK || (length != 0 && length != size)) std::abort();
  plat::BSTR text = nullptr;
  if (name->get_Text(&text) != S_OK || (length == 0) != (text == nullptr)) std::abort();
  std::int32_t result = -1;
  if (name->Compare(name, &result) != S_OK || result != (length != 0 ? 3 : 0)) std::abort();
  // The text parses again (or is refused) without harm.
  if (copy->put_Text(text) != S_OK) std::abort();
  if (name->Compare(copy, &result) != S_OK || result < 0 || result > 3) std::abort();
  plat::SysFreeString(text);
  copy->Release();
  name->Release();
  return 0;
}
