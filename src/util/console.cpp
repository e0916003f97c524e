// Console logging: timestamp prefixes, whole-line writes, and the queue that
// keeps a stalled log reader from stopping the threads that log.
#include "util/console.h"

#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "global.h"
#include "util/thread_start.h"

namespace {

// Room for a few minutes of a busy gateway's log; a reader stalled longer
// loses the newest lines, never the radio traffic.
constexpr size_t CONSOLE_QUEUE_BYTES = 256 * 1024;

// syslog priorities of the journal's line prefix.
constexpr int PRIORITY_ERR = 3;
constexpr int PRIORITY_WARNING = 4;
constexpr int PRIORITY_INFO = 6;
// How often the stop looks whether the writer is done.
constexpr int DRAIN_POLL_MS = 10;

bool to_journal = false; // set once by console_init, before any thread

std::mutex console_lock;               // guards everything below
std::condition_variable console_waits; // lines queued, or the writer asked to end
bool console_queue_on = false;         // the writer runs: lines go through the queue
bool console_ending = false;           // the writer is to write what is left and end
bool console_abandoned = false;        // the stop gave up on a stalled reader: drop all
std::string console_queue;             // whole lines, in the order they were logged
size_t console_writing = 0;            // bytes the writer has taken and not yet written
unsigned long console_dropped = 0;     // lines refused since the last "dropped" line
pthread_t console_thread;
// Lines of the writer's batch not yet written whole (the writer alone counts down).
std::atomic<unsigned long> console_batch_lines{0};

unsigned long lines_in(const char* bytes, size_t size)
{
    unsigned long lines = 0;
    for (const char* end = bytes + size;
         (bytes = static_cast<const char*>(memchr(bytes, '\n', static_cast<size_t>(end - bytes)))) != nullptr; bytes++)
        lines++;
    return lines;
}

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
        console_batch_lines -= lines_in(bytes, static_cast<size_t>(written));
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
    snprintf(line, sizeof line, "%s%s %lu log lines dropped\n", to_journal ? "<4>" : "", stamp, console_dropped);
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
    if (console_abandoned) {
        console_dropped++;
        return;
    }
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
        console_batch_lines = lines_in(batch.data(), batch.size());
        lock.unlock();
        write_out(batch.data(), batch.size());
        lock.lock();
        console_writing = 0;
        if (console_abandoned)
            break;
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

// Puts the journal's priority prefix in front of every line of text.
std::string with_priority(int priority, const std::string& text)
{
    char mark[8];
    snprintf(mark, sizeof mark, "<%d>", priority);
    std::string out;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        out += mark;
        out.append(text, start, end - start);
        start = end;
    }
    return out;
}

// Formats prefix and text into one buffer and hands it on whole, so lines of
// several threads never interleave.
__attribute__((format(printf, 3, 0))) void write_console(int priority, bool with_prefix, const char* fmt, va_list ap)
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
    put_line(to_journal ? with_priority(priority, line) : line);
}

// Whether fd is the file stdout is: the same device and inode.
bool same_as_stdout(int fd)
{
    struct stat out, other;
    return fstat(STDOUT_FILENO, &out) == 0 && fstat(fd, &other) == 0 && out.st_dev == other.st_dev &&
           out.st_ino == other.st_ino;
}

// The lines a stalled reader cost, said on stderr where that is another file
// that takes a line at once; else nothing can say it.
void report_unwritten(unsigned long lines)
{
    struct pollfd err = {STDERR_FILENO, POLLOUT, 0};
    if (lines == 0 || same_as_stdout(STDERR_FILENO) || poll(&err, 1, 0) != 1 || !(err.revents & POLLOUT))
        return;
    char stamp[REPORT_TIME_SIZE];
    format_console_time(stamp, sizeof stamp);
    char line[120];
    int len = snprintf(line, sizeof line, "%s %lu log lines not written: standard output stalled\n", stamp, lines);
    if (len > 0 && write(STDERR_FILENO, line, static_cast<size_t>(len)) < 0)
        return; // nowhere left to say it
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
    write_console(PRIORITY_INFO, true, fmt, ap);
    va_end(ap);
}

void log_raw(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    write_console(PRIORITY_INFO, false, fmt, ap);
    va_end(ap);
}

void log_failure(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    write_console(PRIORITY_ERR, true, fmt, ap);
    va_end(ap);
}

void log_refusal(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    write_console(PRIORITY_WARNING, true, fmt, ap);
    va_end(ap);
}

void log_raw_failure(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    write_console(PRIORITY_ERR, false, fmt, ap);
    va_end(ap);
}

void log_raw_refusal(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    write_console(PRIORITY_WARNING, false, fmt, ap);
    va_end(ap);
}

void console_init()
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    // systemd sets JOURNAL_STREAM to "device:inode" of the stream it connects
    // to the journal; a shell redirect inherits the variable, so it counts
    // only while stdout is still that stream.
    const char* stream = getenv("JOURNAL_STREAM");
    unsigned long long device = 0, inode = 0;
    struct stat out;
    to_journal = stream && sscanf(stream, "%llu:%llu", &device, &inode) == 2 && fstat(STDOUT_FILENO, &out) == 0 &&
                 static_cast<unsigned long long>(out.st_dev) == device &&
                 static_cast<unsigned long long>(out.st_ino) == inode;
}

bool console_to_journal()
{
    return to_journal;
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

unsigned long console_queue_drain()
{
    {
        std::lock_guard<std::mutex> lock(console_lock);
        if (!console_queue_on)
            return 0;
        console_ending = true;
        console_waits.notify_one();
    }
    for (int waited = 0; waited < CONSOLE_DRAIN_MS; waited += DRAIN_POLL_MS) {
        {
            std::lock_guard<std::mutex> lock(console_lock);
            if (!console_queue_on) {
                pthread_join(console_thread, nullptr);
                return 0;
            }
        }
        sleep_us(static_cast<long long>(DRAIN_POLL_MS) * 1000);
    }
    // The reader stalls: the writer stays blocked in its write and ends with
    // the process; everything from here on is dropped.
    unsigned long lost;
    {
        std::lock_guard<std::mutex> lock(console_lock);
        console_abandoned = true;
        lost = lines_in(console_queue.data(), console_queue.size()) + console_dropped + console_batch_lines.load();
        console_queue.clear();
        console_dropped = 0;
    }
    report_unwritten(lost);
    return lost;
}
