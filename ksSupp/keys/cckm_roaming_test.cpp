// CCKM fast roaming against the access point of sim/air: a first full association on the
// CCKM AKM, then reassociations that bring fresh keys in CCKM elements.
#include "ksSupp/keys/key_handshake_fixture.h"

namespace {

using namespace keys_test;

const air::MacAddress kNextAp = {0x02, 0x1B, 0x2C, 0x3D, 0x4E, 0x60};
const uint8_t kTimestamp[8] = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};

template <class Handler>
class CckmRoaming : public HandshakeFixture<Handler> {
 protected:
  Bytes StationElement(Cipher pairwise = Cipher::Tkip) const {
    return air::BuildElement(this->kProtocol, pairwise, Cipher::Tkip, air::Akm::Cckm);
  }

  void FirstAssociation() {
    air::AuthenticatorConfig config = this->Config(Cipher::Tkip, Cipher::Tkip);
    config.cckm = true;
    config.supplicantElement = StationElement();
    config.authenticatorElement = config.supplicantElement;
    this->Associate(config);
    this->CompleteHandshake();
  }

  // The request element the handler hands the host for a reassociation to `bssid`.
  Bytes Request(const air::MacAddress& bssid) {
    this->handler_.CckmStart(kTimestamp, bssid.data());
    EXPECT_EQ(this->services_.cckmElements.back().first, 1u);
    return this->services_.cckmElements.back().second;
  }

  // The station has reassociated to `bssid` with `request` in its reassociation request;
  // the elements of the response go to the handler.
  bool Reassociate(const air::MacAddress& bssid, const Bytes& request, const Bytes& response,
                   const Bytes& stationElement = {}, bool reset = true) {
    if (reset) this->handler_.Reset();
    this->handler_.SetAddresses(bssid.data(), kLowAddress.data());
    const Bytes& beacon = this->ap_->Config().authenticatorElement;
    this->handler_.SetAuthenticatorIes(beacon.data(), static_cast<uint32_t>(beacon.size()));
    Bytes requestIes = stationElement.empty() ? StationElement() : stationElement;
    requestIes.insert(requestIes.end(), request.begin(), request.end());
    this->handler_.SetSupplicantIes(requestIes.data(), static_cast<uint32_t>(requestIes.size()));
    Bytes responseIes = {0x01, 0x02, 0x82, 0x84};  // supported rates, then the CCKM element
    responseIes.insert(responseIes.end(), response.begin(), response.end());
    return this->handler_.ProcessReassociationIes(responseIes.data(), static_cast<uint32_t>(responseIes.size()));
  }

  Bytes KeyRequestKey() const {
    for (const InstalledKey& k : this->services_.installed)
      if (k.index == 0xFFFFFFFF) return k.key;
    return {};
  }
};

using Handlers = testing::Types<WpaKeyHandler, RsnKeyHandler>;
TYPED_TEST_SUITE(CckmRoaming, Handlers);

TYPED_TEST(CckmRoaming, BeforeAFullAssociationTheHostIsToldToRunOne) {
  this->Associate(this->Config());
  this->handler_.CckmStart(kTimestamp, kNextAp.data());
  ASSERT_EQ(this->services_.cckmElements.size(), 1u);
  EXPECT_EQ(this->services_.cckmElements[0].first, 0u);
  EXPECT_TRUE(this->services_.cckmElements[0].second.empty());
  EXPECT_TRUE(this->Traced("CCKM Request: first-time association\n"));
}

