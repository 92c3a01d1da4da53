// Build-time generator: turns a string-table text file into a C++ source and header that
// define `const zfw::StringTableData& <symbol>()`.
//   string_table_gen <input.txt> <symbol> <output.cpp> <output.h>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gui/base/string_table_source.h"

namespace {

bool validSymbol(const std::string& s) {
  if (s.empty() || (s[0] >= '0' && s[0] <= '9')) return false;
  for (char c : s) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

bool writeFile(const std::string& path, const std::string& content) {
  // Leave an unchanged output alone so dependants are not rebuilt.
  std::ifstream old(path, std::ios::binary);
  if (old) {
    std::stringstream current;
    current << old.rdbuf();
    if (current.str() == content) return true;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s <input.txt> <symbol> <output.cpp> <output.h>\n", argv[0]);
    return 2;
  }
  const std::string input = argv[1], symbol = argv[2], cppPath = argv[3], headerPath = argv[4];
  if (!validSymbol(symbol)) {
    std::fprintf(stderr, "%s: '%s' is not a C++ identifier\n", input.c_str(), symbol.c_str());
    return 1;
  }
  std::ifstream in(input, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "%s: cannot read the file\n", input.c_str());
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();
  std::vector<zfw::SourceString> entries;
  std::string error;
  if (!zfw::parseStringSource(text.str(), entries, error)) {
    std::fprintf(stderr, "%s: %s\n", input.c_str(), error.c_str());
    return 1;
  }

  std::string header = "// Generated from " + input + "; do not edit.\n#pragma once\n";
  header += "#include \"platform/gui/base/string_table.h\"\n\n";
  header += "const zfw::StringTableData& " + symbol + "();\n";

  std::string cpp = "// Generated from " + input + "; do not edit.\n";
  cpp += "#include \"" + symbol + ".h\"\n\nnamespace {\n";
  if (entries.empty()) {
    cpp += "const zfw::StringEntry* const kEntries = nullptr;\n";
  } else {
    cpp += "const zfw::StringEntry kEntries[] = {\n";
    for (const auto& e : entries) cpp += "    {" + std::to_string(e.id) + "u, " + zfw::cxxStringLiteral(e.text) + "},\n";
    cpp += "};\n";
  }
  cpp += "}  // namespace\n\nconst zfw::StringTableData& " + symbol + "() {\n";
  cpp += "  static const zfw::StringTableData table{kEntries, " + std::to_string(entries.size()) + "u};\n";
  cpp += "  return table;\n}\n";

  if (!writeFile(headerPath, header) || !writeFile(cppPath, cpp)) {
    std::fprintf(stderr, "%s: cannot write the generated files\n", input.c_str());
    return 1;
  }
  return 0;
}
