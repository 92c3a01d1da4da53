#pragma once
// Scoped guard over a dcfCriticalSection. The held flag makes Enter and Leave idempotent, so a
// guard may drop the lock early and take it again within its scope, and never leaves a
// section it does not hold. Each thread builds its own guard.
#include <dcf/dcfCriticalSection.h>

class dcfLock {
public:
  explicit dcfLock(dcfCriticalSection& section) : section_(&section), held_(false) { Enter(); }
  ~dcfLock() { Leave(); }
  dcfLock(const dcfLock&) = delete;
  dcfLock& operator=(const dcfLock&) = delete;

  void Enter() {
    if (held_) return;
    section_->section_.Enter();
    held_ = true;
  }

  void Leave() {
    if (!held_) return;
    section_->section_.Leave();
    held_ = false;
  }

  bool IsHeld() const { return held_; }

private:
  dcfCriticalSection* section_;
  bool held_;
};
