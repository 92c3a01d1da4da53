#include "ksCert/KsComObject.h"

namespace {

std::atomic<std::uint32_t> liveObjects{0};
std::atomic<KsHandledExceptionObserver> handledObserver{nullptr};

}  // namespace

std::uint32_t KsCertObjectCount() { return liveObjects.load(std::memory_order_acquire); }

void KsSetHandledExceptionObserver(KsHandledExceptionObserver observer) {
  handledObserver.store(observer, std::memory_order_release);
}

void KsMarkHandled(dcfException& exception, const char* sourceFile, std::int32_t line) noexcept {
  exception.MarkHandled(line, sourceFile);
  if (KsHandledExceptionObserver observer = handledObserver.load(std::memory_order_acquire)) {
    observer(exception);
  }
}

KsComObject::KsComObject(const char* sourceFile) : sourceFile_(sourceFile) {
  plat::InterlockedIncrement(liveObjects);
}

KsComObject::~KsComObject() { plat::InterlockedDecrement(liveObjects); }

std::uint32_t KsComObject::AddReference() {
  return static_cast<std::uint32_t>(plat::InterlockedIncrement(references_));
}

std::uint32_t KsComObject::ReleaseReference() {
  const std::int32_t count = plat::InterlockedDecrement(references_);
  if (count == 0) delete this;
  return static_cast<std::uint32_t>(count);
}

HRESULT KsComObject::QueryMap(const KsInterfaceEntry* map, std::size_t count, const IID& iid,
                              void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    if (IsEqualIID(map[i].iid, iid) || (i == 0 && IsEqualIID(iid, IID_IUnknown))) {
      map[i].pointer->AddRef();
      *object = map[i].pointer;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}
