#include "sim/air/authenticator.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace air {
namespace {

// EAPOL-Key frame offsets (from the 802.1X header) and Key Information bits.
constexpr size_t kDescriptorType = 4, kKeyInfo = 5, kKeyLength = 7, kReplayCounter = 9,
                 kNonce = 17, kIv = 49, kRsc = 65, kMic = 81, kKeyDataLength = 97,
                 kKeyData = 99;
constexpr uint16_t kPairwise = 0x0008, kInstall = 0x0040, kAck = 0x0080, kMicBit = 0x0100,
                   kSecure = 0x0200, kRequest = 0x0800, kEncrypted = 0x1000;
constexpr uint8_t kRsnDescriptor = 2, kWpaDescriptor = 254;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
uint64_t Get64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = v << 8 | p[i];
  return v;
}
void Put64(uint8_t* p, uint64_t v) {
  for (int i = 7; i >= 0; --i, v >>= 8) p[i] = static_cast<uint8_t>(v);
}

void PutLittle32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint32_t GetLittle32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void AppendSuite(Bytes& out, KeyProtocol protocol, uint8_t type) {
  if (protocol == KeyProtocol::Rsn)
    out.insert(out.end(), {0x00, 0x0F, 0xAC, type});
  else
    out.insert(out.end(), {0x00, 0x50, 0xF2, type});
}

// min(a, b) | max(a, b) as unsigned byte strings.
void AppendOrdered(Bytes& out, const uint8_t* a, const uint8_t* b, size_t length) {
  bool aFirst = std::lexicographical_compare(a, a + length, b, b + length);
  const uint8_t* first = aFirst ? a : b;
  const uint8_t* second = aFirst ? b : a;
  out.insert(out.end(), first, first + length);
  out.insert(out.end(), second, second + length);
}

}  // namespace

Bytes BuildElement(KeyProtocol protocol, Cipher pairwise, Cipher group, Akm akm) {
  Bytes e;
  if (protocol == KeyProtocol::Rsn) {
    e = {48, 0, 0x01, 0x00};
  } else {
    e = {221, 0, 0x00, 0x50, 0xF2, 0x01, 0x01, 0x00};
  }
  AppendSuite(e, protocol, static_cast<uint8_t>(group));
  e.insert(e.end(), {0x01, 0x00});
  AppendSuite(e, protocol, static_cast<uint8_t>(pairwise));
  e.insert(e.end(), {0x01, 0x00});
  if (akm == Akm::Cckm)
    e.insert(e.end(), {0x00, 0x40, 0x96, 0x00});
  else
    AppendSuite(e, protocol, static_cast<uint8_t>(akm));
  if (protocol == KeyProtocol::Rsn) e.insert(e.end(), {0x00, 0x00});  // capabilities
  e[1] = static_cast<uint8_t>(e.size() - 2);
  return e;
}

size_t KeyLengthOf(Cipher cipher) {
  switch (cipher) {
    case Cipher::Wep40: return 5;
    case Cipher::Wep104: return 13;
    case Cipher::Tkip: return 32;
    case Cipher::Ccmp: return 16;
  }
  return 0;
}

PskAuthenticator::PskAuthenticator(AuthenticatorConfig config)
    : config_(std::move(config)), replayCounter_(config_.firstReplayCounter - 1) {
  if (config_.pmk.size() != 32) throw std::invalid_argument("the PMK must have 32 bytes");
  if (config_.authenticatorElement.empty())
    config_.authenticatorElement = BuildElement(config_.protocol, config_.pairwise, config_.group);
  keyIvCounter_ = Get64(RandomBytes(8).data());
}

PskAuthenticator::~PskAuthenticator() {
  Wipe(config_.pmk);
  Wipe(ptk_);
  Wipe(btk_);
  Wipe(gtk_);
}

int PskAuthenticator::DescriptorVersion() const {
  return config_.pairwise == Cipher::Ccmp ? 2 : 1;
}

uint8_t PskAuthenticator::DescriptorType() const {
  return config_.protocol == KeyProtocol::Rsn ? kRsnDescriptor : kWpaDescriptor;
}

bool PskAuthenticator::TakeMisbehaviour(Misbehaviour m) {
  if (misbehaviour_ != m) return false;
  misbehaviour_ = Misbehaviour::None;
  return true;
}

uint64_t PskAuthenticator::NextReplayCounter() {
  if (!TakeMisbehaviour(Misbehaviour::StaleReplayCounter)) ++replayCounter_;
  return replayCounter_;
}

