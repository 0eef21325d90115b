// FileSystem: the few file operations the foundation services share —
// whole-file reads with a size limit, atomic replacement of a file, and
// creating a folder with its parents. Stateless; thread-safe as far as the
// files themselves are not written by two callers at once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/core/Result.h"

namespace murmelo::fs {

// Reads a whole regular file. Files over `maxBytes` are refused (an error),
// so a damaged or hostile file cannot exhaust memory.
Result<std::string> readFile(const std::string& path, size_t maxBytes = 64u << 20);

// Replaces `path` atomically: writes a temporary file in the same folder with
// the given mode, flushes it to disk, renames it over `path` and flushes the
// folder. Readers see the old or the new contents, never a mix. The folder
// must exist. On failure the old file is untouched and the temporary removed.
Result<void> writeFileAtomically(const std::string& path, std::string_view contents, unsigned mode = 0644);

// Creates the folder and any missing parents (mode 0755); existing ones are fine.
Result<void> createDirectories(const std::string& path);

bool fileExists(const std::string& path);
bool directoryExists(const std::string& path);

// The folder part of a path ("a/b/c" → "a/b", "c" → ".").
std::string parentPath(const std::string& path);

} // namespace murmelo::fs
