// Frames a supplicant must drop before any key is used on them: its own EAPOL-Key requests
// reflected back, and Key Data flagged encrypted in a frame without a MIC.
#include "ksSupp/keys/key_handshake_fixture.h"

namespace {

using namespace keys_test;

void Indicate(RsnKeyHandler& handler, uint32_t flags) { handler.RsnAuthIndication(flags, kHighAddress.data()); }
void Indicate(WpaKeyHandler& handler, uint32_t flags) { handler.WpaAuthIndication(flags, kHighAddress.data()); }

template <class Handler>
class UnsignedKeyFrames : public HandshakeFixture<Handler> {};

using Handlers = testing::Types<RsnKeyHandler, WpaKeyHandler>;
TYPED_TEST_SUITE(UnsignedKeyFrames, Handlers);

// Our request carries a valid MIC under the PTK in force; reflected once its counter has
// caught up with the stored one, it must neither move the replay counter nor make the
// handler report a key failure to the host.
TYPED_TEST(UnsignedKeyFrames, OwnRequestReflectedBackIsDropped) {
  this->Associate(this->Config());
  this->CompleteHandshake();
  const uint64_t counter = this->handler_.ReplayCounter();
  for (uint64_t i = 0; i <= counter; ++i) {
    const size_t sent = this->services_.sent.size();
    Indicate(this->handler_, 0x0E);  // group key error: a request without the Pairwise bit
    ASSERT_EQ(this->services_.sent.size(), sent + 1);
    const Bytes request = this->services_.sent.back();
    EXPECT_FALSE(Deliver(this->handler_, request));
  }
  EXPECT_TRUE(this->services_.failures.empty());
  EXPECT_EQ(this->handler_.ReplayCounter(), counter);
  EXPECT_TRUE(this->Traced("EAPOL-Key message discarded: Request bit set\n"));
}

// A message 1 flagged with encrypted Key Data is answered or not depending on whether its
// Key Data unwraps under the key in force (a decryption oracle): such frames are dropped
// before decryption, whatever they carry.
class RsnUnsignedKeyData : public HandshakeFixture<RsnKeyHandler> {};

TEST_F(RsnUnsignedKeyData, Message1WithEncryptedKeyDataIsDroppedBeforeDecryption) {
  Associate(Config());
  CompleteHandshake();
  const Bytes fresh = ap_->StartHandshake();
  const Bytes padding = {0xDD, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  // Key Data that unwraps under the KEK in force, and Key Data that does not.
  const Bytes keyData[] = {air::AesKeyWrap(handler_.InstalledPtk().Data() + 16, padding),
                           Bytes(24, 0x5A)};
  for (const Bytes& data : keyData) {
    Bytes frame(fresh.begin(), fresh.begin() + eapol_key::kKeyData);
    frame[eapol_key::kKeyInformation] |= eapol_key::kInfoEncryptedKeyData >> 8;
    frame[eapol_key::kKeyDataLength] = static_cast<uint8_t>(data.size() >> 8);
    frame[eapol_key::kKeyDataLength + 1] = static_cast<uint8_t>(data.size());
    frame.insert(frame.end(), data.begin(), data.end());
    frame[2] = static_cast<uint8_t>((frame.size() - 4) >> 8);
    frame[3] = static_cast<uint8_t>(frame.size() - 4);
    const size_t sent = services_.sent.size();
    trace_.clear();
    EXPECT_FALSE(Deliver(handler_, frame));
    EXPECT_EQ(services_.sent.size(), sent) << "no message 2";
    EXPECT_TRUE(Traced("EAPOL-Key message discarded: encrypted Key Data without MIC\n"));
  }
}

}  // namespace
