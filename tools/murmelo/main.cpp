// murmelo: runs the application on the device and serves its servers.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "info") == 0) {
        std::printf("Murmelo %s\n", MURMELO_VERSION);
        return 0;
    }
    std::fprintf(stderr, "usage: murmelo info\n");
    return 2;
}
