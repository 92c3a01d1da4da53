#include "hosts/zelnicd/e2e/enterprise/demo_radius.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <stdlib.h>

#include <array>
#include <regex>

#include "hosts/demo/demo_profiles.h"
#include "platform/cryptoapi/cert_import.h"
#include "platform/cryptoapi/store_location.h"
#include "sim/air/world_file.h"
#include "tests/peers/pem_text.h"
#include "tests/peers/radius_certificates.h"

namespace zelcon::testing {
namespace {

std::array<uint8_t, 20> Sha1Of(const capi::testing::TestCertificate& certificate) {
  std::array<uint8_t, 20> hash{};
  unsigned int length = 0;
  X509_digest(certificate.x509.get(), EVP_sha1(), hash.data(), &length);
  return hash;
}

}  // namespace

PROFILE_ENTRY DemoProfile(const char* name) {
  for (const PROFILE_ENTRY& p : demo::DemoProfiles(Sha1Of(peers::RadiusPki::Get().client)))
    if (FieldText(p.name) == name) return p;
  ADD_FAILURE() << "no demo profile " << name;
  return MakeDefaultProfile();
}

std::string DemoRadiusSecret() {
  std::string error;
  const auto world = simair::LoadWorldFile(kDemoWorld, error);
  if (!world) return "";
  for (const auto& ap : world->accessPoints)
    if (ap.config.security == simair::Security::Wpa2Enterprise) return ap.config.radius.secret.reveal();
  return "";
}

std::string LastPmkHex(const std::string& log) {
  static const std::regex key("MS-MPPE-Recv-Key = 0x([0-9a-fA-F]{64})");
  std::string last;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), key); it != std::sregex_iterator(); ++it)
    last = (*it)[1];
  return last;
}

void StartDemoRadius(std::optional<peers::FreeRadiusPeer>& radius, peers::NetworkNamespace& space,
                     const peers::ScratchDir& dir) {
  const peers::RadiusPki& pki = peers::RadiusPki::Get();
  const std::string secret = DemoRadiusSecret();
  ASSERT_FALSE(secret.empty());
  radius.emplace(space, dir,
                 peers::FreeRadiusOptions{{std::string(demo::kPeapUser) + " Cleartext-Password := \"" +
                                           demo::kPeapPassword + "\""},
                                          peers::Pem(pki.ca, false), peers::Pem(pki.server, false),
                                          peers::Pem(pki.server, true)},
                 secret);
}

void FillUserStores(const peers::ScratchDir& dir, bool withClientKey) {
  const peers::RadiusPki& pki = peers::RadiusPki::Get();
  setenv(capi::kCertRootVariable, dir.File("certificates").c_str(), 1);
  const auto root = capi::ImportIntoStore(capi::StoreLocation::CurrentUser, "ROOT", peers::Pem(pki.ca, false), "");
  ASSERT_TRUE(root.ok) << root.error;
  const std::string clientKey = withClientKey ? peers::Pem(pki.client, true) : "";
  const auto mine =
      capi::ImportIntoStore(capi::StoreLocation::CurrentUser, "MY", peers::Pem(pki.client, false) + clientKey, "");
  ASSERT_TRUE(mine.ok) << mine.error;
}

}  // namespace zelcon::testing
