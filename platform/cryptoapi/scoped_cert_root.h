#pragma once
// For tests: points the certificate stores at a fresh temporary directory while it lives
// and puts the environment back afterwards (header-only, never part of the library).
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/cryptoapi/store_location.h"
#include "platform/win32/test_temp_dir.h"

namespace capi::testing {

class ScopedEnvironment {
public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    if (old_) {
      ::setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
  std::string name_;
  std::optional<std::string> old_;
};

class ScopedCertRoot {
public:
  ScopedCertRoot() : variable_(kCertRootVariable, directory_.Path().c_str()) {}
  const std::string& Path() const { return directory_.Path(); }
  // The folder of a store of the current user.
  std::string StoreDirectory(const std::string& folder) const {
    return directory_.Path() + "/CurrentUser/" + folder;
  }

private:
  plat::TestTempDir directory_;
  ScopedEnvironment variable_;
};

}  // namespace capi::testing
