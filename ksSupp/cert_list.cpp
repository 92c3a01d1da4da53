#include "ksSupp/cert_list.h"

#include "ksSupp/api_context.h"

CertList* CertList::Create(ApiContext* context) { return new CertList(context); }

CertList::CertList(ApiContext* context) : context_(context) {}

CertList::~CertList() {
  for (std::uint32_t i = certificates_.Length(); i > 0; --i) certificates_[i - 1]->Release();
}

void CertList::Add(const std::uint8_t* der, std::uint32_t length) {
  Append(DerBlob::Create(der, length));
}

void CertList::Append(DerBlob* blob) {
  try {
    certificates_.Append(&blob, 1);
  } catch (...) {
    blob->Release();
    throw;
  }
}

DerBlob* CertList::GetCert(std::uint32_t index) const {
  if (index >= certificates_.Length()) return nullptr;
  DerBlob* blob = certificates_[index];
  blob->AddRef();
  return blob;
}

std::int32_t CertList::BuildChain(CertList** chain) {
  *chain = nullptr;
  if (!context_) return -1;
  return context_->ValidateServerChain(*this, chain);
}
