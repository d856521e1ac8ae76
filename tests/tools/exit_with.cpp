// Test child: "exit_with N" exits with status N; "exit_with signal N" kills
// itself with signal N.
#include <csignal>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "signal") == 0) {
        std::raise(std::atoi(argv[2]));
        return 100;
    }
    return argc > 1 ? std::atoi(argv[1]) : 0;
}
