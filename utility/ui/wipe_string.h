#pragma once
// Keys, pass phrases and passwords are overwritten before their memory is given back.
#include <string>

inline void WipeString(std::string& s) {
  volatile char* p = s.data();
  for (size_t i = 0; i < s.size(); ++i) p[i] = 0;
  s.clear();
}

// Records that held a PIN or a key.
inline void WipeBytes(void* data, size_t size) {
  volatile unsigned char* p = static_cast<unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) p[i] = 0;
}
