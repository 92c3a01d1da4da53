#include "utility/core/profile_file.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "platform/win32/atomic_file.h"
#include "utility/core/profile_scramble.h"

namespace zelcon {
namespace {

constexpr size_t kRecordSize = sizeof(PROFILE_ENTRY);

// Reads up to n bytes; fewer only at the end of the data or on a read error.
class MemorySource {
public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  size_t Read(uint8_t* out, size_t n) {
    n = std::min(n, bytes_.size());
    std::memcpy(out, bytes_.data(), n);
    bytes_.remove_prefix(n);
    return n;
  }

private:
  std::string_view bytes_;
};

class FileSource {
public:
  explicit FileSource(std::FILE* f) : f_(f) {}
  size_t Read(uint8_t* out, size_t n) { return std::fread(out, 1, n, f_); }

private:
  std::FILE* f_;
};

template <typename Source>
ProfileReadResult ReadRecords(Source& source) {
  ProfileReadResult result;
  for (;;) {
    uint8_t lengthBytes[4];
    size_t got = source.Read(lengthBytes, 4);
    if (got == 0) break;                    // end of file between entries
    if (got < 4) return result;             // cut inside the length word
    uint32_t length = uint32_t(lengthBytes[0]) | uint32_t(lengthBytes[1]) << 8 |
                      uint32_t(lengthBytes[2]) << 16 | uint32_t(lengthBytes[3]) << 24;
    if (length == 0) break;

    uint8_t scrambled[kRecordSize] = {};
    size_t keep = std::min<size_t>(length, kRecordSize);
    if (source.Read(scrambled, keep) < keep) return result;
    for (size_t rest = length - keep; rest > 0;) {  // skip what does not fit, in chunks
      uint8_t chunk[kRecordSize];
      size_t step = std::min(rest, sizeof chunk);
      if (source.Read(chunk, step) < step) return result;
      rest -= step;
    }
    PROFILE_ENTRY record{};
    ScrambleProfile(scrambled, reinterpret_cast<uint8_t*>(&record), keep);
    result.records.push_back(record);
    WipeProfile(record);
    volatile uint8_t* wipe = scrambled;
    for (size_t i = 0; i < kRecordSize; ++i) wipe[i] = 0;
  }
  result.complete = true;
  return result;
}

}  // namespace

ProfileReadResult ReadProfileRecords(std::string_view fileBytes) {
  MemorySource source(fileBytes);
  return ReadRecords(source);
}

ProfileReadResult ReadProfileFile(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) {
    ProfileReadResult missing;
    missing.missing = errno == ENOENT;
    missing.unreadable = !missing.missing;
    return missing;
  }
  FileSource source(f.get());
  ProfileReadResult result = ReadRecords(source);
  if (std::ferror(f.get())) {
    result.complete = false;
    result.unreadable = true;
  }
  return result;
}

std::string EncodeProfileFile(const std::vector<PROFILE_ENTRY>& records, bool withReservedNames) {
  std::string out;
  for (const PROFILE_ENTRY& record : records) {
    std::string_view name = FieldText(record.name);
    if (!withReservedNames && (name == kDefaultProfileName || name == kSiteSurveyProfileName))
      continue;
    const uint8_t length[4] = {kRecordSize & 0xFF, kRecordSize >> 8, 0, 0};
    out.append(reinterpret_cast<const char*>(length), 4);
    uint8_t scrambled[kRecordSize];
    ScrambleProfile(reinterpret_cast<const uint8_t*>(&record), scrambled, kRecordSize);
    out.append(reinterpret_cast<const char*>(scrambled), kRecordSize);
  }
  return out;
}

bool WriteProfileFile(const std::string& path, const std::vector<PROFILE_ENTRY>& records,
                      const std::string& dataCfgPath) {
  std::string bytes = EncodeProfileFile(records, path == dataCfgPath);
  bool ok = plat::WriteFileAtomically(path, bytes, plat::kPrivateFileMode);
  volatile char* wipe = bytes.data();  // the pass phrases are only masked
  for (size_t i = 0; i < bytes.size(); ++i) wipe[i] = 0;
  return ok;
}

}  // namespace zelcon
