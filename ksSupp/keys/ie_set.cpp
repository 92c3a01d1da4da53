#include "ksSupp/keys/ie_set.h"

#include <dcf/dcfBytes.h>

namespace {
constexpr uint32_t kFlitOui = 0x026D4B00;
constexpr uint32_t kFlitContinuation = kFlitOui | 0x0B;

// OUI and type of a vendor element of at least 6 bytes.
uint32_t Selector(const uint8_t* element) {
  uint32_t selector = 0;
  return ByteSwapCopy32(element + 2, selector);
}
}  // namespace

IeSet::IeSet() = default;

void IeSet::Walk(const uint8_t* bytes, uint32_t length) {
  if (bytes == nullptr) return;
  WalkElements(bytes, length, [this](const uint8_t* e, uint32_t l) { Route(e, l); });
}

void IeSet::Route(const uint8_t* element, uint32_t length) {
  if (!continuation_) continuationTarget_ = nullptr;
  continuation_ = 0;
  if (length < 2) return;

  switch (element[0]) {
    case kElementIdRsn:
      if (!rsn_[0].Present())
        rsn_[0].Store(element, length);
      else if (!rsn_[1].Present())
        rsn_[1].Store(element, length);
      return;
    case kElementIdCckm:
      if (length >= 6 && Selector(element) == kCckmSuite) cckm_.Store(element, length);
      return;
    case kElementIdVendor:
      break;
    default:
      return;
  }

  if (length < 6) return;
  const uint32_t selector = Selector(element);
  if (selector == kWpaOuiType) {
    wpa_.Store(element, length);
  } else if (selector == kPmkidKdeSelector) {
    pmkidKde_.Store(element, length);
  } else if (selector == kGtkKdeSelector) {
    gtkKde_.Store(element, length);
  } else if (selector == kFlitContinuation) {
    if (continuationTarget_ != nullptr) {
      continuationTarget_->Extend(element + 6, length - 6);
      continuation_ = 1;
    }
  } else if (selector > kFlitOui && selector < kFlitContinuation) {
    const int n = static_cast<int>(selector - kFlitOui);
    FlitElement& slot = *flit_[n - 1];
    if (n >= 6 && n <= 9) {
      slot.Store(element + 2, length - 2);
      continuationTarget_ = &slot;
      continuation_ = 1;
    } else {
      slot.Store(element, length);
    }
  }
}

void IeSet::Clear() {
  for (auto& e : rsn_) e.Clear();
  wpa_.Clear();
  pmkidKde_.Clear();
  gtkKde_.Clear();
  cckm_.Clear();
  for (FlitElement* e : flit_) e->Clear();
  continuationTarget_ = nullptr;
  continuation_ = 0;
}
