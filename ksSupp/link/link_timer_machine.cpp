#include "ksSupp/link/link_timer_machine.h"

#include "ksSupp/link_callbacks.h"

void LinkTimerMachine::Signal(Event event) {
  switch (state_) {
    case kInitial:
      EnterDown();
      if (event == kConnected) EnterUp();
      return;
    case kDown:
      if (event == kConnected) EnterUp();
      return;
    case kUp:
      if (event == kLinkDown) EnterDown();
      else if (event == kPortUp) roamPeriod_ == 0 ? EnterDown() : EnterRoaming();
      return;
    case kRoaming:
      if (event == kLinkDown) EnterDown();
      else if (event == kConnected) EnterUp();
      else if (roamCountdown_ == 0) EnterDown();
      return;
  }
}

void LinkTimerMachine::ElapseTime(std::uint32_t milliseconds) {
  roamCountdown_ = roamCountdown_ > milliseconds ? roamCountdown_ - milliseconds : 0;
}

void LinkTimerMachine::NextTimeout(std::uint32_t& milliseconds) const {
  if (roamCountdown_ != 0 && roamCountdown_ < milliseconds) milliseconds = roamCountdown_;
}

void LinkTimerMachine::EnterDown() {
  owner_.LinkDown();
  state_ = kDown;
}

void LinkTimerMachine::EnterUp() {
  owner_.LinkUp();
  state_ = kUp;
}

void LinkTimerMachine::EnterRoaming() {
  owner_.Roaming();
  if (roamCountdown_ == 0 || roamCountdown_ > roamPeriod_) roamCountdown_ = roamPeriod_;
  state_ = kRoaming;
}
