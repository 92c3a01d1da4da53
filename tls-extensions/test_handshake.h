#pragma once
// Tests only: a client and a server connection joined by a BIO pair, run to the end of
// their handshake.
#include <openssl/ssl.h>

namespace tlsext_testing {

// True when both sides finished the handshake; the connections take the pair's ends.
inline bool RunHandshake(SSL* client, SSL* server) {
  BIO* clientBio = nullptr;
  BIO* serverBio = nullptr;
  if (BIO_new_bio_pair(&clientBio, 0, &serverBio, 0) != 1) return false;
  SSL_set_bio(client, clientBio, clientBio);
  SSL_set_bio(server, serverBio, serverBio);
  bool clientDone = false;
  bool serverDone = false;
  for (int round = 0; round < 20 && !(clientDone && serverDone); ++round) {
    if (!clientDone) {
      const int r = SSL_connect(client);
      if (r == 1) clientDone = true;
      else if (SSL_get_error(client, r) != SSL_ERROR_WANT_READ) return false;
    }
    if (!serverDone) {
      const int r = SSL_accept(server);
      if (r == 1) serverDone = true;
      else if (SSL_get_error(server, r) != SSL_ERROR_WANT_READ) return false;
    }
  }
  return clientDone && serverDone;
}

}  // namespace tlsext_testing