// The first PTK comes from the base key and matches the access point's; each fast handoff
// (RN 2, then 3) installs the pairwise and group keys the access point holds, and the
// new PTK carries the group-key handshakes that follow.
TYPED_TEST(CckmRoaming, FastHandoffsBringFreshKeysWithoutAHandshake) {
  this->FirstAssociation();
  EXPECT_EQ(Bytes(this->handler_.InstalledPtk().begin(), this->handler_.InstalledPtk().end()), this->ap_->Ptk());
  ASSERT_EQ(this->KeyRequestKey().size(), 16u) << "the key-request key went to the host";

  const air::MacAddress targets[] = {kNextAp, kHighAddress};
  uint32_t rn = 2;
  Bytes previous;
  for (const air::MacAddress& target : targets) {
    SCOPED_TRACE(rn);
    const Bytes request = this->Request(target);
    Bytes forged = request;
    forged[25] ^= 0x01;
    EXPECT_FALSE(this->ap_->CckmReassociate(forged, target));
    EXPECT_EQ(this->ap_->LastError(), "request MIC");
    if (!previous.empty()) {
      EXPECT_FALSE(this->ap_->CckmReassociate(previous, target));
      EXPECT_EQ(this->ap_->LastError(), "stale RN");
    }
    previous = request;
    EXPECT_EQ(request[14] | request[15] << 8 | request[16] << 16 | request[17] << 24, static_cast<int>(rn++));
    const std::optional<Bytes> response = this->ap_->CckmReassociate(request, target);
    ASSERT_TRUE(response) << this->ap_->LastError();  // the access point verified the request MIC
    this->services_.installed.clear();
    ASSERT_TRUE(this->Reassociate(target, request, *response));
    EXPECT_TRUE(this->Traced("CCKM Result: fast handoff successful\n"));
    EXPECT_EQ(Bytes(this->handler_.InstalledPtk().begin(), this->handler_.InstalledPtk().end()), this->ap_->Ptk());
    ASSERT_EQ(this->services_.installed.size(), 2u);
    this->ExpectPairwiseKey(this->services_.installed[0]);
    this->ExpectGroupKey(this->services_.installed[1]);
    EXPECT_TRUE(this->handler_.HandshakeComplete());
    EXPECT_EQ(this->handler_.Cckm().state, 2u);
  }
  EXPECT_EQ(this->services_.cckmResults, (std::vector<uint32_t>{0, 0}));

  this->Exchange(this->ap_->StartGroupRekey());
  EXPECT_TRUE(this->ap_->GroupComplete()) << this->ap_->LastError();
  EXPECT_EQ(this->services_.installed.size(), 3u);
}

