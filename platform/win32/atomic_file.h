#pragma once
// Whole-file reads with a size cap and crash-safe whole-file replacement, for the small
// files the stores and the utility keep (settings, registry keys, profiles).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

// The file's bytes; nullopt when it cannot be opened or read, or is larger than maxBytes.
std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxBytes);

// Replaces `path` with `bytes`: they go to a temporary file in the same directory, which is
// flushed to disk and renamed over the target. On any failure the temporary file is removed,
// the old file stays as it was, and false is returned.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace plat
