// The SPEKE message readers against arbitrary bytes: the first byte chooses the reader
// (ClientHello block, SpekeParams, EncryptedIdentity plain and protected, ClientSpekeValue).
#include <cstddef>
#include <cstdint>

#include "tls-extensions/speke_codec.h"

namespace {

speke::Bytes Secret(const speke::Bytes& clientPublic, void*) {
  return clientPublic.empty() ? speke::Bytes{} : clientPublic;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t* body = data + 1;
  const std::size_t length = size - 1;
  speke::Bytes out;
  switch (data[0] % 5) {
    case 0: {
      speke::HelloChoice choice;
      speke::ParseHelloBlock(body, length, {1, 2, 5}, {0, 1}, choice);
      break;
    }
    case 1: {
      speke::Params params;
      speke::ParseParams(speke::kSpekeParams, body, length, params);
      break;
    }
    case 2:
    case 3: {
      const speke::Randoms randoms{};
      speke::ParseIdentity(speke::kEncryptedIdentity, body, length,
                           data[0] % 5 == 2 ? speke::kModePlain : speke::kModeProtected, randoms,
                           Secret, nullptr, out);
      break;
    }
    case 4: {
      BIGNUM* prime = speke::GroupPrime(2);
      speke::ParseClientValue(speke::kClientSpekeValue, body, length, prime, out);
      BN_free(prime);
      break;
    }
  }
  return 0;
}
