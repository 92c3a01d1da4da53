#pragma once
// Where the system certificate stores live. Each location ("Current User", "Local Machine")
// is a directory; each store of it ("MY", "ROOT", "CA", ...) a folder below it named by the
// store name in upper case, since store names are matched without case.
#include <optional>
#include <string>
#include <string_view>

namespace capi {

enum class StoreLocation { CurrentUser, LocalMachine };

// Names the directory above the two location folders, for tests and relocated installs.
inline constexpr char kCertRootVariable[] = "ZELNIC_CERT_ROOT";

// The directory of a location: $ZELNIC_CERT_ROOT/CurrentUser or .../LocalMachine when the
// variable is set; otherwise ${XDG_DATA_HOME:-$HOME/.local/share}/zelnic/certificates/CurrentUser
// for the current user and /var/lib/zelnic/certificates/LocalMachine for the machine.
// nullopt when no directory can be formed (no usable HOME).
std::optional<std::string> LocationDirectory(StoreLocation location);

// The folder of a store name: the name with ASCII letters in upper case. nullopt for a name
// that cannot be a single folder: empty, "." or "..", or holding a slash, a backslash or a
// byte outside printable ASCII.
std::optional<std::string> StoreFolderName(std::string_view storeName);

}  // namespace capi
