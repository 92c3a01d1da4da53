// The RADIUS client and the EAP relay against a scripted server in the test: the wire form
// of an Access-Request, the reply checks in the order a RADIUS client makes them, the
// MS-MPPE key decryption, and retransmission on the virtual clock. The real server is in
// tests/peers (FreeRADIUS).
#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "sim/air/eap_relay.h"
#include "sim/air/radius_crypto.h"

namespace simair {
namespace {

constexpr char kSecret[] = "shared secret";

std::span<const std::uint8_t> BytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(RadiusPacket, ParserRefusesWhatDoesNotFit) {
  struct Case {
    RadiusBytes datagram;
    std::string why;
  };
  RadiusBytes header(20, 0);
  header[3] = 20;
  auto with = [&](std::initializer_list<std::uint8_t> tail, std::uint16_t length) {
    RadiusBytes d = header;
    d.insert(d.end(), tail);
    d[2] = static_cast<std::uint8_t>(length >> 8);
    d[3] = static_cast<std::uint8_t>(length);
    return d;
  };
  const Case cases[] = {
      {RadiusBytes(19, 0), "shorter than the RADIUS header"},
      {with({}, 19), "Length 19 outside 20..4096"},
      {with({}, 4097), "Length 4097 outside 20..4096"},
      {with({}, 21), "Length 21 beyond the 20-byte datagram"},
      {with({1}, 21), "attribute header cut off at byte 20"},
      {with({1, 1}, 22), "attribute 1 of length 1 at byte 20"},
      {with({1, 5, 'x'}, 23), "attribute 1 of length 5 at byte 20"},
  };
  for (const Case& c : cases) {
    std::string why;
    EXPECT_FALSE(ParseRadiusPacket(c.datagram, why));
    EXPECT_EQ(why, c.why);
  }
  // Bytes past the Length are padding.
  std::string why;
  const auto packet = ParseRadiusPacket(with({1, 3, 'x', 0, 0}, 23), why);
  ASSERT_TRUE(packet) << why;
  ASSERT_EQ(packet->attributes.size(), 1u);
  EXPECT_EQ(packet->attributes[0].value, RadiusBytes{'x'});
}

// The server's side, written from RFC 2865, RFC 3579 and RFC 2548.
struct ScriptedServer {
  RadiusPacket request;
  RadiusBytes Parse(std::span<const std::uint8_t> wire) {
    std::string why;
    request = *ParseRadiusPacket(wire, why);
    return RadiusBytes(wire.begin(), wire.end());
  }
  // MS-MPPE key value: Salt, then length | key | padding encrypted with MD5 blocks.
  RadiusBytes EncryptKey(const RadiusBytes& key, std::uint8_t saltHigh = 0x80) const {
    RadiusBytes plain = {static_cast<std::uint8_t>(key.size())};
    plain.insert(plain.end(), key.begin(), key.end());
    plain.resize((plain.size() + 15) / 16 * 16, 0);
    RadiusBytes value = {saltHigh, 0x23};
    for (std::size_t block = 0; block < plain.size(); block += 16) {
      const Md5Digest b =
          block == 0 ? Md5Of({BytesOf(kSecret), request.authenticator,
                              std::span(value).first(2)})
                     : Md5Of({BytesOf(kSecret), std::span(value).subspan(2 + block - 16, 16)});
      for (std::size_t i = 0; i < 16; ++i) value.push_back(plain[block + i] ^ b[i]);
    }
    return value;
  }
  RadiusBytes Microsoft(std::uint8_t type, const RadiusBytes& value) const {
    RadiusBytes vsa = {0, 0, 0x01, 0x37, type, static_cast<std::uint8_t>(value.size() + 2)};
    vsa.insert(vsa.end(), value.begin(), value.end());
    return vsa;
  }
  // A signed reply; `tamper` may change the packet before it is signed, `after` after.
  RadiusBytes Reply(RadiusCode code, std::span<const std::uint8_t> eap,
                    std::function<void(RadiusPacket&)> tamper = {},
                    std::function<void(RadiusBytes&)> after = {}) const {
    RadiusPacket reply;
    reply.code = code;
    reply.identifier = request.identifier;
    reply.authenticator = request.authenticator;
    reply.AddEapMessage(eap);
    if (code == RadiusCode::AccessChallenge) reply.Add(radius_attribute::kState, std::string("st"));
    if (code == RadiusCode::AccessAccept) {
      reply.Add(radius_attribute::kVendorSpecific, Microsoft(kMsMppeRecvKey, EncryptKey(RadiusBytes(32, 0xa1))));
      reply.Add(radius_attribute::kVendorSpecific, Microsoft(kMsMppeSendKey, EncryptKey(RadiusBytes(32, 0xb2))));
    }
    reply.Add(radius_attribute::kMessageAuthenticator, std::array<std::uint8_t, 16>{});
    if (tamper) tamper(reply);
    RadiusBytes wire = EncodeRadiusPacket(reply);
    for (std::size_t at = 20; at + 18 <= wire.size(); at += wire[at + 1]) {
      if (wire[at] == radius_attribute::kMessageAuthenticator) {
        const Md5Digest mac = HmacMd5Of(kSecret, wire);
        std::copy(mac.begin(), mac.end(), wire.begin() + at + 2);
        break;
      }
    }
    const Md5Digest response = Md5Of({wire, BytesOf(kSecret)});
    std::copy(response.begin(), response.end(), wire.begin() + 4);
    if (after) after(wire);
    return wire;
  }
};

class EapRelayTest : public ::testing::Test {
 protected:
  EapRelayTest()
      : relay_(scheduler_, client_,
               {.accessPoint = {2, 0x5a, 0x4c, 0, 0, 5}, .station = {0, 0x1e, 0x4d, 0x2d, 0x17, 1},
                .ssid = "Zelnet Corp"},
               {[this](const RadiusBytes& f) { toStation_.push_back(f); },
                [this](std::span<const std::uint8_t> d) { toServer_.push_back(server_.Parse(d)); },
                [this](std::span<const std::uint8_t> pmk) { pmk_.assign(pmk.begin(), pmk.end()); }}) {}

