#include "tools/murmelo/WindowLauncher.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace murmelo::tool {

namespace {
constexpr const char* kWindowProgram = "murmelo-window";
} // namespace

int runWindowLauncher(std::span<const std::string> args, std::ostream&, std::ostream& err) {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        err << "murmelo window: cannot find this program's folder: " << error.message() << "\n";
        return 1;
    }
    std::string program = (self.parent_path() / kWindowProgram).string();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    // Nothing is buffered yet: the command has written nothing.
    ::execv(program.c_str(), argv.data());
    int reason = errno;
    err << "murmelo window: cannot start " << program << ": " << std::strerror(reason) << "\n";
    return 1;
}

} // namespace murmelo::tool