Bytes PskAuthenticator::TemporalKey() const {
  if (ptk_.size() < 32 + KeyLengthOf(config_.pairwise)) return {};
  return Bytes(ptk_.begin() + 32, ptk_.begin() + 32 + KeyLengthOf(config_.pairwise));
}

void PskAuthenticator::NewGtk() {
  Wipe(gtk_);
  gtk_ = RandomBytes(KeyLengthOf(config_.group));
  gtkIndex_ = gtkIndex_ == 0 ? config_.groupKeyIndex : static_cast<uint8_t>(gtkIndex_ == 1 ? 2 : 1);
}

Bytes PskAuthenticator::StartHandshake() {
  anonce_ = RandomBytes(32);
  snonce_.clear();
  Wipe(ptk_);
  pairwiseComplete_ = false;
  groupComplete_ = false;
  if (gtk_.empty()) NewGtk();
  sent_ = Sent::Message1;
  return BuildMessage1();
}

Bytes PskAuthenticator::StartGroupRekey(bool newKey) {
  if (!pairwiseComplete_) throw std::logic_error("group rekey before the 4-way handshake");
  if (newKey) NewGtk();
  groupComplete_ = false;
  sent_ = Sent::GroupMessage1;
  return BuildGroupMessage1();
}

Bytes PskAuthenticator::Retransmit() {
  switch (sent_) {
    case Sent::Message1: return BuildMessage1();
    case Sent::Message3: return BuildMessage3();
    case Sent::GroupMessage1: return BuildGroupMessage1();
    case Sent::Nothing: break;
  }
  throw std::logic_error("nothing to retransmit");
}

Bytes PskAuthenticator::BuildFrame(uint16_t keyInfo, uint16_t keyLength, const Bytes& nonce,
                                   const Bytes& iv, const std::array<uint8_t, 8>& rsc,
                                   const Bytes& keyData) {
  Bytes f(kKeyData + keyData.size(), 0);
  f[0] = config_.eapolVersion;
  f[1] = 3;  // EAPOL-Key
  Put16(&f[2], static_cast<uint16_t>(f.size() - 4));
  f[kDescriptorType] = DescriptorType();
  Put16(&f[kKeyInfo], keyInfo);
  Put16(&f[kKeyLength], keyLength);
  Put64(&f[kReplayCounter], NextReplayCounter());
  if (!nonce.empty()) std::copy(nonce.begin(), nonce.end(), f.begin() + kNonce);
  if (!iv.empty()) std::copy(iv.begin(), iv.end(), f.begin() + kIv);
  std::memcpy(&f[kRsc], rsc.data(), rsc.size());
  uint16_t dataLength = static_cast<uint16_t>(keyData.size());
  if (TakeMisbehaviour(Misbehaviour::OversizedKeyDataLength)) dataLength += 100;
  Put16(&f[kKeyDataLength], dataLength);
  std::copy(keyData.begin(), keyData.end(), f.begin() + kKeyData);
  if (keyInfo & kMicBit) {
    Bytes mic = EapolMic(DescriptorVersion(), ptk_.data(), f.data(), f.size());
    std::copy(mic.begin(), mic.end(), f.begin() + kMic);
    if (TakeMisbehaviour(Misbehaviour::BadMic)) f[kMic] ^= 0x01;
  }
  return f;
}

Bytes PskAuthenticator::BuildMessage1() {
  uint16_t info = static_cast<uint16_t>(DescriptorVersion() | kPairwise | kAck);
  Bytes keyData;
  if (config_.pmkidInMessage1 && config_.protocol == KeyProtocol::Rsn) {
    keyData = {0xDD, 0x14, 0x00, 0x0F, 0xAC, 0x04};
    Bytes pmkid = Pmkid(config_.pmk, config_.authenticatorAddress.data(), config_.supplicantAddress.data());
    keyData.insert(keyData.end(), pmkid.begin(), pmkid.end());
  }
  return BuildFrame(info, static_cast<uint16_t>(KeyLengthOf(config_.pairwise)), anonce_, {}, {},
                    keyData);
}

