// The simulated access point's EAP relay and RADIUS client in front of a RADIUS server
// reached through `socket`, and the station's side of 802.1X (its identity, then every
// request into an EapResponder), with the loop that carries frames between them. The relay's
// timers run on a virtual clock the test owns.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>

#include "sim/air/eap_relay.h"
#include "sim/air/radius_socket.h"
#include "tests/peers/eap_conversation.h"

namespace peers {

struct RelayedAuthentication {
  RelayedAuthentication(simair::RadiusSocket& server, const std::string& secret)
      : socket(server),
        client({simair::Secret(secret)}),
        relay(scheduler, client,
              {.accessPoint = {0x02, 0x5a, 0x4c, 0x00, 0x00, 0x05},
               .station = {0x00, 0x1e, 0x4d, 0x2d, 0x17, 0x01},
               .ssid = "Zelnet Corp"},
              {[this](const simair::RadiusBytes& frame) { toStation.push_back(frame); },
               [this](std::span<const std::uint8_t> datagram) { socket.Send(datagram); },
               [this](std::span<const std::uint8_t> key) { pmk.assign(key.begin(), key.end()); }}) {}

  // One authentication to its end. With `tamperFirstReply` the server's first reply reaches
  // the relay with a bit of its Response Authenticator flipped, and the retransmission timer
  // (3 s of virtual time) fetches it again.
  EapOutcome Run(EapResponder& responder, const std::string& identity, bool tamperFirstReply = false) {
    relay.Start();
    bool tamper = tamperFirstReply;
    EapOutcome outcome = EapOutcome::kTimeout;
    while (outcome == EapOutcome::kTimeout) {
      if (!toStation.empty()) {
        Bytes reply;
        outcome = StationAnswers(toStation.front(), responder, identity, reply);
        toStation.pop_front();
        if (!reply.empty()) relay.ReceiveEapol(reply);
        continue;
      }
      // The wait guards against a hung server; a working one answers at once.
      std::optional<Bytes> datagram = socket.Receive(std::chrono::seconds(10));
      if (!datagram) {
        ADD_FAILURE() << "the RADIUS server did not answer; relay: " << relay.LastError();
        return EapOutcome::kTimeout;
      }
      if (tamper) {
        tamper = false;
        (*datagram)[4] ^= 0x01;
        relay.ReceiveRadius(*datagram);
        EXPECT_EQ(relay.LastError(), "bad Response Authenticator");
        EXPECT_TRUE(toStation.empty()) << "a tampered reply reached the station";
        scheduler.runFor(std::chrono::seconds(3));
        EXPECT_EQ(relay.Retransmissions(), 1);
        continue;
      }
      relay.ReceiveRadius(*datagram);
    }
    return outcome;
  }

  ndis::Scheduler scheduler;
  simair::RadiusSocket& socket;
  simair::RadiusClient client;
  std::deque<Bytes> toStation;
  Bytes pmk;
  simair::EapRelay relay;

 private:
  // kTimeout while the conversation goes on; `reply` is the station's EAPOL frame, if any.
  static EapOutcome StationAnswers(const Bytes& frame, EapResponder& responder,
                                   const std::string& identity, Bytes& reply) {
    if (frame.size() < 8) return EapOutcome::kTimeout;
    const Bytes eap(frame.begin() + 4, frame.end());
    if (eap[0] == 3) return EapOutcome::kSuccess;
    if (eap[0] == 4) return EapOutcome::kFailure;
    std::optional<Bytes> response;
    if (eap[0] == 1 && eap.size() >= 5 && eap[4] == 1) {
      response = Bytes{2, eap[1], 0, static_cast<std::uint8_t>(5 + identity.size()), 1};
      response->insert(response->end(), identity.begin(), identity.end());
    } else {
      response = responder.OnRequest(eap);
    }
    if (!response) return EapOutcome::kGaveUp;
    reply = {2, 0, static_cast<std::uint8_t>(response->size() >> 8),
             static_cast<std::uint8_t>(response->size())};
    reply.insert(reply.end(), response->begin(), response->end());
    return EapOutcome::kTimeout;
  }
};

}  // namespace peers
