// The pipe standing in for the radio's serial line.
#include "support/radio_line.h"

#include <gtest/gtest.h>
#include <poll.h>

#include "radio/serial.h"

int radio_line_open()
{
    int ends[2] = {-1, -1};
    EXPECT_EQ(pipe(ends), 0);
    serport = ends[1];
    return ends[0];
}

std::string radio_line_read(int fd)
{
    std::string got;
    char buf[8192];
    struct pollfd pfd = {fd, POLLIN, 0};
    ssize_t n;
    while (poll(&pfd, 1, 0) > 0 && (n = read(fd, buf, sizeof buf)) > 0)
        got.append(buf, static_cast<size_t>(n));
    return got;
}
