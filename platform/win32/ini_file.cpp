#include "platform/win32/ini_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdint>

#include "platform/win32/ascii_text.h"
#include "platform/win32/atomic_file.h"

namespace plat {
namespace {

// One line of the file: where it starts, its text without the line break, and the break.
struct Line {
  size_t start = 0;
  std::string_view body;
  std::string_view eol;
  size_t End() const { return start + body.size() + eol.size(); }
};

enum class Kind { Other, Section, Key };

struct Parsed {
  Kind kind = Kind::Other;
  std::string_view name;   // section or key name, trimmed
  size_t valueStart = 0;   // key lines: the trimmed value's span within the whole text
  size_t valueEnd = 0;
};

bool NextLine(std::string_view text, size_t& pos, Line& line) {
  if (pos >= text.size()) return false;
  size_t nl = text.find('\n', pos);
  size_t bodyEnd = (nl == std::string_view::npos) ? text.size() : nl;
  size_t eolEnd = (nl == std::string_view::npos) ? text.size() : nl + 1;
  // A CR before LF, or ending the text, belongs to the line break.
  if (bodyEnd > pos && text[bodyEnd - 1] == '\r') --bodyEnd;
  line.start = pos;
  line.body = text.substr(pos, bodyEnd - pos);
  line.eol = text.substr(bodyEnd, eolEnd - bodyEnd);
  pos = eolEnd;
  return true;
}

Parsed ParseLine(const Line& line) {
  Parsed p;
  std::string_view t = TrimBlanks(line.body);
  if (t.empty() || t.front() == ';') return p;
  if (t.front() == '[') {
    std::string_view inner = t.substr(1);
    size_t close = inner.find(']');
    p.kind = Kind::Section;
    p.name = TrimBlanks(inner.substr(0, close));
    return p;
  }
  size_t eq = line.body.find('=');
  if (eq == std::string_view::npos) return p;
  p.kind = Kind::Key;
  p.name = TrimBlanks(line.body.substr(0, eq));
  std::string_view after = line.body.substr(eq + 1);
  std::string_view value = TrimBlanks(after);
  size_t leading = 0;
  while (leading < after.size() && (after[leading] == ' ' || after[leading] == '\t')) ++leading;
  p.valueStart = line.start + eq + 1 + leading;
  p.valueEnd = p.valueStart + value.size();
  return p;
}

// What turns a line's break into a complete one: nothing after LF, LF after a final CR,
// the file's line ending after a last line without any.
std::string_view Completion(std::string_view eol, std::string_view fileEol) {
  if (!eol.empty() && eol.back() == '\n') return "";
  return eol == "\r" ? "\n" : fileEol;
}

std::string_view FileLineEnding(std::string_view text) {
  size_t nl = text.find('\n');
  if (nl == std::string_view::npos) return "\r\n";
  return (nl > 0 && text[nl - 1] == '\r') ? "\r\n" : "\n";
}

// Where a key lies: its line (or none), and the line after which a new key of the section
// goes (the last key line, else the header), or none when the section is missing.
struct Location {
  std::optional<Parsed> key;
  std::optional<Line> insertAfter;
};

Location Find(std::string_view text, std::string_view section, std::string_view key) {
  Location loc;
  bool inSection = false;
  bool sectionSeen = false;
  size_t pos = 0;
  Line line;
  while (NextLine(text, pos, line)) {
    Parsed p = ParseLine(line);
    if (p.kind == Kind::Section) {
      if (inSection) break;  // the first matching section has ended
      inSection = !sectionSeen && EqualsIgnoreCase(p.name, TrimBlanks(section));
      if (inSection) {
        sectionSeen = true;
        loc.insertAfter = line;
      }
    } else if (p.kind == Kind::Key && inSection) {
      loc.insertAfter = line;
      if (EqualsIgnoreCase(p.name, TrimBlanks(key))) {
        loc.key = p;
        break;
      }
    }
  }
  return loc;
}

}  // namespace

std::optional<std::string> IniLookup(std::string_view text, std::string_view section,
                                     std::string_view key) {
  Location loc = Find(text, section, key);
  if (!loc.key) return std::nullopt;
  return std::string(text.substr(loc.key->valueStart, loc.key->valueEnd - loc.key->valueStart));
}

std::string IniWithValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view value) {
  Location loc = Find(text, section, key);
  std::string out;
  if (loc.key) {
    out.append(text.substr(0, loc.key->valueStart));
    out.append(value);
    out.append(text.substr(loc.key->valueEnd));
    return out;
  }
  std::string_view eol = FileLineEnding(text);
  std::string keyLine = std::string(TrimBlanks(key)) + "=" + std::string(value);
  if (loc.insertAfter) {
    const Line& after = *loc.insertAfter;
    out.append(text.substr(0, after.End()));
    out.append(Completion(after.eol, eol));
    out.append(keyLine).append(eol);
    out.append(text.substr(after.End()));
    return out;
  }
  out.append(text);
  if (!out.empty() && out.back() != '\n')
    out.append(Completion(out.back() == '\r' ? "\r" : "", eol));
  out.append("[").append(TrimBlanks(section)).append("]").append(eol);
  out.append(keyLine).append(eol);
  return out;
}

int IniValueToInt(std::string_view value, int defaultValue) {
  if (value.empty()) return defaultValue;
  size_t i = 0;
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  int64_t magnitude = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (value[i] - '0');
    if (magnitude > int64_t(INT_MAX) + 1) magnitude = int64_t(INT_MAX) + 1;  // saturate
  }
  int64_t result = negative ? -magnitude : magnitude;
  if (result > INT_MAX) result = INT_MAX;
  return static_cast<int>(result);
}

std::optional<std::string> IniFile::ReadString(std::string_view section,
                                               std::string_view key) const {
  std::optional<std::string> text = ReadWholeFile(path_, kMaxFileBytes);
  if (!text) return std::nullopt;
  return IniLookup(*text, section, key);
}

int IniFile::ReadInt(std::string_view section, std::string_view key, int defaultValue) const {
  std::optional<std::string> value = ReadString(section, key);
  return value ? IniValueToInt(*value, defaultValue) : defaultValue;
}

bool IniFile::WriteString(std::string_view section, std::string_view key,
                          std::string_view value) {
  std::optional<std::string> text = ReadWholeFile(path_, kMaxFileBytes);
  if (!text) {
    // Only a file that is not there starts afresh; one that cannot be read is left alone.
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0 || errno != ENOENT) return false;
    text.emplace();
  }
  return WriteFileAtomically(path_, IniWithValue(*text, section, key, value), newFileMode_);
}

bool IniFile::WriteInt(std::string_view section, std::string_view key, int value) {
  return WriteString(section, key, std::to_string(value));
}

}  // namespace plat
