// murmelo: runs the application on the device and serves its servers.
#include <cstdio>
#include <cstring>

int runServeCommand(int argc, char** argv); // ServeCommand.cpp

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "serve") == 0) {
        return runServeCommand(argc - 2, argv + 2);
    }
    if (argc >= 2 && std::strcmp(argv[1], "info") == 0) {
        std::printf("Murmelo %s\n", MURMELO_VERSION);
        return 0;
    }
    std::fprintf(stderr, "usage: murmelo info\n");
    return 2;
}