  // Start, identity "alice", and the Access-Request that carries it.
  void StartWithIdentity() {
    relay_.Start();
    ASSERT_EQ(toStation_.back(), (RadiusBytes{2, 0, 0, 5, 1, 1, 0, 5, 1}));
    relay_.ReceiveEapol(RadiusBytes{2, 0, 0, 10, 2, 1, 0, 10, 1, 'a', 'l', 'i', 'c', 'e'});
    ASSERT_EQ(toServer_.size(), 1u) << relay_.LastError();
  }

  ndis::Scheduler scheduler_;
  RadiusClient client_{{Secret(kSecret)}};
  ScriptedServer server_;
  std::vector<RadiusBytes> toStation_;
  std::vector<RadiusBytes> toServer_;
  RadiusBytes pmk_;
  EapRelay relay_;
};

TEST_F(EapRelayTest, AccessRequestCarriesTheStationAndSignsItself) {
  StartWithIdentity();
  const RadiusPacket& request = server_.request;
  EXPECT_EQ(request.code, RadiusCode::AccessRequest);
  EXPECT_EQ(request.Find(radius_attribute::kUserName)->value, RadiusBytes(BytesOf("alice").begin(), BytesOf("alice").end()));
  const std::string called(request.Find(radius_attribute::kCalledStationId)->value.begin(),
                           request.Find(radius_attribute::kCalledStationId)->value.end());
  EXPECT_EQ(called, "02-5A-4C-00-00-05:Zelnet Corp");
  EXPECT_EQ(request.Find(radius_attribute::kCallingStationId)->value.size(), 17u);
  EXPECT_EQ(request.Find(radius_attribute::kNasPortType)->value, (RadiusBytes{0, 0, 0, 19}));
  // Message-Authenticator = HMAC-MD5 over the request with the attribute zero.
  RadiusBytes zeroed = toServer_[0];
  const std::size_t at = zeroed.size() - 16;
  ASSERT_EQ(zeroed[at - 2], radius_attribute::kMessageAuthenticator);
  std::fill(zeroed.begin() + at, zeroed.end(), 0);
  const Md5Digest mac = HmacMd5Of(kSecret, zeroed);
  EXPECT_TRUE(std::equal(mac.begin(), mac.end(), toServer_[0].begin() + at));

  // A 600-byte EAP response travels in EAP-Message attributes of 253, 253 and 94 bytes,
  // with the challenge's State.
  const RadiusBytes request2 = {1, 2, 0, 6, 25, 0x20};
  relay_.ReceiveRadius(server_.Reply(RadiusCode::AccessChallenge, request2));
  ASSERT_EQ(toStation_.back(), (RadiusBytes{2, 0, 0, 6, 1, 2, 0, 6, 25, 0x20})) << relay_.LastError();
  RadiusBytes big(600, 0x55);
  big[0] = 2, big[1] = 2, big[2] = 600 >> 8, big[3] = 600 & 0xff;
  RadiusBytes frame = {2, 0, 600 >> 8, 600 & 0xff};
  frame.insert(frame.end(), big.begin(), big.end());
  relay_.ReceiveEapol(frame);
  ASSERT_EQ(toServer_.size(), 2u) << relay_.LastError();
  std::vector<std::size_t> pieces;
  for (const auto& a : server_.request.attributes) {
    if (a.type == radius_attribute::kEapMessage) pieces.push_back(a.value.size());
  }
  EXPECT_EQ(pieces, (std::vector<std::size_t>{253, 253, 94}));
  EXPECT_EQ(server_.request.JoinedEapMessage(), big);
  EXPECT_EQ(server_.request.Find(radius_attribute::kState)->value, (RadiusBytes{'s', 't'}));
}

TEST_F(EapRelayTest, AcceptHandsOverThePmkFromTheRecvKey) {
  StartWithIdentity();
  relay_.ReceiveRadius(server_.Reply(RadiusCode::AccessAccept, RadiusBytes{3, 1, 0, 4}));
  EXPECT_EQ(relay_.state(), EapRelay::State::Authenticated) << relay_.LastError();
  EXPECT_EQ(toStation_.back(), (RadiusBytes{2, 0, 0, 4, 3, 1, 0, 4}));
  EXPECT_EQ(pmk_, RadiusBytes(32, 0xa1));
}

TEST_F(EapRelayTest, RepliesThatDoNotCheckOutAreDropped) {
  struct Case {
    const char* name;
    RadiusCode code;
    std::function<void(RadiusPacket&)> tamper;
    std::function<void(RadiusBytes&)> after;
    std::string why;
  };
  const Case cases[] = {
      {"flipped attribute byte", RadiusCode::AccessAccept, {},
       [](RadiusBytes& w) { w[22] ^= 1; }, "bad Response Authenticator"},
      {"other identifier", RadiusCode::AccessAccept, [](RadiusPacket& p) { ++p.identifier; }, {},
       "answers no request"},
      {"EAP without Message-Authenticator", RadiusCode::AccessChallenge,
       [](RadiusPacket& p) { p.attributes.pop_back(); }, {},
       "EAP-Message without Message-Authenticator"},
      {"wrong Message-Authenticator", RadiusCode::AccessAccept,
       [](RadiusPacket& p) { p.attributes.back().value[0] = 1; }, {}, "bad Message-Authenticator"},
      {"salt without its high bit", RadiusCode::AccessAccept,
       [&](RadiusPacket& p) {
         p.attributes[1].value = server_.Microsoft(kMsMppeRecvKey, server_.EncryptKey(RadiusBytes(32, 1), 0x00));
       },
       {}, "MS-MPPE key that does not decrypt"},
      {"an Access-Request", RadiusCode::AccessRequest, {}, {}, "code 1 is no reply"},
  };
  StartWithIdentity();
  for (const Case& c : cases) {
    const std::size_t sent = toStation_.size();
    relay_.ReceiveRadius(server_.Reply(c.code, RadiusBytes{3, 1, 0, 4}, c.tamper, c.after));
    const std::string& error = relay_.LastError();
    EXPECT_TRUE(error.ends_with(c.why)) << c.name << ": " << error;
    EXPECT_EQ(toStation_.size(), sent) << c.name;
    EXPECT_EQ(relay_.state(), EapRelay::State::Relaying) << c.name;
  }
  // The genuine reply still counts.
  relay_.ReceiveRadius(server_.Reply(RadiusCode::AccessAccept, RadiusBytes{3, 1, 0, 4}));
  EXPECT_EQ(relay_.state(), EapRelay::State::Authenticated) << relay_.LastError();
}

TEST_F(EapRelayTest, SilentServerGetsTheSameRequestAgainThenTheStationFails) {
  StartWithIdentity();
  scheduler_.runFor(std::chrono::milliseconds(2999));
  EXPECT_EQ(toServer_.size(), 1u);
  scheduler_.runFor(std::chrono::seconds(3 * 3));  // resent at 3, 6 and 9 s
  ASSERT_EQ(toServer_.size(), 4u);
  EXPECT_EQ(relay_.state(), EapRelay::State::Relaying);
  scheduler_.runFor(std::chrono::seconds(1));  // the last wait ends at 12 s
  for (const RadiusBytes& again : toServer_) EXPECT_EQ(again, toServer_[0]);
  EXPECT_EQ(relay_.state(), EapRelay::State::Failed);
  EXPECT_EQ(relay_.LastError(), "RADIUS server silent after 3 retransmissions");
  EXPECT_EQ(toStation_.back(), (RadiusBytes{2, 0, 0, 4, 4, 1, 0, 4}));
  // A reply after giving up changes nothing.
  relay_.ReceiveRadius(server_.Reply(RadiusCode::AccessAccept, RadiusBytes{3, 1, 0, 4}));
  EXPECT_TRUE(pmk_.empty());
}

TEST_F(EapRelayTest, AnIdentityNoAccessRequestCanCarryIsDroppedAndTheRequestStands) {
  relay_.Start();
  const std::string name(300, 'a');  // User-Name holds at most 253 bytes
  RadiusBytes eapol = {2, 0, 0, 0, 2, 1, 0, 0, 1};
  eapol.insert(eapol.end(), name.begin(), name.end());
  const auto eapLength = static_cast<std::uint16_t>(eapol.size() - 4);
  eapol[2] = eapol[6] = static_cast<std::uint8_t>(eapLength >> 8);
  eapol[3] = eapol[7] = static_cast<std::uint8_t>(eapLength);
  relay_.ReceiveEapol(eapol);
  EXPECT_EQ(relay_.LastError(), "EAP response too long for an Access-Request");
  EXPECT_TRUE(toServer_.empty());
  EXPECT_EQ(relay_.state(), EapRelay::State::AwaitingIdentity);
  // The same request answered with a name that fits goes on.
  relay_.ReceiveEapol(RadiusBytes{2, 0, 0, 10, 2, 1, 0, 10, 1, 'a', 'l', 'i', 'c', 'e'});
  ASSERT_EQ(toServer_.size(), 1u) << relay_.LastError();
  EXPECT_EQ(relay_.UserName(), "alice");
}

TEST_F(EapRelayTest, RejectEndsWithTheServersEapFailure) {
  StartWithIdentity();
  relay_.ReceiveRadius(server_.Reply(RadiusCode::AccessReject, RadiusBytes{4, 1, 0, 4}));
  EXPECT_EQ(relay_.state(), EapRelay::State::Failed);
  EXPECT_EQ(toStation_.back(), (RadiusBytes{2, 0, 0, 4, 4, 1, 0, 4}));
  EXPECT_TRUE(pmk_.empty());
}

}  // namespace
}  // namespace simair
