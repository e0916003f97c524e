// The serial thread's work per radio line, without the read itself: the
// line assembled byte by byte from what the radio sends, then dispatched
// (classified and logged); and one console line through the real console
// path. Lines of 32 bytes (a typical unsolicited line) and 1,023 (the
// longest the reader keeps).
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "events/dispatch.h"
#include "events/session.h"
#include "radio/serial.h"
#include "util/console.h"

namespace {

// An unsolicited line the dispatcher only logs, size bytes with its CR.
std::string radio_line(size_t size)
{
    std::string line = "+CTCC: 1,1,1,0,0,1,1";
    while (line.size() + 1 < size)
        line += line.size() % 2 == 0 ? ',' : '0';
    line.resize(size - 1);
    return line + "\r";
}

// Feeds the line's bytes through the assembler, as read_line does after each
// one-byte read; 1 when the CR completed it.
int assemble(const std::string& bytes, char* line, size_t size)
{
    int position = 0;
    int complete = 0;
    for (char byte : bytes)
        complete = assemble_byte(line, size, &position, byte);
    return complete;
}

void BM_LineAssembly(benchmark::State& state)
{
    const std::string bytes = radio_line(static_cast<size_t>(state.range(0)));
    char line[DATA_SIZE];
    for (auto _ : state) {
        memset(line, 0, sizeof line);
        benchmark::DoNotOptimize(assemble(bytes, line, sizeof line));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_LineAssembly)->Arg(32)->Arg(1023);

// What one pass of the serial thread does with a line: a cleared buffer, the
// bytes assembled, the line dispatched (its console line included).
void BM_LineDispatch(benchmark::State& state)
{
    const std::string bytes = radio_line(static_cast<size_t>(state.range(0)));
    char line[DATA_SIZE];
    sds = 0;
    ptt = 0;
    for (auto _ : state) {
        memset(line, 0, sizeof line);
        assemble(bytes, line, sizeof line);
        dispatch_line(line);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_LineDispatch)->Arg(32)->Arg(1023);

// One console line as the dispatcher logs every radio line, through the
// console queue into the pipe that a thread keeps draining.
void BM_ConsoleLine(benchmark::State& state)
{
    const std::string line = radio_line(32);
    for (auto _ : state)
        log_ts("data (%02i/%i): %s\n", static_cast<int>(line.size()), 0, line.c_str());
}
BENCHMARK(BM_ConsoleLine);

} // namespace
