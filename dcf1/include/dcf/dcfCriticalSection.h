#pragma once
// A critical section embedded in the object it protects. It is entered and left only through
// dcfLock. The owning thread may enter it again (recursion), as on Windows.
#include "platform/win32/critical_section.h"

class dcfLock;

class dcfCriticalSection {
public:
  dcfCriticalSection() = default;
  dcfCriticalSection(const dcfCriticalSection&) = delete;
  dcfCriticalSection& operator=(const dcfCriticalSection&) = delete;

private:
  friend class dcfLock;
  plat::CriticalSection section_;
};
