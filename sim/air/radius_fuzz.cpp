// Feeds arbitrary bytes to the 802.1X relay's parsers: the first byte picks the target (a
// RADIUS reply to an outstanding Access-Request, an MS-MPPE key value, or an EAPOL frame
// from the station while the relay waits for its identity).
#include <array>

#include "sim/air/eap_relay.h"
#include "sim/air/radius_crypto.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::span<const std::uint8_t> input(data + 1, size - 1);
  ndis::Scheduler scheduler;
  simair::RadiusClient client({simair::Secret("testing123")});
  simair::EapRelay relay(scheduler, client, {.ssid = "Zelnet Corp"},
                         {[](const simair::RadiusBytes&) {}, [](std::span<const std::uint8_t>) {},
                          [](std::span<const std::uint8_t>) {}});
  switch (data[0] % 3) {
    case 0: {
      relay.Start();
      const std::uint8_t identity[] = {2, 0, 0, 6, 2, 1, 0, 6, 1, 'x'};
      relay.ReceiveEapol(identity);
      relay.ReceiveRadius(input);
      break;
    }
    case 1: {
      const std::array<std::uint8_t, 16> authenticator{};
      simair::DecryptMppeKey("testing123", authenticator, input);
      break;
    }
    default:
      relay.Start();
      relay.ReceiveEapol(input);
      relay.ReceiveEapol(input);
      break;
  }
  return 0;
}
