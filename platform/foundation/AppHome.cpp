#include "platform/foundation/AppHome.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/Log.h"
#include "platform/core/Text.h"
#include "platform/foundation/FileSystem.h"

namespace murmelo {

namespace {

struct CurrentHome {
    std::mutex mutex;
    std::shared_ptr<const AppHome> home;
};

CurrentHome& currentHome() {
    static CurrentHome* slot = new CurrentHome(); // never destroyed: read during exit
    return *slot;
}

std::string absolutePath(const std::string& path) {
    std::error_code ignored;
    std::string absolute = std::filesystem::absolute(path, ignored).lexically_normal().string();
    if (absolute.empty()) {
        absolute = path;
    }
    while (absolute.size() > 1 && absolute.back() == '/') {
        absolute.pop_back();
    }
    return absolute;
}

std::string userHome() {
    if (const char* home = std::getenv("HOME"); home && *home) {
        return home;
    }
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) {
        return entry->pw_dir;
    }
    return "/tmp";
}

// Creates `relative` under `home`. Whatever stands where one of its folders
// belongs (a file, a link to nothing) is set aside as damaged, as unreadable
// user defaults are, rather than keeping the app from starting.
Result<void> makeHomeFolder(const std::string& home, std::string_view relative) {
    std::string path = home;
    for (std::string_view part : text::split(relative, '/')) {
        path += '/';
        path += part;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || fs::directoryExists(path)) {
            continue;
        }
        MURMELO_TRY_VALUE(std::string aside, fs::moveDamagedFileAside(path));
        logLine("App home: %s is not a folder; kept as %s, making the folder", path.c_str(), aside.c_str());
    }
    return fs::createDirectories(path);
}

} // namespace

std::string AppHome::defaultPath() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
        return std::string(data) + "/murmelo/home";
    }
    return userHome() + "/.local/share/murmelo/home";
}

Result<std::shared_ptr<const AppHome>> AppHome::open(const std::string& path) {
    if (path.empty()) {
        return Error::generic("empty home path");
    }
    std::shared_ptr<const AppHome> home(new AppHome(absolutePath(path)));
    MURMELO_TRY_VOID(fs::createDirectories(home->path()));
    for (std::string_view folder : {"Documents", "Library/Caches", "Library/Preferences", "tmp"}) {
        MURMELO_TRY_VOID(makeHomeFolder(home->path(), folder));
    }
    return home;
}

std::shared_ptr<const AppHome> AppHome::current() {
    CurrentHome& slot = currentHome();
    std::lock_guard lock(slot.mutex);
    if (!slot.home) {
        std::string path = defaultPath();
        auto opened = open(path);
        if (opened) {
            slot.home = *opened;
        } else {
            logLine("Cannot prepare the app home %s: %s", path.c_str(),
                    opened.error().localizedDescription().c_str());
            slot.home = std::shared_ptr<const AppHome>(new AppHome(absolutePath(path)));
        }
    }
    return slot.home;
}

Result<void> AppHome::setCurrent(const std::string& path) {
    CurrentHome& slot = currentHome();
    std::lock_guard lock(slot.mutex);
    if (slot.home) {
        return Error::generic("the app home is already chosen: " + slot.home->path());
    }
    MURMELO_TRY_VALUE(auto opened, open(path));
    slot.home = opened;
    return Result<void>::success();
}

Result<void> AppHome::replaceCurrentForTesting(const std::string& path) {
    MURMELO_TRY_VALUE(auto opened, open(path));
    CurrentHome& slot = currentHome();
    std::lock_guard lock(slot.mutex);
    slot.home = opened;
    return Result<void>::success();
}

std::string homeDirectory() {
    return AppHome::current()->path();
}

std::string temporaryDirectory() {
    return AppHome::current()->temporaryDirectory() + "/";
}

std::vector<std::string> searchPathForDirectoriesInDomains(SearchPathDirectory directory,
                                                           SearchPathDomain domains, ExpandTilde expand) {
    if (domains != SearchPathDomain::User && domains != SearchPathDomain::All) {
        return {};
    }
    std::string relative;
    switch (directory) {
    case SearchPathDirectory::Document:
        relative = "Documents";
        break;
    case SearchPathDirectory::Library:
        relative = "Library";
        break;
    case SearchPathDirectory::Caches:
        relative = "Library/Caches";
        break;
    case SearchPathDirectory::ApplicationSupport:
        relative = "Library/Application Support";
        break;
    }
    std::string path = "~/" + relative;
    return {expand == ExpandTilde::Yes ? stringByExpandingTildeInPath(path) : path};
}

std::string stringByExpandingTildeInPath(const std::string& path) {
    if (path == "~") {
        return homeDirectory();
    }
    if (path.rfind("~/", 0) == 0) {
        return homeDirectory() + path.substr(1);
    }
    return path;
}

} // namespace murmelo
