// murmelo-window: `murmelo window` as an executable of its own, so that GTK
// and the libraries it brings are mapped only by the process that shows a
// window, not by every `murmelo run`, `demo` or `serve`. `murmelo window`
// replaces itself with this program (same process, same arguments).
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <span>
#include <string>
#include <vector>

#include "tools/window/WindowCommand.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    int status = murmelo::window::runWindowCommand(args, std::cout, std::cerr);
    // As `murmelo demo`: the app's workers and single instances live for the
    // whole process; leave without tearing them down.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(status);
}
