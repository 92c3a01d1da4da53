// Both AES forms on the same bytes must give the same bytes: the input is a key, a MAC
// header and a body, which is CCMP-encrypted as a frame's data and decrypted as a received
// body, once with the CPU's AES instructions and once with the table code; results, lengths
// and every byte must agree. On a CPU without the instructions there is nothing to compare.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "driver/core/aes128.h"
#include "driver/core/ccmp_cipher.h"

namespace {

using namespace zelnic::core;

struct Outcome {
  std::vector<std::uint8_t> sent, received;
  CcmpRefusal sentResult = CcmpRefusal::kNone, receivedResult = CcmpRefusal::kNone;
  std::uint32_t receivedLength = 0;
  std::uint8_t block[16] = {};
};

Outcome Run(bool cpuInstructions, const std::uint8_t key[16], const std::vector<std::uint8_t>& header,
            const std::vector<std::uint8_t>& body, std::uint64_t pn) {
  AllowCpuAesInstructions(cpuInstructions);
  Outcome o;
  o.sent.resize(kCcmpHeaderBytes + body.size() + kCcmpMicBytes);
  std::copy(body.begin(), body.end(), o.sent.begin() + kCcmpHeaderBytes);
  o.sentResult = CcmpEncrypt(key, header.data(), static_cast<std::uint32_t>(header.size()), pn, 1, o.sent.data(),
                             static_cast<std::uint32_t>(body.size()));
  o.received = body;
  o.receivedResult = CcmpDecrypt(key, header.data(), static_cast<std::uint32_t>(header.size()), 0, false,
                                 o.received.data(), static_cast<std::uint32_t>(o.received.size()), o.receivedLength);
  std::uint8_t in[16] = {};
  std::copy_n(body.begin(), body.size() < 16 ? body.size() : 16, in);
  AesEncryptWithKey(key, in, o.block);
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 17 || !CpuHasAesInstructions()) return 0;
  const std::uint8_t* key = data;
  const std::size_t headerLength = data[16] % 40 < size - 17 ? data[16] % 40 : size - 17;
  const std::vector<std::uint8_t> header(data + 17, data + 17 + headerLength);
  const std::vector<std::uint8_t> body(data + 17 + headerLength, data + size);
  const std::uint64_t pn = size * 0x10001ull;
  const Outcome table = Run(false, key, header, body, pn);
  const Outcome cpu = Run(true, key, header, body, pn);
  if (table.sentResult != cpu.sentResult || table.sent != cpu.sent) __builtin_trap();
  if (table.receivedResult != cpu.receivedResult || table.receivedLength != cpu.receivedLength ||
      table.received != cpu.received)
    __builtin_trap();
  if (std::memcmp(table.block, cpu.block, 16) != 0) __builtin_trap();
  return 0;
}
