#pragma once
// Permission checks do not apply to root, and CI runs as root. While a TestAsOtherUser lives,
// a root test runs as `nobody` (uid and gid 65534), with `directory` handed over to it so it
// can still create and rename files there; an ordinary user's test runs as itself.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace plat {

inline constexpr uid_t kNobody = 65534;

class TestAsOtherUser {
public:
  explicit TestAsOtherUser(const std::string& directory) {
    if (::geteuid() != 0) return;
    if (::chown(directory.c_str(), kNobody, kNobody) != 0 || ::setegid(kNobody) != 0 ||
        ::seteuid(kNobody) != 0)
      std::abort();
    switched_ = true;
  }
  ~TestAsOtherUser() {
    if (switched_ && (::seteuid(0) != 0 || ::setegid(0) != 0)) std::abort();
  }
  TestAsOtherUser(const TestAsOtherUser&) = delete;
  TestAsOtherUser& operator=(const TestAsOtherUser&) = delete;

private:
  bool switched_ = false;
};

}  // namespace plat
