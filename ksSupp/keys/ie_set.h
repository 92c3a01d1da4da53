#pragma once
// A fixed set of typed element slots, one per element kind the key handlers understand,
// filled element by element from a run of information elements or key-data elements.
#include "ksSupp/keys/information_elements.h"

class IeSet {
 public:
  static constexpr int kFlitSlots = 10;

  IeSet();
  IeSet(const IeSet&) = delete;
  IeSet& operator=(const IeSet&) = delete;
  virtual ~IeSet() = default;

  // Routes one whole element (header included) to its slot, or ignores it.
  virtual void Route(const uint8_t* element, uint32_t length);
  // Routes every whole element of a run; trailing bytes that form no element are ignored.
  void Walk(const uint8_t* bytes, uint32_t length);
  // Wipes and empties every slot.
  void Clear();

  const RsnIeElement& Rsn(int which = 0) const { return rsn_[which]; }
  const WpaIeElement& Wpa() const { return wpa_; }
  const PmkidKdeElement& PmkidKde() const { return pmkidKde_; }
  const GtkKdeElement& GtkKde() const { return gtkKde_; }
  const CckmElement& Cckm() const { return cckm_; }
  // FLIT element n (1 to 10).
  const FlitElement& Flit(int n) const { return *flit_[n - 1]; }

 private:
  RsnIeElement rsn_[2];
  WpaIeElement wpa_;
  PmkidKdeElement pmkidKde_;
  GtkKdeElement gtkKde_;
  CckmElement cckm_;
  FlitElement1 flit1_;
  FlitElement2 flit2_;
  FlitElement2 flit3_;
  FlitElement4 flit4_;
  FlitElement5 flit5_;
  FlitElement6 flit6_;
  FlitElement7 flit7_;
  FlitElement8 flit8_;
  FlitElement9 flit9_;
  FlitElement10 flit10_;
  // FLIT element n (1 to 10) at index n - 1.
  FlitElement* const flit_[kFlitSlots] = {&flit1_, &flit2_, &flit3_, &flit4_, &flit5_,
                                         &flit6_, &flit7_, &flit8_, &flit9_, &flit10_};
  // The FLIT element (6 to 9) a continuation element extends, while the element routed
  // just before was that element or a continuation of it.
  FlitElement* continuationTarget_ = nullptr;
  uint8_t continuation_ = 0;
};

// Walks a run of elements: while at least 2 bytes remain, each element of length byte + 2
// bytes goes to the consumer; a run that ends inside an element stops there.
template <class Consumer>
void WalkElements(const uint8_t* bytes, uint32_t length, Consumer&& consume) {
  uint32_t position = 0;
  while (length - position >= 2) {
    uint32_t elementLength = static_cast<uint32_t>(bytes[position + 1]) + 2;
    if (length - position < elementLength) break;
    consume(bytes + position, elementLength);
    position += elementLength;
  }
}
