// GoogleTest fixture for conversations with hostapd: a private network namespace with a veth
// pair, hostapd on one end, a fresh station on the other for each conversation.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "tests/peers/eap_conversation.h"
#include "tests/peers/eapol_port.h"
#include "tests/peers/hostapd_peer.h"
#include "tests/peers/network_namespace.h"
#include "tests/peers/scratch_dir.h"

namespace peers {

class HostapdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string whyNot;
    space_ = NetworkNamespace::Create(&whyNot);
    if (!space_) GTEST_SKIP() << whyNot;
    std::tie(hostapdEnd_, stationEnd_) = space_->AddVethPair();
  }

  void TearDown() override {
    if (HasFailure() && hostapd_) {
      const std::string log = hostapd_->Log();
      const size_t keep = 12000;
      std::printf("---- hostapd log (end) ----\n%s\n",
                  log.size() > keep ? log.substr(log.size() - keep).c_str() : log.c_str());
    }
  }

  void StartHostapd(const HostapdOptions& options) {
    hostapd_.emplace(*space_, hostapdEnd_, dir_, options);
  }

  // A locally administered unicast MAC that no earlier conversation of this test used.
  MacAddress NewStation() {
    ++stations_;
    return {0x02,
            0x5a,
            0x4c,
            0x00,
            static_cast<uint8_t>(stations_ >> 8),
            static_cast<uint8_t>(stations_)};
  }

  // One conversation from `station` (a fresh one by default). Afterwards hostapd is told to
  // forget the station, so it neither holds the MAC after a failure nor keeps
  // retransmitting to it during the next conversation.
  EapTranscript Converse(std::string_view identity, EapResponder& responder,
                         std::optional<MacAddress> station = std::nullopt) {
    EapolPort port(*space_, stationEnd_, station ? *station : NewStation());
    EapTranscript transcript = RunEapConversation(port, identity, responder);
    hostapd_->Deauthenticate(port.station());
    return transcript;
  }

  HostapdPeer& hostapd() { return *hostapd_; }
  NetworkNamespace& space() { return *space_; }
  const ScratchDir& dir() const { return dir_; }
  const std::string& stationInterface() const { return stationEnd_; }
  const std::string& hostapdInterface() const { return hostapdEnd_; }

 private:
  ScratchDir dir_;
  std::optional<NetworkNamespace> space_;
  std::string hostapdEnd_;
  std::string stationEnd_;
  std::optional<HostapdPeer> hostapd_;  // stopped before the namespace goes
  unsigned stations_ = 0;
};

}  // namespace peers
