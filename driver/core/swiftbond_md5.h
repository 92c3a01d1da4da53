#pragma once
// MD5 (RFC 1321) for the SwiftBond keys, the station core's own like its other primitives:
// the core takes no digest from outside. Final wipes the context, which held key material.
#include <cstddef>
#include <cstdint>

namespace zelnic::core {

struct SbMd5Context {
  std::uint32_t state[4];
  std::uint64_t bytes;      // message length so far
  std::uint8_t block[64];   // the part of a block not yet digested
};

void SbMd5Init(SbMd5Context& context);
void SbMd5Update(SbMd5Context& context, const std::uint8_t* data, std::size_t length);
void SbMd5Final(std::uint8_t (&digest)[16], SbMd5Context& context);

}  // namespace zelnic::core
