#include "ksSupp/link/link.h"

#include "ksSupp/trace.h"

std::int32_t Link::Refused(const char* operation, const char* reason) {
  if (TraceEnabled(TraceLevel::Error))
    traceError(TraceCategory::Interface, nullptr, 0, "%s refused: %s\n", operation, reason);
  return kRefused;
}

PaeConstants Link::ToPaeConstants(const KSSTK_AUTH_STATE_MACHINE_CONSTANTS& c) {
  PaeConstants pae;
  pae.authPeriod = c.authPeriod;
  pae.heldPeriod = c.heldPeriod;
  pae.startPeriod = c.startPeriod;
  pae.firstStartDelay = c.startDelay;
  pae.maxStart = c.maxStart;
  pae.authenticatedAfterMaxStart = c.authenticatedAfterMaxStart != 0;
  return pae;
}

KSSTK_AUTH_STATE_MACHINE_CONSTANTS Link::DefaultConstants() {
  const PaeConstants d;
  return {sizeof(KSSTK_AUTH_STATE_MACHINE_CONSTANTS), d.authPeriod, d.heldPeriod, d.startPeriod,
          d.firstStartDelay, d.maxStart, d.authenticatedAfterMaxStart ? 1u : 0u};
}
