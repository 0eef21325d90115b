#include "platform/foundation/FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace murmelo::fs {

namespace {

// Closes a descriptor on every path out of a function.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    int release() {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

} // namespace

Result<std::string> readFile(const std::string& path, size_t maxBytes) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        return Error::posix(errno, path);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return Error::posix(errno, path);
    }
    if (!S_ISREG(st.st_mode)) {
        return Error::posix(EISDIR, path + " is not a regular file");
    }
    if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
        return Error::posix(EFBIG, path);
    }
    std::string contents;
    contents.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Error::posix(errno, path);
        }
        if (n == 0) {
            break;
        }
        if (contents.size() + static_cast<size_t>(n) > maxBytes) {
            return Error::posix(EFBIG, path); // grew while we read it
        }
        contents.append(buffer, static_cast<size_t>(n));
    }
    return contents;
}

Result<void> writeFileAtomically(const std::string& path, std::string_view contents, unsigned mode) {
    std::string folder = parentPath(path);
    std::string temporary = path + ".tmp-XXXXXX";
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        return Error::posix(errno, "cannot create a temporary file for " + path);
    }
    auto fail = [&](int error, const std::string& what) {
        ::unlink(temporary.c_str());
        return Error::posix(error, what + " " + path);
    };
    if (::fchmod(fd.get(), static_cast<mode_t>(mode)) != 0) {
        return fail(errno, "cannot set the mode of");
    }
    size_t done = 0;
    while (done < contents.size()) {
        ssize_t n = ::write(fd.get(), contents.data() + done, contents.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(errno, "cannot write");
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd.get()) != 0) {
        return fail(errno, "cannot flush");
    }
    if (::close(fd.release()) != 0) {
        return fail(errno, "cannot close");
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        return fail(errno, "cannot move into place");
    }
    // The rename itself is only durable once the folder is flushed.
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
        ::fsync(dir.get());
    }
    return Result<void>::success();
}

Result<void> createDirectories(const std::string& path, unsigned mode) {
    if (path.empty()) {
        return Error::posix(ENOENT, "empty folder path");
    }
    size_t position = 0;
    while (position != std::string::npos) {
        position = path.find('/', position + 1);
        std::string prefix = path.substr(0, position);
        if (prefix.empty()) {
            continue;
        }
        if (::mkdir(prefix.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) {
            return Error::posix(errno, "cannot create " + prefix);
        }
    }
    if (!directoryExists(path)) {
        return Error::posix(ENOTDIR, path);
    }
    return Result<void>::success();
}

Result<std::string> moveDamagedFileAside(const std::string& path) {
    // Any entry counts as taken: renaming onto a folder fails, onto a link
    // would lose it.
    auto taken = [](const std::string& candidate) {
        struct stat st {};
        return ::lstat(candidate.c_str(), &st) == 0;
    };
    std::string aside = path + ".damaged";
    for (int attempt = 1; taken(aside) && attempt < 1000; ++attempt) {
        aside = path + ".damaged-" + std::to_string(attempt);
    }
    if (::rename(path.c_str(), aside.c_str()) != 0) {
        return Error::posix(errno, "cannot move " + path + " aside");
    }
    return aside;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string parentPath(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

} // namespace murmelo::fs
