// An identity's list of acceptable EAP types for one conversation (outer, inside TTLS or
// inside PEAP), in order of preference.
#pragma once

#include <collections/dcfArray.h>

struct EapTypeList {
  dcfU32Array types;
  // Inside PEAP: answer the first Generic Token Card request with the stored password.
  bool sendPasswordInGtc = false;
};
