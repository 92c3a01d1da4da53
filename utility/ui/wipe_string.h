#pragma once
// Keys, pass phrases and passwords are overwritten before their memory is given back.
#include <string>

inline void WipeString(std::string& s) {
  volatile char* p = s.data();
  for (size_t i = 0; i < s.size(); ++i) p[i] = 0;
  s.clear();
}
