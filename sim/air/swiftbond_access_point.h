#pragma once
// Makes an access point of the simulated air a SwiftBond peer: data frames to it whose body
// starts with the SwiftBond SNAP header go to the responder, and its replies go back to the
// station as data frames from the access point. Other frames take their usual way.
//
// An access point that offers Auto Link says so in the maker's vendor element (02-5A-9C,
// type 0, subtype 0, a flags byte): flags 0x01 not yet configured, 0x02 configured by Auto
// Link. `SwiftBondAccessPoint` is such an access point, open and not yet configured, as a
// world's `swiftbond` line makes it: once a station has finished an exchange with it, it
// takes the station's pass phrase as its own and carries on as WPA-PSK (TKIP), configured.
#include <functional>

#include "platform/ndis/scheduler.h"
#include "sim/air/access_point.h"
#include "sim/air/swiftbond_responder.h"

namespace simair {

// Adds a frame hook to the access point (removeFrameHook with the id ends it); the responder
// must outlive the hook. `finished` (may be empty) runs once the access point has sent a
// successful 0x8002 reply: that station's exchange is over.
AccessPoint::HookId AttachSwiftBondResponder(AccessPoint& ap, SwiftBondResponder& responder,
                                             std::function<void(const MacAddress& station)> finished = {});

constexpr std::uint8_t kAutoLinkNotConfigured = 0x01;
constexpr std::uint8_t kAutoLinkConfigured = 0x02;
// The body of the maker's Auto Link element with these flags.
dot11::Bytes AutoLinkElementBody(std::uint8_t flags);

class SwiftBondAccessPoint {
public:
  // `ap` (open, its Auto Link element among its vendor elements) must outlive this.
  // `bonded` runs once it is WPA-PSK (the world gives it its key exchange then).
  SwiftBondAccessPoint(ndis::Scheduler& scheduler, AccessPoint& ap, std::function<void()> bonded);
  ~SwiftBondAccessPoint();
  SwiftBondAccessPoint(const SwiftBondAccessPoint&) = delete;
  SwiftBondAccessPoint& operator=(const SwiftBondAccessPoint&) = delete;

  SwiftBondResponder& responder() { return responder_; }
  bool bonded() const { return bonded_; }

private:
  void bond();

  ndis::Scheduler& scheduler_;
  AccessPoint& ap_;
  std::function<void()> onBonded_;
  SwiftBondResponder responder_;
  AccessPoint::HookId hook_ = 0;
  ndis::EventId pending_;
  bool bonded_ = false;
};

}  // namespace simair
