// stdout to a scratch file and back.
#include "support/stdout_capture.h"

#include <fcntl.h>
#include <unistd.h>

#include "support/files.h"
#include "support/scratch.h"

namespace {
int saved_stdout = -1;
std::string capture_file;
} // namespace

void capture_stdout_begin()
{
    fflush(stdout);
    capture_file = std::string(scratch_dir()) + "/stdout";
    int fd = open(capture_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    saved_stdout = dup(STDOUT_FILENO);
    dup2(fd, STDOUT_FILENO);
    close(fd);
}

std::string capture_stdout_end()
{
    fflush(stdout);
    dup2(saved_stdout, STDOUT_FILENO);
    close(saved_stdout);
    std::string text = read_file(capture_file);
    unlink(capture_file.c_str());
    return text;
}
