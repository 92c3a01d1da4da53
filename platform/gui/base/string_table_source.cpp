#include "platform/gui/base/string_table_source.h"

#include <algorithm>
#include <cstdio>

#include "platform/gui/base/utf8.h"

namespace zfw {
namespace {

bool unescape(std::string_view in, std::string& out, std::string& why) {
  out.clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\\') {
      out += in[i];
      continue;
    }
    if (++i == in.size()) {
      why = "a backslash ends the text";
      return false;
    }
    switch (in[i]) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      default:
        why = std::string("unknown escape \\") + in[i];
        return false;
    }
  }
  return true;
}

bool parseLine(std::string_view line, SourceString& entry, std::string& why) {
  size_t i = 0;
  uint32_t id = 0;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
    id = id * 10 + static_cast<uint32_t>(line[i] - '0');
    if (id > 65535) {
      why = "the id is above 65535";
      return false;
    }
    ++i;
  }
  if (i == 0) {
    why = "a line must start with a decimal id";
    return false;
  }
  if (id == 0) {
    why = "the id 0 is not allowed";
    return false;
  }
  if (i == line.size() || line[i] != '\t') {
    why = "the id must be followed by one TAB";
    return false;
  }
  std::string_view text = line.substr(i + 1);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  if (!unescape(text, entry.text, why)) return false;
  if (!isUtf8(entry.text)) {
    why = "the text is not valid UTF-8";
    return false;
  }
  entry.id = id;
  return true;
}

}  // namespace

bool parseStringSource(std::string_view source, std::vector<SourceString>& out, std::string& error) {
  out.clear();
  std::vector<int> lines;  // line number of each entry, for duplicate reports
  int lineNo = 0;
  while (!source.empty()) {
    ++lineNo;
    const size_t end = source.find('\n');
    std::string_view line = source.substr(0, end);
    source = end == std::string_view::npos ? std::string_view() : source.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    SourceString entry;
    std::string why;
    if (!parseLine(line, entry, why)) {
      error = "line " + std::to_string(lineNo) + ": " + why;
      return false;
    }
    out.push_back(std::move(entry));
    lines.push_back(lineNo);
  }
  std::vector<size_t> order(out.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return out[a].id < out[b].id; });
  for (size_t k = 1; k < order.size(); ++k) {
    if (out[order[k]].id == out[order[k - 1]].id) {
      error = "line " + std::to_string(lines[order[k]]) + ": id " + std::to_string(out[order[k]].id) +
              " already given on line " + std::to_string(lines[order[k - 1]]);
      return false;
    }
  }
  std::vector<SourceString> sorted;
  sorted.reserve(out.size());
  for (size_t k : order) sorted.push_back(std::move(out[k]));
  out = std::move(sorted);
  return true;
}

std::string cxxStringLiteral(std::string_view text) {
  std::string lit = "\"";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      lit += '\\';
      lit += ch;
    } else if (c >= 0x20 && c < 0x7F && c != '?') {
      lit += ch;
    } else {
      // Octal escapes end after three digits, so a following digit cannot join them.
      char buf[5];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      lit += buf;
    }
  }
  lit += '"';
  return lit;
}

}  // namespace zfw
