#pragma once
// A small file-backed registry shared by the driver host, the adapter-control library and
// the utility. Each key is one text file under a root directory; its values are lines
//   ; <key path as first written>
//   Name=dword:0x0000000a
//   Other Name=sz:some text
// Key and value names compare ASCII case-insensitively. Names and texts escape "\", line
// breaks, control bytes and (in names) "=" as \\, \n, \r and \xHH. Lines this store does not
// understand are kept as they are. Every change replaces the key's file atomically, under a
// lock file so that two processes do not lose each other's changes.
//
// Key path "A\B\C" lives in <root>/a/b/c.key: components are lower-cased and every byte other
// than a-z, 0-9, space, "_", "-", "{", "}" is written as %HH, so no name can collide with the
// ".key" suffix or escape the root.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

struct RegistryValue {
  enum class Type { Dword, String };
  Type type = Type::Dword;
  std::uint32_t dword = 0;
  std::string text;

  static RegistryValue Dword(std::uint32_t v) { return {Type::Dword, v, {}}; }
  static RegistryValue String(std::string_view s) { return {Type::String, 0, std::string(s)}; }
  bool operator==(const RegistryValue&) const = default;
};

// Why a value of the other type than asked for is not taken, naming it and both types:
// "registry value <key>\<name> is a number, not a string; ignored".
std::string WrongTypeRefusal(std::string_view keyPath, std::string_view name, RegistryValue::Type found,
                             RegistryValue::Type expected);

// A directory only this user can use, as a shared place like /tmp needs: made 0700 when
// missing; an existing one must be a directory (not a link to one) owned by the user. False,
// and traced, when it is not: another local user could feed values through it.
bool PrivateDirectory(const std::string& path);

// The same operations on one key's text in memory.
std::optional<RegistryValue> RegistryLookup(std::string_view keyText, std::string_view name);
std::string RegistryWithValue(std::string_view keyText, std::string_view name,
                              const RegistryValue& value);

class RegistryStore {
public:
  // An empty root is a store that holds nothing and takes no writes.
  explicit RegistryStore(std::string root) : root_(std::move(root)) {}
  // $ZELCON_REGISTRY_ROOT when set, else $XDG_DATA_HOME/zelnic/registry (by default
  // ~/.local/share/zelnic/registry); with none of them /tmp/zelnic-registry-<uid>, which must
  // be private (PrivateDirectory), or the root is empty.
  static std::string DefaultRoot();
  static RegistryStore FromEnvironment() { return RegistryStore(DefaultRoot()); }

  const std::string& Root() const { return root_; }
  std::string KeyFilePath(std::string_view keyPath) const;

  std::optional<RegistryValue> Query(std::string_view keyPath, std::string_view name) const;
  // nullopt when the value is absent or of the other type.
  std::optional<std::uint32_t> QueryDword(std::string_view keyPath, std::string_view name) const;
  std::optional<std::string> QueryString(std::string_view keyPath, std::string_view name) const;
  // Creates the key when needed; false when it could not be written (nothing changed then).
  bool Set(std::string_view keyPath, std::string_view name, const RegistryValue& value);
  bool SetDword(std::string_view keyPath, std::string_view name, std::uint32_t value) {
    return Set(keyPath, name, RegistryValue::Dword(value));
  }
  bool SetString(std::string_view keyPath, std::string_view name, std::string_view value) {
    return Set(keyPath, name, RegistryValue::String(value));
  }

  static constexpr std::size_t kMaxKeyFileBytes = 1 << 20;

private:
  std::string root_;
};

}  // namespace plat
