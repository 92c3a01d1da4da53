#pragma once
// DerBlob: one DER-encoded certificate, the object behind a certificate handle.
#include <cstdint>

#include <collections/dcfByteArray.h>
#include <dcf/RefCounted.h>

class DerBlob : public RefCounted {
public:
  // A copy of length bytes (an empty blob for length 0); throws std::bad_alloc.
  static DerBlob* Create(const std::uint8_t* der, std::uint32_t length);

  const dcfByteArray& Bytes() const { return bytes_; }
  dcfByteArray& Bytes() { return bytes_; }

private:
  DerBlob() = default;

  dcfByteArray bytes_;
};