Bytes PskAuthenticator::GtkKde() const {
  size_t keyLength = misbehaviour_ == Misbehaviour::ZeroLengthGtk ? 0 : gtk_.size();
  Bytes kde(8 + keyLength, 0);
  const uint8_t header[] = {0xDD, static_cast<uint8_t>(6 + keyLength), 0x00, 0x0F, 0xAC, 0x01,
                            static_cast<uint8_t>((gtkIndex_ & 3) | (config_.groupKeyTransmit ? 0x04 : 0))};
  std::memcpy(kde.data(), header, sizeof header);
  if (keyLength != 0) std::memcpy(kde.data() + 8, gtk_.data(), keyLength);
  return kde;
}

Bytes PskAuthenticator::EncryptKeyData(Bytes plain, Bytes& ivOut) {
  Bytes out;
  if (DescriptorVersion() == 2) {
    if (plain.size() < 16 || plain.size() % 8 != 0) {
      plain.push_back(0xDD);  // key data padding: 0xDD, then zeros
      while (plain.size() < 16 || plain.size() % 8 != 0) plain.push_back(0);
    }
    out = AesKeyWrap(ptk_.data() + 16, plain);
  } else {
    ivOut.assign(16, 0);
    Put64(&ivOut[8], keyIvCounter_++);
    out = Rc4Skip256(ivOut.data(), ptk_.data() + 16, plain);
  }
  Wipe(plain);
  return out;
}

Bytes PskAuthenticator::BuildMessage3() {
  Bytes element = config_.authenticatorElement;
  if (TakeMisbehaviour(Misbehaviour::ModifiedElement)) element.back() ^= 0x01;
  Bytes nonce = anonce_;
  if (TakeMisbehaviour(Misbehaviour::ChangeANonce)) nonce = RandomBytes(32);
  uint16_t info = static_cast<uint16_t>(DescriptorVersion() | kPairwise | kInstall | kAck | kMicBit);
  Bytes iv, keyData;
  std::array<uint8_t, 8> rsc{};
  if (config_.protocol == KeyProtocol::Wpa) {
    keyData = element;
    rsc = config_.pairwiseRsc;
  } else {
    info |= kSecure;
    rsc = config_.groupRsc;
    Bytes plain = element;
    Bytes kde = GtkKde();
    TakeMisbehaviour(Misbehaviour::ZeroLengthGtk);
    plain.insert(plain.end(), kde.begin(), kde.end());
    Wipe(kde);
    if (TakeMisbehaviour(Misbehaviour::UnencryptedGtk)) {
      keyData = std::move(plain);
    } else {
      info |= kEncrypted;
      keyData = EncryptKeyData(std::move(plain), iv);
    }
  }
  Bytes frame = BuildFrame(info, static_cast<uint16_t>(KeyLengthOf(config_.pairwise)), nonce, iv,
                           rsc, keyData);
  Wipe(keyData);
  return frame;
}

Bytes PskAuthenticator::BuildGroupMessage1() {
  uint16_t info = static_cast<uint16_t>(DescriptorVersion() | kAck | kMicBit | kSecure);
  Bytes iv, keyData;
  uint16_t keyLength = 0;
  if (config_.protocol == KeyProtocol::Wpa) {
    info |= static_cast<uint16_t>((gtkIndex_ & 3) << 4);
    if (config_.groupKeyTransmit) info |= kInstall;
    keyLength = static_cast<uint16_t>(gtk_.size());
    Bytes plain = gtk_;
    if (TakeMisbehaviour(Misbehaviour::ZeroLengthGtk)) {
      plain.clear();
      keyLength = 0;
    }
    if (TakeMisbehaviour(Misbehaviour::UnencryptedGtk))
      keyData = std::move(plain);
    else
      keyData = EncryptKeyData(std::move(plain), iv);
  } else {
    Bytes kde = GtkKde();
    TakeMisbehaviour(Misbehaviour::ZeroLengthGtk);
    if (TakeMisbehaviour(Misbehaviour::UnencryptedGtk)) {
      keyData = std::move(kde);
    } else {
      info |= kEncrypted;
      keyData = EncryptKeyData(std::move(kde), iv);
    }
  }
  Bytes frame = BuildFrame(info, keyLength, {}, iv, config_.groupRsc, keyData);
  Wipe(keyData);
  return frame;
}

bool PskAuthenticator::Refuse(std::string why) {
  lastError_ = std::move(why);
  return false;
}

std::nullopt_t PskAuthenticator::Drop(std::string why) {
  lastError_ = std::move(why);
  return std::nullopt;
}

