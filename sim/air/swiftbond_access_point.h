#pragma once
// Makes an access point of the simulated air a SwiftBond peer: data frames to it whose body
// starts with the SwiftBond SNAP header go to the responder, and its replies go back to the
// station as data frames from the access point. Other frames take their usual way.
#include "sim/air/access_point.h"
#include "sim/air/swiftbond_responder.h"

namespace simair {

// Adds a frame hook to the access point (removeFrameHook with the id ends it); the responder
// must outlive the hook.
AccessPoint::HookId AttachSwiftBondResponder(AccessPoint& ap, SwiftBondResponder& responder);

}  // namespace simair
