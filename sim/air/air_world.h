#pragma once
// A world file brought to life on a scheduler: the medium, its access points started (each
// with its distribution port, the WPA and WPA2 ones with their key exchange, the enterprise
// access points of one SSID sharing one PMKSA cache and, where CCKM is offered, one set of
// CCKM contexts; the CCX ones with their CCX peer, which asks for the world's measurements; the
// SwiftBond peers and vendor-mode senders their lines ask for), the signal of each at the
// station set as path loss, the scripted changes queued, and every frame on the air recorded
// when a recorder is given.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ndis/scheduler.h"
#include "sim/air/access_point.h"
#include "sim/air/air_log.h"
#include "sim/air/ccx_access_point.h"
#include "sim/air/distribution_port.h"
#include "sim/air/medium.h"
#include "sim/air/world_file.h"

namespace simair {

class PcapRecorder;
class PskKeyExchange;
class PmksaCache;
class CckmContexts;
class SwiftBondAccessPoint;
class VendorModeSender;

class AirWorld {
public:
  // Starts everything at once; scripted times count from now. The recorder (may be null)
  // must outlive the world. `log` hears what the access points' peers did (CCX reports,
  // CCKM reassociations), each line beginning with the access point's name.
  AirWorld(ndis::Scheduler& scheduler, const World& world, PcapRecorder* recorder, AirLog log = {});
  ~AirWorld();
  AirWorld(const AirWorld&) = delete;
  AirWorld& operator=(const AirWorld&) = delete;

  Medium& medium() { return medium_; }
  const MacAddress& station() const { return station_; }
  std::size_t size() const { return accessPoints_.size(); }
  AccessPoint& accessPoint(std::size_t index) { return *accessPoints_.at(index); }
  // Null for an IBSS peer.
  DistributionPort* distributionPort(std::size_t index) { return ports_.at(index).get(); }
  // Null unless the access point's security is one of the WPA kinds (enterprise included).
  PskKeyExchange* keyExchange(std::size_t index) { return keyExchanges_.at(index).get(); }
  // Null unless the world gives the access point 'swiftbond' with security open.
  SwiftBondAccessPoint* swiftBond(std::size_t index) { return swiftBonds_.at(index).get(); }
  // Null unless the world gives the access point 'vendor-mode'.
  VendorModeSender* vendorModeSender(std::size_t index) { return vendorModes_.at(index).get(); }
  // Null unless the world made it a CCX access point.
  CcxAccessPoint* ccxPeer(std::size_t index) { return ccxPeers_.at(index).get(); }

private:
  void setSignal(std::size_t index, int signalDbm);
  void bonded(std::size_t index, const std::string& name);

  ndis::Scheduler& scheduler_;
  MacAddress station_;
  Medium medium_;
  std::vector<std::unique_ptr<AccessPoint>> accessPoints_;
  std::vector<std::unique_ptr<DistributionPort>> ports_;
  // One PMKSA cache per WPA2-Enterprise network (SSID), shared by its access points.
  std::map<std::string, std::unique_ptr<PmksaCache>> pmksaCaches_;
  // One set of CCKM contexts per wpa-enterprise network (SSID) that offers CCKM.
  std::map<std::string, std::unique_ptr<CckmContexts>> cckmContexts_;
  std::vector<std::unique_ptr<PskKeyExchange>> keyExchanges_;
  std::vector<std::unique_ptr<SwiftBondAccessPoint>> swiftBonds_;
  std::vector<std::unique_ptr<VendorModeSender>> vendorModes_;
  std::vector<std::unique_ptr<CcxAccessPoint>> ccxPeers_;
  std::vector<ndis::EventId> changes_;
  AirLog log_;  // what the access points did of themselves (an access point bonded by SwiftBond)
};

}  // namespace simair
