#pragma once
// The program's string table: user-visible texts by numeric id. Tables are generated at
// build time from a text file (see zfw_string_table() in platform/gui/zfw_strings.cmake)
// and installed once at start-up.
#include <cstddef>
#include <cstdint>
#include <string>

namespace zfw {

struct StringEntry {
  uint32_t id;
  const char* text;  // UTF-8
};

// A generated table: entries sorted by id, ids unique.
struct StringTableData {
  const StringEntry* entries;
  size_t count;
};

class StringTable {
 public:
  // Adds a table to the lookup (installing the same table twice has no effect).
  static void install(const StringTableData& table);
  // Forgets every installed table (tests).
  static void clear();
};

// The text of `id`, or an empty string when no installed table has it.
std::string loadString(uint32_t id);
bool hasString(uint32_t id);

}  // namespace zfw
