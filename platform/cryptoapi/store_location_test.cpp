#include "platform/cryptoapi/store_location.h"

#include <gtest/gtest.h>

#include "platform/cryptoapi/scoped_cert_root.h"

namespace capi {
namespace {

using testing::ScopedEnvironment;

TEST(StoreLocation, DirectoryFromTheEnvironment) {
  struct Case {
    const char* root;
    const char* dataHome;
    const char* home;
    StoreLocation location;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"/certs", "/xdg", "/home/u", StoreLocation::CurrentUser, "/certs/CurrentUser"},
      {"/certs", nullptr, nullptr, StoreLocation::LocalMachine, "/certs/LocalMachine"},
      {nullptr, "/xdg", "/home/u", StoreLocation::CurrentUser, "/xdg/zelnic/certificates/CurrentUser"},
      {nullptr, nullptr, "/home/u", StoreLocation::CurrentUser,
       "/home/u/.local/share/zelnic/certificates/CurrentUser"},
      // Relative directories are not used: they would depend on the working directory.
      {"certs", "xdg", "/home/u", StoreLocation::CurrentUser,
       "/home/u/.local/share/zelnic/certificates/CurrentUser"},
      {nullptr, nullptr, nullptr, StoreLocation::CurrentUser, std::nullopt},
      {nullptr, nullptr, nullptr, StoreLocation::LocalMachine, "/var/lib/zelnic/certificates/LocalMachine"},
  };
  for (const Case& c : cases) {
    ScopedEnvironment root(kCertRootVariable, c.root);
    ScopedEnvironment dataHome("XDG_DATA_HOME", c.dataHome);
    ScopedEnvironment home("HOME", c.home);
    EXPECT_EQ(LocationDirectory(c.location), c.expected)
        << (c.root ? c.root : "-") << " " << (c.dataHome ? c.dataHome : "-") << " "
        << (c.home ? c.home : "-");
  }
}

TEST(StoreLocation, StoreNamesBecomeOneUpperCaseFolder) {
  struct Case {
    std::string_view name;
    std::optional<std::string> folder;
  };
  const Case cases[] = {
      {"my", "MY"},
      {"Root", "ROOT"},
      {"CA", "CA"},
      {"Trusted People-2", "TRUSTED PEOPLE-2"},
      {"", std::nullopt},
      {".", std::nullopt},
      {"..", std::nullopt},
      {"../MY", std::nullopt},
      {"a\\b", std::nullopt},
      {std::string_view("M\0Y", 3), std::nullopt},
      {"caf\xC3\xA9", std::nullopt},
      {"tab\there", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StoreFolderName(c.name), c.folder) << c.name;
  }
}

}  // namespace
}  // namespace capi
