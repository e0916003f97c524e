// The one rule for a control path: judge what is there before opening it and
// what was opened before writing, open without waiting, write without waiting
// for long. The paths often live in the world-writable /tmp, where another
// local user could plant a link: only a link to a pseudo-terminal is followed,
// as that is how the voice gateway offers its terminals.
#include "control/control_path.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/config.h"
#include "global.h"
#include "util/console.h"

namespace {

// Readable by a voice gateway running under any account.
constexpr mode_t CONTROL_FILE_MODE = 0644;
// O_NONBLOCK: a FIFO without a reader fails at once instead of waiting for
// one, and a full terminal or FIFO fails a write instead of holding it.
// O_NOCTTY: the voice gateway's terminal never becomes ours.
constexpr int OPEN_FLAGS = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
// A reader that has stopped gets about 100 ms: ten tries, 10 ms apart.
constexpr long long STALL_STEP_US = 10000;
constexpr int STALL_STEPS = 10;

// The majors of the pseudo-terminal slaves (/dev/pts/N): 136 to 143.
constexpr unsigned PTY_SLAVE_MAJOR_FIRST = 136;
constexpr unsigned PTY_SLAVE_MAJOR_LAST = 143;
// Majors of other terminals, only to name them in a refusal: 2 and 3 the old
// BSD pseudo-terminals, 4 virtual consoles and 8250 serial ports, 5 /dev/tty,
// /dev/console and /dev/ptmx, 166 USB modems (ttyACM), 188 USB serial
// adapters (ttyUSB), 204 the serial ports of many ARM boards (ttyAMA).
constexpr unsigned TERMINAL_MAJORS[] = {2, 3, 4, 5, 166, 188, 204};
constexpr unsigned TTYAUX_MAJOR = 5;  // /dev/tty 5:0, /dev/console 5:1, /dev/ptmx 5:2
constexpr unsigned CONSOLE_MINOR = 1; // of TTYAUX_MAJOR
constexpr unsigned PTMX_MINOR = 2;    // of TTYAUX_MAJOR
constexpr unsigned VC_MAJOR = 4;      // virtual consoles below minor 64, serial ports above
constexpr unsigned VC_MINOR_LIMIT = 64;

constexpr char FOLLOWED_ONLY[] = "only a link to the voice gateway's pseudo-terminal is followed";
constexpr char KINDS_TAKEN[] = "a control path is a regular file, a FIFO or a link to the voice gateway's "
                               "pseudo-terminal";
constexpr char DANGLING[] = "it is a link to a path that does not exist (is the voice gateway running?)";
constexpr char FIFO_UNREAD[] = "it is a FIFO nobody reads";
// A pseudo-terminal belongs to the account that made it and the group tty,
// mode 0620. The group tty would let us write every terminal, so the advice
// is the voice gateway's own account.
constexpr char TERMINAL_DENIED[] = "the voice gateway's pseudo-terminal does not let this account write it; run "
                                   "sdsbridge under the voice gateway's account: a unit drop-in setting User= and "
                                   "Group= to it and keeping SupplementaryGroups=dialout";
constexpr char LINK_NOT_FOLLOWED[] = "the kernel does not follow a link that another account owns in a sticky "
                                     "directory (fs.protected_symlinks); put the voice gateway's terminals in its "
                                     "runtime directory and point DTMF_CTRL_PATH and PTT_CTRL_PATH there, or run "
                                     "both programs under one account";

// A pseudo-terminal slave that is neither the radio's device nor our own
// terminal: what a voice gateway offers.
bool voice_gateway_terminal(const control_found& found)
{
    unsigned major_number = major(found.rdev);
    return S_ISCHR(found.mode) && found.on_devpts && major_number >= PTY_SLAVE_MAJOR_FIRST &&
           major_number <= PTY_SLAVE_MAJOR_LAST && !(found.radio && found.rdev == found.radio) &&
           !(found.own && found.rdev == found.own);
}

const char* character_device_noun(const control_found& found)
{
    unsigned major_number = major(found.rdev), minor_number = minor(found.rdev);
    if (found.radio && found.rdev == found.radio)
        return "the radio's serial device";
    if (found.own && found.rdev == found.own)
        return "the terminal sdsbridge was started from";
    if (voice_gateway_terminal(found))
        return "a pseudo-terminal";
    if (major_number == TTYAUX_MAJOR && minor_number == PTMX_MINOR)
        return "the pseudo-terminal multiplexer";
    if ((major_number == TTYAUX_MAJOR && minor_number == CONSOLE_MINOR) ||
        (major_number == VC_MAJOR && minor_number < VC_MINOR_LIMIT))
        return "a console";
    bool terminal = major_number >= PTY_SLAVE_MAJOR_FIRST && major_number <= PTY_SLAVE_MAJOR_LAST;
    for (unsigned m : TERMINAL_MAJORS)
        terminal = terminal || major_number == m;
    return terminal ? "a terminal that is not a pseudo-terminal" : "a character device";
}

const char* noun(const control_found& found)
{
    if (S_ISREG(found.mode))
        return "a regular file";
    if (S_ISFIFO(found.mode))
        return "a FIFO";
    if (S_ISDIR(found.mode))
        return "a directory";
    if (S_ISSOCK(found.mode))
        return "a socket";
    if (S_ISBLK(found.mode))
        return "a block device";
    if (S_ISCHR(found.mode))
        return character_device_noun(found);
    return "a file of unknown type";
}

// The device number of the radio's serial device, 0 when it is none. A link
// planted to it would feed the voice gateway's texts into the PEI as commands.
dev_t radio_device()
{
    struct stat st;
    return stat(SYS_SERPORT, &st) == 0 && S_ISCHR(st.st_mode) ? st.st_rdev : 0;
}

// The device number of the first terminal among stdin, stdout and stderr,
// 0 when none is one (under systemd).
dev_t own_terminal()
{
    struct stat st;
    for (int fd = 0; fd <= 2; fd++)
        if (isatty(fd) && fstat(fd, &st) == 0)
            return st.st_rdev;
    return 0;
}

// Fills found from the open descriptor fd, or from path (a link followed)
// when fd is -1. Returns 0, errno set, when the kernel does not tell.
int look(int fd, const char* path, bool through_link, control_found* found)
{
    struct stat st;
    struct statfs fs;
    if ((fd >= 0 ? fstat(fd, &st) : stat(path, &st)) != 0)
        return 0;
    if ((fd >= 0 ? fstatfs(fd, &fs) : statfs(path, &fs)) != 0)
        return 0;
    *found = {st.st_mode, st.st_rdev, fs.f_type == DEVPTS_SUPER_MAGIC, through_link, radio_device(), own_terminal()};
    return 1;
}

void refusal(const control_found& found, char* why, size_t size)
{
    char what[96];
    judge_control(found, what, sizeof what);
    snprintf(why, size, "it is %s; %s", what, found.through_link ? FOLLOWED_ONLY : KINDS_TAKEN);
}

// True when fs.protected_symlinks forbids following the link at path, whose
// lstat is link: it lies in a sticky world-writable directory, and neither
// we nor the directory's owner own it.
bool link_protected(const char* path, const struct stat& link)
{
    char dir[PATH_MAX];
    snprintf(dir, sizeof dir, "%s", path);
    char* slash = strrchr(dir, '/');
    if (!slash)
        snprintf(dir, sizeof dir, ".");
    else
        slash[slash == dir ? 1 : 0] = '\0';
    struct stat st;
    constexpr mode_t STICKY_AND_OPEN = S_ISVTX | S_IWOTH;
    return lstat(dir, &st) == 0 && (st.st_mode & STICKY_AND_OPEN) == STICKY_AND_OPEN && link.st_uid != geteuid() &&
           link.st_uid != st.st_uid;
}

// Why a look at or an open of path (whose lstat is at) failed with err, in
// words that say what to do; expected is what the look before found.
void explain(const char* path, const struct stat& at, control_kind expected, int err, char* why, size_t size)
{
    bool through_link = S_ISLNK(at.st_mode);
    if (through_link && err == ENOENT)
        snprintf(why, size, "%s", DANGLING);
    else if (expected == control_kind::terminal && err == EACCES)
        snprintf(why, size, "%s", TERMINAL_DENIED);
    else if (through_link && err == EACCES && link_protected(path, at))
        snprintf(why, size, "%s", LINK_NOT_FOLLOWED);
    else if (expected == control_kind::fifo && err == ENXIO)
        snprintf(why, size, "%s", FIFO_UNREAD);
    else
        snprintf(why, size, "%s", strerror(err));
}

// What a look at a path came to.
enum class looked {
    nothing, // no such path
    failed,  // the kernel does not tell: why says what to do
    judged   // kind holds the verdict; why says why, when it is a refusal
};

// What is at path now (its lstat into *at), judged without opening it:
// opening a serial port alone changes its modem lines.
looked judge_path(const char* path, struct stat* at, control_kind* kind, char* why, size_t size)
{
    if (lstat(path, at) != 0) {
        if (errno == ENOENT)
            return looked::nothing;
        snprintf(why, size, "%s", strerror(errno));
        return looked::failed;
    }
    control_found found;
    if (!look(-1, path, S_ISLNK(at->st_mode), &found)) {
        explain(path, *at, control_kind::refused, errno, why, size);
        return looked::failed;
    }
    char what[96];
    *kind = judge_control(found, what, sizeof what);
    if (*kind == control_kind::refused)
        refusal(found, why, size);
    return looked::judged;
}

// Opens path by the rule. Returns the descriptor with *kind set, or -1 with
// why set.
int open_control(const char* path, control_kind* kind, char* why, size_t size)
{
    // A path that changes between the look and the open (the voice gateway
    // making its link) is looked at once more.
    for (int attempt = 0; attempt < 2; attempt++) {
        struct stat at;
        looked seen = judge_path(path, &at, kind, why, size);
        if (seen == looked::failed || (seen == looked::judged && *kind == control_kind::refused))
            return -1;
        if (seen == looked::nothing) {
            int fd = open(path, OPEN_FLAGS | O_CREAT | O_EXCL | O_NOFOLLOW, CONTROL_FILE_MODE);
            if (fd >= 0) {
                // The umask may have narrowed the mode of a new file.
                fchmod(fd, CONTROL_FILE_MODE);
                *kind = control_kind::file;
                return fd;
            }
            if (errno == EEXIST)
                continue;
            snprintf(why, size, "%s", strerror(errno));
            return -1;
        }
        // No O_CREAT: a dangling link creates nothing, and fs.protected_regular
        // lets us open a file in /tmp that another account made.
        bool through_link = S_ISLNK(at.st_mode);
        int fd = open(path, OPEN_FLAGS | (through_link ? 0 : O_NOFOLLOW));
        if (fd < 0 && errno == ELOOP && !through_link)
            continue;
        if (fd < 0) {
            explain(path, at, *kind, errno, why, size);
            return -1;
        }
        // What was opened counts, not what the path was a moment ago.
        control_found found;
        char what[96];
        if (!look(fd, nullptr, through_link, &found) ||
            (*kind = judge_control(found, what, sizeof what)) == control_kind::refused) {
            refusal(found, why, size);
            close(fd);
            return -1;
        }
        return fd;
    }
    snprintf(why, size, "it changes while it is opened");
    return -1;
}

// write() with SIGPIPE held back: a FIFO whose reader went away after the open
// would otherwise end the process. A SIGPIPE the write raised is taken back.
ssize_t write_quietly(int fd, const char* bytes, size_t len)
{
    sigset_t pipe_only, before;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_only, &before);
    ssize_t n = write(fd, bytes, len);
    int err = errno;
    if (n < 0 && err == EPIPE) {
        struct timespec none = {0, 0};
        sigtimedwait(&pipe_only, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    errno = err;
    return n;
}

// Writes all of message. Returns 1 when it went; 0 with errno set otherwise,
// EAGAIN when the reader took nothing for about 100 ms.
int write_whole(int fd, const char* message)
{
    size_t len = strlen(message), done = 0;
    int waits = 0;
    while (done < len) {
        ssize_t n = write_quietly(fd, message + done, len - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n == 0)
            errno = EAGAIN;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN || waits == STALL_STEPS)
            return 0;
        waits++;
        sleep_us(STALL_STEP_US);
    }
    return 1;
}

} // namespace

