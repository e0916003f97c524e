// Console logging: timestamp prefixes and the formatting of whole lines,
// handed on to util/console_queue.cpp, which writes them.
#include "util/console.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "global.h"
#include "util/console_queue.h"

namespace {

// syslog priorities of the journal's line prefix.
constexpr int PRIORITY_ERR = 3;
constexpr int PRIORITY_WARNING = 4;
constexpr int PRIORITY_INFO = 6;

bool to_journal = false; // set once by console_init, before any thread

// when as local time in layout (a strftime format), into buf; the empty text
// when it does not fit. The layouts are the literals below, checked at each
// call through the attribute, so the non-literal here is safe.
__attribute__((format(strftime, 2, 0))) void format_local_time(time_t when, const char* layout, char* buf, size_t size)
{
    struct tm local;
    localtime_r(&when, &local);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    size_t written = strftime(buf, size, layout, &local);
#pragma GCC diagnostic pop
    // strftime's count of 0 leaves buf undefined.
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
    console_put_line(to_journal ? with_priority(priority, line) : line);
}

} // namespace

void format_console_time(char* buf, size_t size)
{
    format_local_time(clock_time(), "<%d.%m.%y %H:%M:%S>", buf, size);
}

void format_report_time(char* buf, size_t size)
{
    format_local_time(clock_time(), "%d.%m.%Y %H:%M:%S", buf, size);
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
    format_local_time(seconds, "%d.%m.%y %H:%M:%S", day, sizeof day);
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

// The log functions differ only in the line's priority and whether it carries
// the time prefix: each hands its arguments on to write_console.
#define CONSOLE_LOG_FUNCTION(name, priority, with_prefix)                                                              \
    void name(const char* fmt, ...)                                                                                    \
    {                                                                                                                  \
        va_list ap;                                                                                                    \
        va_start(ap, fmt);                                                                                             \
        write_console(priority, with_prefix, fmt, ap);                                                                 \
        va_end(ap);                                                                                                    \
    }
CONSOLE_LOG_FUNCTION(log_ts, PRIORITY_INFO, true)
CONSOLE_LOG_FUNCTION(log_raw, PRIORITY_INFO, false)
CONSOLE_LOG_FUNCTION(log_failure, PRIORITY_ERR, true)
CONSOLE_LOG_FUNCTION(log_refusal, PRIORITY_WARNING, true)
CONSOLE_LOG_FUNCTION(log_raw_failure, PRIORITY_ERR, false)
CONSOLE_LOG_FUNCTION(log_raw_refusal, PRIORITY_WARNING, false)
#undef CONSOLE_LOG_FUNCTION

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
