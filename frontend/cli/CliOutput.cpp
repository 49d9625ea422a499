#include "CliOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

int CheckedOutput(const QString& program, int status)
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return status;
    std::fprintf(stderr, "%s: cannot write to standard output: %s\n", program.toUtf8().constData(),
                 std::strerror(errno));
    return status == 0 || status == 2 ? 1 : status;
}
