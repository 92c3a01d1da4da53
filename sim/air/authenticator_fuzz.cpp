// Feeds arbitrary frames to an access point at each stage of the 4-way handshake.
#include "sim/air/authenticator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  air::AuthenticatorConfig config;
  config.pmk.assign(32, 0x42);
  config.protocol = (data[0] & 1) ? air::KeyProtocol::Wpa : air::KeyProtocol::Rsn;
  config.pairwise = (data[0] & 2) ? air::Cipher::Tkip : air::Cipher::Ccmp;
  air::PskAuthenticator ap(config);
  ap.StartHandshake();
  ap.Receive(data + 1, size - 1);
  return 0;
}
