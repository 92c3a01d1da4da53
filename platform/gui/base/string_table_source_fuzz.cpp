// String-table sources, and the literals generated from what they hold.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gui/base/string_table_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<zfw::SourceString> entries;
  std::string error;
  if (zfw::parseStringSource(std::string_view(reinterpret_cast<const char*>(data), size), entries, error)) {
    for (const auto& e : entries) zfw::cxxStringLiteral(e.text);
  }
  return 0;
}
