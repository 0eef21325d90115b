// FileManager: the file operations beyond FileSystem.h that the app's disk
// cache and device checks need — the platform's NSFileManager subset:
// existence of any kind of item, recursive removal, an atomic file copy,
// modification dates and a deep listing of a folder.
//
// Stateless; thread-safe as far as the files themselves allow. Symbolic
// links are never followed when removing or listing, so an operation on a
// folder never reaches outside it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/core/Result.h"

namespace murmelo {

class FileManager {
public:
    FileManager() = delete;

    // Whether anything (file, folder, ...) is at `path`; a dangling link is nothing.
    static bool fileExistsAtPath(const std::string& path);
    // Removes a file, a link, or a folder with everything in it.
    static Result<void> removeItemAtPath(const std::string& path);
    // Copies a regular file to `destination` through a temporary file in the
    // destination's folder, so readers see the old or the new contents.
    // An existing destination is replaced.
    static Result<void> copyFileAtomically(const std::string& source, const std::string& destination);
    // Seconds since 1970 of the item's last modification (of a link itself,
    // not its target); nothing when it cannot be read.
    static std::optional<double> modificationDate(const std::string& path);
    static Result<void> setModificationDate(const std::string& path, double secondsSince1970);
    // Every item below `folder` at any depth, as paths relative to it, parents
    // before their contents; links are listed but not entered. Empty when
    // the folder cannot be read.
    static std::vector<std::string> subpathsOfDirectoryAtPath(const std::string& folder);
};

} // namespace murmelo