control_kind judge_control(const control_found& found, char* what, size_t size)
{
    snprintf(what, size, "%s%s", found.through_link ? "a link to " : "", noun(found));
    if (voice_gateway_terminal(found))
        return control_kind::terminal;
    if (found.through_link)
        return control_kind::refused;
    if (S_ISREG(found.mode))
        return control_kind::file;
    if (S_ISFIFO(found.mode))
        return control_kind::fifo;
    return control_kind::refused;
}

int write_control(const char* path, const char* message, bool* stalled)
{
    char why[512];
    control_kind kind;
    int fd = open_control(path, &kind, why, sizeof why);
    if (fd < 0) {
        log_failure("Cannot write %s: %s\n", path, why);
        return 0;
    }
    // A terminal or a FIFO is a stream: the message goes after the last one.
    int written = (kind != control_kind::file || ftruncate(fd, 0) == 0) && write_whole(fd, message);
    int err = errno;
    close(fd);
    if (written && *stalled) {
        *stalled = false;
        log_ts("%s takes messages again\n", path);
    } else if (!written && err == EAGAIN) {
        if (!*stalled)
            log_failure("Cannot write %s: its reader has stopped reading; messages to it are dropped until it "
                        "reads again\n",
                        path);
        *stalled = true;
    } else if (!written) {
        log_failure("Cannot write %s: %s\n", path, strerror(err));
    }
    return written;
}

