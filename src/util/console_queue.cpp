// The console queue: lines wait here for one writer thread while standard
// output would make the logging thread wait, so a stalled log reader (a
// terminal paused with Ctrl-S, a stuck pipe) blocks only that thread and
// never the radio path. While output flows, lines skip the queue and the
// writer sleeps: logging then costs the radio path no thread switch.
#include "util/console_queue.h"

#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "global.h"
#include "util/console.h"
#include "util/stdout_now.h"
#include "util/thread_start.h"

namespace {

// Room for a few minutes of a busy gateway's log; a reader stalled longer
// loses the newest lines, never the radio traffic.
constexpr size_t CONSOLE_QUEUE_BYTES = 256 * 1024;
// How often the stop looks whether the writer is done.
constexpr int DRAIN_POLL_MS = 10;
// The writer writes a batch in pieces of whole lines of at most this many
// bytes (a longer line is a piece of its own), and a stop that gives up finds
// it at a line's end once a slow reader has taken the piece in hand. A pipe
// takes a piece this long in one go, never mixed with another writer's bytes.
constexpr size_t PIECE_BYTES = PIPE_BUF;
// How long a stop that gave up waits for the writer to finish its piece.
constexpr int PIECE_WAIT_MS = 200;
// How long a line logged after that may wait for room on standard output.
constexpr int LAST_LINE_WAIT_MS = 100;

std::mutex console_lock;               // guards everything below
std::condition_variable console_waits; // lines queued, or the writer asked to end
bool console_queue_on = false;         // the writer runs: lines go through the queue
bool console_ending = false;           // the writer is to write what is left and end
// The stop gave up on a slow or stalled reader: the writer ends after its
// piece, and what is queued is dropped. Read by the writer between pieces.
std::atomic<bool> console_abandoned{false};
std::string console_queue;         // whole lines, in the order they were logged
size_t console_writing = 0;        // bytes the writer has taken and not yet written
unsigned long console_dropped = 0; // lines refused since the last "dropped" line
pthread_t console_thread;
stdout_kind console_out = STDOUT_MAY_WAIT; // what stdout is, read when the writer starts
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

// Writes all of bytes to standard output, waiting as long as it takes, going
// on after a signal or a short write; lines_left, when given, counts down the
// lines written whole. A failure (no reader at all) ends the attempt: nothing
// can log it. Returns 1 when all was written.
int write_out(const char* bytes, size_t size, std::atomic<unsigned long>* lines_left)
{
    while (size > 0) {
        ssize_t written = write(STDOUT_FILENO, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return 0;
        if (lines_left)
            *lines_left -= lines_in(bytes, static_cast<size_t>(written));
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return 1;
}

// Where the piece that starts at from ends: after the last line end within
// PIECE_BYTES, or after the first line when that alone is longer.
size_t piece_end(const std::string& batch, size_t from)
{
    size_t limit = std::min(batch.size(), from + PIECE_BYTES);
    size_t end = batch.rfind('\n', limit - 1);
    if (end == std::string::npos || end < from)
        end = batch.find('\n', from);
    return end == std::string::npos ? batch.size() : end + 1;
}

// Writes the batch piece by piece until it is written or the stop gives up.
void write_batch(const std::string& batch)
{
    for (size_t from = 0, end; from < batch.size() && !console_abandoned; from = end) {
        end = piece_end(batch, from);
        if (!write_out(batch.data() + from, end - from, &console_batch_lines))
            return;
    }
}

// The line that stands for the lines refused while the queue was full.
std::string dropped_line()
{
    char stamp[REPORT_TIME_SIZE];
    format_console_time(stamp, sizeof stamp);
    char line[80];
    snprintf(line, sizeof line, "%s%s %lu log lines dropped\n", console_to_journal() ? "<4>" : "", stamp,
             console_dropped);
    return line;
}

bool console_has_room(size_t bytes)
{
    return console_queue.size() + console_writing + bytes <= CONSOLE_QUEUE_BYTES;
}

// Nothing waits for the writer: a line written now by its own thread comes
// after every line logged before it.
bool console_idle()
{
    return console_queue.empty() && console_writing == 0 && console_dropped == 0;
}

// Queues line from byte from on. A full queue refuses a new line (counted);
// the first line that fits again is preceded by the count, so the gap shows
// where it was. The rest of a line begun on stdout goes in, room or not: the
// reader already has its first bytes.
void queue_line(const std::string& line, size_t from)
{
    std::string gap = console_dropped > 0 ? dropped_line() : std::string();
    if (from == 0 && !console_has_room(gap.size() + line.size())) {
        console_dropped++;
        return;
    }
    console_dropped = 0;
    console_queue += gap;
    console_queue.append(line, from);
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
        write_batch(batch);
        lock.lock();
        console_writing = 0;
        if (console_abandoned)
            break;
    }
    // Still under the lock: from here on every line is written at once.
    console_queue_on = false;
    return nullptr;
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

// Waits up to bound_ms for the writer to end; true when it has (and is joined).
bool writer_ended_within(int bound_ms)
{
    for (int waited = 0;; waited += DRAIN_POLL_MS) {
        {
            std::lock_guard<std::mutex> lock(console_lock);
            if (!console_queue_on) {
                pthread_join(console_thread, nullptr);
                return true;
            }
        }
        if (waited >= bound_ms)
            return false;
        sleep_us(static_cast<long long>(DRAIN_POLL_MS) * 1000);
    }
}

} // namespace

// The direct write happens under the console lock, so a line is never split
// by another thread's; it never waits, so the lock is held only briefly.
void console_put_line(const std::string& line)
{
    std::lock_guard<std::mutex> lock(console_lock);
    if (console_abandoned) {
        // Once the writer has ended at a line's end, a line (the stop's last)
        // is still tried, briefly; while it writes, nothing may.
        if (console_queue_on || stdout_write_within(console_out, line.data(), line.size(), LAST_LINE_WAIT_MS) == 0)
            console_dropped++;
        return;
    }
    if (!console_queue_on) {
        write_out(line.data(), line.size(), nullptr);
        return;
    }
    size_t done = console_idle() ? stdout_write_now(console_out, line.data(), line.size()) : 0;
    if (done < line.size())
        queue_line(line, done);
}

int console_queue_start()
{
    std::lock_guard<std::mutex> lock(console_lock);
    if (console_queue_on)
        return 1;
    fflush(stdout); // anything stdio holds goes before the queued lines
    console_ending = false;
    console_abandoned = false;
    console_out = stdout_kind_now();
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
    if (writer_ended_within(CONSOLE_DRAIN_MS))
        return 0;
    // The reader is slow or stalls: what is queued is dropped, and the writer
    // ends once its piece is written. A slow reader takes that soon, and the
    // lines logged from here on, the stop's last one among them, may still
    // follow whole; a stalled one keeps the writer in its write until the
    // process ends, and they are dropped.
    unsigned long lost;
    {
        std::lock_guard<std::mutex> lock(console_lock);
        console_abandoned = true;
        lost = lines_in(console_queue.data(), console_queue.size()) + console_dropped;
        console_queue.clear();
        console_dropped = 0;
    }
    writer_ended_within(PIECE_WAIT_MS);
    lost += console_batch_lines.load();
    report_unwritten(lost);
    return lost;
}
