#include "ksSupp/der_blob.h"

#include <memory>

DerBlob* DerBlob::Create(const std::uint8_t* der, std::uint32_t length) {
  std::unique_ptr<DerBlob> blob(new DerBlob());
  if (length > 0) blob->bytes_.Assign(der, length);
  return blob.release();
}
