// Console logging: timestamp prefixes, whole-line writes.
#include "util/console.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

#include "global.h"

namespace {

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

// Formats prefix and text into one buffer and hands it to stdio in one call,
// which holds the stream's lock for the whole line.
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
    fwrite(line.data(), 1, line.size(), stdout);
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
    printf("%s ", stamp);
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
    fputs(stamp, stdout);
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
