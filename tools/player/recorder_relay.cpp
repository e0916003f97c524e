// The recorder's relay: the real radio's port, set up as the gateway sets up
// its own, joined byte for byte to a pseudo-terminal the gateway opens, and
// the session file written line by line as the bytes pass.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>

#include "build_defaults.h"
#include "fake_radio.h"
#include "file_watch.h"
#include "pty.h"
#include "radio/serial.h"
#include "recorder.h"

namespace {

volatile sig_atomic_t stop_signal = 0;

void on_stop(int signal)
{
    stop_signal = signal;
}

// Writes the lines and flushes them, so that a recorder killed or crashed
// leaves what it had recorded.
void put(FILE* file, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        fprintf(file, "%s\n", line.c_str());
    fflush(file);
}

// The local time now, for the header and the default file name.
struct tm local_now()
{
    time_t now = time(nullptr);
    struct tm local = {};
    localtime_r(&now, &local);
    return local;
}

// The title, where it comes from, what it does not hold (the datagrams are
// then not checked), and the configuration; "answer" with nothing, since the radio's own answers are the
// "reply" lines, and a command beyond them got none.
std::vector<std::string> header(const player_options& opt)
{
    struct tm now = local_now();
    char when[40];
    strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S %z", &now);
    std::vector<std::string> lines = {
        "# Recorded from a radio: say here in one line what this session shows.",
        "# Recorded " + std::string(when) + " from " + opt.record_device + " at " + std::to_string(opt.record_speed) +
            " bit/s by sdsbridge-session of sdsbridge " + SDSBRIDGE_RELEASE + ".",
        "# The radio line and the gateway's writes of /tmp/dtmf_ctrl and /tmp/ptt were recorded; the",
        "# reflector's side was not. Add each datagram and local request that made the gateway write to",
        "# the radio as a \"reflector\" or \"local\" step before what it wrote. What it sent to the",
        "# reflector is not checked (only-named datagrams); to check it, add \"datagram\" lines and",
        "# remove that line. Played with --verbose, the player shows them all.",
        "only-named datagrams"};
    std::vector<std::string> config;
    if (recorded_config(opt.record_config, &config)) {
        lines.push_back("# The configuration of " + opt.record_config +
                        ", without SYS_SERPORT, REFLECTOR_DNS and REFLECTOR_PORT (the player sets them).");
        lines.insert(lines.end(), config.begin(), config.end());
    } else {
        lines.push_back("# No configuration was read (" + opt.record_config +
                        "): add the gateway's as \"config\" lines.");
    }
    lines.push_back("answer");
    return lines;
}

// Stops on SIGINT and SIGTERM; they stay blocked but while the relay waits,
// so none is lost between a look at the flag and the wait.
void catch_stop_signals(sigset_t* waiting_mask)
{
    struct sigaction action = {};
    action.sa_handler = on_stop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigprocmask(SIG_BLOCK, &stops, waiting_mask);
    sigdelset(waiting_mask, SIGINT);
    sigdelset(waiting_mask, SIGTERM);
}

// Writes all of bytes to fd; false when it would not take them.
bool pass_on(int fd, const char* bytes, size_t count)
{
    while (count > 0) {
        ssize_t written = write(fd, bytes, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

struct relay {
    int device = -1;
    int master = -1;
    int slave = -1;
    int inotify_fd = -1; // the gateway's writes in /tmp
    int tmp_wd = -1;
    bool ready = false; // the gateway has set up its end
    recording rec;
    FILE* file = nullptr;
};

// Watches /tmp for the gateway's writes of the control files; without the
// watch the recording goes on without them.
void watch_control_files(relay* r)
{
    r->inotify_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (r->inotify_fd >= 0)
        r->tmp_wd = watch_dir(r->inotify_fd, "/tmp");
    if (r->tmp_wd < 0)
        printf("recording: cannot watch /tmp (%s): writes of the control files are not recorded\n", strerror(errno));
}

// The control files written since the last look, as "file" lines. Before the
// gateway has set up its port they are not its (an old gateway stopping): dropped.
void control_file_writes(relay* r, std::vector<std::string>* lines)
{
    for (const written_file& f : written_files(r->inotify_fd)) {
        std::string path = "/tmp/" + f.name;
        if (f.wd != r->tmp_wd || !r->ready ||
            std::find(std::begin(CONTROL_FILES), std::end(CONTROL_FILES), path) == std::end(CONTROL_FILES))
            continue;
        std::string content;
        if (read_written_file(path, &content))
            recording_file(&r->rec, now_s(), path, content, lines);
        else
            printf("recording: %s was written but cannot be read as a control file: left out\n", path.c_str());
    }
}

// One pass of the bytes waiting on either side and of the control files
// written. False when the radio's port went away.
bool relay_round(relay* r, const sigset_t& waiting_mask)
{
    struct pollfd fds[3] = {{r->device, POLLIN, 0}, {r->master, POLLIN, 0}, {r->inotify_fd, POLLIN, 0}};
    // Until the gateway has set up its end, its speed is looked at every 20 ms.
    struct timespec tick = {0, 20 * 1000 * 1000};
    int ready = ppoll(fds, 3, r->ready ? nullptr : &tick, &waiting_mask);
    if (!r->ready) {
        struct termios tio;
        if (tcgetattr(r->slave, &tio) == 0 && cfgetospeed(&tio) != UNCONFIGURED_SPEED) {
            r->ready = true;
            recording_begin(&r->rec, now_s());
            printf("recording: the gateway has set up the port\n");
        }
    }
    if (ready <= 0)
        return true;
    char buf[4096];
    std::vector<std::string> lines;
    // A write already made cannot be the effect of radio bytes not yet passed on.
    if (fds[2].revents)
        control_file_writes(r, &lines);
    if (fds[0].revents) {
        ssize_t got = read(r->device, buf, sizeof buf);
        if (got <= 0 && !(got < 0 && (errno == EINTR || errno == EAGAIN))) {
            printf("recording: the radio's port went away (%s)\n", got == 0 ? "end of input" : strerror(errno));
            put(r->file, lines);
            return false;
        }
        // Before the gateway's set-up its flush would discard them: they are dropped.
        if (got > 0 && r->ready) {
            recording_radio(&r->rec, now_s(), std::string(buf, static_cast<size_t>(got)), &lines);
            if (!pass_on(r->master, buf, static_cast<size_t>(got)))
                printf("recording: the gateway's end took not all of %zd bytes\n", got);
        }
    }
    if (fds[1].revents) {
        ssize_t got = read(r->master, buf, sizeof buf);
        if (got > 0) {
            recording_gateway(&r->rec, now_s(), std::string(buf, static_cast<size_t>(got)), &lines);
            if (!pass_on(r->device, buf, static_cast<size_t>(got)))
                printf("recording: the radio's port took not all of %zd bytes\n", got);
        }
    }
    put(r->file, lines);
    return true;
}

std::string default_file_name()
{
    struct tm now = local_now();
    char name[40];
    strftime(name, sizeof name, "radio-%Y%m%d-%H%M%S.session", &now);
    return name;
}

} // namespace

int run_recorder(const player_options& opt)
{
    speed_t code;
    if (!baud_to_speed(opt.record_speed, &code)) {
        printf("recording: no speed code for %d bit/s\n", opt.record_speed);
        return 2;
    }
    relay r;
    sigset_t waiting_mask;
    catch_stop_signals(&waiting_mask);
    r.device = open(opt.record_device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (r.device < 0) {
        printf("recording: cannot open %s: %s\n", opt.record_device.c_str(), strerror(errno));
        return 1;
    }
    // A port the gateway's set-up does not take (not a terminal) would be
    // recorded otherwise than the gateway would use it.
    if (!port_configure(r.device, opt.record_speed)) {
        printf("recording: %s cannot be set up as the gateway sets up its port\n", opt.record_device.c_str());
        return 1;
    }
    std::string pts, why;
    r.master = pty_open(&pts, &r.slave, &why);
    if (r.master < 0 || !pty_make_raw(r.slave, UNCONFIGURED_SPEED)) {
        printf("recording: no pseudo-terminal for the gateway (%s)\n", why.c_str());
        return 1;
    }
    // The gateway may stop reading (or stop): its end then drops the radio's
    // bytes rather than hold the relay.
    fcntl(r.master, F_SETFL, fcntl(r.master, F_GETFL) | O_NONBLOCK);
    std::string file_name = opt.output.empty() ? default_file_name() : opt.output;
    r.file = fopen(file_name.c_str(), "w");
    if (!r.file) {
        printf("recording: cannot write %s: %s\n", file_name.c_str(), strerror(errno));
        return 1;
    }
    std::string port = pts;
    if (!opt.record_link.empty()) {
        unlink(opt.record_link.c_str());
        if (symlink(pts.c_str(), opt.record_link.c_str()) == 0)
            port = opt.record_link;
        else
            printf("recording: cannot link %s: %s\n", opt.record_link.c_str(), strerror(errno));
    }
    watch_control_files(&r);
    put(r.file, header(opt));
    printf("recording: the radio on %s at %d bit/s into %s\n", opt.record_device.c_str(), opt.record_speed,
           file_name.c_str());
    printf("recording: start the gateway with SYS_SERPORT=%s\n", port.c_str());
    while (!stop_signal && relay_round(&r, waiting_mask)) {
    }
    std::vector<std::string> lines;
    control_file_writes(&r, &lines); // the last ones, made while the gateway stopped
    recording_end(&r.rec, now_s(), &lines);
    put(r.file, lines);
    fclose(r.file);
    if (port != pts)
        unlink(port.c_str());
    for (int fd : {r.device, r.master, r.slave, r.inotify_fd})
        if (fd >= 0)
            close(fd);
    printf("recording: ended%s; the session is in %s\n", stop_signal ? " by a signal" : "", file_name.c_str());
    return 0;
}
