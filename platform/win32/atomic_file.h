#pragma once
// Whole-file reads with a size cap and crash-safe whole-file replacement, for the small
// files the stores and the utility keep (settings, registry keys, profiles).
#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

// The file's bytes; nullopt when it cannot be opened or read, or is larger than maxBytes
// (traced with the file's name, unless the file is simply not there).
std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxBytes);

// The permissions a replaced file gets: an existing file keeps its own unless `keepExisting`
// is false; a new one gets `bits`.
struct FileMode {
  mode_t bits = 0644;
  bool keepExisting = true;
};
// Files that hold secrets: owner-only when new, an existing file keeps its mode.
inline constexpr FileMode kPrivateFileMode{0600, true};

// Replaces `path` with `bytes`: they go to a temporary file in the same directory, which is
// flushed to disk and renamed over the target. A symbolic link stays a link: the file it
// points to is replaced, beside itself. On any failure the temporary file is removed, the
// old file stays as it was, and false is returned.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, FileMode mode = {});

// Creates `path` and any missing parents with `mode`; true when it is there afterwards.
bool MakeDirectories(const std::string& path, mode_t mode);

// Where `path` leads after following symbolic links (the path itself when it is none, or
// the last link's target when that does not exist yet).
std::string ResolveSymlinks(const std::string& path);

}  // namespace plat
