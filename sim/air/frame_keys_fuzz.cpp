// Arbitrary data frames from an associated station at a WPA2, WPA or WEP access point whose
// data plane holds the station's key: each input byte 0 picks the network (for WEP its bits 3
// and 4 the CKIP flags: CMIC, key permutation) and the WEP transmit key, then a run of
// frames each preceded by its length byte. A frame whose length byte has the top bit set is
// first sealed with the station's key (so decryption succeeds and reassembly, Michael and
// decapsulation see arbitrary plaintext); the others reach the ciphers' parsers as they are.
#include <chrono>

#include "sim/air/authenticator.h"
#include "sim/air/ckip_protection.h"
#include "sim/air/distribution_port.h"
#include "sim/air/medium.h"

namespace {

const simair::MacAddress kAp{0x02, 0, 0, 0, 0, 1}, kStation{0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x01};

class FuzzStation final : public simair::Radio {
public:
  simair::MacAddress address() const override { return kStation; }
  std::uint8_t channel() const override { return 6; }
  bool radioOn() const override { return true; }
  void receive(const simair::AirFrame&, const simair::Reception&) override {}
};

std::vector<std::uint8_t> Management(std::uint8_t subtype, std::vector<std::uint8_t> body) {
  simair::dot11::FrameWriter w;
  w.header(simair::dot11::FrameType::Management, subtype, 0, kAp, kStation, kAp, 1);
  w.raw(body);
  return w.take();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  ndis::Scheduler scheduler;
  simair::Medium medium(scheduler);
  simair::AccessPointConfig config;
  config.bssid = kAp;
  config.ssid = "zelnet";
  config.channel = 6;
  const int network = data[0] % 3;
  config.security = network == 0 ? simair::Security::Wpa2 : network == 1 ? simair::Security::Wpa : simair::Security::Wep;
  if (network == 2) {
    config.wepKeys = {simair::Secret("0123456789abc"), simair::Secret("01234")};
    config.ckipFlags = static_cast<std::uint8_t>(data[0] & (simair::kCkipCmic | simair::kCkipKeyPermutation));
  }
  simair::AccessPoint ap(scheduler, medium, config);
  simair::DistributionPort port(ap);
  simair::FrameKeys stationKeys(config.wepKeys, static_cast<std::uint8_t>(data[0] >> 7), simair::KeyRole::Supplicant);
  stationKeys.useCkip(config.ckipFlags);
  FuzzStation station;
  medium.join(station);
  ap.start();
  std::vector<std::uint8_t> request{0x11, 0, 0x0A, 0, 0, 6, 'z', 'e', 'l', 'n', 'e', 't'};
  if (network != 2) {
    const auto element = network == 0 ? air::BuildElement(air::KeyProtocol::Rsn, air::Cipher::Ccmp, air::Cipher::Ccmp)
                                       : air::BuildElement(air::KeyProtocol::Wpa, air::Cipher::Tkip, air::Cipher::Tkip);
    request.insert(request.end(), element.begin(), element.end());
    const std::vector<std::uint8_t> tk(network == 0 ? 16 : 32, 0x42);
    const auto cipher = network == 0 ? simair::DataCipher::Ccmp : simair::DataCipher::Tkip;
    stationKeys.setPairwise(kAp, cipher, tk);
  }
  medium.transmit(station, {Management(11, {0, 0, 1, 0, 0, 0}), 6, 2});
  scheduler.runFor(std::chrono::milliseconds(2));
  medium.transmit(station, {Management(0, request), 6, 2});
  scheduler.runFor(std::chrono::milliseconds(2));
  if (network != 2) {  // the association starts with no key: the station's is set now
    const std::vector<std::uint8_t> tk(network == 0 ? 16 : 32, 0x42);
    port.keys().setPairwise(kStation, network == 0 ? simair::DataCipher::Ccmp : simair::DataCipher::Tkip, tk);
  }
  for (size_t at = 1; at < size;) {
    const bool seal = (data[at] & 0x80) != 0;
    const size_t length = data[at++] & 0x7F;
    const size_t take = length < size - at ? length : size - at;
    std::vector<uint8_t> frame(data + at, data + at + take);
    at += take;
    if (seal) {
      // A data header toward the distribution system, the input's bytes as its body.
      simair::dot11::FrameWriter w;
      const std::uint8_t flags = simair::dot11::flag::ToDs | (frame.empty() ? 0 : (frame[0] & 0x04));
      w.header(simair::dot11::FrameType::Data, 0, flags, kAp, kStation, {0x02, 0, 0, 0, 0, 9}, 5);
      w.raw(frame);
      auto header = w.take();
      if (!frame.empty()) header[22] = static_cast<std::uint8_t>(frame[0] & 0x0F);
      auto sealed = stationKeys.seal(kAp, std::move(header));
      if (!sealed) continue;
      frame = std::move(*sealed);
    }
    medium.transmit(station, {std::move(frame), 6, 2});
    scheduler.runFor(std::chrono::milliseconds(2));
    while (port.take()) {
    }
  }
  medium.leave(station);
  return 0;
}
