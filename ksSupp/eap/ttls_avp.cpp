#include "ksSupp/eap/ttls_avp.h"

#include <dcf/dcfBytes.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr std::uint32_t kMaxAvpLength = 0xFFFFFF;
constexpr std::uint32_t kFirstBufferSize = 512;

std::uint32_t Padded(std::uint32_t length) { return (length + 3) & ~std::uint32_t{3}; }

}  // namespace

bool AvpReader::Next(Avp& avp) {
  if (malformed_ || offset_ >= length_) return false;
  const std::uint8_t* at = bytes_ + offset_;
  const std::uint32_t available = length_ - offset_;
  std::uint32_t lengthField = 0;
  if (available < kAvpHeaderSize) {
    malformed_ = true;
    return false;
  }
  ReadBigEndian32(at, available, avp.code);
  ReadBigEndian32(at + 4, available - 4, lengthField);
  avp.flags = static_cast<std::uint8_t>(lengthField >> 24);
  const std::uint32_t avpLength = lengthField & kMaxAvpLength;
  std::uint32_t header = kAvpHeaderSize;
  avp.vendor = 0;
  if ((avp.flags & kAvpFlagVendor) != 0) {
    header = kAvpVendorHeaderSize;
    if (available < header) {
      malformed_ = true;
      return false;
    }
    ReadBigEndian32(at + 8, available - 8, avp.vendor);
  }
  if (avpLength < header || avpLength > available) {
    malformed_ = true;
    return false;
  }
  avp.data = at + header;
  avp.dataLength = avpLength - header;
  // The padding of the last AVP may be missing.
  offset_ += std::min(Padded(avpLength), available);
  ++index_;
  return true;
}

bool CountAvps(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t& count) {
  AvpReader reader(bytes, length);
  Avp avp;
  count = 0;
  while (reader.Next(avp)) ++count;
  return !reader.malformed();
}

void AvpWriter::Append(std::uint32_t code, std::uint32_t vendor, bool mandatory,
                       const std::uint8_t* data, std::uint32_t dataLength) {
  const std::uint32_t header = vendor != 0 ? kAvpVendorHeaderSize : kAvpHeaderSize;
  if (dataLength > kMaxAvpLength - header) throw std::bad_alloc();
  const std::uint32_t avpLength = header + dataLength;
  const std::uint32_t needed = position_ + Padded(avpLength);
  if (needed > buffer_.Length()) {
    std::uint32_t size = std::max(buffer_.Length(), kFirstBufferSize);
    while (size < needed) size *= 2;
    buffer_.Resize(size);  // zero-filled
  }
  std::uint8_t* at = buffer_.Data() + position_;
  std::memset(at, 0, Padded(avpLength));
  const std::uint8_t flags = static_cast<std::uint8_t>((vendor != 0 ? kAvpFlagVendor : 0) |
                                                       (mandatory ? kAvpFlagMandatory : 0));
  const std::uint32_t fields[3] = {code, (std::uint32_t{flags} << 24) | avpLength, vendor};
  for (std::uint32_t i = 0; i * 4 < header; ++i) {
    at[i * 4] = static_cast<std::uint8_t>(fields[i] >> 24);
    at[i * 4 + 1] = static_cast<std::uint8_t>(fields[i] >> 16);
    at[i * 4 + 2] = static_cast<std::uint8_t>(fields[i] >> 8);
    at[i * 4 + 3] = static_cast<std::uint8_t>(fields[i]);
  }
  if (dataLength > 0) std::memcpy(at + header, data, dataLength);
  position_ = needed;
}

void AvpWriter::AppendText(std::uint32_t code, const char* text) {
  Append(code, 0, true, reinterpret_cast<const std::uint8_t*>(text),
         static_cast<std::uint32_t>(std::strlen(text)));
}
