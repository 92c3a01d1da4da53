#include "sim/air/authenticator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

namespace air {
namespace {

Bytes Hex(const std::string& hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

uint16_t KeyInfo(const Bytes& f) { return static_cast<uint16_t>(f[5] << 8 | f[6]); }
uint64_t Counter(const Bytes& f) {
  uint64_t v = 0;
  for (int i = 9; i < 17; ++i) v = v << 8 | f[i];
  return v;
}
size_t KeyDataLength(const Bytes& f) { return static_cast<size_t>(f[97] << 8 | f[98]); }
Bytes Nonce(const Bytes& f) { return Bytes(f.begin() + 17, f.begin() + 49); }

TEST(AuthenticatorCrypto, KnownAnswers) {
  EXPECT_EQ(Prf(Bytes(20, 0x0b), "prefix", Text("Hi There"), 64),
            Hex("bcd4c650b30b9684951829e0d75f9d54b862175ed9f00606e17d8da35402ffee"
                "75df78c3d31e0f889f012120c0862beb67753e7439ae242edb8373698356cf5a"));
  EXPECT_EQ(PskFromPassphrase("password", "IEEE"),
            Hex("f42c6fc52df0ebef9ebb4b90b38a5f902e83fe1b135a70e23aed762e9710a12e"));
  Bytes kek = Hex("000102030405060708090A0B0C0D0E0F");
  Bytes wrapped = AesKeyWrap(kek.data(), Hex("00112233445566778899AABBCCDDEEFF"));
  EXPECT_EQ(wrapped, Hex("1FA68B0A8112B447AEF34BD8FB5A7B829D3E862371D2CFE5"));
  EXPECT_EQ(AesKeyUnwrap(kek.data(), wrapped), Hex("00112233445566778899AABBCCDDEEFF"));
  wrapped[0] ^= 1;
  EXPECT_TRUE(AesKeyUnwrap(kek.data(), wrapped).empty());
  // RC4 with 256 keystream bytes skipped is its own inverse.
  Bytes iv(16, 7), plain = Text("group key bytes");
  EXPECT_EQ(Rc4Skip256(iv.data(), kek.data(), Rc4Skip256(iv.data(), kek.data(), plain)), plain);
}

// A station written out step by step in the test, over the same OpenSSL helpers, to drive
// the authenticator and read what it sends.
struct ScriptedStation {
  explicit ScriptedStation(const AuthenticatorConfig& c) : config(c) {}
  const AuthenticatorConfig& config;
  Bytes snonce = Bytes(32, 0x5A);
  Bytes ptk;

  int Version() const { return config.pairwise == Cipher::Ccmp ? 2 : 1; }

  Bytes Frame(uint16_t info, uint64_t counter, const Bytes& nonce, const Bytes& keyData) const {
    Bytes f(99 + keyData.size(), 0);
    f[0] = 1;
    f[1] = 3;
    f[2] = static_cast<uint8_t>((f.size() - 4) >> 8);
    f[3] = static_cast<uint8_t>(f.size() - 4);
    f[4] = config.protocol == KeyProtocol::Rsn ? 2 : 254;
    f[5] = static_cast<uint8_t>(info >> 8);
    f[6] = static_cast<uint8_t>(info);
    for (int i = 0; i < 8; ++i) f[16 - i] = static_cast<uint8_t>(counter >> (8 * i));
    std::copy(nonce.begin(), nonce.end(), f.begin() + 17);
    f[97] = static_cast<uint8_t>(keyData.size() >> 8);
    f[98] = static_cast<uint8_t>(keyData.size());
    std::copy(keyData.begin(), keyData.end(), f.begin() + 99);
    Bytes mic = EapolMic(Version(), ptk.data(), f.data(), f.size());
    std::copy(mic.begin(), mic.end(), f.begin() + 81);
    return f;
  }

  Bytes Message2(const Bytes& message1) {
    Bytes data;
    const auto& aa = config.authenticatorAddress;
    const auto& spa = config.supplicantAddress;
    bool aaFirst = std::lexicographical_compare(aa.begin(), aa.end(), spa.begin(), spa.end());
    Bytes anonce = Nonce(message1);
    data.insert(data.end(), (aaFirst ? aa : spa).begin(), (aaFirst ? aa : spa).end());
    data.insert(data.end(), (aaFirst ? spa : aa).begin(), (aaFirst ? spa : aa).end());
    bool anFirst = anonce < snonce;
    data.insert(data.end(), (anFirst ? anonce : snonce).begin(), (anFirst ? anonce : snonce).end());
    data.insert(data.end(), (anFirst ? snonce : anonce).begin(), (anFirst ? snonce : anonce).end());
    ptk = Prf(config.pmk, "Pairwise key expansion", data, 64);
    return Frame(static_cast<uint16_t>(Version() | 0x0108), Counter(message1), snonce,
                 BuildElement(config.protocol, config.pairwise, config.group));
  }

  bool MicValid(Bytes f) const {
    Bytes mic(f.begin() + 81, f.begin() + 97);
    std::fill(f.begin() + 81, f.begin() + 97, 0);
    return EapolMic(Version(), ptk.data(), f.data(), f.size()) == mic;
  }

  Bytes KeyData(const Bytes& f) const {
    Bytes data(f.begin() + 99, f.end());
    // WPA encrypts only the group key; RSN says so with the Encrypted Key Data bit.
    bool encrypted = config.protocol == KeyProtocol::Rsn ? (KeyInfo(f) & 0x1000) != 0
                                                         : (KeyInfo(f) & 0x0008) == 0;
    if (!encrypted) return data;
    if (Version() == 2) return AesKeyUnwrap(ptk.data() + 16, data);
    return Rc4Skip256(&f[49], ptk.data() + 16, data);
  }
};

AuthenticatorConfig Config(KeyProtocol protocol, Cipher pairwise, Cipher group) {
  AuthenticatorConfig c;
  c.protocol = protocol;
  c.pairwise = pairwise;
  c.group = group;
  c.authenticatorAddress = {0x00, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
  c.supplicantAddress = {0x00, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};
  c.pmk = PskFromPassphrase("correct horse", "zelnet");
  c.supplicantElement = BuildElement(protocol, pairwise, group);
  c.groupRsc = {1, 2, 3, 4, 5, 6, 0, 0};
  return c;
}

struct Suite {
  KeyProtocol protocol;
  Cipher pairwise, group;
};

std::string SuiteName(const testing::TestParamInfo<Suite>& info) {
  auto name = [](Cipher c) {
    switch (c) {
      case Cipher::Wep40: return "Wep40";
      case Cipher::Wep104: return "Wep104";
      case Cipher::Tkip: return "Tkip";
      case Cipher::Ccmp: return "Ccmp";
    }
    return "";
  };
  return std::string(info.param.protocol == KeyProtocol::Rsn ? "Rsn" : "Wpa") +
         name(info.param.pairwise) + name(info.param.group);
}

class AuthenticatorHandshake : public testing::TestWithParam<Suite> {};

TEST_P(AuthenticatorHandshake, DeliversMatchingKeysToAStation) {
  AuthenticatorConfig config = Config(GetParam().protocol, GetParam().pairwise, GetParam().group);
  PskAuthenticator ap(config);
  ScriptedStation sta(config);
  bool rsn = config.protocol == KeyProtocol::Rsn;

  Bytes m1 = ap.StartHandshake();
  EXPECT_EQ(KeyInfo(m1), sta.Version() | 0x0088);
  std::optional<Bytes> m3 = ap.Receive(sta.Message2(m1));
  ASSERT_TRUE(m3) << ap.LastError();
  EXPECT_EQ(sta.ptk, ap.Ptk());
  EXPECT_EQ(Counter(*m3), Counter(m1) + 1);
  EXPECT_EQ(Nonce(*m3), ap.ANonce());
  EXPECT_TRUE(sta.MicValid(*m3));
  Bytes keyData = sta.KeyData(*m3);
  Bytes element = config.supplicantElement;  // the same suites on both sides here
  ASSERT_GE(keyData.size(), element.size());
  EXPECT_TRUE(std::equal(element.begin(), element.end(), keyData.begin()));
  if (rsn) {  // the GTK KDE follows the element
    const uint8_t* kde = keyData.data() + element.size();
    EXPECT_EQ(Bytes(kde, kde + 8), Bytes({0xDD, static_cast<uint8_t>(6 + ap.Gtk().size()), 0x00,
                                          0x0F, 0xAC, 0x01, ap.GtkIndex(), 0}));
    EXPECT_EQ(Bytes(kde + 8, kde + 8 + ap.Gtk().size()), ap.Gtk());
    EXPECT_EQ(KeyInfo(*m3) & 0x1240, 0x1240);  // encrypted, secure, install
  }

  std::optional<Bytes> afterM4 = ap.Receive(sta.Frame(static_cast<uint16_t>(sta.Version() | 0x0308), Counter(*m3), {}, {}));
  EXPECT_TRUE(ap.PairwiseComplete()) << ap.LastError();
  EXPECT_EQ(afterM4.has_value(), !rsn);  // WPA delivers the GTK in its own handshake
  EXPECT_EQ(ap.GroupComplete(), rsn);

  Bytes g1 = afterM4 ? *afterM4 : ap.StartGroupRekey();
  EXPECT_TRUE(sta.MicValid(g1));
  Bytes gtk = sta.KeyData(g1);
  if (rsn) gtk = Bytes(gtk.begin() + 8, gtk.begin() + 8 + static_cast<long>(KeyLengthOf(config.group)));
  else gtk.resize(KeyLengthOf(config.group));
  EXPECT_EQ(gtk, ap.Gtk());
  ap.Receive(sta.Frame(static_cast<uint16_t>((KeyInfo(g1) & 0x0237) | 0x0100), Counter(g1), {}, {}));
  EXPECT_TRUE(ap.GroupComplete()) << ap.LastError();
}

INSTANTIATE_TEST_SUITE_P(Suites, AuthenticatorHandshake,
                         testing::Values(Suite{KeyProtocol::Rsn, Cipher::Ccmp, Cipher::Ccmp},
                                         Suite{KeyProtocol::Rsn, Cipher::Tkip, Cipher::Tkip},
                                         Suite{KeyProtocol::Wpa, Cipher::Tkip, Cipher::Tkip},
                                         Suite{KeyProtocol::Wpa, Cipher::Ccmp, Cipher::Wep104}),
                         SuiteName);

TEST(Authenticator, RefusesAForgedOrStaleMessage2) {
  AuthenticatorConfig config = Config(KeyProtocol::Rsn, Cipher::Ccmp, Cipher::Ccmp);
  PskAuthenticator ap(config);
  ScriptedStation sta(config);
  Bytes m1 = ap.StartHandshake();
  Bytes m2 = sta.Message2(m1);
  Bytes forged = m2;
  forged[90] ^= 0x80;
  EXPECT_FALSE(ap.Receive(forged));
  EXPECT_EQ(ap.LastError(), "message 2 MIC");
  Bytes retransmitted = ap.Retransmit();  // the station now has to answer the new counter
  EXPECT_FALSE(ap.Receive(m2));
  EXPECT_EQ(ap.LastError(), "replay counter differs from the last message");
  EXPECT_TRUE(ap.Receive(sta.Message2(retransmitted)));
}

// What each misbehaviour does to message 3.
TEST(Authenticator, MisbehavesInMessage3AsAsked) {
  struct Case {
    Misbehaviour misbehaviour;
    std::function<bool(const Bytes& m1, const Bytes& m3, const ScriptedStation&)> shows;
  };
  const Case cases[] = {
      {Misbehaviour::ChangeANonce, [](auto& m1, auto& m3, auto&) { return Nonce(m1) != Nonce(m3); }},
      {Misbehaviour::BadMic, [](auto&, auto& m3, auto& sta) { return !sta.MicValid(m3); }},
      {Misbehaviour::StaleReplayCounter, [](auto& m1, auto& m3, auto&) { return Counter(m3) == Counter(m1); }},
      {Misbehaviour::OversizedKeyDataLength, [](auto&, auto& m3, auto&) { return KeyDataLength(m3) > m3.size() - 99; }},
      {Misbehaviour::UnencryptedGtk, [](auto&, auto& m3, auto&) { return !(KeyInfo(m3) & 0x1000) && m3[99] == 48; }},
      {Misbehaviour::ZeroLengthGtk, [](auto&, auto& m3, auto& sta) { Bytes d = sta.KeyData(m3); return d[22] == 0xDD && d[23] == 6; }},
      {Misbehaviour::ModifiedElement, [](auto&, auto& m3, auto& sta) {
         Bytes d = sta.KeyData(m3);
         Bytes e = sta.config.supplicantElement;
         return d[1] == e[1] && !std::equal(e.begin(), e.end(), d.begin()); }},
  };
  for (const Case& c : cases) {
    AuthenticatorConfig config = Config(KeyProtocol::Rsn, Cipher::Ccmp, Cipher::Ccmp);
    PskAuthenticator ap(config);
    ScriptedStation sta(config);
    Bytes m1 = ap.StartHandshake();
    ap.Misbehave(c.misbehaviour);
    std::optional<Bytes> m3 = ap.Receive(sta.Message2(m1));
    ASSERT_TRUE(m3);
    EXPECT_TRUE(c.shows(m1, *m3, sta)) << static_cast<int>(c.misbehaviour);
  }
}

TEST(Authenticator, DroppedMessage4IsAnsweredByARetransmittedMessage3) {
  AuthenticatorConfig config = Config(KeyProtocol::Rsn, Cipher::Ccmp, Cipher::Ccmp);
  PskAuthenticator ap(config);
  ScriptedStation sta(config);
  Bytes m3 = *ap.Receive(sta.Message2(ap.StartHandshake()));
  ap.Misbehave(Misbehaviour::DropMessage4);
  EXPECT_FALSE(ap.Receive(sta.Frame(0x030A, Counter(m3), {}, {})));
  EXPECT_FALSE(ap.PairwiseComplete());
  Bytes again = ap.Retransmit();
  EXPECT_EQ(Counter(again), Counter(m3) + 1);
  EXPECT_EQ(Nonce(again), Nonce(m3));
  ap.Receive(sta.Frame(0x030A, Counter(again), {}, {}));
  EXPECT_TRUE(ap.PairwiseComplete()) << ap.LastError();
}

TEST(Authenticator, GroupRekeyCanReuseTheKeyOrDrawANewOne) {
  AuthenticatorConfig config = Config(KeyProtocol::Rsn, Cipher::Ccmp, Cipher::Ccmp);
  PskAuthenticator ap(config);
  ScriptedStation sta(config);
  Bytes m3 = *ap.Receive(sta.Message2(ap.StartHandshake()));
  ap.Receive(sta.Frame(0x030A, Counter(m3), {}, {}));
  Bytes first = ap.Gtk();
  uint8_t index = ap.GtkIndex();
  ap.StartGroupRekey(false);
  EXPECT_EQ(ap.Gtk(), first);
  EXPECT_EQ(ap.GtkIndex(), index);
  ap.StartGroupRekey(true);
  EXPECT_NE(ap.Gtk(), first);
  EXPECT_NE(ap.GtkIndex(), index);
}

}  // namespace
}  // namespace air

namespace air {
namespace {

// WPA's group key travels alone in the group message: what each group misbehaviour does.
TEST(Authenticator, MisbehavesInTheWpaGroupMessageAsAsked) {
  AuthenticatorConfig config = Config(KeyProtocol::Wpa, Cipher::Tkip, Cipher::Tkip);
  config.groupKeyIndex = 2;
  config.groupKeyTransmit = true;
  PskAuthenticator ap(config);
  ScriptedStation sta(config);
  Bytes m3 = *ap.Receive(sta.Message2(ap.StartHandshake()));
  Bytes g1 = *ap.Receive(sta.Frame(0x0109, Counter(m3), {}, {}));
  EXPECT_EQ(KeyInfo(g1) & 0x1078, 0x0060) << "index 2 and Install in Key Information, never Encrypted";

  ap.Misbehave(Misbehaviour::ZeroLengthGtk);
  Bytes empty = ap.StartGroupRekey();
  EXPECT_EQ(empty[7] << 8 | empty[8], 0) << "Key Length";
  EXPECT_EQ(KeyDataLength(empty), 0u);

  ap.Misbehave(Misbehaviour::UnencryptedGtk);
  Bytes clear = ap.StartGroupRekey();
  EXPECT_EQ(Bytes(clear.begin() + 99, clear.end()), ap.Gtk());
}

TEST(Authenticator, NamesThePmksaInMessage1WhenAsked) {
  AuthenticatorConfig config = Config(KeyProtocol::Rsn, Cipher::Ccmp, Cipher::Ccmp);
  config.pmkidInMessage1 = true;
  PskAuthenticator ap(config);
  Bytes m1 = ap.StartHandshake();
  ASSERT_EQ(KeyDataLength(m1), 22u);
  EXPECT_EQ(Bytes(m1.begin() + 99, m1.begin() + 105), Bytes({0xDD, 0x14, 0x00, 0x0F, 0xAC, 0x04}));
  EXPECT_EQ(Bytes(m1.begin() + 105, m1.end()),
            Pmkid(config.pmk, config.authenticatorAddress.data(), config.supplicantAddress.data()));
}

}  // namespace
}  // namespace air
