#pragma once
// KsCertRef: a certificate handed out by an array or a chain. Its owner is the store that
// holds the certificate; a chain is also kept as its container, so the chain lives as long
// as any certificate taken from it. Its context is its own (a duplicate).
#include <dcf/dcfComPtr.h>

#include "ksCert/KsCertObject.h"

class KsCertRef final : public KsCertObject {
public:
  static HRESULT CreateInstance(KsCertRef** object);

  // Holds one reference on the container (null: none).
  void SetContainer(IUnknown* container) { container_.Assign(container); }

  HRESULT GetFieldNumber(std::int32_t field, std::int32_t* value) override;

private:
  KsCertRef();
  ~KsCertRef() override = default;
  bool WritesDoneFirst() const override { return false; }
  bool ClearsBufferOnWrongEncoding() const override { return true; }

  dcfComPtr<IUnknown> container_;
};
