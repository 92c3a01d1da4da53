#include "ksLib_OSSL/cipher_list.h"

namespace {

struct Suite {
  std::uint16_t id;
  const char* name;
};

constexpr Suite kServableSuites[] = {
    {0x2F, "AES128-SHA"},         {0x32, "DHE-DSS-AES128-SHA"}, {0x33, "DHE-RSA-AES128-SHA"},
    {0x35, "AES256-SHA"},         {0x38, "DHE-DSS-AES256-SHA"}, {0x39, "DHE-RSA-AES256-SHA"},
};

}  // namespace

const char* CipherSuiteName(std::uint16_t id) {
  for (const Suite& suite : kServableSuites) {
    if (suite.id == id) return suite.name;
  }
  return nullptr;
}

std::string BuildCipherList(const dcfArray<std::uint16_t>& ids) {
  std::string list;
  for (const std::uint16_t id : ids) {
    if (const char* name = CipherSuiteName(id)) {
      list += name;
      list += ':';
    }
  }
  return list;
}
