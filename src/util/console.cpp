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
    console_put_line(to_journal ? with_priority(priority, line) : line);
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
