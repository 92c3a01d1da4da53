// The CHAP response (RFC 1994 section 4.1): MD5 over the identifier, the password and the
// challenge. EAP MD5-Challenge and TTLS's inner CHAP both answer with it.
#pragma once

#include <dcf/md5.h>

#include <cstdint>
#include <cstring>

inline void ChapResponse(std::uint8_t identifier, const char* password,
                         const std::uint8_t* challenge, std::uint32_t challengeLength,
                         std::uint8_t response[kMd5DigestSize]) {
  Md5Context md5;  // wiped when it goes
  Md5Init(md5);
  Md5Update(md5, &identifier, 1);
  Md5Update(md5, password, std::strlen(password));
  Md5Update(md5, challenge, challengeLength);
  Md5Final(response, md5);
}
