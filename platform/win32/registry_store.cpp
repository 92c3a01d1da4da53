#include "platform/win32/registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/win32/ascii_text.h"
#include "platform/win32/atomic_file.h"
#include "platform/win32/refusal_trace.h"

namespace plat {
namespace {

constexpr char kHex[] = "0123456789abcdef";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Escape(std::string_view s, bool isName) {
  std::string out;
  for (unsigned char c : s) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7f || (isName && c == '=')) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::optional<std::string> Unescape(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out += s[i];
      continue;
    }
    if (++i >= s.size()) return std::nullopt;
    switch (s[i]) {
      case '\\': out += '\\'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 'x': {
        if (i + 2 >= s.size()) return std::nullopt;
        int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      default: return std::nullopt;
    }
  }
  return out;
}

struct ValueLine {
  std::string name;
  RegistryValue value;
};

std::optional<ValueLine> ParseValueLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.empty() || line.front() == ';') return std::nullopt;
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  std::optional<std::string> name = Unescape(line.substr(0, eq));
  if (!name) return std::nullopt;
  std::string_view data = line.substr(eq + 1);
  if (data.substr(0, 3) == "sz:") {
    std::optional<std::string> text = Unescape(data.substr(3));
    if (!text) return std::nullopt;
    return ValueLine{*name, RegistryValue::String(*text)};
  }
  if (data.substr(0, 8) == "dword:0x") {
    std::string_view digits = data.substr(8);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    uint32_t v = 0;
    for (char c : digits) {
      int d = HexDigit(c);
      if (d < 0) return std::nullopt;
      v = v << 4 | static_cast<uint32_t>(d);
    }
    return ValueLine{*name, RegistryValue::Dword(v)};
  }
  return std::nullopt;
}

std::string FormatValueLine(std::string_view name, const RegistryValue& value) {
  std::string line = Escape(name, true) + "=";
  if (value.type == RegistryValue::Type::String) return line + "sz:" + Escape(value.text, false);
  char digits[9];
  for (int i = 7; i >= 0; --i) digits[7 - i] = kHex[(value.dword >> (4 * i)) & 15];
  digits[8] = '\0';
  return line + "dword:0x" + digits;
}

// Calls f(lineStart, lineEndWithoutBreak, endWithBreak) for each line.
template <typename F>
void ForEachLine(std::string_view text, F f) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = (nl == std::string_view::npos) ? text.size() : nl;
    size_t next = (nl == std::string_view::npos) ? text.size() : nl + 1;
    if (!f(pos, end, next)) return;
    pos = next;
  }
}

bool KeepsAsIs(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' || c == '_' || c == '-' ||
         c == '{' || c == '}';
}

class FileLock {
public:
  explicit FileLock(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool Held() const { return fd_ >= 0; }

private:
  int fd_;
};

const char* TypeName(RegistryValue::Type type) {
  return type == RegistryValue::Type::Dword ? "a number" : "a string";
}

}  // namespace

std::string WrongTypeRefusal(std::string_view keyPath, std::string_view name, RegistryValue::Type found,
                             RegistryValue::Type expected) {
  return "registry value " + std::string(keyPath) + "\\" + std::string(name) + " is " + TypeName(found) +
         ", not " + TypeName(expected) + "; ignored";
}

bool PrivateDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    TraceRefusal(path + ": cannot be created");
    return false;
  }
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
    TraceRefusal(path + ": not a directory of this user's own, not used");
    return false;
  }
  return true;
}

std::optional<RegistryValue> RegistryLookup(std::string_view keyText, std::string_view name) {
  std::optional<RegistryValue> found;
  ForEachLine(keyText, [&](size_t start, size_t end, size_t) {
    std::optional<ValueLine> v = ParseValueLine(keyText.substr(start, end - start));
    if (v && EqualsIgnoreCase(v->name, name)) {
      found = v->value;
      return false;
    }
    return true;
  });
  return found;
}

