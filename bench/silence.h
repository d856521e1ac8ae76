// Standard output to /dev/null while it lives: the shell's commands print
// what a benchmark does not want in its report.
#pragma once

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace TarnBench {

class Silence {
public:
    Silence() {
        std::fflush(stdout);
        m_saved = dup(1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~Silence() {
        std::fflush(stdout);
        dup2(m_saved, 1);
        close(m_saved);
    }
    Silence(const Silence&) = delete;
    Silence& operator=(const Silence&) = delete;

private:
    int m_saved;
};

} // namespace TarnBench
