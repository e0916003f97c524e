// The benchmark program's main. The cases share one set-up: the gateway's
// files in a scratch directory, no serial port, no reflector socket, and
// stdout a pipe that a thread keeps draining, with the console queue
// running, so that the lines the cases log go through the real console path
// and nothing leaves the process. The benchmark's own report goes to the
// stdout the program was given.
#include <benchmark/benchmark.h>
#include <ext/stdio_filebuf.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include "net/udp.h"
#include "radio/serial.h"
#include "support/scratch.h"
#include "util/console.h"

namespace {

int drain_fd = -1;
std::thread drainer;
std::atomic<unsigned long long> drained_bytes{0};

// The log reader that always keeps up: reads and discards until the pipe's
// write end is closed.
void drain_console(int fd)
{
    char buffer[1 << 16];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        drained_bytes += static_cast<unsigned long long>(got);
}

// stdout becomes the write end of a pipe drained by its own thread; returns
// a descriptor on the stdout the program was given.
int console_into_drained_pipe()
{
    int report_fd = dup(STDOUT_FILENO);
    int ends[2];
    if (report_fd < 0 || pipe(ends) != 0 || dup2(ends[1], STDOUT_FILENO) < 0) {
        perror("console pipe");
        return -1;
    }
    close(ends[1]);
    drain_fd = ends[0];
    drainer = std::thread(drain_console, drain_fd);
    return report_fd;
}

// Sets all of that up (the scratch set-up shared with the tests); returns a
// descriptor on the original stdout, or -1.
int bench_setup()
{
    scratch_places();
    serport = -1;
    reflector_listener_controlsock = -1;
    int report_fd = console_into_drained_pipe();
    if (report_fd < 0)
        return -1;
    console_init();
    if (!console_queue_start())
        fprintf(stderr, "console queue not started: lines are written at once\n");
    return report_fd;
}

// Ends the console queue and the drain; the scratch directory goes at exit.
void bench_teardown()
{
    console_queue_drain();
    // The drain ends when no write end of the pipe is left open.
    int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, STDOUT_FILENO);
    close(devnull);
    drainer.join();
    close(drain_fd);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    int report_fd = bench_setup();
    if (report_fd < 0)
        return 1;
    // The reporters write to std::cout; it now leads to the original stdout.
    __gnu_cxx::stdio_filebuf<char> report(report_fd, std::ios::out);
    std::streambuf* console = std::cout.rdbuf(&report);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::cout.flush();
    std::cout.rdbuf(console);
    bench_teardown();
    return 0;
}
