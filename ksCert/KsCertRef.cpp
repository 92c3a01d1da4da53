#include "ksCert/KsCertRef.h"

HRESULT KsCertRef::CreateInstance(KsCertRef** object) { return Created(new (std::nothrow) KsCertRef, object); }

KsCertRef::KsCertRef() : KsCertObject("KsCertRef") {}

// A reference offers no field numbers.
HRESULT KsCertRef::GetFieldNumber(std::int32_t, std::int32_t* value) {
  if (value == nullptr) return E_POINTER;
  *value = 0;
  return E_NOTIMPL;
}
