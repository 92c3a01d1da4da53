#pragma once
// Profile files (Data.cfg and exported *.cfg): entries to the end of the file, no header;
// each entry is a u32 little-endian length (792 when we write) and that many scrambled bytes.
//
// Reading is bounded: an entry longer than a record keeps its first 792 bytes and the rest is
// skipped, so the next entry stays aligned; a shorter one leaves the rest of its record zero;
// a zero length ends the file. A file cut short keeps the records read before the cut.
// Writing replaces the file atomically: a failed save leaves the old file as it was. The
// files hold pass phrases and keys under a fixed mask, so a new one is owner-only.
#include <string>
#include <string_view>
#include <vector>

#include "utility/core/profile_entry.h"

namespace zelcon {

struct ProfileReadResult {
  std::vector<PROFILE_ENTRY> records;
  bool complete = false;  // false: the file could not be opened or ended inside an entry
  bool missing = false;     // there is no such file
  bool unreadable = false;  // the file is there but could not be opened or read to its end
};

ProfileReadResult ReadProfileRecords(std::string_view fileBytes);
ProfileReadResult ReadProfileFile(const std::string& path);

// Every record in order; "<Default>" and "<Site Survey>" only when `withReservedNames`.
std::string EncodeProfileFile(const std::vector<PROFILE_ENTRY>& records, bool withReservedNames);
// The reserved names are kept only when `path` is the profile store itself (`dataCfgPath`,
// compared byte for byte): exported files never carry them.
bool WriteProfileFile(const std::string& path, const std::vector<PROFILE_ENTRY>& records,
                      const std::string& dataCfgPath);

}  // namespace zelcon