// Each faulty response is refused with its trace, installs nothing, and the host hears
// that the fast handoff failed.
TYPED_TEST(CckmRoaming, RefusesAFaultyResponse) {
  struct Case {
    Misbehaviour misbehaviour;
    std::function<void(Bytes&)> damage;
    bool otherStationElement;
    const char* trace;
  };
  const Case cases[] = {
      {Misbehaviour::BadMic, nullptr, false, "CCKM Reassociation Response contains invalid MIC)\n"},
      {Misbehaviour::StaleReplayCounter, nullptr, false, "CCKM Reassociation Response contains invalid RN\n"},
      {Misbehaviour::ZeroLengthGtk, nullptr, false, "CCKM Reassociation Response contains invalid group key length\n"},
      {Misbehaviour::None, [](Bytes& r) { r.resize(29); r[1] = 27; }, false, "CCKM response element too short\n"},
      {Misbehaviour::None, [](Bytes& r) { r[20] += 1; }, false, "CCKM Reassociation Response not long enough for group key\n"},
      {Misbehaviour::None, nullptr, true, "CCKM failure due to supplicant IE mismatch\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trace);
    this->FirstAssociation();
    const Bytes request = this->Request(kNextAp);
    this->ap_->Misbehave(c.misbehaviour);
    Bytes response = *this->ap_->CckmReassociate(request, kNextAp);
    if (c.damage) c.damage(response);
    this->services_.installed.clear();
    this->services_.cckmResults.clear();
    this->trace_.clear();
    EXPECT_FALSE(this->Reassociate(kNextAp, request, response,
                                   c.otherStationElement ? this->StationElement(Cipher::Ccmp) : Bytes()));
    EXPECT_TRUE(this->Traced(c.trace));
    EXPECT_TRUE(this->Traced("CCKM Result: fast handoff failed\n"));
    EXPECT_EQ(this->services_.cckmResults, std::vector<uint32_t>{1});
    EXPECT_TRUE(this->services_.installed.empty());
    EXPECT_TRUE(this->services_.failures.empty());
    EXPECT_EQ(this->handler_.Cckm().state, 0u);
  }
}

TYPED_TEST(CckmRoaming, AResponseWithoutCckmElementOnlyEndsTheHandoff) {
  this->FirstAssociation();
  const Bytes request = this->Request(kNextAp);
  this->services_.installed.clear();
  EXPECT_FALSE(this->Reassociate(kNextAp, request, {}));
  EXPECT_TRUE(this->Traced("CCKM response element not found\n"));
  EXPECT_TRUE(this->services_.cckmResults.empty());
  EXPECT_TRUE(this->services_.failures.empty());
  EXPECT_TRUE(this->services_.installed.empty());
  EXPECT_EQ(this->handler_.Cckm().state, 0u);
}

// The host may place a request of its own, signed with the key-request key: the response
// is checked against that request's RN, and a refusal is reported as a key failure.
TYPED_TEST(CckmRoaming, AResponseToTheHostsOwnRequest) {
  this->FirstAssociation();
  const Bytes element = this->StationElement();
  Bytes request = {156, 24, 0x00, 0x40, 0x96, 0x00};
  request.insert(request.end(), kTimestamp, kTimestamp + 8);
  request.insert(request.end(), {5, 0, 0, 0});
  Bytes signedPart(kLowAddress.begin(), kLowAddress.end());
  signedPart.insert(signedPart.end(), kNextAp.begin(), kNextAp.end());
  signedPart.insert(signedPart.end(), element.begin(), element.end());
  signedPart.insert(signedPart.end(), request.begin() + 6, request.end());
  const Bytes mic = air::HmacMd5(this->KeyRequestKey(), signedPart);
  request.insert(request.end(), mic.begin(), mic.begin() + 8);
  const std::optional<Bytes> response = this->ap_->CckmReassociate(request, kNextAp);
  ASSERT_TRUE(response) << this->ap_->LastError();

  this->services_.installed.clear();
  EXPECT_TRUE(this->Reassociate(kNextAp, request, *response, {}, /*reset=*/false));
  ASSERT_EQ(this->services_.installed.size(), 2u) << "the same group key too, now for the new access point";
  this->ExpectGroupKey(this->services_.installed[1]);
  EXPECT_TRUE(this->services_.cckmResults.empty());

  Bytes zeroRn = request, zeroRnResponse = *response;  // RN 0 on both sides still fails
  std::fill(zeroRn.begin() + 14, zeroRn.begin() + 18, 0);
  std::fill(zeroRnResponse.begin() + 6, zeroRnResponse.begin() + 10, 0);
  EXPECT_FALSE(this->Reassociate(kNextAp, zeroRn, zeroRnResponse, {}, /*reset=*/false));
  EXPECT_TRUE(this->Traced("CCKM Reassociation Response contains invalid RN\n"));
  EXPECT_EQ(this->services_.failures, std::vector<uint32_t>{6});

  EXPECT_FALSE(this->Reassociate(kNextAp, request, *response, {}, /*reset=*/false));  // state 0 now
  EXPECT_TRUE(this->Traced("CCKM Reassociation Response not expected\n"));
  EXPECT_EQ(this->services_.failures, (std::vector<uint32_t>{6, 6}));
}

TYPED_TEST(CckmRoaming, AnAssociationWithoutCckmIgnoresReassociationElements) {
  this->Associate(this->Config());
  const Bytes response = {156, 6, 0x00, 0x40, 0x96, 0x00};
  EXPECT_FALSE(this->handler_.ProcessReassociationIes(response.data(), static_cast<uint32_t>(response.size())));
  EXPECT_TRUE(this->services_.failures.empty());
  EXPECT_TRUE(this->services_.cckmResults.empty());
}

}  // namespace