control_state inspect_control(const char* path, char* text, size_t size)
{
    if (!path[0]) {
        snprintf(text, size, "refused: no path is set");
        return control_state::refused;
    }
    struct stat at;
    control_kind kind = control_kind::refused;
    char why[512];
    looked seen = judge_path(path, &at, &kind, why, sizeof why);
    if (seen == looked::nothing) {
        snprintf(text, size, "missing; the first write creates it");
        return control_state::missing;
    }
    if (seen == looked::failed || kind == control_kind::refused) {
        snprintf(text, size, "refused: %s", why);
        return control_state::refused;
    }
    if (kind == control_kind::file) {
        snprintf(text, size, "a regular file; each write replaces what it holds");
        return control_state::file;
    }
    if (kind == control_kind::terminal) {
        if (faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) != 0) {
            explain(path, at, kind, errno, why, sizeof why);
            snprintf(text, size, "refused: %s", why);
            return control_state::refused;
        }
        char target[PATH_MAX];
        snprintf(text, size, "the pseudo-terminal %s: fine", realpath(path, target) ? target : path);
        return control_state::terminal;
    }
    // Only an open tells whether a FIFO has a reader; it is closed unwritten.
    int fd = open(path, OPEN_FLAGS | O_NOFOLLOW);
    if (fd < 0) {
        if (errno == ENXIO) {
            snprintf(text, size, "a FIFO nobody reads now; each write is refused until a reader opens it");
            return control_state::fifo_unread;
        }
        explain(path, at, kind, errno, why, sizeof why);
        snprintf(text, size, "refused: %s", why);
        return control_state::refused;
    }
    close(fd);
    snprintf(text, size, "a FIFO with a reader: fine");
    return control_state::fifo_read;
}
