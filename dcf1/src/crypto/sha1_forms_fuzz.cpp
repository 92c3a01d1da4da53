// Every form of SHA-1's compression the CPU has must give the same bytes: the input is hashed
// in one piece and in two (split where its first byte says), and MACed with HMAC-SHA1 under
// a key taken from its start, in each form; all results must agree with the portable form's.
#include <dcf/hmac.h>
#include <dcf/sha1.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace {

struct Results {
  std::uint8_t whole[kSha1DigestSize], split[kSha1DigestSize], mac[kSha1DigestSize], chained[kSha1DigestSize];
};

Results Run(Sha1Compression form, const std::uint8_t* data, std::size_t size) {
  LimitSha1Compression(form);
  Results r;
  Sha1Digest(r.whole, data, size);
  const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
  Sha1Context context;
  Sha1Init(context);
  Sha1Update(context, data, cut);
  Sha1Update(context, data + cut, size - cut);
  Sha1Final(r.split, context);
  HmacSha1 hmac;
  hmac.SetKey(data, cut);
  hmac.Init();
  hmac.Update(data + cut, size - cut);
  hmac.Final(r.mac);
  hmac.MacOfDigest(r.mac, r.chained);
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Results portable = Run(Sha1Compression::kPortable, data, size);
  for (auto form : {Sha1Compression::kShaInstructions, Sha1Compression::kVectorSchedule}) {
    if (!CpuHasSha1Compression(form)) continue;
    const Results r = Run(form, data, size);
    if (std::memcmp(&r, &portable, sizeof r) != 0) __builtin_trap();
  }
  if (std::memcmp(portable.whole, portable.split, kSha1DigestSize) != 0) __builtin_trap();
  return 0;
}