std::string RegistryWithValue(std::string_view keyText, std::string_view name,
                              const RegistryValue& value) {
  std::string out;
  bool replaced = false;
  ForEachLine(keyText, [&](size_t start, size_t end, size_t next) {
    std::string_view line = keyText.substr(start, end - start);
    std::optional<ValueLine> v = ParseValueLine(line);
    if (!replaced && v && EqualsIgnoreCase(v->name, name)) {
      out += FormatValueLine(v->name, value);  // the stored spelling of the name stays
      if (!line.empty() && line.back() == '\r') out += '\r';
      out += keyText.substr(end, next - end);
      replaced = true;
    } else {
      out += keyText.substr(start, next - start);
    }
    return true;
  });
  if (!replaced) {
    if (!out.empty() && out.back() != '\n') out += '\n';
    out += FormatValueLine(name, value) + "\n";
  }
  return out;
}

std::string RegistryStore::DefaultRoot() {
  if (const char* root = std::getenv("ZELCON_REGISTRY_ROOT"); root && *root) return root;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
    return std::string(data) + "/zelnic/registry";
  if (const char* home = std::getenv("HOME"); home && *home)
    return std::string(home) + "/.local/share/zelnic/registry";
  const std::string shared = "/tmp/zelnic-registry-" + std::to_string(::getuid());
  return PrivateDirectory(shared) ? shared : std::string();
}

std::string RegistryStore::KeyFilePath(std::string_view keyPath) const {
  std::string path = root_;
  std::string component;
  auto flush = [&] {
    if (!component.empty()) path += "/" + component;
    component.clear();
  };
  for (char ch : keyPath) {
    unsigned char c = static_cast<unsigned char>(AsciiLower(ch));
    if (c == '\\') {
      flush();
    } else if (KeepsAsIs(c)) {
      component += static_cast<char>(c);
    } else {
      component += '%';
      component += kHex[c >> 4];
      component += kHex[c & 15];
    }
  }
  flush();
  return path + ".key";
}

std::optional<RegistryValue> RegistryStore::Query(std::string_view keyPath,
                                                  std::string_view name) const {
  if (root_.empty()) return std::nullopt;
  std::optional<std::string> text = ReadWholeFile(KeyFilePath(keyPath), kMaxKeyFileBytes);
  if (!text) return std::nullopt;
  return RegistryLookup(*text, name);
}

namespace {

// The value when it has the type asked for; one of the other type is traced by name.
std::optional<RegistryValue> OfType(std::optional<RegistryValue> v, RegistryValue::Type type,
                                    std::string_view keyPath, std::string_view name) {
  if (!v || v->type == type) return v;
  TraceRefusal(WrongTypeRefusal(keyPath, name, v->type, type));
  return std::nullopt;
}

}  // namespace

std::optional<std::uint32_t> RegistryStore::QueryDword(std::string_view keyPath,
                                                       std::string_view name) const {
  std::optional<RegistryValue> v =
      OfType(Query(keyPath, name), RegistryValue::Type::Dword, keyPath, name);
  if (!v) return std::nullopt;
  return v->dword;
}

std::optional<std::string> RegistryStore::QueryString(std::string_view keyPath,
                                                      std::string_view name) const {
  std::optional<RegistryValue> v =
      OfType(Query(keyPath, name), RegistryValue::Type::String, keyPath, name);
  if (!v) return std::nullopt;
  return v->text;
}

bool RegistryStore::Set(std::string_view keyPath, std::string_view name,
                        const RegistryValue& value) {
  if (root_.empty()) return false;
  std::string file = KeyFilePath(keyPath);
  if (!MakeDirectories(root_, 0755)) return false;
  FileLock lock(root_ + "/.lock");
  if (!lock.Held()) return false;
  std::string directory = file.substr(0, file.rfind('/'));
  if (!MakeDirectories(directory, 0755)) return false;
  std::optional<std::string> text = ReadWholeFile(file, kMaxKeyFileBytes);
  if (!text) {
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 || errno != ENOENT) return false;  // unreadable: keep it
    text = "; " + Escape(keyPath, false) + "\n";
  }
  return WriteFileAtomically(file, RegistryWithValue(*text, name, value));
}

}  // namespace plat
