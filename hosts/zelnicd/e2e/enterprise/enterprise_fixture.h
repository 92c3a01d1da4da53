#pragma once
// The enterprise cases end to end: zelnicd in a network namespace of the test's with
// FreeRADIUS on its loopback (the test's PKI and the demo's users), the user's certificate
// stores, and the device backend of the adapter-control library hosting libpentrel.so, which
// takes a profile as the utility applies it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "hosts/zelnicd/e2e/enterprise/demo_radius.h"
#include "hosts/zelnicd/e2e/profile_connection.h"
#include "hosts/zelnicd/e2e/zelnicd_process.h"
#include "tests/peers/freeradius_peer.h"
#include "tests/peers/network_namespace.h"
#include "tests/peers/scratch_dir.h"
#include "utility/core/profile_entry.h"

namespace zelcon::testing {

inline constexpr uint32_t kEventAssociated = 1;

class EnterpriseEndToEnd : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Joins with the demo profile and checks the whole road down to the decrypted data frame;
  // with `connections` above 1 the port is authorized that many times (the station moves),
  // and the data goes through the access point `expectedBssid`.
  void ConnectsAndCarriesProtectedData(const char* profileName, size_t connections = 1,
                                       const uint8_t* expectedBssid = nullptr);
  // The link keyed (`status`, at least `keys` keys set on the driver) on the access point
  // `expectedBssid` (when given); then one data frame through the driver, and zelnicd stops
  // (the capture is complete). The payload sent (empty, and a failure, when none went), and
  // the station's address in `station`.
  std::vector<uint8_t> KeyedThenSendsAndStops(uint32_t status, size_t keys, const uint8_t* expectedBssid,
                                              std::string& station);
  // Joins with the profile: the server refuses the station, the utility hears `text`, and the
  // port never opens.
  void FailsWith(PROFILE_ENTRY profile, const char* text);

  bool clientKeyInStore_ = true;
  peers::ScratchDir dir_;
  std::string world_ = kDemoWorld;
  std::optional<peers::NetworkNamespace> space_;
  std::optional<peers::FreeRadiusPeer> radius_;
  const std::string pcap_ = dir_.File("air.pcap");
  std::optional<zelnicd::testing::ZelnicdProcess> zelnicd_;
  UtilityWindow window_;
  std::optional<ProfileConnection> connection_;
};

}  // namespace zelcon::testing
