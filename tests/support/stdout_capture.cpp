// stdout to a scratch file and back.
#include "support/stdout_capture.h"

#include <unistd.h>

#include "support/files.h"

namespace {
int saved_stdout = -1;
char capture_path[] = "/tmp/sdsbridge-capture-XXXXXX";
char capture_file[sizeof capture_path];
} // namespace

void capture_stdout_begin()
{
    fflush(stdout);
    memcpy(capture_file, capture_path, sizeof capture_path);
    int fd = mkstemp(capture_file);
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
    unlink(capture_file);
    return text;
}
