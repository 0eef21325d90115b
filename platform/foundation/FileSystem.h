// FileSystem: the few file operations the device's services share —
// whole-file reads with a size limit, atomic replacement of a file, creating
// a folder with its parents, and setting a damaged file aside. Stateless; thread-safe as far as the
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

// Creates the folder and any missing parents with `mode`; existing ones are
// fine and keep theirs.
Result<void> createDirectories(const std::string& path, unsigned mode = 0755);

// Renames a file that cannot be used to "<path>.damaged" — or, when an
// earlier one is kept there, the first free "<path>.damaged-N" — so a fresh
// file can take its place while the old bytes stay for a person to look at.
// Gives the new path.
Result<std::string> moveDamagedFileAside(const std::string& path);

bool fileExists(const std::string& path);
bool directoryExists(const std::string& path);

// The folder part of a path ("a/b/c" → "a/b", "c" → ".").
std::string parentPath(const std::string& path);

} // namespace murmelo::fs
