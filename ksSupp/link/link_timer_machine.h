#pragma once
// LinkTimerMachine: turns the link's phases into the host's link-up, link-down and roaming
// notices. A port-up to the network the link was up on starts a roam hold-off: the link
// stays "roaming" until it is connected again or the roam period runs out.
#include <cstdint>

class LinkCallbacks;

class LinkTimerMachine {
 public:
  enum State : std::uint32_t { kInitial = 0, kDown = 1, kRoaming = 3, kUp = 4 };
  enum Event : std::uint32_t { kTick = 0, kLinkDown = 1, kPortUp = 3, kConnected = 4 };

  explicit LinkTimerMachine(LinkCallbacks& owner) : owner_(owner) {}

  void SetRoamPeriod(std::uint32_t milliseconds) { roamPeriod_ = milliseconds; }
  std::uint32_t RoamPeriod() const { return roamPeriod_; }
  void Signal(Event event);
  void ElapseTime(std::uint32_t milliseconds);
  // Lowers milliseconds to the running countdown.
  void NextTimeout(std::uint32_t& milliseconds) const;
  State state() const { return state_; }

 private:
  void EnterDown();
  void EnterUp();
  void EnterRoaming();

  LinkCallbacks& owner_;
  std::uint32_t roamPeriod_ = 0;
  State state_ = kInitial;
  std::uint32_t roamCountdown_ = 0;
};
