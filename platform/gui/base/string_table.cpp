#include "platform/gui/base/string_table.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace zfw {
namespace {

struct Registry {
  std::mutex mutex;
  std::vector<const StringTableData*> tables;
};

Registry& registry() {
  static Registry r;
  return r;
}

const char* find(uint32_t id) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (const StringTableData* table : r.tables) {
    const StringEntry* end = table->entries + table->count;
    const StringEntry* it = std::lower_bound(
        table->entries, end, id, [](const StringEntry& e, uint32_t key) { return e.id < key; });
    if (it != end && it->id == id) return it->text;
  }
  return nullptr;
}

}  // namespace

void StringTable::install(const StringTableData& table) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (std::find(r.tables.begin(), r.tables.end(), &table) == r.tables.end()) r.tables.push_back(&table);
}

void StringTable::clear() {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.tables.clear();
}

std::string loadString(uint32_t id) {
  const char* text = find(id);
  return text ? std::string(text) : std::string();
}

bool hasString(uint32_t id) { return find(id) != nullptr; }

}  // namespace zfw
