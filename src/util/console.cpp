// Console logging: timestamp prefixes, whole-line writes, and the queue that
// keeps a stalled log reader from stopping the threads that log.
#include "util/console.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

#include "global.h"
#include "util/thread_start.h"

namespace {

// Room for a few minutes of a busy gateway's log; a reader stalled longer
// loses the newest lines, never the radio traffic.
constexpr size_t CONSOLE_QUEUE_BYTES = 256 * 1024;

std::mutex console_lock;               // guards everything below
std::condition_variable console_waits; // lines queued, or the writer asked to end
bool console_queue_on = false;         // the writer runs: lines go through the queue
bool console_ending = false;           // the writer is to write what is left and end
std::string console_queue;             // whole lines, in the order they were logged
size_t console_writing = 0;            // bytes the writer has taken and not yet written
unsigned long console_dropped = 0;     // lines refused since the last "dropped" line
pthread_t console_thread;

// Writes all of bytes to standard output, going on after a signal or a short
// write. A failure (no reader at all) ends the attempt: nothing can log it.
void write_out(const char* bytes, size_t size)
{
    while (size > 0) {
        ssize_t written = write(STDOUT_FILENO, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
}

// The line that stands for the lines refused while the queue was full.
std::string dropped_line()
{
    char stamp[REPORT_TIME_SIZE];
    format_console_time(stamp, sizeof stamp);
    char line[80];
    snprintf(line, sizeof line, "%s %lu log lines dropped\n", stamp, console_dropped);
    return line;
}

bool console_has_room(size_t bytes)
{
    return console_queue.size() + console_writing + bytes <= CONSOLE_QUEUE_BYTES;
}

// Queues line, or writes it at once while no writer runs. A full queue
// refuses it (counted); the first line that fits again is preceded by the
// count, so the gap shows where it was.
void put_line(const std::string& line)
{
    std::lock_guard<std::mutex> lock(console_lock);
    if (!console_queue_on) {
        write_out(line.data(), line.size());
        return;
    }
    std::string gap = console_dropped > 0 ? dropped_line() : std::string();
    if (!console_has_room(gap.size() + line.size())) {
        console_dropped++;
        return;
    }
    console_dropped = 0;
    console_queue += gap;
    console_queue += line;
    console_waits.notify_one();
}

// The writer thread: writes the queue in batches, outside the lock, so a
// stalled reader blocks only this thread.
void* console_writer(void*)
{
    std::unique_lock<std::mutex> lock(console_lock);
    for (;;) {
        console_waits.wait(lock, [] { return !console_queue.empty() || console_dropped > 0 || console_ending; });
        if (console_queue.empty() && console_dropped > 0) {
            console_queue = dropped_line(); // output flows again: say what was lost
            console_dropped = 0;
        }
        if (console_queue.empty())
            break; // ending, and everything is written
        std::string batch;
        batch.swap(console_queue);
        console_writing = batch.size();
        lock.unlock();
        write_out(batch.data(), batch.size());
        lock.lock();
        console_writing = 0;
    }
    // Still under the lock: from here on every line is written at once.
    console_queue_on = false;
    return nullptr;
}

struct tm local_time(time_t when)
{
    struct tm local;
    localtime_r(&when, &local);
    return local;
}

// strftime's count of 0 leaves buf undefined: make it the empty text.
void empty_unless(size_t written, char* buf, size_t size)
{
    if (written == 0 && size > 0)
        buf[0] = '\0';
}

// Formats prefix and text into one buffer and hands it on whole, so lines of
// several threads never interleave.
__attribute__((format(printf, 2, 0))) void write_console(bool with_prefix, const char* fmt, va_list ap)
{
    char prefix[40] = "";
    if (with_prefix) {
        char stamp[REPORT_TIME_SIZE];
        format_console_time(stamp, sizeof stamp);
        snprintf(prefix, sizeof prefix, "%s ", stamp);
    }
    char small[2048];
    va_list again;
    va_copy(again, ap);
    int len = vsnprintf(small, sizeof small, fmt, ap);
    if (len < 0) {
        va_end(again);
        return;
    }
    std::string line(prefix);
    if (static_cast<size_t>(len) < sizeof small) {
        line.append(small, static_cast<size_t>(len));
    } else {
        std::string big(static_cast<size_t>(len) + 1, '\0');
        vsnprintf(big.data(), big.size(), fmt, again);
        line.append(big.data(), static_cast<size_t>(len));
    }
    va_end(again);
    put_line(line);
}

} // namespace

void format_console_time(char* buf, size_t size)
{
    struct tm local = local_time(clock_time());
    empty_unless(strftime(buf, size, "<%d.%m.%y %H:%M:%S>", &local), buf, size);
}

void format_report_time(char* buf, size_t size)
{
    struct tm local = local_time(clock_time());
    empty_unless(strftime(buf, size, "%d.%m.%Y %H:%M:%S", &local), buf, size);
}

void format_timestamp_ms(const struct timeval* tv, char* buf, size_t size)
{
    time_t seconds = tv->tv_sec;
    int millis = static_cast<int>((tv->tv_usec + 500) / 1000);
    if (millis >= 1000) {
        millis -= 1000;
        seconds++;
    }
    char day[REPORT_TIME_SIZE];
    struct tm local = local_time(seconds);
    empty_unless(strftime(day, sizeof day, "%d.%m.%y %H:%M:%S", &local), day, sizeof day);
    snprintf(buf, size, "%s.%03d ", day, millis);
}

void printf_timestamp()
{
    char stamp[REPORT_TIME_SIZE];
    format_console_time(stamp, sizeof stamp);
    log_raw("%s ", stamp);
}

void fprintf_timestamp(FILE* fr)
{
    char stamp[REPORT_TIME_SIZE];
    format_console_time(stamp, sizeof stamp);
    fprintf(fr, "%s", stamp);
}

void printf_timestamp_ms()
{
    struct timeval tv;
    clock_now(&tv);
    char stamp[40];
    format_timestamp_ms(&tv, stamp, sizeof stamp);
    log_raw("%s", stamp);
}

void log_ts(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    write_console(true, fmt, ap);
    va_end(ap);
}

void log_raw(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    write_console(false, fmt, ap);
    va_end(ap);
}

void console_init()
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
}

int console_queue_start()
{
    std::lock_guard<std::mutex> lock(console_lock);
    if (console_queue_on)
        return 1;
    fflush(stdout); // anything stdio holds goes before the queued lines
    console_ending = false;
    console_queue_on = start_thread(&console_thread, console_writer, "console_writer") == 1;
    return console_queue_on ? 1 : 0;
}

void console_queue_drain()
{
    {
        std::lock_guard<std::mutex> lock(console_lock);
        if (!console_queue_on)
            return;
        console_ending = true;
        console_waits.notify_one();
    }
    pthread_join(console_thread, nullptr);
}
