#include "platform/foundation/FileManager.h"

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/FileSystem.h"

namespace murmelo {

namespace stdfs = std::filesystem;

bool FileManager::fileExistsAtPath(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

Result<void> FileManager::removeItemAtPath(const std::string& path) {
    std::error_code error;
    // remove_all never follows links: a link is removed, not its target.
    stdfs::remove_all(path, error);
    if (error) {
        return Error::posix(error.value(), "cannot remove " + path);
    }
    return Result<void>::success();
}

Result<void> FileManager::copyFileAtomically(const std::string& source, const std::string& destination) {
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0) {
        return Error::posix(errno, source);
    }
    if (!S_ISREG(st.st_mode)) {
        return Error::posix(EINVAL, source + " is not a regular file");
    }
    std::string temporary = destination + ".tmp-XXXXXX";
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return Error::posix(errno, "cannot create a temporary file for " + destination);
    }
    ::close(fd);
    std::error_code error;
    stdfs::copy_file(source, temporary, stdfs::copy_options::overwrite_existing, error);
    if (!error) {
        stdfs::rename(temporary, destination, error);
    }
    if (error) {
        ::unlink(temporary.c_str());
        return Error::posix(error.value(), "cannot copy " + source + " to " + destination);
    }
    return Result<void>::success();
}

std::optional<double> FileManager::modificationDate(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) / 1e9;
}

Result<void> FileManager::setModificationDate(const std::string& path, double secondsSince1970) {
    double whole = std::floor(secondsSince1970);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT; // leave the access time
    times[1].tv_sec = static_cast<time_t>(whole);
    times[1].tv_nsec = static_cast<long>((secondsSince1970 - whole) * 1e9);
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        return Error::posix(errno, "cannot set the modification date of " + path);
    }
    return Result<void>::success();
}

std::vector<std::string> FileManager::subpathsOfDirectoryAtPath(const std::string& folder) {
    std::vector<std::string> paths;
    std::error_code error;
    stdfs::recursive_directory_iterator it(folder, stdfs::directory_options::skip_permission_denied, error);
    if (error) {
        return paths;
    }
    for (const stdfs::recursive_directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            break;
        }
        paths.push_back(it->path().lexically_relative(folder).string());
    }
    return paths;
}

} // namespace murmelo