bool PskAuthenticator::CheckMic(const uint8_t* frame, size_t length, const Bytes& ptk) const {
  if (ptk.size() < 16) return false;
  Bytes copy(frame, frame + length);
  std::fill(copy.begin() + kMic, copy.begin() + kMic + 16, 0);
  Bytes mic = EapolMic(DescriptorVersion(), ptk.data(), copy.data(), copy.size());
  return mic.size() == 16 && CRYPTO_memcmp(mic.data(), frame + kMic, 16) == 0;
}

std::optional<Bytes> PskAuthenticator::Receive(const uint8_t* frame, size_t length) {
  lastError_.clear();
  if (frame == nullptr || length < kKeyData) return Drop("too short");
  if (frame[1] != 3) return Drop("not EAPOL-Key");
  if (Get16(frame + 2) + 4u > length) return Drop("body length beyond the frame");
  if (frame[kDescriptorType] != DescriptorType()) return Drop("descriptor type");
  size_t used = kKeyData + Get16(frame + kKeyDataLength);
  if (used > length) return Drop("key data length beyond the frame");
  uint16_t info = Get16(frame + kKeyInfo);
  if ((info & 7) != DescriptorVersion()) return Drop("descriptor version");
  if (info & kAck) return Drop("Ack bit from a station");
  if (!(info & kMicBit)) return Drop("no MIC");
  if (info & kRequest) {
    if (!CheckMic(frame, used, ptk_)) return Drop("request MIC");
    requests_.push_back(info);
    return std::nullopt;
  }
  if (Get64(frame + kReplayCounter) != replayCounter_)
    return Drop("replay counter differs from the last message");

  switch (sent_) {
    case Sent::Message1:
      if (!(info & kPairwise) || !ReceiveMessage2(frame, used)) return std::nullopt;
      sent_ = Sent::Message3;
      return BuildMessage3();
    case Sent::Message3:
      if (!(info & kPairwise)) return Drop("expected message 4");
      if (TakeMisbehaviour(Misbehaviour::DropMessage4)) return Drop("dropped");
      if (!ReceiveMessage4(frame, used)) return std::nullopt;
      sent_ = Sent::Nothing;
      if (config_.protocol == KeyProtocol::Wpa) {  // the GTK follows in its own handshake
        sent_ = Sent::GroupMessage1;
        return BuildGroupMessage1();
      }
      groupComplete_ = true;
      return std::nullopt;
    case Sent::GroupMessage1:
      if ((info & kPairwise) || !ReceiveGroupMessage2(frame, used)) return std::nullopt;
      sent_ = Sent::Nothing;
      return std::nullopt;
    case Sent::Nothing:
      break;
  }
  return Drop("nothing expected");
}

bool PskAuthenticator::ReceiveMessage2(const uint8_t* frame, size_t length) {
  Bytes snonce(frame + kNonce, frame + kNonce + 32);
  Bytes ptk, btk, micKey;
  const auto& aa = config_.authenticatorAddress;
  if (config_.cckm) {
    Bytes seed(aa.begin(), aa.end());
    seed.insert(seed.end(), config_.supplicantAddress.begin(), config_.supplicantAddress.end());
    seed.insert(seed.end(), snonce.begin(), snonce.end());
    seed.insert(seed.end(), anonce_.begin(), anonce_.end());
    btk = Prf(config_.pmk, "Fast-Roam Generate Base Key", seed, 48);
    Bytes rnAa;
    PutLittle32(rnAa, 1);
    rnAa.insert(rnAa.end(), aa.begin(), aa.end());
    ptk = PrfWithoutLabel(Bytes(btk.begin() + 16, btk.end()), rnAa, 64);
    micKey.assign(btk.begin(), btk.begin() + 16);  // the KRK signs message 2
  } else {
    Bytes data;
    AppendOrdered(data, aa.data(), config_.supplicantAddress.data(), 6);
    AppendOrdered(data, anonce_.data(), snonce.data(), 32);
    ptk = Prf(config_.pmk, "Pairwise key expansion", data, 64);
    micKey = ptk;
  }
  const bool micValid = CheckMic(frame, length, micKey);
  Wipe(micKey);
  if (!micValid) {
    Wipe(ptk);
    Wipe(btk);
    return Refuse("message 2 MIC");
  }
  const uint8_t* keyData = frame + kKeyData;
  size_t keyDataLength = length - kKeyData;
  const Bytes& expected = config_.supplicantElement;
  if (!expected.empty()) {
    // RSN: the station's element leads the Key Data; WPA: it is the whole Key Data.
    bool match = config_.protocol == KeyProtocol::Rsn
                     ? keyDataLength >= expected.size() &&
                           std::equal(expected.begin(), expected.end(), keyData)
                     : keyDataLength == expected.size() &&
                           std::equal(expected.begin(), expected.end(), keyData);
    if (!match) {
      Wipe(ptk);
      Wipe(btk);
      return Refuse("message 2 element differs from the association request");
    }
  }
  Wipe(ptk_);
  ptk_ = std::move(ptk);
  Wipe(btk_);
  btk_ = std::move(btk);
  cckmRn_ = 1;
  snonce_ = std::move(snonce);
  return true;
}

