#include "hosts/demo/demo_profiles.h"

#include <algorithm>
#include <string_view>

namespace demo {
namespace {

using zelcon::SetFieldText;

enum Encryption : std::uint32_t { kNone = 0, kWep = 1, kTkip = 2, kAes = 3 };

PROFILE_ENTRY Network(std::string_view name, std::string_view ssid, Encryption encryption,
                      zelcon::ProfileAuth auth) {
  PROFILE_ENTRY p = zelcon::MakeDefaultProfile();
  SetFieldText(p.name, name);
  SetFieldText(p.ssid, ssid);
  p.encryption = encryption;
  p.authMode = auth;
  p.obtainIpAutomatically = 1;
  p.prefer = 0;
  return p;
}

void SetPassphrase(PROFILE_ENTRY& p, std::string_view phrase) {
  std::copy(phrase.begin(), phrase.end(), p.wpa.passphrase);
  p.wpa.passphraseLength = static_cast<std::uint32_t>(phrase.size());
}

}  // namespace

std::vector<PROFILE_ENTRY> DemoProfiles(const std::optional<std::array<std::uint8_t, 20>>& tlsCertificateHash) {
  std::vector<PROFILE_ENTRY> profiles;
  PROFILE_ENTRY peap = Network("Zelnet Corp PEAP", "Zelnet Corp", kAes, zelcon::kAuthWpa2Peap);
  SetFieldText(peap.wpa.loginName, kPeapUser);
  SetFieldText(peap.wpa.password, kPeapPassword);
  peap.prefer = 1;
  profiles.push_back(peap);
  if (tlsCertificateHash) {
    PROFILE_ENTRY tls = Network("Zelnet Corp TLS", "Zelnet Corp", kAes, zelcon::kAuthWpa2Tls);
    SetFieldText(tls.wpa.loginName, kTlsUser);
    SetFieldText(tls.wpa.certName, "Zelnic Demo CA");
    std::copy(tlsCertificateHash->begin(), tlsCertificateHash->end(), tls.wpa.certHash);
    tls.prefer = 1;
    profiles.push_back(tls);
  }
  PROFILE_ENTRY office = Network("Zelnet Office", "Zelnet Office", kAes, zelcon::kAuthWpa2Psk);
  SetPassphrase(office, "correct horse battery staple");
  profiles.push_back(office);
  PROFILE_ENTRY warehouse = Network("Zelnet Warehouse", "Zelnet Warehouse", kTkip, zelcon::kAuthWpaPsk);
  SetPassphrase(warehouse, "forklift on the loading dock");
  profiles.push_back(warehouse);
  PROFILE_ENTRY workshop = Network("Zelnet Workshop", "Zelnet Workshop", kWep, zelcon::kAuthOpen);
  workshop.txKeyIndex = 1;
  workshop.wepKeys[0].length = 5;
  const std::uint8_t key[] = {0x01, 0x02, 0x03, 0x04, 0x05};
  std::copy(std::begin(key), std::end(key), workshop.wepKeys[0].key);
  profiles.push_back(workshop);
  profiles.push_back(Network("Zelnet Guest", "Zelnet Guest", kNone, zelcon::kAuthOpen));
  for (PROFILE_ENTRY* p : {&peap, &office, &warehouse, &workshop}) zelcon::WipeProfile(*p);
  return profiles;
}

}  // namespace demo
