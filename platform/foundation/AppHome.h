// AppHome: the installation's home folder — the app's sandbox on the device —
// with Documents/, Library/Caches/, Library/Preferences/ and tmp/.
//
// One home is current per process: a documented single instance, chosen once
// at start-up (the murmelo command's --home) or, when nobody chose, the
// default $XDG_DATA_HOME/murmelo/home (~/.local/share/murmelo/home). Tests
// swap it for a temporary folder with replaceCurrentForTesting(). Homes are
// immutable and shared; thread-safe.
//
// Also the platform's path queries over the current home: the home and
// temporary folders and the standard-directory search.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/core/Result.h"

namespace murmelo {

class AppHome {
public:
    // Opens (creating when needed) the home at `path` and its folders. A
    // file (or anything else but a folder) where one of the folders belongs
    // is renamed to "<name>.damaged" (fs::moveDamagedFileAside) and the
    // folder made; fails only when that cannot be done.
    static Result<std::shared_ptr<const AppHome>> open(const std::string& path);
    static std::string defaultPath();

    // The current home; the default one on first use if none was set. If its
    // folders cannot be created that is logged and the home still answers.
    static std::shared_ptr<const AppHome> current();
    // Chooses the current home. Fails when one is already in use.
    static Result<void> setCurrent(const std::string& path);
    static Result<void> replaceCurrentForTesting(const std::string& path);

    const std::string& path() const { return m_path; }
    std::string documentsDirectory() const { return m_path + "/Documents"; }
    std::string libraryDirectory() const { return m_path + "/Library"; }
    std::string cachesDirectory() const { return m_path + "/Library/Caches"; }
    std::string preferencesDirectory() const { return m_path + "/Library/Preferences"; }
    std::string temporaryDirectory() const { return m_path + "/tmp"; }

private:
    explicit AppHome(std::string path) : m_path(std::move(path)) {}
    std::string m_path; // absolute, without a trailing slash
};

enum class SearchPathDirectory { Document, Library, Caches, ApplicationSupport };
enum class SearchPathDomain { User, Local, Network, System, All };
enum class ExpandTilde { No, Yes };

// The current home (NSHomeDirectory) and its tmp folder with a trailing "/"
// (NSTemporaryDirectory).
std::string homeDirectory();
std::string temporaryDirectory();
// Like the phone: only the user domain has folders; others give an empty
// list. Without tilde expansion the paths start with "~" (the home).
std::vector<std::string> searchPathForDirectoriesInDomains(SearchPathDirectory directory,
                                                           SearchPathDomain domains, ExpandTilde expand);
// A leading "~" or "~/" stands for the current home.
std::string stringByExpandingTildeInPath(const std::string& path);

} // namespace murmelo
