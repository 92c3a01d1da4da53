#pragma once
// Makes an access point of the simulated air a SwiftBond peer: data frames to it whose body
// starts with the SwiftBond SNAP header go to the responder, and its replies go back to the
// station as data frames from the access point. Other frames take their usual way.
#include "sim/air/access_point.h"
#include "sim/air/swiftbond_responder.h"

namespace simair {

// Installs the access point's frame hook (replacing any other); the responder must outlive
// the access point's use of it.
void AttachSwiftBondResponder(AccessPoint& ap, SwiftBondResponder& responder);

}  // namespace simair