bool PskAuthenticator::ReceiveMessage4(const uint8_t* frame, size_t length) {
  if (!CheckMic(frame, length, ptk_)) return Refuse("message 4 MIC");
  pairwiseComplete_ = true;
  return true;
}

bool PskAuthenticator::ReceiveGroupMessage2(const uint8_t* frame, size_t length) {
  if (!CheckMic(frame, length, ptk_)) return Refuse("group message 2 MIC");
  groupComplete_ = true;
  return true;
}

std::optional<Bytes> PskAuthenticator::CckmReassociate(const Bytes& request, const MacAddress& bssid) {
  lastError_.clear();
  if (btk_.size() != 48 || !pairwiseComplete_) return Drop("no CCKM base key");
  const uint8_t header[] = {156, 24, 0x00, 0x40, 0x96, 0x00};
  if (request.size() != 26 || !std::equal(std::begin(header), std::end(header), request.begin()))
    return Drop("not a CCKM request element");
  const uint32_t rn = GetLittle32(&request[14]);
  if (rn <= cckmRn_) return Drop("stale RN");
  const Bytes krk(btk_.begin(), btk_.begin() + 16);
  Bytes signedPart(config_.supplicantAddress.begin(), config_.supplicantAddress.end());
  signedPart.insert(signedPart.end(), bssid.begin(), bssid.end());
  signedPart.insert(signedPart.end(), config_.supplicantElement.begin(), config_.supplicantElement.end());
  signedPart.insert(signedPart.end(), request.begin() + 6, request.begin() + 18);  // timestamp | RN
  Bytes mic = HmacMd5(krk, signedPart);
  if (CRYPTO_memcmp(mic.data(), &request[18], 8) != 0) return Drop("request MIC");

  Bytes rnAa;
  PutLittle32(rnAa, rn);
  rnAa.insert(rnAa.end(), bssid.begin(), bssid.end());
  Bytes ptk = PrfWithoutLabel(Bytes(btk_.begin() + 16, btk_.end()), rnAa, 64);
  Bytes rc4Key(rnAa.begin(), rnAa.begin() + 4);
  rc4Key.insert(rc4Key.end(), ptk.begin() + 16, ptk.begin() + 32);
  Bytes groupKey = TakeMisbehaviour(Misbehaviour::ZeroLengthGtk) ? Bytes() : Rc4Skip256(rc4Key, gtk_);
  Wipe(rc4Key);

  Bytes r(header, header + 6);
  PutLittle32(r, TakeMisbehaviour(Misbehaviour::StaleReplayCounter) ? rn - 1 : rn);
  r.push_back(0);  // pairwise key index
  r.push_back(gtkIndex_);
  r.insert(r.end(), config_.groupRsc.begin(), config_.groupRsc.end());
  r.push_back(static_cast<uint8_t>(groupKey.size()));
  r.push_back(static_cast<uint8_t>(groupKey.size() >> 8));
  Bytes covered(config_.supplicantAddress.begin(), config_.supplicantAddress.end());
  covered.insert(covered.end(), config_.authenticatorElement.begin(), config_.authenticatorElement.end());
  covered.insert(covered.end(), r.begin() + 6, r.end());
  covered.insert(covered.end(), groupKey.begin(), groupKey.end());
  Bytes responseMic = HmacMd5(Bytes(ptk.begin(), ptk.begin() + 16), covered);
  r.insert(r.end(), responseMic.begin(), responseMic.begin() + 8);
  if (TakeMisbehaviour(Misbehaviour::BadMic)) r[22] ^= 0x01;
  r.insert(r.end(), groupKey.begin(), groupKey.end());
  r[1] = static_cast<uint8_t>(r.size() - 2);
  Wipe(groupKey);

  config_.authenticatorAddress = bssid;
  Wipe(ptk_);
  ptk_ = std::move(ptk);
  cckmRn_ = rn;
  return r;
}

}  // namespace air
